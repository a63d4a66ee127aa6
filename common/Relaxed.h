// A value that one thread writes while another reads it, with no ordering
// between them: relaxed atomic loads and stores, which are plain moves on
// x86. It keeps cross-thread fields readable (`x = 1.0f; float y = x;`)
// while leaving the program free of data races.
#pragma once

#include <atomic>

template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T initial = T{}) noexcept : value(initial) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    Relaxed& operator=(T next) noexcept {
        value.store(next, std::memory_order_relaxed);
        return *this;
    }
    operator T() const noexcept { return value.load(std::memory_order_relaxed); }
    T load() const noexcept { return value.load(std::memory_order_relaxed); }
    void store(T next) noexcept { value.store(next, std::memory_order_relaxed); }

private:
    static_assert(std::atomic<T>::is_always_lock_free);
    std::atomic<T> value;
};
