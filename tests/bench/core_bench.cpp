// Benchmarks of the portable core: walking and fingerprinting one RSA-2048
// and one EC P-256 certificate (the EC one must cost no more), SHA-1
// throughput at the block sizes `openssl speed` uses (and of the portable
// kernel at 256 bytes and 8 KiB, where the processor has a faster one), the structural key
// checks on ordinary 2048- and 4096-bit keys (all 100 Fermat rounds; target:
// at most 200 us at 4096 bits), and building the index of a full-size list
// (294,912 lines, fed in the search's 64 KiB chunks).

#include "provider/certificate_walker.h"
#include "provider/fingerprint_index.h"
#include "provider/key_checks.h"
#include "provider/sha1_blocks.h"
#include "provider/sha1_digest.h"
#include "tools/file_input.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// A certificate of the test set (VERILOOM_TEST_DATA, default tests/data).
bool ReadCertificate(const char *name, std::vector<uint8_t> *der)
{
    const char *dir = getenv("VERILOOM_TEST_DATA");
    return ReadWholeFile((std::string(dir ? dir : "tests/data") + "/certs/" + name).c_str(), der);
}

void WalkAndFingerprint(benchmark::State &state, const char *name)
{
    std::vector<uint8_t> der;
    if (!ReadCertificate(name, &der)) {
        state.SkipWithError("certificate not found (set VERILOOM_TEST_DATA)");
        return;
    }
    for (auto _ : state) {
        TMyProcessCertificate *reader = new TMyProcessCertificate;
        bool ok = reader->Process(der.data(), static_cast<uint32_t>(der.size()));
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(reader->GetKeyDigest()[0]);
        delete reader;
    }
}
BENCHMARK_CAPTURE(WalkAndFingerprint, Rsa2048, "rsa-2048.der");
BENCHMARK_CAPTURE(WalkAndFingerprint, EcP256, "ec-p256.der");

// On the given kernel: the one chosen at load, or the portable one.
void Sha1Throughput(benchmark::State &state, Sha1Kernel kernel)
{
    if (!UseSha1Kernel(kernel)) {
        state.SkipWithError("kernel not available");
        return;
    }
    const std::vector<uint8_t> block(static_cast<size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        TSha1Digest sha;
        sha.Update(block.data(), static_cast<int32_t>(block.size()));
        sha.Finish();
        benchmark::DoNotOptimize(sha.GetHex()[0]);
    }
    // In units of 1000, as `openssl speed` counts (SetBytesProcessed would
    // count in 1024s).
    state.counters["bytes_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsRate, benchmark::Counter::OneK::kIs1000);
    UseSha1Kernel(FastestSha1Kernel());
}
// An ordinary key: the ROCA test ends early, Fermat's method runs all rounds.
void KeyChecks(benchmark::State &state)
{
    const char *name = state.range(0) == 2048 ? "rsa-2048.der" : "rsa-4096.der";
    std::vector<uint8_t> der;
    TMyProcessCertificate reader;
    const uint8_t *modulus = NULL;
    uint32_t length = 0;
    if (!ReadCertificate(name, &der) || !reader.Process(der.data(), static_cast<uint32_t>(der.size())) ||
        !reader.GetModulus(&modulus, &length)) {
        state.SkipWithError("certificate not found (set VERILOOM_TEST_DATA)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(FindKeyWeakness(modulus, length));
    state.SetLabel("target: at most 200 us at 4096 bits");
}
BENCHMARK(KeyChecks)->Arg(2048)->Arg(4096)->Unit(benchmark::kMicrosecond);

void BuildIndex(benchmark::State &state)
{
    std::mt19937_64 random(0x5EED0000u);
    std::string text = "# weak RSA keys: last 20 hex digits of the key fingerprint\n";
    for (int i = 0; i < 294912; i++) {
        char line[32];
        snprintf(line, sizeof line, "%04x%016llx\n", static_cast<unsigned>(random() & 0xFFFF),
                 static_cast<unsigned long long>(random()));
        text += line;
    }
    const size_t chunk = 0x10000;
    for (auto _ : state) {
        IndexBuilder builder(text.size());
        for (size_t at = 0; at < text.size(); at += chunk)
            builder.Add(text.data() + at, std::min(chunk, text.size() - at));
        FingerprintIndex *index = builder.Finish();
        benchmark::DoNotOptimize(index);
        ReleaseIndex(index);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BuildIndex)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Sha1Throughput, Chosen, FastestSha1Kernel())->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->Arg(8192)->Arg(16384);
BENCHMARK_CAPTURE(Sha1Throughput, Portable, kSha1Portable)->Arg(256)->Arg(8192);

} // namespace

BENCHMARK_MAIN();
