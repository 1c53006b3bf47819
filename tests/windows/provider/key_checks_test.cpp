// Weak keys through crypt32 in a process without a visible desktop. The
// structural key checks: a ROCA and a close-prime certificate, on no list.
// With the machine policy absent or 1 both are refused with one warning
// event each that names the reason; with "KeyChecks" = 0 both are answered
// "no revocation check" without an event. The shipped lists of keypair and
// published keys: the RFC 9500 EC keys and a keypair RSA key are refused
// with one event each, which names an EC key's kind; fresh P-256 and
// Ed25519 keys pass without one. The checks run in a child on a window
// station of its own, started with WINEDEBUG=warn+eventlog: Wine prints the
// child's events to its Unix standard error, which RunChild returns with its
// output.

#include "common/product.h"
#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/registry_values.h"
#include "tests/windows/support/test_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

const char kStructural[] = "../key-checks/roca-1024.der,../key-checks/close-1024.der";

// Child: checks each certificate of the comma-separated list (names under
// certs/) once through crypt32 on a hidden window station and prints
// "NAME result=R dwError=E".
int VerifyHidden(const std::string &names)
{
    HWINSTA station = CreateWindowStationA("veriloom-key-checks-test", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station)) {
        printf("no window station: %lu\n", GetLastError());
        return 1;
    }
    for (size_t start = 0; start < names.size();) {
        const size_t end = std::min(names.find(',', start), names.size());
        const std::string name = names.substr(start, end - start);
        start = end + 1;
        const TestCertificate certificate(name);
        if (!certificate.context) {
            printf("cannot read %s\n", name.c_str());
            return 1;
        }
        CERT_REVOCATION_STATUS status;
        const BOOL result = CallExport(CertVerifyRevocation, {certificate.context}, &status);
        printf("%s result=%d dwError=%08lx\n", name.c_str(), result, status.dwError);
    }
    return 0;
}
const ChildMode kVerifyHidden("verify-hidden", VerifyHidden);

struct PolicyCase {
    long policy;  // the "KeyChecks" value, negative: absent
    const char *dwError;
    size_t events;
};
const PolicyCase kPolicyCases[] = {{-1, "80092010", 2}, {1, "80092010", 2}, {0, "80092012", 0}};

class KeyChecksThroughCrypt32 : public ::testing::TestWithParam<PolicyCase> {
protected:
    InstallFolder folder;
    ProviderRegistration registration;
    SavedValue policy{HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_KEY_CHECKS_VALUE};
};

TEST_P(KeyChecksThroughCrypt32, WeakKeysAnsweredAsThePolicySays)
{
    const PolicyCase &run = GetParam();
    ASSERT_TRUE(registration.ok);
    folder.Write("BLACKLIST.RSA-1024", "0123456789abcdef0123\n");
    if (run.policy < 0)
        ASSERT_TRUE(DeleteValue(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_KEY_CHECKS_VALUE));
    else
        ASSERT_TRUE(WriteDword(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_KEY_CHECKS_VALUE,
                               static_cast<DWORD>(run.policy)));
    const std::string output = RunChild(std::string("verify-hidden:") + kStructural, {"WINEDEBUG=warn+eventlog"});
    for (const char *name : {"roca-1024.der", "close-1024.der"})
        EXPECT_EQ(1u, CountOf(output, std::string(name) + " result=0 dwError=" + run.dwError)) << output;
    EXPECT_EQ(run.events, CountOf(output, "Weak certificate found")) << output;
    if (run.events) {
        EXPECT_EQ(1u, CountOf(output, "Weak certificate found: 'roca-1024' (ROCA)")) << output;
        EXPECT_EQ(1u, CountOf(output, "Weak certificate found: 'close-1024' (close primes)")) << output;
    }
}

std::string PolicyName(const ::testing::TestParamInfo<PolicyCase> &run)
{
    return run.param.policy < 0 ? std::string("Absent") : "Value" + std::to_string(run.param.policy);
}
INSTANTIATE_TEST_SUITE_P(Policy, KeyChecksThroughCrypt32, ::testing::ValuesIn(kPolicyCases), PolicyName);

TEST(ShippedListsThroughCrypt32, ListedKeysOfEveryKindAreRefused)
{
    const struct {
        const char *name;
        const char *dwError;
        const char *event;  // "" for none
    } cases[] = {
        {"rfc9500-p256.der", "80092010", "Weak certificate found: 'rfc9500-p256' (EC key)"},
        {"rfc9500-p384.der", "80092010", "Weak certificate found: 'rfc9500-p384' (EC key)"},
        {"rfc9500-p521.der", "80092010", "Weak certificate found: 'rfc9500-p521' (EC key)"},
        {"keypair-2048.der", "80092010", "Weak certificate found: 'keypair-2048'"},
        {"ec-p256.der", "80092012", ""},
        {"ed25519.der", "80092012", ""},
    };
    InstallFolder folder;
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.KEYS-published"));
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.RSA-keypair"));
    std::string names;
    for (const auto &c : cases)
        names += std::string(names.empty() ? "" : ",") + c.name;
    const std::string output = RunChild("verify-hidden:" + names, {"WINEDEBUG=warn+eventlog"});
    for (const auto &c : cases) {
        EXPECT_EQ(1u, CountOf(output, std::string(c.name) + " result=0 dwError=" + c.dwError)) << output;
        if (c.event[0]) {
            EXPECT_EQ(1u, CountOf(output, c.event)) << c.event << "\n" << output;
        }
    }
    EXPECT_EQ(4u, CountOf(output, "Weak certificate found")) << output;
    EXPECT_EQ(0u, CountOf(output, "'keypair-2048' (")) << output;  // RSA: no kind named
}

} // namespace
