// Processor dispatch for the block engine: the audio loops are compiled
// twice, once for the baseline instruction set (SSE2 on x86) and once for
// 256-bit vectors with fused multiply-adds, and each block takes the variant
// the processor runs. The tremolo's sine kernel has a third, 512-bit
// variant.
#pragma once

// VELMORA_PLAIN_ONLY builds the plain variants alone (the tests use it to
// run them on processors that would choose the wider ones).
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__)) && \
    !defined(VELMORA_PLAIN_ONLY)
#define VELMORA_WIDE_TARGET __attribute__((target("avx2,fma")))
#define VELMORA_WIDEST_TARGET __attribute__((target("avx2,fma,avx512f,avx512vl")))
#define VELMORA_HAS_WIDE_TARGET 1
#else
#define VELMORA_WIDE_TARGET
#define VELMORA_HAS_WIDE_TARGET 0
#endif

// The engine's loops are inlined into each variant's entry, so that they
// are compiled for its instruction set.
#if defined(__GNUC__) || defined(__clang__)
#define VELMORA_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define VELMORA_ALWAYS_INLINE inline
#endif

namespace engine {

// Whether this processor runs the 256-bit variant (a test of flags that the
// runtime filled in at load time: no call, no lock).
inline bool wideVectors() noexcept {
#if VELMORA_HAS_WIDE_TARGET
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

// The upper halves of the vector registers cleared (VZEROUPPER), for the
// 256-bit variant only: code outside it (the host's, and the oscillators'
// out-of-line functions) runs slowly on some processors while they hold
// data. The compiler clears them where it sees its own vector code end,
// but not everywhere the engine's loops leave them set; the engine clears
// them itself before it calls out and before it returns.
#if VELMORA_HAS_WIDE_TARGET
__attribute__((target("avx"))) inline void clearVectorState() noexcept { __builtin_ia32_vzeroupper(); }
#else
inline void clearVectorState() noexcept {}
#endif

// Whether it also runs the 512-bit one.
inline bool widestVectors() noexcept {
#if VELMORA_HAS_WIDE_TARGET
    return wideVectors() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

}  // namespace engine
