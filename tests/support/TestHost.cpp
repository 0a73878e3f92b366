#include "support/TestHost.h"

#include "core/Computer.h"

void CTestHost::StartTimer(uint32_t id, uint32_t periodMs) {
    std::lock_guard guard(timerLock);
    timers[id] = periodMs;
}

void CTestHost::StopTimer(uint32_t id) {
    std::lock_guard guard(timerLock);
    timers.erase(id);
}

void CTestHost::PostRunStopped(int slot, EStopReason reason) {
    std::lock_guard guard(m_postedLock);
    m_posted.push_back(slot);
    m_reasons.push_back(reason);
}

void CTestHost::ShowMessage(std::string_view text, EMessageIcon icon) {
    messages.push_back({std::string(text), icon});
}

bool CTestHost::FireTimer(uint32_t id) {
    if (!IsTimerActive(id) || !m_computer) return false;
    m_computer->OnTimer(id);
    return true;
}

std::vector<int> CTestHost::Posted() const {
    std::lock_guard guard(m_postedLock);
    return m_posted;
}

std::vector<EStopReason> CTestHost::PostedReasons() const {
    std::lock_guard guard(m_postedLock);
    return m_reasons;
}

std::vector<int> CTestHost::DeliverPosted() {
    std::vector<int> posted;
    std::vector<EStopReason> reasons;
    {
        std::lock_guard guard(m_postedLock);
        posted.swap(m_posted);
        reasons.swap(m_reasons);
    }
    if (m_computer) {
        for (size_t i = 0; i < posted.size(); ++i)
            m_computer->OnRunStopped(posted[i], reasons[i]);
    }
    return posted;
}
