// The structural key checks through crypt32: a ROCA and a close-prime
// certificate, on no list, in a process without a visible desktop. With the
// machine policy absent or 1 both are refused with one warning event each
// that names the reason; with "KeyChecks" = 0 both are answered "no
// revocation check" without an event. The checks run in a child on a window
// station of its own. ctest runs the program with WINEDEBUG=warn+eventlog and
// its Unix standard error in the file VERILOOM_WINE_MESSAGES, where the
// child's events land too.

#include "common/product.h"
#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char *const kCertificates[] = {"roca-1024.der", "close-1024.der"};
const char kProgramFilesVariable[] = "VERILOOM_KEY_CHECKS_PROGRAM_FILES";

size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

// Child: checks each certificate once through crypt32 on a hidden window
// station and prints "NAME dwError".
int VerifyHidden()
{
    HWINSTA station = CreateWindowStationA("veriloom-key-checks-test", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station)) {
        printf("no window station: %lu\n", GetLastError());
        return 1;
    }
    char programFiles[2048];
    const DWORD length = GetEnvironmentVariableA(kProgramFilesVariable, programFiles, sizeof programFiles);
    if (length > 0 && length < sizeof programFiles)
        SetEnvironmentVariableA("ProgramFiles", programFiles);
    for (const char *name : kCertificates) {
        Bytes der;
        if (!ReadWholeFile(TestDataDir() + "/key-checks/" + name, &der)) {
            printf("cannot read %s\n", name);
            return 1;
        }
        PCCERT_CONTEXT context =
            CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
        CERT_REVOCATION_STATUS status;
        memset(&status, 0xcc, sizeof status);
        status.cbSize = sizeof status;
        PVOID contexts[1] = {const_cast<CERT_CONTEXT *>(context)};
        const BOOL result =
            CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status);
        printf("%s result=%d dwError=%08lx\n", name, result, status.dwError);
        CertFreeCertificateContext(context);
    }
    fflush(stdout);
    return 0;
}

// Sets the machine policy value (or, with a negative value, removes it).
void SetKeyChecksPolicy(long value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL,
                                             &key, NULL));
    if (value < 0) {
        RegDeleteValueA(key, VERILOOM_KEY_CHECKS_VALUE);
    } else {
        const DWORD data = static_cast<DWORD>(value);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, VERILOOM_KEY_CHECKS_VALUE, 0, REG_DWORD,
                                                reinterpret_cast<const BYTE *>(&data), sizeof data));
    }
    RegCloseKey(key);
}

class KeyChecksThroughCrypt32 : public ::testing::Test {
protected:
    void TearDown() override { SetKeyChecksPolicy(-1); }

    // The child's output and the Wine messages written while it ran.
    std::string RunHiddenChild()
    {
        Bytes before, after;
        const char *messages = getenv("VERILOOM_WINE_MESSAGES");
        EXPECT_TRUE(messages && ReadWholeFile(messages, &before)) << "VERILOOM_WINE_MESSAGES";
        DWORD exitCode = 0;
        const std::string output =
            RunChild("--child=verify-hidden", {std::string(kProgramFilesVariable) + "=" + folder.root}, &exitCode);
        EXPECT_EQ(0u, exitCode) << output;
        if (!messages || !ReadWholeFile(messages, &after) || after.size() < before.size())
            return output;
        return output + std::string(after.begin() + static_cast<long>(before.size()), after.end());
    }

    InstallFolder folder;
    ProviderRegistration registration;
};

TEST_F(KeyChecksThroughCrypt32, WeakKeysAreRefusedWithTheReason)
{
    ASSERT_TRUE(registration.ok);
    folder.Write("BLACKLIST.RSA-1024", "0123456789abcdef0123\n");
    for (long policy : {-1L, 1L}) {
        SCOPED_TRACE(policy);
        SetKeyChecksPolicy(policy);
        const std::string output = RunHiddenChild();
        EXPECT_EQ(1u, CountOf(output, "roca-1024.der result=0 dwError=80092010")) << output;
        EXPECT_EQ(1u, CountOf(output, "close-1024.der result=0 dwError=80092010")) << output;
        EXPECT_EQ(1u, CountOf(output, "Weak certificate found: 'roca-1024' (ROCA)")) << output;
        EXPECT_EQ(1u, CountOf(output, "Weak certificate found: 'close-1024' (close primes)")) << output;
        EXPECT_EQ(2u, CountOf(output, "Weak certificate found")) << output;
    }
}

TEST_F(KeyChecksThroughCrypt32, PolicyZeroLeavesOnlyTheLists)
{
    ASSERT_TRUE(registration.ok);
    folder.Write("BLACKLIST.RSA-1024", "0123456789abcdef0123\n");
    SetKeyChecksPolicy(0);
    const std::string output = RunHiddenChild();
    EXPECT_EQ(1u, CountOf(output, "roca-1024.der result=0 dwError=80092012")) << output;
    EXPECT_EQ(1u, CountOf(output, "close-1024.der result=0 dwError=80092012")) << output;
    EXPECT_EQ(0u, CountOf(output, "Weak certificate found")) << output;
}

} // namespace

int main(int argc, char **argv)
{
    if (ChildMode(argc, argv) == "verify-hidden")
        return VerifyHidden();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
