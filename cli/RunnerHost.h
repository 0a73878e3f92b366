#pragma once
// CRunnerHost: the host of the headless runner. The main thread is its event
// thread, with a loop of its own: periodic timers by id and the run-stopped
// notices posted by the run thread. Waiting for a run means running this
// loop, which sleeps until the next timer is due or a notice arrives, so the
// device timers (time slicer, keyboard playback, clock) fire while units run,
// as they do in the desktop application.
//
// Timers may be started and stopped from any thread (a program that writes
// the time slicer does so from the run thread); timer expiry and notices are
// handed to the workspace only on the thread that runs the loop.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/Host.h"

class CComputer;

class CRunnerHost final : public CHost {
public:
    using Clock = std::chrono::steady_clock;

    explicit CRunnerHost(std::ostream& messages);

    // The workspace that timers and notices are handed to.
    void Attach(CComputer* computer) { m_computer = computer; }
    // Called with every run-stopped notice after the workspace has handled it.
    void SetRunStoppedObserver(std::function<void(int slot, EStopReason reason)> observer) {
        m_observer = std::move(observer);
    }

    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void StopTimer(uint32_t id) override;
    void PostRunStopped(int slot, EStopReason reason) override;
    void UpdateAllViews(uint32_t) override {}
    void SetModified(bool) override {}
    void SetActiveUnitText(std::string_view) override {}
    // Messages go to the message stream, one line each.
    void ShowMessage(std::string_view text, EMessageIcon icon) override;
    void FrameReady(CDevice&) override { m_frames.fetch_add(1, std::memory_order_relaxed); }

    // Handles the notices and the timers that are due, without waiting.
    void DispatchPending();
    // Sleeps until a notice arrives or a timer is due, at most maxWait, and
    // handles what is there.
    void WaitAndDispatch(std::chrono::milliseconds maxWait);
    // Runs the loop until done() holds.
    void RunUntil(const std::function<bool()>& done);
    // Forgets notices of a workspace that has been replaced.
    void DropNotices();

    bool IsTimerActive(uint32_t id) const;
    uint64_t GetFrameCount() const { return m_frames.load(std::memory_order_relaxed); }

private:
    struct STimer {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    void Dispatch(bool wait, std::chrono::milliseconds maxWait);
    Clock::time_point EarliestDue() const;  // with m_lock held

    std::ostream& m_messages;
    CComputer* m_computer = nullptr;
    std::function<void(int, EStopReason)> m_observer;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::map<uint32_t, STimer> m_timers;                // guarded by m_lock
    std::deque<std::pair<int, EStopReason>> m_notices;  // guarded by m_lock
    bool m_changed = false;                             // guarded by m_lock: the timers changed
    // Messages have a lock of their own, so that a timer started by the run
    // thread never waits for console output.
    std::mutex m_messageLock;
    std::atomic<uint64_t> m_frames{0};
};
