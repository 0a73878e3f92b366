#pragma once
// A word shared between the run thread, the event thread and renderer threads.
// Loads and stores are relaxed atomics (plain moves on x86), so reading a
// register or a flag while another thread writes it is never a data race.
// The compound assignments are a load followed by a store: they are meant for
// state that has one writer at a time (a core's registers, its counters).
#include <atomic>
#include <type_traits>

template <class T>
class Relaxed {
public:
    static_assert(std::is_trivially_copyable_v<T>);

    constexpr Relaxed() noexcept : m_value(T{}) {}
    constexpr Relaxed(T value) noexcept : m_value(value) {}  // NOLINT: implicit on purpose
    Relaxed(const Relaxed& other) noexcept : m_value(other.Load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        Store(other.Load());
        return *this;
    }
    Relaxed& operator=(T value) noexcept {
        Store(value);
        return *this;
    }

    T Load() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void Store(T value) noexcept { m_value.store(value, std::memory_order_relaxed); }
    operator T() const noexcept { return Load(); }  // NOLINT: implicit on purpose

    // Read-modify-write for single-writer state.
    Relaxed& operator+=(T v) noexcept {
        Store(static_cast<T>(Load() + v));
        return *this;
    }
    Relaxed& operator-=(T v) noexcept {
        Store(static_cast<T>(Load() - v));
        return *this;
    }
    Relaxed& operator|=(T v) noexcept {
        Store(static_cast<T>(Load() | v));
        return *this;
    }
    Relaxed& operator&=(T v) noexcept {
        Store(static_cast<T>(Load() & v));
        return *this;
    }
    Relaxed& operator^=(T v) noexcept {
        Store(static_cast<T>(Load() ^ v));
        return *this;
    }
    Relaxed& operator++() noexcept {
        Store(static_cast<T>(Load() + 1));
        return *this;
    }
    Relaxed& operator--() noexcept {
        Store(static_cast<T>(Load() - 1));
        return *this;
    }
    T operator++(int) noexcept {
        T old = Load();
        Store(static_cast<T>(old + 1));
        return old;
    }
    T operator--(int) noexcept {
        T old = Load();
        Store(static_cast<T>(old - 1));
        return old;
    }

    // Atomic exchange and bit operations, for flags that two threads may both
    // write; each returns the value before.
    T Exchange(T value) noexcept { return m_value.exchange(value, std::memory_order_acq_rel); }
    T FetchOr(T bits) noexcept { return m_value.fetch_or(bits, std::memory_order_acq_rel); }
    T FetchAnd(T bits) noexcept { return m_value.fetch_and(bits, std::memory_order_acq_rel); }

private:
    std::atomic<T> m_value;
};
