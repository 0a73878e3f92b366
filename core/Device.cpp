#include "core/Device.h"

#include "core/Archive.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Host.h"

CDevice::~CDevice() {
    for (uint32_t n = 0; n < kTimers; ++n) {
        if (m_timerActive[n]) {
            Host().StopTimer(m_timerBase + n);
            m_timerActive[n] = false;
        }
    }
}

CHost& CDevice::Host() const {
    if (m_owner && m_owner->GetComputer()) return m_owner->GetComputer()->Host();
    return CNullHost::Instance();
}

void CDevice::StartTimer(uint32_t periodMs, uint32_t timerIndex) {
    if (timerIndex >= kTimers) return;
    if (m_timerActive[timerIndex]) StopTimer(timerIndex);
    Host().StartTimer(m_timerBase + timerIndex, periodMs);
    m_timerActive[timerIndex] = true;
    m_timerPeriod[timerIndex] = periodMs;
}

void CDevice::StopTimer(uint32_t timerIndex) {
    if (timerIndex >= kTimers || !m_timerActive[timerIndex]) return;
    Host().StopTimer(m_timerBase + timerIndex);
    m_timerActive[timerIndex] = false;
}

void CDevice::RaiseInterrupt(bool nmi, bool irq) {
    if (irq) m_irqRequest = true;
    if (m_owner) m_owner->Interrupt(nmi, irq, m_irqCode);
}

void CDevice::ClearInterrupt(bool /*nmi*/, bool irq) {
    if (!irq) return;
    m_irqRequest = false;
    if (m_owner) m_owner->Withdraw(*this);
}

void CDevice::ChangeStructure(const std::function<void()>& change) {
    if (m_owner)
        m_owner->ChangeStructure(change);
    else
        change();
}

void CDevice::SetRange(uint32_t from, uint32_t to, uint32_t stride) {
    ChangeStructure([&] {
        m_from = from;
        m_to = to;
        m_stride = stride == 0 ? 1 : stride;
    });
}

void CDevice::SetStride(uint32_t stride) {
    SetRange(m_from, m_to, stride);
}

void CDevice::SerializeSettings(CArchive& ar) {
    uint32_t stride = m_stride;
    int irqCode = m_irqCode;
    uint32_t timeScale = m_timeScale;
    uint32_t activeTimers = 0;
    for (uint32_t n = 0; n < kTimers; ++n)
        activeTimers |= uint32_t{m_timerActive[n]} << n;
    ar.Transfer(stride);
    ar.Transfer(irqCode);
    ar.Transfer(timeScale);
    ar.Transfer(activeTimers);
    std::array<uint32_t, kTimers> periods = m_timerPeriod;
    for (uint32_t n = 0; n < kTimers; ++n) {
        if (activeTimers >> n & 1) ar.Transfer(periods[n]);
    }
    if (ar.IsStoring() || ar.Failed()) return;
    if (irqCode < -1 || irqCode > 15 || activeTimers > 0xFFFF) {
        ar.Fail("a device's settings are malformed");
        return;
    }
    SetStride(stride);
    m_irqCode = irqCode;
    m_timeScale = timeScale;
    for (uint32_t n = 0; n < kTimers; ++n) {
        if (activeTimers >> n & 1)
            StartTimer(periods[n], n);
        else
            StopTimer(n);
    }
}

void CDevice::Serialize(CArchive& ar) {
    const auto transfer = [&] {
        ar.Transfer(m_from);
        ar.Transfer(m_to);
        ar.Transfer(m_name);
    };
    // Loading into a device already on a bus moves its window.
    if (ar.IsLoading())
        ChangeStructure(transfer);
    else
        transfer();
}
