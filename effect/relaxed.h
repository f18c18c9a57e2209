// A value shared between the host's control thread and its audio thread.
//
// Reads and writes are relaxed atomic loads and stores: free of data races,
// never cached by the compiler across frames, and as cheap as plain accesses
// on the targets we build for. Nothing orders them against other fields; each
// value is consistent on its own.
#pragma once

#include <atomic>

template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T v = T{}) noexcept : value(v) {}
    Relaxed(const Relaxed& other) noexcept : value(other) {}
    Relaxed& operator=(const Relaxed& other) noexcept { return *this = static_cast<T>(other); }
    Relaxed& operator=(T v) noexcept {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator T() const noexcept { return value.load(std::memory_order_relaxed); }

private:
    std::atomic<T> value;
    static_assert(std::atomic<T>::is_always_lock_free);
};
