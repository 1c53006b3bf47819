// provider_bench: how fast the provider library answers, through its export,
// under Wine (or on Windows), against four full-size blacklist files: the
// shipped BLACKLIST.RSA-512 and BLACKLIST.RSA-1024 and two generated files of
// 294,912 fingerprints each in the same format. Medians, minimums and the
// slowest samples of:
//   floor A       the four files read into one reused buffer (CreateFile,
//                 ReadFile, CloseHandle);
//   floor B       one listing of the installation folder (FindFirstFile,
//                 FindNextFile, FindClose);
//   first miss    a new key in a freshly loaded library, listed on the last
//                 line of the file the search reads last (target: at most
//                 1.25 x floor A);
//   index build   the second miss of a freshly loaded library, which wants
//                 the four lists indexed and starts the library's worker
//                 thread on it (target: at most 2 x first miss);
//   during build  a miss right after it, while the worker builds (target:
//                 at most 2 x first miss);
//   index ready   from the start of the second miss until the worker has
//                 built the four indexes and ended (no target: no check
//                 waits for it);
//   floor C       fresh memory as large as the four indexes, committed and
//                 written once a page (what the index build cannot avoid:
//                 where first touches are dear, as in some virtual
//                 machines, they outweigh the rest of the build);
//   steady miss   a new key in a library that stays loaded, lists unchanged
//                 (targets: at most 2 x floor B, the slowest at most 2 x
//                 first miss);
//   after rewrite a miss right after one of the four files was rewritten with
//                 other content, listing the key (no target);
//   hit           a cached check of a 2048-bit certificate (target: at most
//                 2 us);
//   hit EC        a cached check of an EC P-256 certificate (target: at most
//                 the RSA hit);
// and the process's private memory growth once the library keeps what it
// learned about the lists. The process moves to a window station of its own
// before it loads the library, so the library shows nothing.
//
//   provider_bench [PROVIDER_DLL]
// PROVIDER_DLL defaults to %VERILOOM_PROVIDER_DLL%; the certificates are
// %VERILOOM_TEST_DATA%\certs\rsa-2048.der and ec-p256.der (default tests\data), the shipped
// lists are in %VERILOOM_TEST_DATA%\..\..\blacklists.

#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include "common/blacklist_name.h"
#include "tests/windows/support/provider_test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const int kGeneratedFingerprints = 294912;
const size_t kLineLength = 21;  // 20 hex digits and a line feed
const int kHitChecksPerRound = 20000;
const int kHitRounds = 15;
const int kMissRounds = 15;
const int kBuildRounds = 9;
const int kSteadyRounds = 200;
const int kListingRounds = 200;

double CounterSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double median;
    double minimum;
    double slowest;
};

Figures Summarize(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    Figures f;
    f.minimum = samples[0];
    f.slowest = samples[n - 1];
    f.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return f;
}

// A deterministic generator, so that every run uses the same blacklist contents.
typedef std::mt19937_64 Random;

// A new 2048-bit key in a minimal certificate, with its fingerprint.
struct Key {
    Bytes der;
    std::string fingerprint;
};
Key NewKey(Random *random)
{
    const Bytes modulus = SeededModulus(static_cast<uint32_t>((*random)()), 256);
    return Key{MinimalCertificate(modulus, "Benchmark key"), KeyFingerprint(modulus)};
}

// One check through the export; returns the status's dwError.
DWORD Check(VerifyRevocationFunction verify, const Bytes &der)
{
    const CERT_CONTEXT context = BareContext(der);
    CERT_REVOCATION_STATUS status;
    CallExport(verify, {&context}, &status);
    return status.dwError;
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

// Floor C: fresh memory touched once a page; returns false when none was had.
bool TouchFreshMemory(size_t bytes)
{
    char *memory = static_cast<char *>(VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!memory)
        return false;
    for (size_t at = 0; at < bytes; at += 4096)
        memory[at] = 1;
    VirtualFree(memory, 0, MEM_RELEASE);
    return true;
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

DWORD WINAPI EndAtOnce(LPVOID)
{
    return 0;
}

// Ends a thread with a stack as large as the library's index worker's.
// Wine frees the stacks of a thread that has ended only when the next one
// ends, so one such thread's stacks are kept before the index build as they
// are after it, and the memory growth across it is the library's own.
void EndThreadLikeTheWorker()
{
    const SIZE_T workerStackBytes = 256 * 1024;
    HANDLE thread = CreateThread(NULL, workerStackBytes, EndAtOnce, NULL, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
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
    for (const char *shipped : {"BLACKLIST.RSA-512", "BLACKLIST.RSA-1024"}) {
        if (!CopyFileA((shippedDir + shipped).c_str(), (folder->installDir + shipped).c_str(), FALSE))
            return false;
    }
    for (int f = 0; f < 2; f++) {
        const std::string path = folder->installDir + (f ? "BLACKLIST.RSA-4096" : "BLACKLIST.RSA-2048");
        if (!WriteTextFile(path, GeneratedList(0x5EED0000u + static_cast<uint64_t>(f))))
            return false;
    }

    // The search reads the files in the order the folder lists them.
    folder->totalBytes = folder->largestFile = 0;
    for (const WIN32_FIND_DATAA &entry : FindEntries(folder->installDir + "*")) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsBlacklistFileName(entry.cFileName)) {
            folder->names.push_back(entry.cFileName);
            folder->lastFile = entry.cFileName;
            folder->lastLineOffset = static_cast<LONG>(entry.nFileSizeLow - kLineLength);
            folder->totalBytes += entry.nFileSizeLow;
            folder->largestFile = std::max<size_t>(folder->largestFile, entry.nFileSizeLow);
        }
    }
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
    printf("%-14s median %9.3f %s, min %9.3f %s, slowest %9.3f %s  (%zu samples)\n", what, f.median, unit,
           f.minimum, unit, f.slowest, unit, samples.size());
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

    Bytes hitCertificate, ecHitCertificate;
    if (!ReadWholeFile(dataDir + "\\certs\\rsa-2048.der", &hitCertificate) ||
        !ReadWholeFile(dataDir + "\\certs\\ec-p256.der", &ecHitCertificate))
        return Fail("cannot read certs\\rsa-2048.der or ec-p256.der (set VERILOOM_TEST_DATA)");

    BlacklistFolder folder;
    Random keys(0xC0FFEE);
    const Key probe = NewKey(&keys);
    if (!CreateBlacklists(dataDir + "\\..\\..\\blacklists\\", &folder) || !ListLast(folder, probe.fingerprint))
        return Fail("cannot write the blacklist files");
    for (const std::string &name : folder.names)
        BackdateFile(folder.installDir + name, 3600);  // settled: the library may index them

    printf("provider_bench: %s\n", dllPath.c_str());
    printf("blacklists: %zu files, %zu fingerprints, %.1f MB in all; the search reads %s last\n\n",
           folder.names.size(), folder.fingerprints, static_cast<double>(folder.totalBytes) / 1e6,
           folder.lastFile.c_str());

    const DWORD revoked = static_cast<DWORD>(CRYPT_E_REVOKED);
    const DWORD noCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);
    int status = 0;
    std::vector<char> reused(folder.largestFile + 1);
    std::vector<double> floorA, floorB, floorC, firstMiss, indexBuild, duringBuild, indexReady, steadyMiss,
        rewriteMiss, hits, ecHits;
    // The four indexes: a table of bucket starts and 8 bytes a fingerprint each.
    const size_t indexBytes = folder.names.size() * 65538 * 4 + folder.fingerprints * 8;

    // Floor A and the first miss alternately, so that both see the same
    // machine; the library is loaded afresh for every miss.
    for (int round = 0; round <= kMissRounds && status == 0; round++) {
        double start = CounterSeconds();
        const size_t bytes = ReadIntoReusedBuffer(folder.installDir, folder.names, &reused);
        const double floorTime = CounterSeconds() - start;

        HMODULE module = NULL;
        VerifyRevocationFunction verify = LoadProvider(dllPath, &module);
        if (!verify)
            return Fail("cannot load the library or find CertDllVerifyRevocation");
        start = CounterSeconds();
        const DWORD verdict = Check(verify, probe.der);
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
    // has the worker build what the library keeps), later ones use it. The
    // second miss, one during the build and the build are timed in fresh
    // libraries, the last of which stays for what follows; the memory
    // growth is taken across them in the first.
    HMODULE module = NULL;
    VerifyRevocationFunction verify = NULL;
    size_t privateBefore = 0, privateAfter = 0;
    for (int round = 0; round < kBuildRounds; round++) {
        if (module)
            FreeLibrary(module);
        const double touchStart = CounterSeconds();
        if (!TouchFreshMemory(indexBytes))
            return Fail("cannot commit memory");
        floorC.push_back((CounterSeconds() - touchStart) * 1e3);
        verify = LoadProvider(dllPath, &module);
        if (!verify)
            return Fail("cannot load the library");
        Check(verify, NewKey(&keys).der);
        const Key secondKey = NewKey(&keys);
        EndThreadLikeTheWorker();
        const size_t before = PrivateUsage();
        const double start = CounterSeconds();
        Check(verify, secondKey.der);
        const double built = CounterSeconds();
        Check(verify, NewKey(&keys).der);
        const double during = CounterSeconds();
        WaitForIndexWorker();
        indexBuild.push_back((built - start) * 1e3);
        duringBuild.push_back((during - built) * 1e3);
        indexReady.push_back((CounterSeconds() - start) * 1e3);
        if (round == 0) {
            privateBefore = before;
            privateAfter = PrivateUsage();
        }
    }
    Check(verify, NewKey(&keys).der);
    for (int round = 0; round < kSteadyRounds && status == 0; round++) {
        const Key key = NewKey(&keys);
        const double start = CounterSeconds();
        const DWORD verdict = Check(verify, key.der);
        steadyMiss.push_back((CounterSeconds() - start) * 1e6);
        if (verdict != noCheck) {
            fprintf(stderr, "provider_bench: an unlisted key was answered 0x%08lx\n", verdict);
            status = 1;
        }
    }

    // One list rewritten with other content that lists the new key.
    const std::string rewritten = folder.names[0];
    for (int round = 0; round < kMissRounds && status == 0; round++) {
        const Key key = NewKey(&keys);
        const std::string content = GeneratedList(0xFEED0000u + static_cast<uint64_t>(round)) + key.fingerprint + "\n";
        if (!WriteTextFile(folder.installDir + rewritten, content)) {
            status = Fail("cannot rewrite a list");
            break;
        }
        const double start = CounterSeconds();
        const DWORD verdict = Check(verify, key.der);
        rewriteMiss.push_back((CounterSeconds() - start) * 1e3);
        if (verdict != revoked) {
            fprintf(stderr, "provider_bench: the key of the rewritten list was answered 0x%08lx\n", verdict);
            status = 1;
        }
    }

    // Hits, RSA and EC rounds alternately: the first check searches and
    // caches the verdict.
    if (Check(verify, hitCertificate) != noCheck || Check(verify, ecHitCertificate) != noCheck) {
        fprintf(stderr, "provider_bench: rsa-2048.der or ec-p256.der is not answered 'no revocation check'\n");
        status = 1;
    }
    // Microseconds per check, over a round of checks of one certificate.
    const auto perCheck = [&](const Bytes &der) {
        const double start = CounterSeconds();
        for (int i = 0; i < kHitChecksPerRound; i++)
            Check(verify, der);
        return (CounterSeconds() - start) / kHitChecksPerRound * 1e6;
    };
    for (int round = 0; round < kHitRounds; round++) {
        hits.push_back(perCheck(hitCertificate));
        ecHits.push_back(perCheck(ecHitCertificate));
    }
    FreeLibrary(module);

    if (status != 0)
        return status;
    PrintFigures("floor A", floorA, "ms");
    PrintFigures("floor B", floorB, "us");
    PrintFigures("first miss", firstMiss, "ms");
    PrintFigures("index build", indexBuild, "ms");
    PrintFigures("during build", duringBuild, "ms");
    PrintFigures("index ready", indexReady, "ms");
    PrintFigures("floor C", floorC, "ms");
    PrintFigures("steady miss", steadyMiss, "us");
    PrintFigures("after rewrite", rewriteMiss, "ms");
    PrintFigures("hit", hits, "us");
    PrintFigures("hit EC P-256", ecHits, "us");
    const double growth = static_cast<double>(privateAfter) - static_cast<double>(privateBefore);
    printf("%-14s %.1f MB private memory after the lists were learned (%.2f bytes per fingerprint)\n\n", "memory",
           growth / 1e6, growth / static_cast<double>(folder.fingerprints));
    printf("targets (medians):\n");
    PrintTarget("first miss / floor A", Summarize(firstMiss).median / Summarize(floorA).median, 1.25);
    PrintTarget("index build / first miss", Summarize(indexBuild).median / Summarize(firstMiss).median, 2.0);
    PrintTarget("slowest index build / first miss", Summarize(indexBuild).slowest / Summarize(firstMiss).median,
                2.0);
    PrintTarget("slowest during build / first miss", Summarize(duringBuild).slowest / Summarize(firstMiss).median,
                2.0);
    PrintTarget("steady miss / floor B", Summarize(steadyMiss).median / Summarize(floorB).median, 2.0);
    PrintTarget("slowest steady miss / first miss", Summarize(steadyMiss).slowest / 1e3 / Summarize(firstMiss).median,
                2.0);
    PrintTarget("hit, us", Summarize(hits).median, 2.0);
    PrintTarget("hit EC P-256 / hit RSA-2048", Summarize(ecHits).median / Summarize(hits).median, 1.0);
    PrintTarget("memory, bytes per fingerprint", growth / static_cast<double>(folder.fingerprints), 10.0);
    return 0;
}
