#include "core/Computer.h"

#include <algorithm>

#include "core/Debugger.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"

CComputer::CComputer(CHost* host)
    : m_host(host ? host : &CNullHost::Instance()),
      m_debugger(std::make_unique<CDebugger>(*this)) {}

CComputer::~CComputer() {
    DeleteContents();
}

void CComputer::SetRunObserver(CRunObserver* observer) {
    m_userObserver = observer;
    m_debugger->SetUserObserver(observer);
}

void CComputer::NewContents() {
    DeleteContents();
    m_stopRequest = false;
    m_timeLimitEnabled = false;
    m_instructionLimitEnabled = false;
    m_devices = std::make_unique<CDevices>();
    m_devices->SetComputer(this);
    m_units = std::make_unique<CMpus>();
    m_active = &m_units->NullUnit();
    StartRunThread();
}

void CComputer::DeleteContents() {
    // The run thread steps the units and reaches the devices: it ends first.
    EndRunThread();
    // The debugging aids belong to the machine that goes.
    m_debugger->Clear();
    // Animation timers belong to the host and would outlive their units.
    if (m_units) m_units->StopAll();
    // Devices go next: their renderer threads may still raise interrupts into
    // the units while they are being joined.
    m_active = nullptr;
    m_devices.reset();
    m_units.reset();
}

void CComputer::AdoptContents(std::unique_ptr<CDevices> devices, std::unique_ptr<CMpus> units,
                              int activeSlot) {
    DeleteContents();
    m_stopRequest = false;
    m_timeLimitEnabled = false;
    m_instructionLimitEnabled = false;
    m_devices = std::move(devices);
    m_units = std::move(units);
    m_devices->SetComputer(this);
    for (int i = 0; i < m_units->GetCount(); ++i)
        m_units->GetAt(i)->SetBus(m_devices.get());
    m_active = &m_units->NullUnit();
    SetActiveProcessor(static_cast<uint32_t>(activeSlot));
    StartRunThread();
}

int CComputer::GetActiveSlot() const {
    return m_units ? m_units->IndexOf(m_active) : -1;
}

void CComputer::SetActiveProcessor(uint32_t index) {
    if (!m_units) return;
    m_active = m_units->GetAt(static_cast<int>(index & 7));
    Host().SetActiveUnitText(m_active->GetName().substr(0, 20));
}

uint32_t CComputer::Read(uint32_t address, uint32_t size) const {
    return m_devices ? m_devices->Read(address, size) : 0xFFFFFFFF;
}

void CComputer::Peek(uint32_t address, std::span<int16_t> bytes) const {
    if (!m_devices) {
        std::fill(bytes.begin(), bytes.end(), int16_t{-1});
        return;
    }
    std::lock_guard guard(m_devices->Lock());
    for (size_t n = 0; n < bytes.size(); ++n)
        bytes[n] = static_cast<int16_t>(m_devices->PeekHeld(address + static_cast<uint32_t>(n)));
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
    Host().SetModified(modified);
}

void CComputer::UpdateAllViews(uint32_t hint) {
    Host().UpdateAllViews(hint);
}

void CComputer::AddUnitView(CUnitView* view) {
    if (view && std::find(m_unitViews.begin(), m_unitViews.end(), view) == m_unitViews.end())
        m_unitViews.push_back(view);
}

void CComputer::RemoveUnitView(CUnitView* view) {
    std::erase(m_unitViews, view);
}

void CComputer::RefreshUnit(int /*slot*/) {
    SetModifiedFlag();
    bool moved = false;
    for (CUnitView* view : m_unitViews)
        moved |= view->FollowProgramCounter();
    UpdateAllViews(moved ? kHintProcessorState | kHintCodeMoved : kHintProcessorState);
}

// The run thread, the run commands and the animation step are in RunControl.cpp.
