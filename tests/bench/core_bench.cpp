// Benchmarks of the portable core: walking and fingerprinting one 2048-bit
// certificate, and SHA-1 throughput at the block sizes `openssl speed` uses.

#include "provider/certificate_walker.h"
#include "provider/sha1_digest.h"
#include "tools/file_input.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void WalkAndFingerprint2048(benchmark::State &state)
{
    const char *dir = getenv("VERILOOM_TEST_DATA");
    std::vector<uint8_t> der;
    if (!ReadWholeFile((std::string(dir ? dir : "tests/data") + "/certs/rsa-2048.der").c_str(), &der)) {
        state.SkipWithError("rsa-2048.der not found (set VERILOOM_TEST_DATA)");
        return;
    }
    for (auto _ : state) {
        TMyProcessCertificate *reader = new TMyProcessCertificate;
        bool ok = reader->Process(der.data(), static_cast<uint32_t>(der.size()));
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(reader->GetModulusDigest()[0]);
        delete reader;
    }
}
BENCHMARK(WalkAndFingerprint2048);

void Sha1Throughput(benchmark::State &state)
{
    const std::vector<uint8_t> block(static_cast<size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        TSha1Digest sha;
        sha.Update(block.data(), static_cast<int32_t>(block.size()));
        sha.Finish();
        benchmark::DoNotOptimize(sha.GetHex()[0]);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Sha1Throughput)->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->Arg(8192)->Arg(16384);

} // namespace

BENCHMARK_MAIN();
