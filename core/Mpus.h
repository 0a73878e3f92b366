#pragma once
// CMpus: the eight processing-unit slots of a workspace. Empty slots hold the
// null unit, so GetAt never yields nothing. The set owns its units.
#include <array>
#include <atomic>
#include <cstdint>

#include "core/Mpu.h"
#include "core/Relaxed.h"

class CArchive;

class CMpus {
public:
    static constexpr int kSlots = 8;

    CMpus();
    CMpus(const CMpus&) = delete;
    CMpus& operator=(const CMpus&) = delete;
    ~CMpus();

    // Takes ownership of unit when a slot is free; false (and the unit is not
    // taken) with eight units present.
    bool Add(CMpu* unit);
    // Closes up the slot holding unit and renumbers the animation timer ids of
    // the units that moved. The caller owns the unit afterwards.
    void Remove(CMpu* unit);
    // Acquire, pairing with the release in Add: a thread that finds a unit in
    // a slot (the run thread) sees it fully built.
    CMpu* GetAt(int index) const { return m_slots[index & 7].load(std::memory_order_acquire); }
    int GetCount() const { return m_count; }
    // Slot index of unit, or -1.
    int IndexOf(const CMpu* unit) const;
    CMpu& NullUnit() { return m_nullUnit; }
    bool IsNullUnit(const CMpu* unit) const { return unit == &m_nullUnit; }

    void Interrupt(bool nmi, bool irq, int code);
    void ClearInterrupt(bool nmi, bool irq, int code);
    void RunAll();
    void StopAll();

    // Deletes every unit.
    void RemoveAll();

private:
    CMpu m_nullUnit;
    std::array<std::atomic<CMpu*>, kSlots> m_slots;
    Relaxed<int> m_count{0};
};
