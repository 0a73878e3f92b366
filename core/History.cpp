#include "core/History.h"

#include "core/Devices.h"

void CHistory::SetLimits(const SHistoryLimits& limits) {
    m_limits = limits;
    while (m_records > m_limits.instructions ||
           (m_records > 0 && (m_tail - m_head) * sizeof(uint64_t) > m_limits.bytes))
        DropOldest();
    Publish();
}

void CHistory::Clear() {
    m_ring.clear();
    m_ring.shrink_to_fit();
    m_mask = 0;
    m_head = m_tail = m_records = 0;
    m_valid = false;
    Publish();
}

void CHistory::MakeRoom() {
    const uint64_t size = m_ring.size();
    // An open record alone may still need room: the ring grows for it.
    if (size < kMinWords || (size * 2 * sizeof(uint64_t) <= m_limits.bytes) || m_records == 0) {
        const uint64_t grown = size < kMinWords ? kMinWords : size * 2;
        std::vector<uint64_t> ring(grown);
        for (uint64_t position = m_head; position != m_tail; ++position)
            ring[position & (grown - 1)] = m_ring[position & m_mask];
        m_ring.swap(ring);
        m_mask = grown - 1;
        return;
    }
    DropOldest();
}

void CHistory::DropOldest() {
    if (m_records == 0) return;
    m_head += m_ring[m_head & m_mask] + 2;
    --m_records;
}

void CHistory::Publish() {
    m_count = m_records;
    m_bytes = (m_tail - m_head) * sizeof(uint64_t);
}

bool CHistory::Undo(CMpu& unit, CDevices& bus) {
    if (m_records == 0) return false;
    const size_t registers = unit.GetRegisterInfo().size();
    const uint64_t entries = m_ring[--m_tail & m_mask];
    // Newest first, so that a byte written twice by the step ends with the
    // value it had before it.
    for (uint64_t n = 0; n < entries; ++n) {
        const uint64_t entry = m_ring[--m_tail & m_mask];
        if (entry & kMemoryEntry) {
            bus.WriteLocked(static_cast<uint32_t>(entry >> 8), static_cast<uint32_t>(entry & 0xFF),
                            1, true);
            continue;
        }
        const size_t index = static_cast<size_t>(entry >> kIndexShift);
        const uint64_t value = entry & kValueMask;
        if (index < registers)
            unit.RestoreRegisterValue(index, static_cast<uint32_t>(value));
        else
            unit.RestoreCounterValue(index - registers, value);
    }
    --m_tail;  // the opening count
    --m_records;
    m_valid = false;
    Publish();
    return true;
}
