// Processor features (see processor_features.h).

#include "processor_features.h"

#if defined(VERILOOM_X86_KERNELS)
#include <cpuid.h>
#endif

#if defined(VERILOOM_X86_KERNELS)

namespace {

// CPUID leaf 7, subleaf 0: EBX, or 0 where the leaf is missing.
unsigned ExtendedFeatures()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7)
        return 0;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return ebx;
}

} // namespace

// Leaf 1: SSSE3 (ECX bit 9), SSE4.1 (bit 19); leaf 7: SHA (EBX bit 29).
bool ProcessorHasShaExtensions()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & (1u << 9)) || !(ecx & (1u << 19)))
        return false;
    return (ExtendedFeatures() & (1u << 29)) != 0;
}

// Leaf 1: AVX (ECX bit 28) and OSXSAVE (bit 27), then XCR0 with the SSE
// and AVX state (bits 1 and 2) enabled; leaf 7: AVX2 (EBX bit 5).
bool ProcessorHasAvx2()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & (1u << 27)) || !(ecx & (1u << 28)))
        return false;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 6u) != 6u)
        return false;
    return (ExtendedFeatures() & (1u << 5)) != 0;
}

#else

bool ProcessorHasShaExtensions()
{
    return false;
}

bool ProcessorHasAvx2()
{
    return false;
}

#endif
