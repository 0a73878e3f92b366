#include "core/History.h"

#include "core/Devices.h"
#include "core/Mpu.h"

void CHistory::SetLimits(const SHistoryLimits& limits) {
    m_limits = limits;
    Trim();
    Publish();
}

void CHistory::Clear() {
    m_words.clear();
    m_words.shrink_to_fit();
    m_records = 0;
    m_valid = false;
    Publish();
}

void CHistory::ReadState(const CMpu& unit, std::vector<uint64_t>& state) {
    const size_t registers = unit.GetRegisterInfo().size();
    const size_t counters = unit.GetCounterInfo().size();
    state.resize(registers + counters);
    for (size_t i = 0; i < registers; ++i)
        state[i] = unit.GetRegisterValue(i);
    for (size_t i = 0; i < counters; ++i)
        state[registers + i] = unit.GetCounterValue(i);
}

void CHistory::Before(const CMpu& unit) {
    // Between two steps of a running unit nothing else changes it: the state
    // after the last step is the state before this one.
    if (!m_valid) {
        ReadState(unit, m_before);
        m_valid = true;
    }
    m_recordStart = m_words.size();
    m_words.push_back(0);
}

void CHistory::After(const CMpu& unit) {
    ReadState(unit, m_after);
    if (m_after.size() == m_before.size()) {
        for (size_t i = 0; i < m_after.size(); ++i) {
            if (m_after[i] != m_before[i])
                m_words.push_back(uint64_t{i} << kIndexShift | (m_before[i] & kValueMask));
        }
    }
    const uint64_t entries = m_words.size() - m_recordStart - 1;
    m_words[m_recordStart] = entries;
    m_words.push_back(entries);
    m_before.swap(m_after);
    ++m_records;
    Trim();
    Publish();
}

void CHistory::Trim() {
    const uint64_t maxWords = m_limits.bytes / sizeof(uint64_t);
    while (m_records > 0 && (m_records > m_limits.instructions || m_words.size() > maxWords)) {
        const uint64_t entries = m_words.front();
        m_words.erase(m_words.begin(), m_words.begin() + static_cast<ptrdiff_t>(entries + 2));
        --m_records;
    }
}

void CHistory::Publish() {
    m_count = m_records;
    m_bytes = m_words.size() * sizeof(uint64_t);
}

bool CHistory::Undo(CMpu& unit, CDevices& bus) {
    if (m_records == 0) return false;
    const size_t registers = unit.GetRegisterInfo().size();
    const uint64_t entries = m_words.back();
    m_words.pop_back();
    // Newest first, so that a byte written twice by the step ends with the
    // value it had before it.
    for (uint64_t n = 0; n < entries; ++n) {
        const uint64_t entry = m_words.back();
        m_words.pop_back();
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
    m_words.pop_back();
    --m_records;
    m_valid = false;
    Publish();
    return true;
}
