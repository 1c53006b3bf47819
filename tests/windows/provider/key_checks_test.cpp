// The structural key checks through crypt32: a ROCA and a close-prime
// certificate, on no list, in a process without a visible desktop. With the
// machine policy absent or 1 both are refused with one warning event each
// that names the reason; with "KeyChecks" = 0 both are answered "no
// revocation check" without an event. The checks run in a child on a window
// station of its own, started with WINEDEBUG=warn+eventlog: Wine prints the
// child's events to its Unix standard error, which RunChild returns with its
// output.

#include "common/product.h"
#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/registry_values.h"
#include "tests/windows/support/test_main.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const char *const kCertificates[] = {"roca-1024.der", "close-1024.der"};

// Child: checks each certificate once through crypt32 on a hidden window
// station and prints "NAME result=R dwError=E".
int VerifyHidden(const std::string &)
{
    HWINSTA station = CreateWindowStationA("veriloom-key-checks-test", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station)) {
        printf("no window station: %lu\n", GetLastError());
        return 1;
    }
    for (const char *name : kCertificates) {
        const TestCertificate certificate(std::string("../key-checks/") + name);
        if (!certificate.context) {
            printf("cannot read %s\n", name);
            return 1;
        }
        CERT_REVOCATION_STATUS status;
        const BOOL result = CallExport(CertVerifyRevocation, {certificate.context}, &status);
        printf("%s result=%d dwError=%08lx\n", name, result, status.dwError);
    }
    return 0;
}
const ChildMode kVerifyHidden("verify-hidden", VerifyHidden);

size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

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
    const std::string output = RunChild("verify-hidden", {"WINEDEBUG=warn+eventlog"});
    for (const char *name : kCertificates)
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

} // namespace
