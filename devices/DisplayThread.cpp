#include "devices/DisplayThread.h"

#include <algorithm>

#include "devices/VideoDevice.h"
#include "devices/VideoFrame.h"

CDisplayThread::CDisplayThread(CVideoDevice& device) : m_device(device) {}

CDisplayThread::~CDisplayThread() {
    Post(EMessage::Quit);
    Join();
}

void CDisplayThread::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

void CDisplayThread::Post(EMessage message) {
    {
        std::lock_guard guard(m_lock);
        switch (message) {
            case EMessage::Rebuild: m_rebuild = true; break;
            case EMessage::Render: m_render = true; break;
            case EMessage::Quit: m_quit = true; break;
        }
    }
    m_wake.notify_one();
}

bool CDisplayThread::WaitForExit(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    return m_exitSignal.wait_for(lock, timeout,
                                 [this] { return m_exited || !m_thread.joinable(); });
}

void CDisplayThread::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CDisplayThread::Run() {
    using Clock = std::chrono::steady_clock;
    SVideoFrame frame;
    std::chrono::milliseconds period{};
    Clock::time_point next;
    // Bitmap setup: the buffer takes the device's settings of this moment and
    // the period starts again.
    const auto setUp = [&] {
        m_device.BuildFrame(frame);
        period = std::chrono::milliseconds(
            std::max<uint32_t>(m_device.GetRefreshPeriod(), kMinimumPeriodMs));
        next = Clock::now() + period;
    };
    setUp();

    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait_until(lock, next, [this] { return m_quit || m_rebuild || m_render; });
        if (m_quit) break;
        if (m_rebuild) {
            m_rebuild = false;
            lock.unlock();
            setUp();
            lock.lock();
            continue;
        }
        const Clock::time_point now = Clock::now();
        const bool due = now >= next;
        if (!due && !m_render) continue;
        m_render = false;
        // A periodic tick; ticks missed while a frame took long are dropped.
        if (due) next = next + period > now ? next + period : now + period;
        lock.unlock();
        m_device.Render(frame);
        m_device.Publish(frame);
        lock.lock();
    }
    m_exited = true;
    lock.unlock();
    m_exitSignal.notify_all();
}
