#pragma once
// CTimeSlicer: a periodic interrupt for time slicing. Every address of its
// window is one register, the slice count (7 bits): the interrupt comes every
// slice count x period unit (100) ms. Reading returns the count and withdraws
// the request with code 15; writing sets the count and restarts the period
// (0 stops it). Timer 0 is the period.
#include <cstdint>

#include "core/Device.h"

class CTimeSlicer final : public CDevice {
public:
    static constexpr const char* kClassName = "CTimeSlicer";
    static constexpr uint32_t kDefaultSliceCount = 49;
    static constexpr uint32_t kDefaultPeriodUnit = 100;

    CTimeSlicer() { SetIrqCode(0); }

    const char* GetClassName() const override { return kClassName; }
    void Serialize(CArchive& ar) override;
    void OnTimer(uint32_t timerIndex) override;
    uint32_t Read(uint32_t address, uint32_t size) override;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force) override;

    uint32_t GetSliceCount() const { return m_sliceCount; }
    uint32_t GetPeriodUnit() const { return m_periodUnit; }
    // Slice count x period unit in ms, at most 0xFFFFFFFF.
    uint32_t GetPeriod() const;

private:
    Relaxed<uint32_t> m_sliceCount{kDefaultSliceCount};
    Relaxed<uint32_t> m_periodUnit{kDefaultPeriodUnit};
};
