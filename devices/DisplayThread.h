#pragma once
// CDisplayThread: the display of one video device, headless. A thread of its
// own renders a frame at the device's refresh period and hands it on (see
// CVideoDevice); messages reach it through a small queue of flags:
//   Rebuild: build the pixel buffer again from the device's current
//       settings and restart the period;
//   Render: render one frame at once (a window that has just been shown);
//   Quit: end the thread.
// The pixel buffer belongs to this thread; the device publishes a copy.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CVideoDevice;

class CDisplayThread {
public:
    enum class EMessage { Rebuild, Render, Quit };
    // The shortest period the display keeps, whatever the device asks (a
    // loaded workspace may ask for 0).
    static constexpr uint32_t kMinimumPeriodMs = 10;

    explicit CDisplayThread(CVideoDevice& device);
    CDisplayThread(const CDisplayThread&) = delete;
    CDisplayThread& operator=(const CDisplayThread&) = delete;
    // Quits and joins.
    ~CDisplayThread();

    void Start();
    void Post(EMessage message);
    // Waits until the thread has ended, at most timeout; true when it has.
    bool WaitForExit(std::chrono::milliseconds timeout);
    // Waits for the thread to end, however long it takes.
    void Join();

private:
    void Run();

    CVideoDevice& m_device;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_exitSignal;
    bool m_quit = false;
    bool m_rebuild = false;
    bool m_render = false;
    bool m_exited = false;
    std::thread m_thread;
};
