#include "cli/RunnerHost.h"

#include <algorithm>
#include <ostream>
#include <utility>
#include <vector>

#include "core/Computer.h"

namespace {

// A period of 0 would fire without pause.
constexpr std::chrono::milliseconds kMinimumPeriod{1};

std::string OneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        if (c == '\r') continue;
        line += c == '\n' ? ' ' : c;
    }
    return line;
}

}  // namespace

CRunnerHost::CRunnerHost(std::ostream& messages) : m_messages(messages) {}

void CRunnerHost::StartTimer(uint32_t id, uint32_t periodMs) {
    const auto period = std::max(std::chrono::milliseconds(periodMs), kMinimumPeriod);
    {
        std::lock_guard guard(m_lock);
        m_timers[id] = STimer{period, Clock::now() + period};
        m_changed = true;
    }
    m_wake.notify_all();
}

void CRunnerHost::StopTimer(uint32_t id) {
    {
        std::lock_guard guard(m_lock);
        m_timers.erase(id);
        m_changed = true;
    }
    m_wake.notify_all();
}

bool CRunnerHost::IsTimerActive(uint32_t id) const {
    std::lock_guard guard(m_lock);
    return m_timers.contains(id);
}

void CRunnerHost::PostRunStopped(int slot, EStopReason reason) {
    {
        std::lock_guard guard(m_lock);
        m_notices.emplace_back(slot, reason);
    }
    m_wake.notify_all();
}

void CRunnerHost::DropNotices() {
    std::lock_guard guard(m_lock);
    m_notices.clear();
}

void CRunnerHost::ShowMessage(std::string_view text, EMessageIcon /*icon*/) {
    std::lock_guard guard(m_messageLock);
    m_messages << "simq: " << OneLine(text) << '\n' << std::flush;
}

CRunnerHost::Clock::time_point CRunnerHost::EarliestDue() const {
    Clock::time_point earliest = Clock::time_point::max();
    for (const auto& [id, timer] : m_timers)
        earliest = std::min(earliest, timer.due);
    return earliest;
}

void CRunnerHost::DispatchPending() {
    Dispatch(false, {});
}

void CRunnerHost::WaitAndDispatch(std::chrono::milliseconds maxWait) {
    Dispatch(true, maxWait);
}

void CRunnerHost::RunUntil(const std::function<bool()>& done) {
    // The wait is bounded so that a condition that changes without a notice
    // (none should) is still seen.
    while (!done())
        WaitAndDispatch(std::chrono::milliseconds(200));
}

void CRunnerHost::Dispatch(bool wait, std::chrono::milliseconds maxWait) {
    std::vector<std::pair<int, EStopReason>> notices;
    std::vector<uint32_t> expired;
    {
        std::unique_lock lock(m_lock);
        if (wait) {
            const Clock::time_point deadline = Clock::now() + maxWait;
            for (;;) {
                if (!m_notices.empty()) break;
                const Clock::time_point due = EarliestDue();
                const Clock::time_point now = Clock::now();
                if (due <= now || now >= deadline) break;
                m_changed = false;
                m_wake.wait_until(lock, std::min(due, deadline),
                                  [this] { return m_changed || !m_notices.empty(); });
            }
        }
        notices.assign(m_notices.begin(), m_notices.end());
        m_notices.clear();
        const Clock::time_point now = Clock::now();
        for (auto& [id, timer] : m_timers) {
            if (timer.due > now) continue;
            expired.push_back(id);
            // Ticks missed while the loop was busy are dropped, as a window
            // timer drops them.
            timer.due += timer.period;
            if (timer.due <= now) timer.due = now + timer.period;
        }
    }
    for (const auto& [slot, reason] : notices) {
        if (m_computer) m_computer->OnRunStopped(slot, reason);
        if (m_observer) m_observer(slot, reason);
    }
    for (const uint32_t id : expired) {
        // A handler before this one may have stopped the timer.
        if (m_computer && IsTimerActive(id)) m_computer->OnTimer(id);
    }
}
