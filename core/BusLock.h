#pragma once
// The bus lock: one lock serialises every device call. It is held for a few
// nanoseconds at a time, so a short spin before yielding beats a mutex. Plain
// memory of the run thread does not come here at all (CDevices' direct path),
// so the lock is mostly uncontended: one exchange to take, one store to give.
#include <atomic>
#include <thread>

class CBusLock {
public:
    void lock() noexcept {
        for (;;) {
            if (!m_flag.exchange(true, std::memory_order_acquire)) return;
            for (int spin = 0; m_flag.load(std::memory_order_relaxed); ++spin) {
                if (spin >= 64)
                    std::this_thread::yield();
                else
                    Relax();
            }
        }
    }
    bool try_lock() noexcept {
        return !m_flag.load(std::memory_order_relaxed) &&
               !m_flag.exchange(true, std::memory_order_acquire);
    }
    void unlock() noexcept { m_flag.store(false, std::memory_order_release); }

private:
    // Tells a hyper-threaded core that this is a spin-wait loop.
    static void Relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<bool> m_flag{false};
};
