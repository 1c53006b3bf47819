// The library's lifecycle and process-wide state: the warning event, the
// interactive test and the verdict cache. Each test loads the library
// afresh (an empty verdict cache) and records its events, boxes and
// dialogs; a process on an invisible window station is a child of its own.

#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/test_main.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <thread>

namespace {

const std::string kEvent = "event 2 100 Veriloom|Weak certificate found: '";

std::string Joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

// In this interactive process; the warning dialog is recorded but not shown
// (it answers -1, as when it cannot open: the certificate is refused).
class LifecycleTest : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        for (const TestCertificate *certificate : {&rsa2048, &rsa4096, &rsa1024})
            ASSERT_EQ(20u, certificate->fingerprint.size());
    }
    DWORD Check(const TestCertificate &certificate)
    {
        return VerifyOnce(provider.verify, certificate.context);
    }
    HiddenLibraryBoxes hidden;
    TestCertificate rsa2048{"rsa-2048.der"}, rsa4096{"rsa-4096.der"}, rsa1024{"rsa-1024.der"};
};

// One warning event per check that finds a key, however often the key is
// listed in a file (in two files: BlacklistScan.FileNamesAndContents): the
// scan stops at the first hit that refuses. The user is asked with dialog
// 100 first.
TEST_F(LifecycleTest, ListedKeyWritesOneEvent)
{
    folder.Write("BLACKLIST.A", "x" + rsa2048.fingerprint + "y\n" + rsa4096.fingerprint + "\n" +
                                    rsa2048.fingerprint + "\n");
    EXPECT_EQ(kRevoked, Check(rsa2048));
    EXPECT_EQ(kRevoked, Check(rsa4096));
    EXPECT_EQ(kNoCheck, Check(rsa1024));
    EXPECT_EQ((std::vector<std::string>{kEvent + "RSA 2048'", "dialogbox 100", kEvent + "RSA 4096'", "dialogbox 100"}),
              TakeLibraryCalls());
}

// The event text holds 255 characters: a common name of 229 characters
// stands whole with its closing quote, one more loses the quote.
TEST_F(LifecycleTest, LongCommonNameIsCutInEvent)
{
    const MadeCertificate name229(229, std::string(228, 'm') + "E"), name230(230, std::string(229, 'n') + "F");
    folder.Write("BLACKLIST", name229.fingerprint + "\n" + name230.fingerprint + "\n");
    EXPECT_EQ(kRevoked, VerifyOnce(provider.verify, &name229.context));
    EXPECT_EQ(kRevoked, VerifyOnce(provider.verify, &name230.context));
    EXPECT_EQ((std::vector<std::string>{kEvent + name229.commonName + "'", "dialogbox 100",
                                        kEvent + name230.commonName, "dialogbox 100"}),
              TakeLibraryCalls());
}

// A cached verdict is answered without reading any file: a revoked one
// outlives its blacklist, a clean one stays clean when its key is listed
// later. A key not seen before is still looked up in the new file.
TEST_F(LifecycleTest, CachedVerdictReadsNoFile)
{
    folder.Write("BLACKLIST.TXT", rsa2048.fingerprint + "\n");
    EXPECT_EQ(kRevoked, Check(rsa2048));
    EXPECT_EQ(kNoCheck, Check(rsa1024));
    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevoked, Check(rsa2048));
    folder.Write("BLACKLIST.NEW", rsa1024.fingerprint + "\n" + rsa4096.fingerprint);
    EXPECT_EQ(kNoCheck, Check(rsa1024));
    EXPECT_EQ(kRevoked, Check(rsa4096));
    EXPECT_EQ((std::vector<std::string>{kEvent + "RSA 2048'", "dialogbox 100", kEvent + "RSA 4096'", "dialogbox 100"}),
              TakeLibraryCalls());
}

// Child: moves to a new, invisible window station, then checks the test
// certificates named in the argument (comma-separated) with a library loaded
// there; prints "station 1", "verdict NAME ERROR" and the library's calls.
int CheckOnInvisibleStation(const std::string &names)
{
    HWINSTA station = CreateWindowStationA("VeriloomHidden", 0, WINSTA_ALL_ACCESS, NULL);
    printf("station %d\n", station && SetProcessWindowStation(station) ? 1 : 0);
    EchoLibraryCalls();
    const HiddenLibraryBoxes hidden;  // a box there would wait for ever
    LoadedProvider provider;
    if (!provider.verify || !provider.recording)
        return 5;
    for (size_t start = 0, end; start < names.size(); start = end + 1) {
        end = names.find(',', start);
        const std::string name = names.substr(start, end == std::string::npos ? end : end - start);
        const TestCertificate certificate(name);
        CERT_REVOCATION_STATUS status;
        CallExport(provider.verify, {certificate.context}, &status);
        printf("verdict %s %08lx\n", name.c_str(), status.dwError);
        if (end == std::string::npos)
            break;
    }
    return 0;
}
const ChildMode kStation("station", CheckOnInvisibleStation);

// On a window station nobody sees, a listed key is refused at once with one
// event (listed in two files) and nothing is shown: no dialog, no message
// box for the EC key.
TEST_F(LifecycleTest, InvisibleWindowStationIsNotInteractive)
{
    folder.Write("BLACKLIST.TXT", rsa2048.fingerprint + "\n");
    folder.Write("BLACKLIST.TWO", rsa2048.fingerprint + "\n");
    const std::vector<std::string> lines = Lines(RunChild("station:rsa-2048.der,ec-p256.der"));
    EXPECT_EQ(1u, CountLines(lines, "station 1")) << Joined(lines);
    EXPECT_EQ(1u, CountLines(lines, "verdict rsa-2048.der 80092010")) << Joined(lines);
    EXPECT_EQ(1u, CountLines(lines, "verdict ec-p256.der 80092012")) << Joined(lines);
    EXPECT_EQ(1u, CountLines(lines, kEvent + "RSA 2048'")) << Joined(lines);
    EXPECT_EQ(1u, CountLines(lines, "event ", true)) << Joined(lines);
    EXPECT_EQ(0u, CountLines(lines, "dialogbox ", true)) << Joined(lines);
    EXPECT_EQ(0u, CountLines(lines, "messagebox ", true)) << Joined(lines);
}

// The cache keeps 1000 verdicts: the 1000th key's verdict is kept, the
// 1001st key is looked up anew (and logged) on every check.
TEST_F(LifecycleTest, FullTableStoresNoMore)
{
    std::deque<MadeCertificate> keys;
    for (uint32_t i = 0; i < 1001; i++)
        keys.emplace_back(i);
    const auto check = [this, &keys](uint32_t i) { return VerifyOnce(provider.verify, &keys[i].context); };
    folder.Write("BLACKLIST.TXT", keys[999].fingerprint + "\n" + keys[1000].fingerprint + "\n");

    for (uint32_t i = 0; i < 999; i++)
        ASSERT_EQ(kNoCheck, check(i)) << i;
    EXPECT_EQ(kRevoked, check(999));
    EXPECT_EQ(kRevoked, check(1000));
    EXPECT_EQ(kRevoked, check(1000));

    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevoked, check(999)) << "the 1000th verdict was not kept";
    EXPECT_EQ(kNoCheck, check(1000)) << "the 1001st verdict was kept";

    folder.Write("BLACKLIST.TXT", keys[0].fingerprint + "\n" + keys[1000].fingerprint + "\n");
    EXPECT_EQ(kNoCheck, check(0));
    EXPECT_EQ(kRevoked, check(1000));

    const std::vector<std::string> calls = TakeLibraryCalls();
    EXPECT_EQ(1u, CountLines(calls, kEvent + "key 999'")) << Joined(calls);
    EXPECT_EQ(3u, CountLines(calls, kEvent + "key 1000'")) << Joined(calls);
    EXPECT_EQ(4u, CountLines(calls, "event ", true)) << Joined(calls);
    EXPECT_EQ(0u, CountLines(calls, "messagebox ", true)) << Joined(calls);
}

// Sixteen threads check certificates for about three seconds while this
// process holds the library: listed and clean ones through crypt32 (which
// loads and frees the library around every call) or directly, and, in a
// quarter of the threads, keys from a pool larger than the table, half of
// them listed, so that the table fills up while others read it and misses
// go on afterwards.
TEST(VerdictCache, ManyThreadsGetEveryAnswerRight)
{
    InstallFolder folder;
    WindowWatcher watcher;
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    std::deque<TestCertificate> certificates;  // every other one listed
    std::deque<MadeCertificate> pool;          // key i is listed when i is even
    std::string blacklist;
    // rsa-512 and rsa-512-short-int share their key.
    for (const char *name : {"rsa-512.der", "rsa-1024.der", "rsa-2048.der", "rsa-4096.der",
                             "rsa-2047-no-leading-00.der", "rsa-1020-top-nibble-0.der", "rsa-512-short-int.der"}) {
        certificates.emplace_back(name);
        ASSERT_TRUE(certificates.back().context != NULL) << name;
        if (certificates.size() % 2 == 1)
            blacklist += certificates.back().fingerprint + "\n";
    }
    for (uint32_t i = 0; i < 1200; i++) {
        pool.emplace_back(0x100000 + i, "pool");
        if (i % 2 == 0)
            blacklist += pool.back().fingerprint + "\n";
    }
    folder.Write("BLACKLIST.STRESS", blacklist);

    // crypt32 loads the library held here: the warning dialog (a thousand
    // refusals) is left out for all threads.
    LoadedProvider held;
    ASSERT_TRUE(held.verify && held.recording);
    const HiddenLibraryBoxes hidden(false);
    std::atomic<bool> stop(false);
    std::atomic<long> checks(0), wrong(0);
    std::vector<std::thread> threads;
    for (uint32_t index = 0; index < 16; index++) {
        threads.emplace_back([&, index] {
            const VerifyRevocationFunction verify = index % 2 ? CertVerifyRevocation : held.verify;
            for (uint32_t round = index; !stop; round++) {
                const size_t which = index % 4 == 0 ? (round * 7 + index) % pool.size() : round % certificates.size();
                const CERT_CONTEXT *context = index % 4 == 0 ? &pool[which].context : certificates[which].context;
                CERT_REVOCATION_STATUS status;
                if (CallExport(verify, {context}, &status) || status.dwError != (which % 2 ? kNoCheck : kRevoked) ||
                    status.dwIndex != 0xcccccccc)
                    wrong++;
                checks++;
            }
        });
    }
    Sleep(3000);
    stop = true;
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong) << "of " << checks << " checks";
    EXPECT_GE(checks, 16);
    EXPECT_TRUE(watcher.MessageBoxes().empty());
}

} // namespace
