// VELMORA_NONBLOCKING marks a function that runs on the host's audio thread
// (or may be called there) and so must never allocate, free, lock, wait or
// make a system call that can block.
//
// Under clang with RealtimeSanitizer (-fsanitize=realtime) it expands to
// [[clang::nonblocking]]: every call of a marked function then runs in a
// real-time context, and the sanitizer stops the program with a report at
// the first malloc, free, mutex, sleep, file or socket call made inside it.
// Everywhere else it expands to nothing, so other builds are unchanged.
//
// Place it after the parameter list and `noexcept`, before `override`,
// `= 0` or the body:
//
//     void processReplacing(float** in, float** out, std::int32_t n) noexcept VELMORA_NONBLOCKING override;
#pragma once

#if defined(__clang__) && defined(__has_feature)
#if __has_feature(realtime_sanitizer)
#define VELMORA_NONBLOCKING [[clang::nonblocking]]
#endif
#endif

#ifndef VELMORA_NONBLOCKING
#define VELMORA_NONBLOCKING
#endif
