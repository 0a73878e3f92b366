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

void CTestHost::PostRunStopped(int slot) {
    std::lock_guard guard(m_postedLock);
    m_posted.push_back(slot);
}

void CTestHost::ShowMessage(std::string_view text, EMessageIcon icon) {
    messages.push_back({std::string(text), icon});
}

bool CTestHost::AskYesNo(std::string_view text) {
    questions.emplace_back(text);
    if (yesNoAnswers.empty()) return true;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

bool CTestHost::AskInterrupt(SInterruptRequest& request) {
    if (interruptAnswers.empty()) return false;
    auto answer = interruptAnswers.front();
    interruptAnswers.pop_front();
    if (!answer) return false;
    request = *answer;
    return true;
}

std::optional<int> CTestHost::AskSystemType() {
    if (systemTypeAnswers.empty()) return 0;
    auto answer = systemTypeAnswers.front();
    systemTypeAnswers.pop_front();
    return answer;
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

std::vector<int> CTestHost::DeliverPosted() {
    std::vector<int> posted;
    {
        std::lock_guard guard(m_postedLock);
        posted.swap(m_posted);
    }
    if (m_computer) {
        for (int slot : posted)
            m_computer->OnRunStopped(slot);
    }
    return posted;
}
