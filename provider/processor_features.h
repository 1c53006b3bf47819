// What the processor offers beyond the x86-64 baseline (SSE2), asked once
// through CPUID (and XGETBV: whether the system saves the vector state), so
// that a kernel compiled for more by function attribute runs only where it
// can. False everywhere else. Portable.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VERILOOM_X86_KERNELS 1
#endif

// SSSE3, SSE4.1 and the SHA extensions.
bool ProcessorHasShaExtensions();
// AVX2, with the YMM state saved by the system.
bool ProcessorHasAvx2();
