// Audit mode and the data of the weak-key events. The machine policy "Mode"
// is read when the library is loaded, so each case writes it first and then
// loads the library afresh. In audit mode a weak key (listed or found by a
// check) is logged once with event 101 and answered "no revocation check";
// nothing is shown, not even an error message.

#include "common/product.h"
#include "resources/resource_ids.h"
#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/registry_values.h"

#include <gtest/gtest.h>

namespace {

// The 256-bit modulus with the ROCA structure of the key checks' data.
Bytes RocaModulus()
{
    for (const auto &row : ReadTsv(TestDataDir() + "/key-checks/moduli.tsv"))
        if (row.size() == 6 && row[0] == "roca-structure-256-bits")
            return FromHex(row[5]);
    return Bytes();
}

std::string ThisProgram()
{
    char path[1024];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

// One way to set the policy value "Mode" (type REG_NONE: absent).
struct ModeValue {
    const char *what;
    DWORD type;
    std::string bytes;
    bool audit;
};
const ModeValue kAudit = {"DWORD 1", REG_DWORD, std::string("\1\0\0\0", 4), true};
const ModeValue kAbsent = {"absent", REG_NONE, "", false};
const ModeValue kModeValues[] = {
    kAbsent,
    {"DWORD 0", REG_DWORD, std::string(4, '\0'), false},
    kAudit,
    {"DWORD 2", REG_DWORD, std::string("\2\0\0\0", 4), false},
    {"string 1", REG_SZ, std::string("1\0", 2), false},
    {"binary 1", REG_BINARY, std::string("\1\0\0\0", 4), false},
    {"QWORD 1", REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8), false},
    {"DWORD of 2 bytes", REG_DWORD, std::string("\1\0", 2), false},
    {"DWORD of 8 bytes", REG_DWORD, std::string("\1\0\0\0\0\0\0\0", 8), false},
};

void PrintTo(const ModeValue &mode, std::ostream *out)
{
    *out << mode.what;
}

bool SetMode(const ModeValue &mode)
{
    if (mode.type == REG_NONE)
        return DeleteValue(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_MODE_VALUE);
    return WriteValue(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_MODE_VALUE, mode.type, mode.bytes.data(),
                      static_cast<DWORD>(mode.bytes.size()));
}

// The policy is put back afterwards; the warning dialog is recorded, not
// shown (it answers as when it cannot open: refused).
class AuditModeTest : public ::testing::Test {
protected:
    InstallFolder folder;
    SavedValue mode{HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, VERILOOM_MODE_VALUE};
};

class PolicyValueTest : public AuditModeTest, public ::testing::WithParamInterface<ModeValue> {
protected:
    HiddenLibraryBoxes hidden;
};

// A key listed in two files, checked twice; a ROCA key; a certificate whose
// walk fails; a key checked with the installation folder gone (error 102).
TEST_P(PolicyValueTest, RefusesOrOnlyReports)
{
    const ModeValue &value = GetParam();
    const MadeCertificate listed(17);
    const TestCertificate roca("../key-checks/roca-1024.der"), broken("outer-sig-rsaenc.der"),
        clean("rsa-1024.der");
    ASSERT_TRUE(roca.context && broken.context && clean.context);
    ASSERT_TRUE(SetMode(value));
    folder.Write("BLACKLIST.A", listed.fingerprint + "\n");
    folder.Write("BLACKLIST.B", listed.fingerprint + "\n");
    LoadedProvider provider;
    ASSERT_TRUE(provider.fresh && provider.verify && provider.recording);

    const DWORD weakAnswer = value.audit ? kNoCheck : kRevoked;
    EXPECT_EQ(weakAnswer, VerifyOnce(provider.verify, &listed.context));
    EXPECT_EQ(weakAnswer, VerifyOnce(provider.verify, &listed.context));
    EXPECT_EQ(weakAnswer, VerifyOnce(provider.verify, roca.context));
    EXPECT_EQ(kNoCheck, VerifyOnce(provider.verify, broken.context));
    folder.Remove("BLACKLIST.A");
    folder.Remove("BLACKLIST.B");
    ASSERT_TRUE(RemoveDirectoryA(folder.installDir.c_str()));
    EXPECT_EQ(kNoCheck, VerifyOnce(provider.verify, clean.context));

    const std::string event = value.audit ? "event 2 101 Veriloom|" : "event 2 100 Veriloom|";
    const std::vector<std::string> expected =
        value.audit ? std::vector<std::string>{event + "Weak certificate found: 'key 17'",
                                               event + "Weak certificate found: 'roca-1024' (ROCA)"}
                    : std::vector<std::string>{event + "Weak certificate found: 'key 17'",
                                               "dialogbox 100",
                                               event + "Weak certificate found: 'roca-1024' (ROCA)",
                                               "dialogbox 100",
                                               "messagebox " + ErrorBox("12/4"),
                                               "messagebox " + ErrorBox("102/3")};
    EXPECT_EQ(expected, TakeLibraryCalls()) << value.what;
}

INSTANTIATE_TEST_SUITE_P(Mode, PolicyValueTest, ::testing::ValuesIn(kModeValues));

// Every event names the key's fingerprint, the list file or check that found
// it, and the program: a refusal, a key the user accepted, a report in audit
// mode. The first insertion string stays the text queries look for.
TEST_F(AuditModeTest, EventsNameKeyFinderAndProgram)
{
    const MadeCertificate refused(21), accepted(22), reported(23);
    const Bytes rocaModulus = RocaModulus(), rocaDer = MinimalCertificate(rocaModulus, "roca key");
    const CERT_CONTEXT roca = BareContext(rocaDer);
    ASSERT_EQ(32u, rocaModulus.size());
    folder.Write("BLACKLIST.DATA", refused.fingerprint + "\n" + accepted.fingerprint + "\n" + reported.fingerprint);
    const AllEventStrings allStrings;
    const std::string data = "|BLACKLIST.DATA|" + ThisProgram();
    const struct {
        const ModeValue &mode;
        const CERT_CONTEXT *context;
        int dialogAnswer;  // 0: the dialog must not open (it would be cancelled)
        DWORD answer;
        std::vector<std::string> calls;
    } cases[] = {
        {kAbsent, &refused.context, IDCANCEL, kRevoked,
         {"event 2 100 Veriloom|Weak certificate found: 'key 21'|" + refused.fingerprint + data, "dialogbox 100"}},
        {kAbsent, &accepted.context, IDOK, kNoCheck,
         {"event 2 100 Veriloom|Weak certificate found: 'key 22'|" + accepted.fingerprint + data, "dialogbox 100"}},
        {kAudit, &reported.context, 0, kNoCheck,
         {"event 2 101 Veriloom|Weak certificate found: 'key 23'|" + reported.fingerprint + data}},
        {kAudit, &roca, 0, kNoCheck,
         {"event 2 101 Veriloom|Weak certificate found: 'roca key' (ROCA)|" + KeyFingerprint(rocaModulus) +
          "|ROCA check|" + ThisProgram()}},
    };
    for (const auto &run : cases) {
        ASSERT_TRUE(SetMode(run.mode));
        WindowWatcher watcher(run.dialogAnswer ? run.dialogAnswer : IDCANCEL);
        LoadedProvider provider;
        ASSERT_TRUE(provider.fresh && provider.verify && provider.recording);
        EXPECT_EQ(run.answer, VerifyOnce(provider.verify, run.context)) << run.calls[0];
        EXPECT_EQ(run.calls, TakeLibraryCalls());
        EXPECT_EQ(run.dialogAnswer ? 1u : 0u, watcher.Dialogs()) << run.calls[0];
    }
}

// On a window station nobody sees (the lifecycle tests' child), audit mode
// reports the listed key once and refuses nothing; with the policy removed,
// or of the wrong type, the same key is refused again.
TEST_F(AuditModeTest, InvisibleWindowStationFollowsThePolicy)
{
    const TestCertificate listed("rsa-2048.der");
    folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n");
    const struct {
        const ModeValue &mode;
        const char *verdict;
        const char *event;
    } cases[] = {
        {kAudit, "verdict rsa-2048.der 80092012", "event 2 101 Veriloom|Weak certificate found: 'RSA 2048'"},
        {kAbsent, "verdict rsa-2048.der 80092010", "event 2 100 Veriloom|Weak certificate found: 'RSA 2048'"},
        {kModeValues[4], "verdict rsa-2048.der 80092010", "event 2 100 Veriloom|Weak certificate found: 'RSA 2048'"},
    };
    for (const auto &run : cases) {
        ASSERT_TRUE(SetMode(run.mode));
        const std::string output = RunChild("station:rsa-2048.der");
        const std::vector<std::string> lines = Lines(output);
        EXPECT_EQ(1u, CountLines(lines, "station 1")) << output;
        EXPECT_EQ(1u, CountLines(lines, run.verdict)) << run.mode.what << "\n" << output;
        EXPECT_EQ(1u, CountLines(lines, run.event)) << run.mode.what << "\n" << output;
        EXPECT_EQ(1u, CountLines(lines, "event ", true)) << output;
        EXPECT_EQ(0u, CountLines(lines, "dialogbox ", true)) << output;
        EXPECT_EQ(0u, CountLines(lines, "messagebox ", true)) << output;
    }
}

// The message table in both languages: the first insertion string first,
// then the data; the audit event says that nothing was refused. (The setup
// tests render event 100 in English.)
TEST(EventMessages, EnglishAndGerman)
{
    HMODULE library = LoadLibraryExA(ProviderPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(library != NULL) << ProviderPath();
    const char *const strings[] = {"Weak certificate found: 'x'", "0123456789abcdef0123", "BLACKLIST.X", "C:\\a.exe"};
    const struct {
        DWORD id;
        WORD language;
        const char *says;
    } messages[] = {
        {MSG_WEAK_KEY_REPORTED, LANG_ENGLISH, "\r\nAudit mode: the weak key was only reported; the certificate was "
                                              "not refused.\r\nKey fingerprint: 0123456789abcdef0123\r\nFound by: "
                                              "BLACKLIST.X\r\nProgram: C:\\a.exe\r\n"},
        {MSG_WEAK_KEY_REPORTED, LANG_GERMAN, "\r\n\xDC" "berwachungsmodus: Der schwache Schl\xFC" "ssel wurde nur "
                                             "gemeldet, das Zertifikat nicht abgelehnt.\r\nFingerabdruck des Schl\xFC"
                                             "ssels: 0123456789abcdef0123\r\nGefunden durch: BLACKLIST.X\r\n"
                                             "Programm: C:\\a.exe\r\n"},
        {MSG_WEAK_CERTIFICATE, LANG_GERMAN, "'\r\nFingerabdruck des Schl\xFC" "ssels: 0123456789abcdef0123\r\n"},
    };
    for (const auto &message : messages) {
        char text[1024] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, library, message.id,
                       MAKELANGID(message.language, SUBLANG_DEFAULT), text, sizeof text,
                       reinterpret_cast<va_list *>(const_cast<char **>(strings)));
        EXPECT_EQ(0u, std::string(text).find(std::string(strings[0]) + "\r\n")) << text;
        EXPECT_NE(std::string::npos, std::string(text).find(message.says)) << text;
    }
    FreeLibrary(library);
}

} // namespace
