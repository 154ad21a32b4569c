#pragma once
// Pixel loops built twice on x86-64: for the baseline instruction set the package targets and
// for x86-64-v3 (AVX2, BMI2, POPCNT), the one the processor runs chosen once when the program
// starts. The same loop then handles twice the pixels an instruction, with a popcount
// instruction, wherever the machine has them. Everything the marked function inlines is built
// for both. VANTREL_BASELINE_ONLY builds the baseline alone, so that its tests can run on any
// machine.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) &&                             \
    !defined(VANTREL_BASELINE_ONLY)
#define VANTREL_WIDE_VECTORS __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define VANTREL_WIDE_VECTORS
#endif

// For the functions a marked loop calls: inlined, they are built for each of its versions.
#if defined(__GNUC__)
#define VANTREL_INLINE_LOOP [[gnu::always_inline]] inline
#else
#define VANTREL_INLINE_LOOP inline
#endif

// Kernels written for AVX2 with intrinsics beside their portable loop: VANTREL_AVX2_KERNELS says
// whether they are built, VANTREL_AVX2 marks them, and HasAvx2() tells whether this processor
// runs them (asked once).
#if defined(__GNUC__) && defined(__x86_64__) && !defined(VANTREL_BASELINE_ONLY)
#include <immintrin.h>
#define VANTREL_AVX2_KERNELS 1
#define VANTREL_AVX2 __attribute__((target("avx2,popcnt")))
namespace vantrel {
inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return has;
}
} // namespace vantrel
#else
#define VANTREL_AVX2_KERNELS 0
#endif
