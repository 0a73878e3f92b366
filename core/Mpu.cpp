#include "core/Mpu.h"

#include "core/Archive.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Host.h"
#include "core/Mpus.h"

CHost& CMpu::Host() const {
    if (m_bus && m_bus->GetComputer()) return m_bus->GetComputer()->Host();
    return CNullHost::Instance();
}

bool CMpu::AcceptsIrqCode(int code) const {
    if (code == 15) return true;
    if (code < 0 || code > 14) return false;
    return (m_irqMask.Load() >> code & 1u) != 0;
}

void CMpu::StartAnimationTimer(uint32_t periodMs) {
    m_animationTimerActive = true;
    Host().StartTimer(m_animationTimerId, periodMs);
}

void CMpu::StopAnimationTimer() {
    if (!m_animationTimerActive) return;
    Host().StopTimer(m_animationTimerId);
    m_animationTimerActive = false;
}

void CMpu::StepPasses(SPassRun& run) {
    StepPassesOf<CMpu>(run);
}

void CMpu::Stop() {
    m_running = false;
    m_animationRate = 0;
    StopAnimationTimer();
}

void CMpu::Run() {
    m_animationRate = 0;
    StopAnimationTimer();
    m_running = true;
}

void CMpu::Reset() {
    m_interruptPrompt = false;
    m_stepOutPending = false;
}

void CMpu::Disassemble(uint32_t, uint32_t*, std::string*, std::string*, std::string*, std::string*,
                       std::string*) {}

void CMpu::PublishDisassembly(uint32_t length, uint32_t* lengthOut, std::string* addressText,
                              std::string* bytesText, std::string* mnemonicText,
                              std::string* operandText, std::string* commentText) const {
    if (lengthOut) *lengthOut = length;
    std::string* outs[kTextCount] = {addressText, bytesText, mnemonicText, operandText,
                                     commentText};
    for (int i = 0; i < kTextCount; ++i) {
        if (outs[i]) *outs[i] = m_texts[i];
    }
}

// The CMpu record: timer id, name, IRQ mask, prompt flag, step-out pending,
// the four counters and the 30 breakpoint entries.
void CMpu::SerializeSettings(CArchive& ar) {
    ar.Transfer(m_name);
    ar.Transfer(m_irqMask);
    ar.Transfer(m_interruptPrompt);
    ar.Transfer(m_stepOutPending);
    for (auto& counter : m_statistics)
        ar.Transfer(counter);
    m_breakpoints.SerializeSettings(ar);
}

void CMpu::Serialize(CArchive& ar) {
    uint32_t timerId = m_animationTimerId;
    bool prompt = m_interruptPrompt;
    bool stepOut = m_stepOutPending;
    ar.Transfer(timerId);
    ar.Transfer(m_name);
    ar.Transfer(m_irqMask);
    ar.Transfer(prompt);
    ar.Transfer(stepOut);
    for (auto& counter : m_statistics)
        ar.Transfer(counter);
    m_breakpoints.Serialize(ar);
    if (ar.IsLoading()) {
        m_animationTimerId = timerId;
        m_interruptPrompt = prompt;
        m_stepOutPending = stepOut;
    }
}
