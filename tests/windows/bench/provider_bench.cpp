// provider_bench: how fast the provider library answers, through its export,
// under Wine (or on Windows). It prints three figures:
//   cache hit   one check of a 2048-bit certificate whose verdict the library
//               has cached (the library held loaded);
//   cache miss  one check of a key the library has never seen, against four
//               blacklist files of 98,304 fingerprints each, the key listed
//               on the very last line of the file the scan reads last;
//   floor       reading the same four files whole the way the scan reads
//               them (FindFirstFile, CreateFile, malloc(size + 1), one
//               ReadFile, free) and finding their first NUL: what a scan
//               cannot go below.
// The process moves to a window station of its own before it loads the
// library, so the library sees no user and never shows a message box.
//
//   provider_bench [PROVIDER_DLL]
// PROVIDER_DLL defaults to %VERILOOM_PROVIDER_DLL%; the certificate is
// %VERILOOM_TEST_DATA%\certs\rsa-2048.der (default tests\data).

#include <windows.h>
#include <wincrypt.h>

#include "tests/windows/support/provider_test_support.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kBlacklistFiles = 4;
const int kFingerprintsPerFile = 98304;
const size_t kLineLength = 21;  // 20 hex digits and a line feed
const int kHitChecksPerRound = 20000;
const int kHitRounds = 15;
const int kMissRounds = 15;

double CounterSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
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

// A deterministic generator, so that every run uses the same blacklist contents.
typedef std::mt19937_64 Random;

// One check through the export; returns the status's dwError.
DWORD Check(VerifyRevocationFunction verify, const CERT_CONTEXT &context)
{
    CERT_REVOCATION_STATUS status;
    CallExport(verify, {&context}, &status);
    return status.dwError;
}

bool HasBlacklistPrefix(const char *name)
{
    return _strnicmp(name, "BLACKLIST", 9) == 0;
}

// The floor: every blacklist file read whole the way the scan reads it, and
// its text measured up to the first NUL. Returns the total text length, or
// 0 when a file could not be read.
size_t ReadBlacklistsWhole(const std::string &installDir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((installDir + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    size_t total = 0;
    bool ok = true;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !HasBlacklistPrefix(entry.cFileName))
            continue;
        const DWORD size = entry.nFileSizeLow;
        char *buffer = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
        if (!buffer) {
            ok = false;
            break;
        }
        buffer[size] = '\0';
        HANDLE file = CreateFileA((installDir + entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD bytesRead = 0;
        if (file == INVALID_HANDLE_VALUE || !ReadFile(file, buffer, size, &bytesRead, NULL) || bytesRead != size) {
            ok = false;
        } else {
            const char *end = static_cast<const char *>(memchr(buffer, '\0', static_cast<size_t>(size) + 1));
            total += static_cast<size_t>(end - buffer);
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        free(buffer);
    } while (ok && FindNextFileA(find, &entry));
    FindClose(find);
    return ok ? total : 0;
}

// 20 random hex digits and a line feed.
std::string HexLine(Random *random)
{
    const uint64_t a = (*random)(), b = (*random)();
    const uint8_t bytes[10] = {uint8_t(a), uint8_t(a >> 8), uint8_t(a >> 16), uint8_t(a >> 24), uint8_t(a >> 32),
                               uint8_t(a >> 40), uint8_t(a >> 48), uint8_t(a >> 56), uint8_t(b), uint8_t(b >> 8)};
    return ToHex(bytes, sizeof bytes) + "\n";
}

// The "ProgramFiles" stand-in (for as long as it lives) with its four
// blacklist files.
struct BlacklistFolder : InstallFolder {
    std::string lastFile;  // the file the scan reads last
    LONG lastLineOffset;   // where its last fingerprint begins
    size_t totalBytes;
};

bool CreateBlacklists(BlacklistFolder *folder)
{
    folder->totalBytes = 0;
    for (int f = 0; f < kBlacklistFiles; f++) {
        Random random(0x5EED0000u + static_cast<uint64_t>(f));
        std::string content = "# weak RSA keys, 2048 bits: last 20 hex digits of the key fingerprint\n";
        content.reserve(content.size() + kFingerprintsPerFile * kLineLength);
        for (int i = 0; i < kFingerprintsPerFile; i++)
            content += HexLine(&random);
        const std::string path = folder->installDir + "BLACKLIST.RSA-" + static_cast<char>('a' + f);
        if (!WriteTextFile(path, content))
            return false;
        folder->totalBytes += content.size();
    }

    // The scan reads the files in the order the folder lists them.
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder->installDir + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HasBlacklistPrefix(entry.cFileName)) {
            folder->lastFile = entry.cFileName;
            folder->lastLineOffset = static_cast<LONG>(entry.nFileSizeLow - kLineLength);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return !folder->lastFile.empty();
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

    Bytes hitCertificate;
    if (!ReadWholeFile(dataDir + "\\certs\\rsa-2048.der", &hitCertificate))
        return Fail("cannot read certs\\rsa-2048.der (set VERILOOM_TEST_DATA)");
    const CERT_CONTEXT hitContext = BareContext(hitCertificate);

    BlacklistFolder folder;
    if (!CreateBlacklists(&folder))
        return Fail("cannot write the blacklist files");

    HMODULE module = LoadLibraryA(dllPath.c_str());
    VerifyRevocationFunction verify = NULL;
    if (module)
        verify = reinterpret_cast<VerifyRevocationFunction>(
            reinterpret_cast<void *>(GetProcAddress(module, "CertDllVerifyRevocation")));
    if (!verify)
        return Fail("cannot load the library or find CertDllVerifyRevocation");

    printf("provider_bench: %s\n", dllPath.c_str());
    printf("blacklists: %d files x %d fingerprints, %.1f MB in all; the scan reads %s last\n\n", kBlacklistFiles,
           kFingerprintsPerFile, static_cast<double>(folder.totalBytes) / 1e6, folder.lastFile.c_str());

    int status = 0;

    // Cache hit: the first check scans and caches the verdict, every later
    // one finds it in the cache.
    if (Check(verify, hitContext) != static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK)) {
        fprintf(stderr, "provider_bench: rsa-2048.der is not answered 'no revocation check'\n");
        status = 1;
    }
    std::vector<double> hitSamples;
    for (int round = 0; round < kHitRounds; round++) {
        const double start = CounterSeconds();
        for (int i = 0; i < kHitChecksPerRound; i++)
            Check(verify, hitContext);
        hitSamples.push_back((CounterSeconds() - start) / kHitChecksPerRound * 1e6);
    }
    const Figures hit = Summarize(hitSamples);
    printf("cache hit   rsa-2048.der, verdict cached, %d rounds of %d checks\n", kHitRounds, kHitChecksPerRound);
    printf("            per check: median %.3f us, min %.3f us (target: at most 10 us: %s)\n\n", hit.median,
           hit.minimum, hit.median <= 10.0 ? "met" : "NOT met");

    // Cache miss against the floor, alternately, so that both see the same
    // machine. Each miss is a new key, listed on the last line of the last
    // file, so the scan reads every file before it finds it.
    Random keys(0xC0FFEE);
    std::vector<double> missSamples, floorSamples;
    size_t floorBytes = 0;
    for (int round = 0; round < kMissRounds + 1 && status == 0; round++) {
        const Bytes modulus = SeededModulus(static_cast<uint32_t>(keys()), 256);
        const std::string fingerprint = KeyFingerprint(modulus);
        const Bytes der = MinimalCertificate(modulus, "Benchmark key");
        if (fingerprint.size() != 20 || !ListLast(folder, fingerprint)) {
            fprintf(stderr, "provider_bench: cannot list the new key\n");
            status = 1;
            break;
        }

        double start = CounterSeconds();
        floorBytes = ReadBlacklistsWhole(folder.installDir);
        const double floorTime = CounterSeconds() - start;

        start = CounterSeconds();
        const DWORD verdict = Check(verify, BareContext(der));
        const double missTime = CounterSeconds() - start;

        if (floorBytes != folder.totalBytes) {
            fprintf(stderr, "provider_bench: the floor read %lu bytes of %lu\n", static_cast<unsigned long>(floorBytes),
                    static_cast<unsigned long>(folder.totalBytes));
            status = 1;
        }
        if (verdict != static_cast<DWORD>(CRYPT_E_REVOKED)) {
            fprintf(stderr, "provider_bench: the listed key was answered 0x%08lx, not CRYPT_E_REVOKED\n", verdict);
            status = 1;
        }
        if (round == 0)
            continue;  // warm-up
        floorSamples.push_back(floorTime * 1e3);
        missSamples.push_back(missTime * 1e3);
    }
    if (!missSamples.empty()) {
        const Figures miss = Summarize(missSamples);
        const Figures floor = Summarize(floorSamples);
        printf("cache miss  a new 2048-bit key per check, listed last, %d checks\n", kMissRounds);
        printf("            per check: median %.3f ms, min %.3f ms\n", miss.median, miss.minimum);
        printf("floor       the same files read whole, first NUL found, %d passes\n", kMissRounds);
        printf("            per pass:  median %.3f ms, min %.3f ms\n", floor.median, floor.minimum);
        const double ratio = miss.median / floor.median;
        printf("ratio       miss / floor: %.2f by medians, %.2f by minimums (target: at most 1.5: %s)\n", ratio,
               miss.minimum / floor.minimum, ratio <= 1.5 ? "met" : "NOT met");
    }

    FreeLibrary(module);
    return status;
}
