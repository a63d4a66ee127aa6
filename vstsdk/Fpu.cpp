// TAudioEffect::maskFpuExceptions: after it, no floating-point error traps
// on the calling thread; errors give infinities and NaNs instead.
#include "AudioEffect.h"

#if !((defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__)))
#include <cfenv>
#endif

#include <cstdint>

// Construction thread (the base constructor calls it last). Changes the
// floating-point state of this thread only; no other bits than the masks
// (and, on x87, the low precision-control bit) change.
void TAudioEffect::maskFpuExceptions() noexcept {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
    // x87 control word: bits 0-5 mask invalid, denormal, zero-divide,
    // overflow, underflow and precision; bit 8 raises double precision (2)
    // to extended (3) and leaves extended as it is. Rounding control stays.
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<std::uint16_t>(control | 0x13F);
    __asm__ volatile("fldcw %0" : : "m"(control));
#if defined(__x86_64__) || defined(__SSE__)
    // SSE arithmetic has its own masks (MXCSR bits 7-12).
    std::uint32_t status = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(status));
    status |= 0x1F80u;
    __asm__ volatile("ldmxcsr %0" : : "m"(status));
#endif
#else
    // Elsewhere the standard non-stop mode is the way to "no trap": it masks
    // every exception of this thread (and clears the exception flags).
    std::fenv_t saved;
    std::feholdexcept(&saved);
#endif
}
