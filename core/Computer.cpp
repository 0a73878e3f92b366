#include "core/Computer.h"

#include <algorithm>

#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"

CComputer::CComputer(CHost* host) : m_host(host ? host : &CNullHost::Instance()) {}

CComputer::~CComputer() {
    DeleteContents();
}

void CComputer::NewContents() {
    DeleteContents();
    m_stopRequest = false;
    m_timeLimitEnabled = false;
    m_cycleLimitEnabled = false;
    m_devices = std::make_unique<CDevices>();
    m_devices->SetComputer(this);
    m_units = std::make_unique<CMpus>();
    m_active = &m_units->NullUnit();
}

void CComputer::DeleteContents() {
    // Devices go first: their renderer threads may still raise interrupts into
    // the units while they are being joined.
    m_active = nullptr;
    m_devices.reset();
    m_units.reset();
}

int CComputer::GetActiveSlot() const {
    return m_units ? m_units->IndexOf(m_active) : -1;
}

void CComputer::SetActiveProcessor(uint32_t index) {
    if (!m_units) return;
    m_active = m_units->GetAt(static_cast<int>(index & 7));
    m_host->SetActiveUnitText(m_active->GetName().substr(0, 20));
}

uint32_t CComputer::Read(uint32_t address, uint32_t size) const {
    return m_devices ? m_devices->Read(address, size) : 0xFFFFFFFF;
}

uint32_t CComputer::Write(uint32_t address, uint32_t value, uint32_t size, bool force) {
    return m_devices ? m_devices->Write(address, value, size, force) : 0;
}

void CComputer::OnTimer(uint32_t id) {
    if (id >= CMpu::kAnimationTimerBase && id < CMpu::kAnimationTimerBase + CMpus::kSlots) {
        AnimationStep(static_cast<int>(id & 7));
    } else if (m_devices) {
        m_devices->OnTimer(id);
    }
}

void CComputer::SetModifiedFlag(bool modified) {
    m_modified = modified;
    m_host->SetModified(modified);
}

void CComputer::UpdateAllViews(uint32_t hint) {
    m_host->UpdateAllViews(hint);
}

void CComputer::AddUnitView(CUnitView* view) {
    if (view && std::find(m_unitViews.begin(), m_unitViews.end(), view) == m_unitViews.end())
        m_unitViews.push_back(view);
}

void CComputer::RemoveUnitView(CUnitView* view) {
    std::erase(m_unitViews, view);
}

void CComputer::RefreshUnit(int slot) {
    SetModifiedFlag();
    bool moved = false;
    for (CUnitView* view : m_unitViews) {
        if (slot == kRunLimitSlot || view->GetSlot() == slot) moved |= view->FollowProgramCounter();
    }
    UpdateAllViews(moved ? kHintProcessorState | kHintCodeMoved : kHintProcessorState);
}

bool CComputer::TimeLimitExceeded() const {
    return m_timeLimitEnabled && m_host->NowSeconds() - m_runStartTime > m_timeLimit;
}

void CComputer::AnimationStep(int slot) {
    if (!m_units || slot < 0 || slot >= m_units->GetCount()) return;
    CMpu* unit = m_units->GetAt(slot);
    if (unit->GetAnimationRate() == 0) return;
    unit->Step();
    m_instructionCount += 1;

    bool stop = true;
    if (unit->IsStepOutPending() && unit->ReturnExecuted()) {
        unit->SetStepOutPending(false);
    } else if (unit->GetInterruptPrompt()) {
    } else if (unit->GetPC() == unit->GetRunToAddress()) {
        unit->SetRunToAddress(CMpu::kNoAddress);
    } else if (unit->AtBreakpoint()) {
    } else if (m_cycleLimitEnabled && m_instructionCount > m_cycleLimit) {
    } else {
        RefreshUnit(slot);
        stop = TimeLimitExceeded();
    }
    if (!stop) return;
    unit->SetAnimationRate(0);
    unit->StopAnimationTimer();
    RefreshUnit(slot);
}
