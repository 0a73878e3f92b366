#include "core/Mpu.h"

#include "core/Archive.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Host.h"
#include "core/Mpus.h"
#include "core/StringEx.h"

CHost& CMpu::Host() const {
    if (m_bus && m_bus->GetComputer()) return m_bus->GetComputer()->Host();
    return CNullHost::Instance();
}

bool CMpu::AcceptsIrqCode(int code) const {
    if (code == 15) return true;
    if (code < 0 || code > 14) return false;
    return (m_irqMask.Load() >> code & 1u) != 0;
}

uint32_t CMpu::GetRegisterValue(size_t) const {
    return 0;
}

bool CMpu::SetRegisterValue(size_t index, uint32_t value, std::string* error) {
    auto fail = [error](std::string text) {
        if (error) *error = std::move(text);
        return false;
    };
    const std::span<const SRegisterInfo> registers = GetRegisterInfo();
    if (index >= registers.size()) return fail("the unit has no such register");
    const SRegisterInfo& info = registers[index];
    if (IsRunning() || m_animationRate.Load() != 0)
        return fail("the unit is running; stop it to change " + std::string(info.name));
    if (info.digits < 8 && value >> (4 * info.digits) != 0) {
        return fail(HexString(value) + " does not fit register " + info.name + " (" +
                    std::to_string(info.digits) + " hex digits)");
    }
    if (!info.writable && value != 0)
        return fail("register " + std::string(info.name) + " always reads 0");
    StoreRegisterValue(index, value);
    return true;
}

int CMpu::FindRegister(std::string_view name) const {
    const std::string wanted = UpperCase(name);
    const std::span<const SRegisterInfo> registers = GetRegisterInfo();
    for (size_t i = 0; i < registers.size(); ++i) {
        if (wanted == registers[i].name) return static_cast<int>(i);
    }
    return -1;
}

void CMpu::ResetCounters() {
    for (auto& counter : m_statistics)
        counter = 0;
}

void CMpu::RestoreCounterValue(size_t index, uint64_t value) {
    if (index < m_statistics.size()) m_statistics[index] = static_cast<uint32_t>(value);
}

void CMpu::ReadStateWords(uint64_t* words) const {
    const size_t registers = GetRegisterInfo().size();
    const size_t counters = GetCounterInfo().size();
    for (size_t i = 0; i < registers; ++i)
        *words++ = GetRegisterValue(i);
    for (size_t i = 0; i < counters; ++i)
        *words++ = GetCounterValue(i);
}

void CMpu::RestoreStateWords(const uint64_t* words) {
    const size_t registers = GetRegisterInfo().size();
    const size_t counters = GetCounterInfo().size();
    for (size_t i = 0; i < registers; ++i)
        StoreRegisterValue(i, static_cast<uint32_t>(*words++));
    for (size_t i = 0; i < counters; ++i)
        RestoreCounterValue(i, *words++);
}

SUnitSnapshot CMpu::TakeSnapshot() const {
    SUnitSnapshot snapshot;
    const size_t registers = GetRegisterInfo().size();
    snapshot.registers.reserve(registers);
    for (size_t i = 0; i < registers; ++i)
        snapshot.registers.push_back(GetRegisterValue(i));
    const size_t counters = GetCounterInfo().size();
    snapshot.counters.reserve(counters);
    for (size_t i = 0; i < counters; ++i)
        snapshot.counters.push_back(GetCounterValue(i));
    snapshot.pc = GetPC();
    snapshot.running = IsRunning();
    snapshot.animating = m_animationRate.Load() != 0;
    return snapshot;
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

bool CMpu::HasReachableStopAddress() const {
    const uint32_t mask = GetAddressMask();
    const uint32_t runTo = m_runToAddress;
    if (runTo != kNoAddress && runTo <= mask) return true;
    for (int i = 0; i < m_breakpoints.GetCount(); ++i) {
        if (m_breakpoints.GetAt(i) <= mask) return true;
    }
    return false;
}
