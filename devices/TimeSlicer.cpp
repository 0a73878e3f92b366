#include "devices/TimeSlicer.h"

#include <algorithm>

#include "core/Archive.h"
#include "core/Devices.h"

uint32_t CTimeSlicer::GetPeriod() const {
    const uint64_t period = uint64_t{m_sliceCount} * m_periodUnit;
    return static_cast<uint32_t>(std::min<uint64_t>(period, 0xFFFFFFFF));
}

void CTimeSlicer::OnTimer(uint32_t timerIndex) {
    if (timerIndex == 0) RaiseInterrupt(false, true);
}

uint32_t CTimeSlicer::Read(uint32_t /*address*/, uint32_t /*size*/) {
    ClearInterrupt(false, true);
    return m_sliceCount & 0x7F;
}

uint32_t CTimeSlicer::Write(uint32_t /*address*/, uint32_t value, uint32_t /*size*/,
                            bool /*force*/) {
    // Writing the count withdraws a pending tick, as reading does.
    ClearInterrupt(false, true);
    m_sliceCount = value & 0x7F;
    // A period of 0 ms would tick without pause: 0 stops the interrupt.
    if (const uint32_t period = GetPeriod())
        StartTimer(period, 0);
    else
        StopTimer(0);
    return kNothing;
}

// Record: the CDevice fields, then period unit and slice count. A loaded
// slicer is stopped until the software writes it.
void CTimeSlicer::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    uint32_t periodUnit = m_periodUnit;
    uint32_t sliceCount = m_sliceCount;
    ar.Transfer(periodUnit);
    ar.Transfer(sliceCount);
    if (ar.IsStoring()) return;
    m_periodUnit = periodUnit;
    m_sliceCount = sliceCount & 0x7F;
}
