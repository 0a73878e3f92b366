#pragma once
// A deterministic host: it records what the library asks of it, fires timers
// and delivers posted notices only when a test says so.
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/Host.h"

class CComputer;

class CTestHost : public CHost {
public:
    struct SMessage {
        std::string text;
        EMessageIcon icon;
    };

    void Attach(CComputer* computer) { m_computer = computer; }

    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void StopTimer(uint32_t id) override;
    void PostRunStopped(int slot, EStopReason reason) override;
    void UpdateAllViews(uint32_t hint) override { hints.push_back(hint); }
    void SetModified(bool isModified) override { modified = isModified; }
    void SetActiveUnitText(std::string_view text) override { activeUnitText = text; }
    void ShowMessage(std::string_view text, EMessageIcon icon) override;
    void FrameReady(CDevice&) override { ++frames; }
    int64_t NowSeconds() override { return now.load(); }
    // The steady clock: now in milliseconds plus the milliseconds a test adds.
    int64_t NowMilliseconds() override { return now.load() * 1000 + milliseconds.load(); }

    // Fires an active timer once (false when the id is not running).
    bool FireTimer(uint32_t id);
    bool IsTimerActive(uint32_t id) const {
        std::lock_guard guard(timerLock);
        return timers.count(id) != 0;
    }
    // Delivers every posted run-stopped notice to the workspace; returns them.
    std::vector<int> DeliverPosted();
    // Notices posted so far and not yet delivered, and their reasons.
    std::vector<int> Posted() const;
    std::vector<EStopReason> PostedReasons() const;

    // id -> period of the running timers; changed under timerLock, since a
    // running program starts timers from the run thread.
    std::map<uint32_t, uint32_t> timers;
    mutable std::mutex timerLock;
    std::vector<uint32_t> hints;
    std::vector<SMessage> messages;
    bool modified = false;
    std::string activeUnitText;
    std::atomic<int> frames{0};
    // Atomic: the run thread reads the time while a test moves it.
    std::atomic<int64_t> now{1000};
    std::atomic<int64_t> milliseconds{0};

private:
    CComputer* m_computer = nullptr;
    mutable std::mutex m_postedLock;
    std::vector<int> m_posted;
    std::vector<EStopReason> m_reasons;
};
