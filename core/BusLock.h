#pragma once
// The bus lock: one lock serialises every device call. It is held for a few
// nanoseconds at a time, so a short spin before yielding beats a mutex.
#include <atomic>
#include <thread>

class CBusLock {
public:
    void lock() noexcept {
        for (;;) {
            if (!m_flag.exchange(true, std::memory_order_acquire)) return;
            for (int spin = 0; m_flag.load(std::memory_order_relaxed); ++spin) {
                if (spin >= 64) std::this_thread::yield();
            }
        }
    }
    bool try_lock() noexcept {
        return !m_flag.load(std::memory_order_relaxed) &&
               !m_flag.exchange(true, std::memory_order_acquire);
    }
    void unlock() noexcept { m_flag.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_flag{false};
};
