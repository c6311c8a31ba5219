// Whether the scans of Poser text may use 32-byte vectors (AVX2) on this processor. The code for
// them is compiled for that instruction set alone and taken only when the processor has it;
// the 16-byte code (SSE2, which every x86-64 processor has) finishes what they leave and
// serves everywhere else. Not on Windows: there the compiler may keep a 32-byte vector on a
// stack it does not align to 32 bytes.
#pragma once

#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define TARNWICK_HAS_AVX2 1
#define TARNWICK_AVX2 __attribute__((target("avx2")))
#include <immintrin.h>

inline bool has_avx2()
{
    static const bool yes = __builtin_cpu_supports("avx2") != 0;
    return yes;
}
#endif
