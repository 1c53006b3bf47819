// provider_bench: how fast the provider library answers, through its export,
// under Wine (or on Windows), against four full-size blacklist files: the
// shipped BLACKLIST.RSA-512 and BLACKLIST.RSA-1024 and two generated files of
// 294,912 fingerprints each in the same format. Medians and minimums of:
//   floor A       the four files read into one reused buffer (CreateFile,
//                 ReadFile, CloseHandle);
//   floor B       one listing of the installation folder (FindFirstFile,
//                 FindNextFile, FindClose);
//   first miss    a new key in a freshly loaded library, listed on the last
//                 line of the file the search reads last (target: at most
//                 1.25 x floor A);
//   steady miss   a new key in a library that stays loaded, lists unchanged
//                 (target: at most 2 x floor B);
//   after rewrite a miss right after one of the four files was rewritten with
//                 other content, listing the key (no target);
//   hit           a cached check of a 2048-bit certificate (target: at most
//                 3 us);
// and the process's private memory growth once the library keeps what it
// learned about the lists. The process moves to a window station of its own
// before it loads the library, so the library shows nothing.
//
//   provider_bench [PROVIDER_DLL]
// PROVIDER_DLL defaults to %VERILOOM_PROVIDER_DLL%; the certificate is
// %VERILOOM_TEST_DATA%\certs\rsa-2048.der (default tests\data), the shipped
// lists are in %VERILOOM_TEST_DATA%\..\..\blacklists.

#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include "provider/certificate_walker.h"
#include "tests/windows/support/windows_test_util.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef BOOL(WINAPI *VerifyRevocationFunction)(DWORD, DWORD, DWORD, PVOID[], DWORD, PCERT_REVOCATION_PARA,
                                              PCERT_REVOCATION_STATUS);

const int kGeneratedFingerprints = 294912;
const size_t kLineLength = 21;  // 20 hex digits and a line feed
const int kHitChecksPerRound = 20000;
const int kHitRounds = 15;
const int kMissRounds = 15;
const int kSteadyRounds = 200;
const int kListingRounds = 200;

// Timing with the performance counter.
double CounterSeconds()
{
    static double frequency = 0;
    if (frequency == 0) {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        frequency = static_cast<double>(f.QuadPart);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

struct Figures {
    double median;
    double minimum;
};

Figures Summarize(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    Figures f;
    f.minimum = samples[0];
    f.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return f;
}

// A small deterministic generator (xorshift64*), so that every run uses the
// same blacklist contents.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
private:
    uint64_t state;
};

std::string Environment(const char *name)
{
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

bool ReadWhole(const std::string &path, std::vector<BYTE> *bytes)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    BYTE buffer[16384];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    const bool ok = !ferror(file);
    fclose(file);
    return ok && !bytes->empty();
}

bool WriteWhole(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && ok;
}

// The key fingerprint as the library computes it: the last 20 digits.
std::string Fingerprint(const std::vector<BYTE> &der)
{
    TMyProcessCertificate reader;
    if (!reader.Process(der.data(), static_cast<uint32_t>(der.size())))
        return "";
    const char *digest = reader.GetModulusDigest();
    return strlen(digest) > 20 ? std::string(digest + 20) : std::string();
}

// DER encoding helpers for the minimal certificates of the cache miss.
void AppendLength(std::vector<BYTE> *out, size_t length)
{
    if (length < 0x80) {
        out->push_back(static_cast<BYTE>(length));
    } else if (length < 0x100) {
        out->push_back(0x81);
        out->push_back(static_cast<BYTE>(length));
    } else {
        out->push_back(0x82);
        out->push_back(static_cast<BYTE>(length >> 8));
        out->push_back(static_cast<BYTE>(length));
    }
}

std::vector<BYTE> Element(BYTE tag, const std::vector<BYTE> &content)
{
    std::vector<BYTE> out(1, tag);
    AppendLength(&out, content.size());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

std::vector<BYTE> Concat(std::initializer_list<std::vector<BYTE>> parts)
{
    std::vector<BYTE> out;
    for (const auto &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// SEQUENCE { Name { CN }, SEQUENCE { rsaEncryption, NULL },
//            BIT STRING { 00, SEQUENCE { INTEGER modulus, INTEGER 65537 } } }
// with a 2048-bit modulus (top bit set, so the INTEGER has a leading 00).
std::vector<BYTE> MinimalCertificate(Random *random)
{
    std::vector<BYTE> modulus(1, 0x00);
    for (int i = 0; i < 256; i += 8) {
        const uint64_t r = random->Next();
        for (int b = 0; b < 8; b++)
            modulus.push_back(static_cast<BYTE>(r >> (8 * b)));
    }
    modulus[1] |= 0x80;
    modulus[256] |= 0x01;

    const std::string cn = "Benchmark key";
    const std::vector<BYTE> cnOid = {0x55, 0x04, 0x03};
    const std::vector<BYTE> rsaOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const std::vector<BYTE> exponent = {0x01, 0x00, 0x01};

    const std::vector<BYTE> name =
        Element(0x30, Element(0x31, Element(0x30, Concat({Element(0x06, cnOid),
                                                          Element(0x0C, std::vector<BYTE>(cn.begin(), cn.end()))}))));
    const std::vector<BYTE> algorithm = Element(0x30, Concat({Element(0x06, rsaOid), Element(0x05, {})}));
    const std::vector<BYTE> key = Element(0x30, Concat({Element(0x02, modulus), Element(0x02, exponent)}));
    const std::vector<BYTE> bitString = Element(0x03, Concat({std::vector<BYTE>(1, 0x00), key}));
    return Element(0x30, Concat({name, algorithm, bitString}));
}

// One check through the export; returns the status's dwError.
DWORD Check(VerifyRevocationFunction verify, const std::vector<BYTE> &der)
{
    CERT_CONTEXT context;
    memset(&context, 0, sizeof context);
    context.dwCertEncodingType = X509_ASN_ENCODING;
    context.pbCertEncoded = const_cast<BYTE *>(der.data());
    context.cbCertEncoded = static_cast<DWORD>(der.size());
    PVOID contexts[1] = {&context};
    CERT_REVOCATION_STATUS status;
    memset(&status, 0, sizeof status);
    status.cbSize = sizeof status;
    verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status);
    return status.dwError;
}

bool HasBlacklistPrefix(const char *name)
{
    return _strnicmp(name, "BLACKLIST", 9) == 0;
}

// Floor A: the blacklist files read into one buffer that the caller keeps.
// Returns the bytes read, 0 when a file could not be read.
size_t ReadIntoReusedBuffer(const std::string &installDir, const std::vector<std::string> &names,
                            std::vector<char> *buffer)
{
    size_t total = 0;
    for (const std::string &name : names) {
        HANDLE file = CreateFileA((installDir + name).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD bytesRead = 0;
        const bool ok = file != INVALID_HANDLE_VALUE &&
                        ReadFile(file, buffer->data(), static_cast<DWORD>(buffer->size()), &bytesRead, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!ok)
            return 0;
        total += bytesRead;
    }
    return total;
}

// Floor B: one listing of the folder; returns the entries seen.
int ListFolder(const std::string &installDir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((installDir + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int entries = 0;
    do
        entries++;
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return entries;
}

// PrivateUsage; where it reads 0 (Wine 8), the committed private regions.
size_t PrivateUsage()
{
    PROCESS_MEMORY_COUNTERS_EX counters;
    memset(&counters, 0, sizeof counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    if (counters.PrivateUsage != 0)
        return counters.PrivateUsage;
    size_t committed = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *at = NULL; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            committed += region.RegionSize;
    }
    return committed;
}

std::string HexLine(Random *random)
{
    static const char kDigits[] = "0123456789abcdef";
    const uint64_t a = random->Next(), b = random->Next();
    char line[kLineLength + 1];
    for (int i = 0; i < 16; i++)
        line[i] = kDigits[(a >> (4 * i)) & 15];
    for (int i = 16; i < 20; i++)
        line[i] = kDigits[(b >> (4 * (i - 16))) & 15];
    line[20] = '\n';
    line[21] = '\0';
    return line;
}

// The "ProgramFiles" stand-in with its four blacklist files.
struct BlacklistFolder {
    std::string root;
    std::string installDir;
    std::vector<std::string> names;  // in the order the folder lists them
    std::string lastFile;            // the file the search reads last
    LONG lastLineOffset;             // where its last fingerprint begins
    size_t totalBytes;
    size_t largestFile;
    size_t fingerprints;             // lines of 20 hex digits in all
};

std::string GeneratedList(uint64_t seed)
{
    Random random(seed);
    std::string content = "# weak RSA keys: last 20 hex digits of the key fingerprint\n";
    content.reserve(content.size() + kGeneratedFingerprints * kLineLength);
    for (int i = 0; i < kGeneratedFingerprints; i++)
        content += HexLine(&random);
    return content;
}

bool CreateBlacklists(const std::string &shippedDir, BlacklistFolder *folder)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[64];
    snprintf(name, sizeof name, "veriloom-bench-%lu", GetCurrentProcessId());
    folder->root = std::string(temp) + name;
    folder->installDir = folder->root + "\\Veriloom\\";
    DeleteTree(folder->root);
    if (!CreateDirectoryA(folder->root.c_str(), NULL) || !CreateDirectoryA(folder->installDir.c_str(), NULL))
        return false;

    for (const char *shipped : {"BLACKLIST.RSA-512", "BLACKLIST.RSA-1024"}) {
        std::vector<BYTE> content;
        if (!ReadWhole(shippedDir + shipped, &content) ||
            !WriteWhole(folder->installDir + shipped, std::string(content.begin(), content.end())))
            return false;
    }
    for (int f = 0; f < 2; f++) {
        const std::string path = folder->installDir + (f ? "BLACKLIST.RSA-4096" : "BLACKLIST.RSA-2048");
        if (!WriteWhole(path, GeneratedList(0x5EED0000u + static_cast<uint64_t>(f))))
            return false;
    }

    // The search reads the files in the order the folder lists them.
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder->installDir + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    folder->totalBytes = folder->largestFile = 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HasBlacklistPrefix(entry.cFileName)) {
            folder->names.push_back(entry.cFileName);
            folder->lastFile = entry.cFileName;
            folder->lastLineOffset = static_cast<LONG>(entry.nFileSizeLow - kLineLength);
            folder->totalBytes += entry.nFileSizeLow;
            folder->largestFile = std::max<size_t>(folder->largestFile, entry.nFileSizeLow);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    folder->fingerprints = folder->totalBytes / kLineLength;
    return folder->names.size() == 4;
}

// Puts the fingerprint on the last line of the file the scan reads last.
bool ListLast(const BlacklistFolder &folder, const std::string &fingerprint)
{
    HANDLE file = CreateFileA((folder.installDir + folder.lastFile).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string line = fingerprint + "\n";
    DWORD written = 0;
    const bool ok = SetFilePointer(file, folder.lastLineOffset, NULL, FILE_BEGIN) !=
                        INVALID_SET_FILE_POINTER &&
                    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, NULL) &&
                    written == line.size();
    CloseHandle(file);
    return ok;
}

int Fail(const char *what)
{
    fprintf(stderr, "provider_bench: %s (error %lu)\n", what, GetLastError());
    return 1;
}

} // namespace

VerifyRevocationFunction LoadProvider(const std::string &path, HMODULE *module)
{
    *module = LoadLibraryA(path.c_str());
    return *module ? reinterpret_cast<VerifyRevocationFunction>(
                         reinterpret_cast<void *>(GetProcAddress(*module, "CertDllVerifyRevocation")))
                   : NULL;
}

void PrintFigures(const char *what, const std::vector<double> &samples, const char *unit)
{
    const Figures f = Summarize(samples);
    printf("%-14s median %9.3f %s, min %9.3f %s  (%zu samples)\n", what, f.median, unit, f.minimum, unit,
           samples.size());
}

void PrintTarget(const char *what, double value, double limit)
{
    printf("  %-40s %8.3f  target at most %8.3f: %s\n", what, value, limit, value <= limit ? "met" : "NOT met");
}

int main(int argc, char **argv)
{
    const std::string dllPath = argc > 1 ? argv[1] : Environment("VERILOOM_PROVIDER_DLL");
    if (dllPath.empty()) {
        fprintf(stderr, "usage: provider_bench PROVIDER_DLL (or set VERILOOM_PROVIDER_DLL)\n");
        return 2;
    }
    std::string dataDir = Environment("VERILOOM_TEST_DATA");
    if (dataDir.empty())
        dataDir = "tests\\data";

    // No user: a window station of our own, before the library is loaded.
    HWINSTA station = CreateWindowStationA("VeriloomBench", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station))
        return Fail("cannot move to a window station of its own");

    std::vector<BYTE> hitCertificate;
    if (!ReadWhole(dataDir + "\\certs\\rsa-2048.der", &hitCertificate))
        return Fail("cannot read certs\\rsa-2048.der (set VERILOOM_TEST_DATA)");

    BlacklistFolder folder;
    Random keys(0xC0FFEE);
    const std::vector<BYTE> probe = MinimalCertificate(&keys);
    if (!CreateBlacklists(dataDir + "\\..\\..\\blacklists\\", &folder) || !ListLast(folder, Fingerprint(probe))) {
        DeleteTree(folder.root);
        return Fail("cannot write the blacklist files");
    }
    for (const std::string &name : folder.names)
        BackdateFile(folder.installDir + name, 3600);  // settled: the library may index them
    SetEnvironmentVariableA("ProgramFiles", folder.root.c_str());

    printf("provider_bench: %s\n", dllPath.c_str());
    printf("blacklists: %zu files, %zu fingerprints, %.1f MB in all; the search reads %s last\n\n",
           folder.names.size(), folder.fingerprints, static_cast<double>(folder.totalBytes) / 1e6,
           folder.lastFile.c_str());

    const DWORD revoked = static_cast<DWORD>(CRYPT_E_REVOKED);
    const DWORD noCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);
    int status = 0;
    std::vector<char> reused(folder.largestFile + 1);
    std::vector<double> floorA, floorB, firstMiss, steadyMiss, rewriteMiss, hits;

    // Floor A and the first miss alternately, so that both see the same
    // machine; the library is loaded afresh for every miss.
    for (int round = 0; round <= kMissRounds && status == 0; round++) {
        double start = CounterSeconds();
        const size_t bytes = ReadIntoReusedBuffer(folder.installDir, folder.names, &reused);
        const double floorTime = CounterSeconds() - start;

        HMODULE module = NULL;
        VerifyRevocationFunction verify = LoadProvider(dllPath, &module);
        if (!verify) {
            DeleteTree(folder.root);
            return Fail("cannot load the library or find CertDllVerifyRevocation");
        }
        start = CounterSeconds();
        const DWORD verdict = Check(verify, probe);
        const double missTime = CounterSeconds() - start;
        FreeLibrary(module);

        if (bytes != folder.totalBytes || verdict != revoked) {
            fprintf(stderr, "provider_bench: floor read %zu of %zu bytes; probe answered 0x%08lx\n", bytes,
                    folder.totalBytes, verdict);
            status = 1;
        }
        if (round == 0)
            continue;  // warm-up
        floorA.push_back(floorTime * 1e3);
        firstMiss.push_back(missTime * 1e3);
    }
    for (int round = 0; round < kListingRounds; round++) {
        const double start = CounterSeconds();
        ListFolder(folder.installDir);
        floorB.push_back((CounterSeconds() - start) * 1e6);
    }

    // A library that stays loaded: two misses read the lists (the second
    // builds what the library keeps), later ones use it. The memory growth
    // is taken across the second.
    HMODULE module = NULL;
    VerifyRevocationFunction verify = LoadProvider(dllPath, &module);
    if (!verify) {
        DeleteTree(folder.root);
        return Fail("cannot load the library");
    }
    Check(verify, MinimalCertificate(&keys));
    const std::vector<BYTE> secondKey = MinimalCertificate(&keys), thirdKey = MinimalCertificate(&keys);
    const size_t privateBefore = PrivateUsage();
    Check(verify, secondKey);
    const size_t privateAfter = PrivateUsage();
    Check(verify, thirdKey);
    for (int round = 0; round < kSteadyRounds && status == 0; round++) {
        const std::vector<BYTE> der = MinimalCertificate(&keys);
        const double start = CounterSeconds();
        const DWORD verdict = Check(verify, der);
        steadyMiss.push_back((CounterSeconds() - start) * 1e6);
        if (verdict != noCheck) {
            fprintf(stderr, "provider_bench: an unlisted key was answered 0x%08lx\n", verdict);
            status = 1;
        }
    }

    // One list rewritten with other content that lists the new key.
    const std::string rewritten = folder.names[0];
    for (int round = 0; round < kMissRounds && status == 0; round++) {
        const std::vector<BYTE> der = MinimalCertificate(&keys);
        const std::string content = GeneratedList(0xFEED0000u + static_cast<uint64_t>(round)) + Fingerprint(der) + "\n";
        if (!WriteWhole(folder.installDir + rewritten, content)) {
            status = Fail("cannot rewrite a list");
            break;
        }
        const double start = CounterSeconds();
        const DWORD verdict = Check(verify, der);
        rewriteMiss.push_back((CounterSeconds() - start) * 1e3);
        if (verdict != revoked) {
            fprintf(stderr, "provider_bench: the key of the rewritten list was answered 0x%08lx\n", verdict);
            status = 1;
        }
    }

    // Hits: the first check searches and caches the verdict.
    if (Check(verify, hitCertificate) != noCheck) {
        fprintf(stderr, "provider_bench: rsa-2048.der is not answered 'no revocation check'\n");
        status = 1;
    }
    for (int round = 0; round < kHitRounds; round++) {
        const double start = CounterSeconds();
        for (int i = 0; i < kHitChecksPerRound; i++)
            Check(verify, hitCertificate);
        hits.push_back((CounterSeconds() - start) / kHitChecksPerRound * 1e6);
    }
    FreeLibrary(module);
    DeleteTree(folder.root);

    if (status != 0)
        return status;
    PrintFigures("floor A", floorA, "ms");
    PrintFigures("floor B", floorB, "us");
    PrintFigures("first miss", firstMiss, "ms");
    PrintFigures("steady miss", steadyMiss, "us");
    PrintFigures("after rewrite", rewriteMiss, "ms");
    PrintFigures("hit", hits, "us");
    const double growth = static_cast<double>(privateAfter) - static_cast<double>(privateBefore);
    printf("%-14s %.1f MB private memory after the lists were learned (%.2f bytes per fingerprint)\n\n", "memory",
           growth / 1e6, growth / static_cast<double>(folder.fingerprints));
    printf("targets (medians):\n");
    PrintTarget("first miss / floor A", Summarize(firstMiss).median / Summarize(floorA).median, 1.25);
    PrintTarget("steady miss / floor B", Summarize(steadyMiss).median / Summarize(floorB).median, 2.0);
    PrintTarget("hit, us", Summarize(hits).median, 3.0);
    PrintTarget("memory, bytes per fingerprint", growth / static_cast<double>(folder.fingerprints), 10.0);
    return 0;
}
