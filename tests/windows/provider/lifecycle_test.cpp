// The library's lifecycle and process-wide state: the warning event, the
// interactive test, message boxes in both languages, and the verdict cache.
// Checks that need a process of their own (window station, language) run in
// a child that follows a small script (see RunScriptChild).
//
// Events, message boxes and dialogs are observed by redirecting the
// library's imports of RegisterEventSourceA, ReportEventA, MessageBoxA and
// DialogBoxParamA to recorders that pass the calls on (boxes and dialogs on
// an invisible window station excepted). Wine would print the events on
// stderr with WINEDEBUG=warn+eventlog, but a child started from a Windows
// process writes its Wine debug output to the Unix stderr it inherited, not
// to the handle it was given, so the events cannot be read from there.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

std::mutex callsLock;
std::vector<std::string> calls;
bool keepCalls = true;    // false: calls are passed on (or not) only
bool echoCalls = false;   // in a child: print each call as it happens
bool passBoxesOn = true;  // false: boxes and dialogs are not shown (a
                          // dialog answers -1, as when it cannot open)
std::string eventSource;

// Sets one of the switches above for the life of the object.
class SwitchFor {
public:
    SwitchFor(bool *target, bool value) : flag(target), old(*target) { *target = value; }
    ~SwitchFor() { *flag = old; }
private:
    bool *flag;
    bool old;
};

void RecordCall(const std::string &line)
{
    std::lock_guard<std::mutex> hold(callsLock);
    if (!keepCalls)
        return;
    calls.push_back(line);
    if (echoCalls) {
        printf("%s\n", line.c_str());
        fflush(stdout);
    }
}

std::string AnsiToUtf8(const char *text)
{
    if (!text)
        return "(null)";
    wchar_t wide[1024];
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024) > 0 ? ToUtf8(wide) : "?";
}

typedef HANDLE(WINAPI *RegisterEventSourceFunction)(LPCSTR, LPCSTR);
typedef BOOL(WINAPI *ReportEventFunction)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR *, LPVOID);
typedef int(WINAPI *MessageBoxFunction)(HWND, LPCSTR, LPCSTR, UINT);
typedef INT_PTR(WINAPI *DialogBoxParamFunction)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
RegisterEventSourceFunction realRegisterEventSource;
ReportEventFunction realReportEvent;
MessageBoxFunction realMessageBox;
DialogBoxParamFunction realDialogBoxParam;

HANDLE WINAPI RecordRegisterEventSource(LPCSTR server, LPCSTR source)
{
    {
        std::lock_guard<std::mutex> hold(callsLock);
        eventSource = source ? source : "(null)";
    }
    return realRegisterEventSource(server, source);
}

// "event TYPE ID SOURCE|TEXT"
BOOL WINAPI RecordReportEvent(HANDLE log, WORD type, WORD category, DWORD id, PSID user, WORD count, DWORD size,
                              LPCSTR *strings, LPVOID data)
{
    std::string source;
    {
        std::lock_guard<std::mutex> hold(callsLock);
        source = eventSource;
    }
    RecordCall("event " + std::to_string(type) + " " + std::to_string(id) + " " + source + "|" +
               (count ? AnsiToUtf8(strings[0]) : std::string()));
    return realReportEvent(log, type, category, id, user, count, size, strings, data);
}

// "messagebox CAPTION|TEXT"
int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    RecordCall("messagebox " + AnsiToUtf8(caption) + "|" + AnsiToUtf8(text));
    return passBoxesOn ? realMessageBox(owner, text, caption, type) : IDOK;
}

// "dialogbox TEMPLATE"
INT_PTR WINAPI RecordDialogBoxParam(HINSTANCE module, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param)
{
    RecordCall("dialogbox " + (IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<UINT_PTR>(name))
                                                      : std::string(name)));
    return passBoxesOn ? realDialogBoxParam(module, name, owner, procedure, param) : -1;
}

// Points the module's import of dll!function at replacement.
bool RedirectImport(HMODULE module, const char *dll, const char *function, void *replacement, void **original)
{
    BYTE *base = reinterpret_cast<BYTE *>(module);
    const IMAGE_NT_HEADERS *headers =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR *entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; entry++) {
        if (_stricmp(reinterpret_cast<const char *>(base + entry->Name), dll) != 0)
            continue;
        const IMAGE_THUNK_DATA *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + entry->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name,
                       function) != 0)
                continue;
            if (slots->u1.Function == reinterpret_cast<ULONG_PTR>(replacement))
                return true;  // already redirected
            DWORD protection;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return false;
            *original = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

} // namespace

// Records the library's events, message boxes and dialogs from now on
// (until it is unloaded); TakeLibraryCalls returns and forgets them.
bool RecordLibraryCalls(HMODULE module)
{
    return RedirectImport(module, "advapi32.dll", "RegisterEventSourceA",
                          reinterpret_cast<void *>(RecordRegisterEventSource),
                          reinterpret_cast<void **>(&realRegisterEventSource)) &&
           RedirectImport(module, "advapi32.dll", "ReportEventA", reinterpret_cast<void *>(RecordReportEvent),
                          reinterpret_cast<void **>(&realReportEvent)) &&
           RedirectImport(module, "user32.dll", "MessageBoxA", reinterpret_cast<void *>(RecordMessageBox),
                          reinterpret_cast<void **>(&realMessageBox)) &&
           RedirectImport(module, "user32.dll", "DialogBoxParamA", reinterpret_cast<void *>(RecordDialogBoxParam),
                          reinterpret_cast<void **>(&realDialogBoxParam));
}

std::vector<std::string> TakeLibraryCalls()
{
    std::lock_guard<std::mutex> hold(callsLock);
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
}

namespace {

const std::string kEvent = "event 2 100 Veriloom|Weak certificate found: '";
// dwError as the child prints it.
const char kRevoked[] = "80092010";
const char kNoCheck[] = "80092012";
const DWORD kRevokedError = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNoCheckError = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);

std::vector<std::string> Split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<std::string> Lines(const std::string &output)
{
    std::vector<std::string> lines = Split(output, '\n');
    for (std::string &line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

// Lines equal to `text`, or beginning with it.
size_t Count(const std::vector<std::string> &lines, const std::string &text, bool prefix = false)
{
    size_t count = 0;
    for (const std::string &line : lines)
        count += (prefix ? line.compare(0, text.size(), text) == 0 : line == text) ? 1 : 0;
    return count;
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CertPath(const std::string &name)
{
    return TestDataDir() + "/certs/" + name;
}

// A certificate-shaped DER that holds what the library reads: a subject
// common name and an RSA key whose modulus depends on `serial`. The export
// does not verify signatures, so nothing is signed. Also returns the key's
// fingerprint, computed here with CryptoAPI's SHA-1.
Bytes CraftedCertificate(const std::string &commonName, uint32_t serial, std::string *fingerprint)
{
    Bytes modulus(128);
    for (size_t i = 0; i < modulus.size(); i++)
        modulus[i] = static_cast<uint8_t>(i * 37 + 11);
    modulus[0] = 0xC5;
    for (int i = 0; i < 4; i++)
        modulus[1 + i] = static_cast<uint8_t>(serial >> (24 - 8 * i));
    const Bytes key = Sequence({Tlv(0x02, Concat({Bytes(1, 0), modulus})), Tlv(0x02, Bytes{1, 0, 1})});
    const Bytes der = Sequence({
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, Bytes{0x55, 4, 3}), Text(0x0C, commonName)}))}),
        Sequence({Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}), Tlv(0x05, Bytes())}),
        Tlv(0x03, Concat({Bytes(1, 0), key})),
    });

    std::string text = "Modulus=" + ToHex(modulus.data(), modulus.size()) + "\n";
    for (size_t i = 8; i < text.size(); i++)
        text[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
    BYTE hash[20];
    DWORD hashSize = sizeof hash;
    fingerprint->clear();
    if (CryptHashCertificate(0, CALG_SHA1, 0, reinterpret_cast<const BYTE *>(text.data()),
                             static_cast<DWORD>(text.size()), hash, &hashSize) && hashSize == 20)
        *fingerprint = ToHex(hash + 10, 10);
    return der;
}

bool WriteBytes(const std::string &path, const Bytes &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

// One direct call of the export for one certificate; returns dwError, or 0
// if the call answered TRUE.
DWORD CheckOne(VerifyRevocationFunction verify, const Bytes &der)
{
    CERT_CONTEXT context;
    memset(&context, 0, sizeof context);
    context.dwCertEncodingType = X509_ASN_ENCODING;
    context.pbCertEncoded = const_cast<BYTE *>(der.data());
    context.cbCertEncoded = static_cast<DWORD>(der.size());
    PVOID contexts[1] = {&context};
    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    return verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status) ? 0
                                                                                                  : status.dwError;
}

// --- the child ---------------------------------------------------------

DWORD WINAPI Watchdog(void *)
{
    // A message box nobody answers would block for ever.
    Sleep(30000);
    printf("script watchdog\n");
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

// Steps of VERILOOM_CHILD_SCRIPT, separated by '|':
//   station      switch to a new, invisible window station (where a box
//                would wait for ever: the library's boxes and dialogs are
//                only recorded from now on)
//   german       make the user's language German (Austria) in this process:
//                LC_ALL in the environment does not reach a child that a
//                Windows process starts under Wine (it keeps the parent's
//                Unix locale), so GetUserDefaultLangID is replaced
//   watch        answer and record message boxes and dialogs
//   cert:PATH    check the DER file with the export (the library is loaded
//                on first use and held): "verdict NAME ERROR"
//   add:NAME=TEXT, del:NAME    write or remove an installation folder file
// The library's events, boxes and dialogs are printed as they happen.
int RunScriptChild()
{
    CloseHandle(CreateThread(NULL, 0, Watchdog, NULL, 0, NULL));
    // Wine gives a child started from here its own "ProgramFiles", so the
    // parent's stand-in comes under another name.
    const char *script = getenv("VERILOOM_CHILD_SCRIPT");
    const char *programFiles = getenv("VERILOOM_PROGRAM_FILES");
    if (!script || !programFiles || !SetEnvironmentVariableA("ProgramFiles", programFiles))
        return 2;
    const std::string installDir = std::string(programFiles) + "\\Veriloom\\";
    echoCalls = true;
    std::unique_ptr<WindowWatcher> watcher;
    std::unique_ptr<LoadedProvider> provider;
    for (const std::string &step : Split(script, '|')) {
        if (step == "station") {
            HWINSTA station = CreateWindowStationA("VeriloomHidden", 0, WINSTA_ALL_ACCESS, NULL);
            printf("station %d\n", station && SetProcessWindowStation(station) ? 1 : 0);
            passBoxesOn = false;
        } else if (step == "german") {
            // Stands in for a German user: Wine fixes the user's language
            // when the process starts, from its Unix locale.
            static const BYTE kReturnGerman[] = {0xB8, 0x07, 0x0C, 0x00, 0x00, 0xC3};  // mov eax, 0x0c07; ret
            for (const char *dll : {"kernelbase.dll", "kernel32.dll"}) {
                HMODULE system = GetModuleHandleA(dll);
                void *function = system ? reinterpret_cast<void *>(GetProcAddress(system, "GetUserDefaultLangID"))
                                        : NULL;
                DWORD protection;
                if (function && VirtualProtect(function, sizeof kReturnGerman, PAGE_EXECUTE_READWRITE, &protection)) {
                    memcpy(function, kReturnGerman, sizeof kReturnGerman);
                    VirtualProtect(function, sizeof kReturnGerman, protection, &protection);
                    FlushInstructionCache(GetCurrentProcess(), function, sizeof kReturnGerman);
                }
            }
            printf("language %04x\n", GetUserDefaultLangID());
        } else if (step == "watch") {
            watcher.reset(new WindowWatcher);
        } else if (step.compare(0, 5, "cert:") == 0) {
            Bytes der;
            if (!ReadWholeFile(step.substr(5), &der))
                return 4;
            if (!provider) {
                provider.reset(new LoadedProvider);
                if (!provider->verify || !RecordLibraryCalls(provider->module))
                    return 5;
            }
            printf("verdict %s %08lx\n", BaseName(step.substr(5)).c_str(), CheckOne(provider->verify, der));
        } else if (step.compare(0, 4, "add:") == 0) {
            const size_t equals = step.find('=');
            const std::string content = step.substr(equals + 1);
            if (!WriteBytes(installDir + step.substr(4, equals - 4), Bytes(content.begin(), content.end())))
                return 6;
        } else if (step.compare(0, 4, "del:") == 0) {
            if (!DeleteFileA((installDir + step.substr(4)).c_str()))
                return 7;
        } else {
            return 8;
        }
        fflush(stdout);
    }
    provider.reset();
    if (watcher) {
        for (const SeenWindow &seen : watcher->Seen()) {
            std::string line = std::string(seen.isDialog ? "seen dialog " : "seen box ") + seen.caption;
            for (const std::string &text : seen.texts)
                line += "|" + text;
            printf("%s\n", line.c_str());
        }
    }
    printf("script done\n");
    fflush(stdout);
    return 0;
}

} // namespace

int RunChildMode(const std::string &mode)
{
    return mode == "script" ? RunScriptChild() : 2;
}

namespace {

// Runs the script in a child and returns its output lines; the verdict
// lines, in order, go to *verdicts.
std::vector<std::string> RunScript(const std::string &script, std::vector<std::string> *verdicts)
{
    std::vector<std::string> environment;
    environment.push_back("VERILOOM_CHILD_SCRIPT=" + script);
    char programFiles[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    if (length > 0 && length < sizeof programFiles)
        environment.push_back("VERILOOM_PROGRAM_FILES=" + std::string(programFiles));
    DWORD exitCode = 0;
    const std::string output = RunChild("--child=script", environment, &exitCode);
    EXPECT_EQ(0u, exitCode) << output;
    const std::vector<std::string> lines = Lines(output);
    EXPECT_EQ(1u, Count(lines, "script done")) << output;
    verdicts->clear();
    for (const std::string &line : lines)
        if (line.compare(0, 8, "verdict ") == 0)
            verdicts->push_back(line.substr(8));
    return lines;
}

std::string Joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"rsa-2048.der", "rsa-4096.der", "rsa-1024.der"}) {
            TestCertificate certificate;
            LoadTestCertificate(name, &certificate);
            ASSERT_EQ(20u, certificate.fingerprint.size()) << name;
            fingerprints.push_back(certificate.fingerprint);
            FreeTestCertificate(&certificate);
        }
    }
    InstallFolder folder;
    std::vector<std::string> fingerprints;  // rsa-2048, rsa-4096, rsa-1024
    std::vector<std::string> verdicts;
};

// One warning event per check that finds a key, however often the key is
// listed: the scan stops at the first hit that refuses. The interactive
// child asks the user with dialog 100 first (which cannot open while the
// library has no template, so the certificate is refused).
TEST_F(LifecycleTest, ListedKeyWritesOneEvent)
{
    folder.Write("BLACKLIST.A", "x" + fingerprints[0] + "y\n" + fingerprints[1] + "\n" + fingerprints[0] + "\n");
    folder.Write("blacklist.b", fingerprints[1] + "\n");
    const std::vector<std::string> lines =
        RunScript("watch|cert:" + CertPath("rsa-2048.der") + "|cert:" + CertPath("rsa-4096.der") +
                      "|cert:" + CertPath("rsa-1024.der"),
                  &verdicts);
    const std::vector<std::string> expected = {std::string("rsa-2048.der ") + kRevoked,
                                               std::string("rsa-4096.der ") + kRevoked,
                                               std::string("rsa-1024.der ") + kNoCheck};
    EXPECT_EQ(expected, verdicts) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + "RSA 2048'")) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + "RSA 4096'")) << Joined(lines);
    EXPECT_EQ(2u, Count(lines, "event ", true)) << Joined(lines);
    EXPECT_EQ(2u, Count(lines, "dialogbox 100")) << Joined(lines);
    EXPECT_EQ(0u, Count(lines, "messagebox ", true)) << Joined(lines);
    EXPECT_EQ(0u, Count(lines, "seen box ", true)) << Joined(lines);
}

// The event text holds 255 characters: a common name of 229 characters
// stands whole with its closing quote, one more loses the quote.
TEST_F(LifecycleTest, LongCommonNameIsCutInEvent)
{
    const std::string name229 = std::string(228, 'm') + "E";
    const std::string name230 = std::string(229, 'n') + "F";
    std::string fingerprint229, fingerprint230;
    const std::string path229 = folder.root + "\\cn229.der", path230 = folder.root + "\\cn230.der";
    ASSERT_TRUE(WriteBytes(path229, CraftedCertificate(name229, 229, &fingerprint229)));
    ASSERT_TRUE(WriteBytes(path230, CraftedCertificate(name230, 230, &fingerprint230)));
    folder.Write("BLACKLIST", fingerprint229 + "\n" + fingerprint230 + "\n");

    const std::vector<std::string> lines = RunScript("watch|cert:" + path229 + "|cert:" + path230, &verdicts);
    const std::vector<std::string> expected = {std::string("cn229.der ") + kRevoked,
                                               std::string("cn230.der ") + kRevoked};
    EXPECT_EQ(expected, verdicts) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + name229 + "'")) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + name230)) << Joined(lines);
    EXPECT_EQ(2u, Count(lines, "event ", true)) << Joined(lines);
}

// On a window station nobody sees, a listed key is refused at once and
// nothing is shown: no dialog, no message box for the EC key.
TEST_F(LifecycleTest, InvisibleWindowStationIsNotInteractive)
{
    folder.Write("BLACKLIST.TXT", fingerprints[0] + "\n");
    const std::vector<std::string> lines =
        RunScript("station|cert:" + CertPath("rsa-2048.der") + "|cert:" + CertPath("ec-p256.der"), &verdicts);
    EXPECT_EQ(1u, Count(lines, "station 1")) << Joined(lines);
    const std::vector<std::string> expected = {std::string("rsa-2048.der ") + kRevoked,
                                               std::string("ec-p256.der ") + kNoCheck};
    EXPECT_EQ(expected, verdicts) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + "RSA 2048'")) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, "event ", true)) << Joined(lines);
    EXPECT_EQ(0u, Count(lines, "dialogbox ", true)) << Joined(lines);
    EXPECT_EQ(0u, Count(lines, "messagebox ", true)) << Joined(lines);
}

TEST_F(LifecycleTest, GermanMessage)
{
    const std::vector<std::string> lines =
        RunScript("german|watch|cert:" + CertPath("outer-sig-rsaenc.der"), &verdicts);
    ASSERT_EQ(1u, Count(lines, "language 0c07")) << Joined(lines);
    EXPECT_EQ(std::vector<std::string>{std::string("outer-sig-rsaenc.der ") + kNoCheck}, verdicts)
        << Joined(lines);
    EXPECT_EQ(1u, Count(lines, "seen box ", true)) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, "seen box Veriloom V1.1 \xC2\xA9 2026 Veriloom|Fehler beim \xC3\x9C"
                               "berpr\xC3\xBC"
                               "fen des Zertifikats [12/4]!"))
        << Joined(lines);
}

// A cached verdict is answered without reading any file: a revoked one
// outlives its blacklist, a clean one stays clean when its key is listed
// later. A key not seen before is still looked up in the new file.
TEST_F(LifecycleTest, CachedVerdictReadsNoFile)
{
    folder.Write("BLACKLIST.TXT", fingerprints[0] + "\n");
    const std::vector<std::string> lines = RunScript(
        "watch|cert:" + CertPath("rsa-2048.der") + "|cert:" + CertPath("rsa-1024.der") + "|del:BLACKLIST.TXT" +
            "|cert:" + CertPath("rsa-2048.der") + "|add:BLACKLIST.NEW=" + fingerprints[2] + "\n" + fingerprints[1] +
            "|cert:" + CertPath("rsa-1024.der") + "|cert:" + CertPath("rsa-4096.der"),
        &verdicts);
    const std::vector<std::string> expected = {
        std::string("rsa-2048.der ") + kRevoked, std::string("rsa-1024.der ") + kNoCheck,
        std::string("rsa-2048.der ") + kRevoked, std::string("rsa-1024.der ") + kNoCheck,
        std::string("rsa-4096.der ") + kRevoked};
    EXPECT_EQ(expected, verdicts) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + "RSA 2048'")) << Joined(lines);
    EXPECT_EQ(1u, Count(lines, kEvent + "RSA 4096'")) << Joined(lines);
    EXPECT_EQ(2u, Count(lines, "event ", true)) << Joined(lines);
}

// The cache keeps 1000 verdicts: the 1000th key's verdict is kept, the
// 1001st key is looked up anew (and logged) on every check. Runs in this
// interactive process on a freshly loaded library.
TEST(VerdictCache, FullTableStoresNoMore)
{
    ASSERT_EQ(NULL, GetModuleHandleA(ProviderPath().c_str())) << "library still loaded, cache not fresh";
    InstallFolder folder;
    WindowWatcher watcher;
    LoadedProvider provider;
    ASSERT_TRUE(provider.verify != NULL);
    ASSERT_TRUE(RecordLibraryCalls(provider.module));
    TakeLibraryCalls();
    const SwitchFor noDialog(&passBoxesOn, false);  // the warning dialog does not matter here

    std::vector<Bytes> ders(1001);
    std::vector<std::string> fingerprints(1001);
    for (uint32_t i = 0; i < 1001; i++) {
        ders[i] = CraftedCertificate("key " + std::to_string(i), i, &fingerprints[i]);
        ASSERT_EQ(20u, fingerprints[i].size());
    }
    folder.Write("BLACKLIST.TXT", fingerprints[999] + "\n" + fingerprints[1000] + "\n");

    for (uint32_t i = 0; i < 999; i++)
        ASSERT_EQ(kNoCheckError, CheckOne(provider.verify, ders[i])) << i;
    EXPECT_EQ(kRevokedError, CheckOne(provider.verify, ders[999]));
    EXPECT_EQ(kRevokedError, CheckOne(provider.verify, ders[1000]));
    EXPECT_EQ(kRevokedError, CheckOne(provider.verify, ders[1000]));

    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevokedError, CheckOne(provider.verify, ders[999])) << "the 1000th verdict was not kept";
    EXPECT_EQ(kNoCheckError, CheckOne(provider.verify, ders[1000])) << "the 1001st verdict was kept";

    folder.Write("BLACKLIST.TXT", fingerprints[0] + "\n" + fingerprints[1000] + "\n");
    EXPECT_EQ(kNoCheckError, CheckOne(provider.verify, ders[0]));
    EXPECT_EQ(kRevokedError, CheckOne(provider.verify, ders[1000]));

    const std::vector<std::string> seen = TakeLibraryCalls();
    EXPECT_EQ(1u, Count(seen, kEvent + "key 999'")) << Joined(seen);
    EXPECT_EQ(3u, Count(seen, kEvent + "key 1000'")) << Joined(seen);
    EXPECT_EQ(4u, Count(seen, "event ", true)) << Joined(seen);
    EXPECT_EQ(0u, Count(seen, "messagebox ", true)) << Joined(seen);
}

// Sixteen threads check certificates for about three seconds while this
// process holds the library: listed and clean ones through crypt32 (which
// loads and frees the library around every call) or directly, and, in a
// quarter of the threads, keys from a pool larger than the table, half of
// them listed, so that the table fills up while others read it and misses
// go on afterwards.
struct StressShared {
    VerifyRevocationFunction verify;
    std::vector<TestCertificate> certificates;
    std::vector<DWORD> expected;
    std::vector<Bytes> pool;  // key i is listed when i is even
    volatile LONG stop;
    volatile LONG checks;
    volatile LONG wrong;
};

struct StressThread {
    StressShared *shared;
    uint32_t index;
};

DWORD WINAPI StressWorker(void *param)
{
    const StressThread *self = static_cast<StressThread *>(param);
    StressShared *shared = self->shared;
    for (uint32_t round = self->index; !shared->stop; round++) {
        const size_t which = round % shared->certificates.size();
        CERT_REVOCATION_STATUS status;
        memset(&status, 0xcc, sizeof status);
        status.cbSize = sizeof status;
        PVOID contexts[1] = {const_cast<CERT_CONTEXT *>(shared->certificates[which].context)};
        DWORD expected = shared->expected[which];
        BOOL result = FALSE;
        if (self->index % 4 == 0) {
            const size_t key = (round * 7 + self->index) % shared->pool.size();
            status.dwError = CheckOne(shared->verify, shared->pool[key]);
            status.dwIndex = 0xcccccccc;
            expected = key % 2 == 0 ? kRevokedError : kNoCheckError;
        } else if (self->index % 2) {
            result = CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL,
                                          &status);
        } else {
            result = shared->verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status);
        }
        if (result || status.dwError != expected || status.dwIndex != 0xcccccccc)
            InterlockedIncrement(&shared->wrong);
        InterlockedIncrement(&shared->checks);
    }
    return 0;
}

TEST(VerdictCache, ManyThreadsGetEveryAnswerRight)
{
    InstallFolder folder;
    WindowWatcher watcher;
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    const char *names[] = {"rsa-512.der", "rsa-1024.der", "rsa-2048.der", "rsa-4096.der",
                           "rsa-2047-no-leading-00.der", "rsa-1020-top-nibble-0.der", "rsa-512-short-int.der"};
    StressShared shared;
    shared.certificates.resize(sizeof names / sizeof names[0]);
    shared.stop = 0;
    shared.checks = 0;
    shared.wrong = 0;
    std::string blacklist;
    for (size_t i = 0; i < shared.certificates.size(); i++) {
        ASSERT_TRUE(LoadTestCertificate(names[i], &shared.certificates[i])) << names[i];
        // Every other one is listed; rsa-512 and rsa-512-short-int share their key.
        if (i % 2 == 0)
            blacklist += shared.certificates[i].fingerprint + "\n";
        shared.expected.push_back(static_cast<DWORD>(i % 2 == 0 ? CRYPT_E_REVOKED : CRYPT_E_NO_REVOCATION_CHECK));
    }
    for (uint32_t i = 0; i < 1200; i++) {
        std::string fingerprint;
        shared.pool.push_back(CraftedCertificate("pool", 0x100000 + i, &fingerprint));
        if (i % 2 == 0)
            blacklist += fingerprint + "\n";
    }
    folder.Write("BLACKLIST.STRESS", blacklist);

    // crypt32 loads the library held here: the warning dialog (a thousand
    // refusals) is left out for all threads.
    LoadedProvider held;
    ASSERT_TRUE(held.verify != NULL);
    ASSERT_TRUE(RecordLibraryCalls(held.module));
    const SwitchFor noRecords(&keepCalls, false), noDialog(&passBoxesOn, false);
    shared.verify = held.verify;
    StressThread params[16];
    HANDLE threads[16];
    for (uint32_t i = 0; i < 16; i++) {
        params[i].shared = &shared;
        params[i].index = i;
        threads[i] = CreateThread(NULL, 0, StressWorker, &params[i], 0, NULL);
        ASSERT_TRUE(threads[i] != NULL);
    }
    Sleep(3000);
    InterlockedExchange(&shared.stop, 1);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(16, threads, TRUE, 60000));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(0, shared.wrong) << "of " << shared.checks << " checks";
    EXPECT_GE(shared.checks, 16);
    for (TestCertificate &certificate : shared.certificates)
        FreeTestCertificate(&certificate);
    for (const SeenWindow &seen : watcher.Seen())
        EXPECT_TRUE(seen.isDialog) << "message box: " << seen.caption;
}

} // namespace

// For the other tests of this program: crafted certificates, direct checks,
// and a library whose boxes and dialogs are recorded but not shown (a dialog
// answers -1: refused).
Bytes CraftCertificate(const std::string &commonName, uint32_t serial, std::string *fingerprint)
{
    return CraftedCertificate(commonName, serial, fingerprint);
}

DWORD CheckCertificate(VerifyRevocationFunction verify, const Bytes &der)
{
    return CheckOne(verify, der);
}

void QuietLibraryCalls(bool quiet)
{
    passBoxesOn = !quiet;
}
