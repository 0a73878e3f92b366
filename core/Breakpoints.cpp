#include "core/Breakpoints.h"

#include <algorithm>

#include "core/Archive.h"

bool CBreakpoints::Add(uint32_t address) {
    const int count = m_count.Load();
    if (count >= kCapacity) return false;
    m_addresses[count] = address;
    m_count = count + 1;
    FilterAdd(address);
    return true;
}

void CBreakpoints::Remove(uint32_t address) {
    const int found = Find(address);
    if (found < 0) return;
    m_cursor = found;
    const int count = m_count.Load();
    for (int i = found; i + 1 < count; ++i)
        m_addresses[i] = m_addresses[i + 1].Load();
    m_count = count - 1;
    RebuildFilter();
}

void CBreakpoints::FilterAdd(uint32_t address) {
    for (const uint32_t bit : {FilterBit(address), SecondFilterBit(address)})
        m_filter[bit >> 6] = m_filter[bit >> 6].Load() | uint64_t{1} << (bit & 63);
    m_blocks = m_blocks.Load() | BlockBit(address);
    // The first address of the set is its range.
    const bool first = m_count.Load() == 1;
    const uint32_t lowest = first ? address : std::min(m_lowest.Load(), address);
    const uint32_t highest = first ? address : std::max(m_lowest.Load() + m_span.Load(), address);
    m_lowest = lowest;
    m_span = highest - lowest;
}

// Each word is stored once, with its final value.
void CBreakpoints::RebuildFilter() {
    std::array<uint64_t, kFilterBits / 64> filter{};
    uint64_t blocks = 0;
    uint32_t lowest = 0xFFFFFFFF;
    uint32_t highest = 0;
    const int count = m_count.Load();
    for (int i = 0; i < count; ++i) {
        const uint32_t address = m_addresses[i].Load();
        lowest = std::min(lowest, address);
        highest = std::max(highest, address);
        for (const uint32_t bit : {FilterBit(address), SecondFilterBit(address)})
            filter[bit >> 6] |= uint64_t{1} << (bit & 63);
        blocks |= BlockBit(address);
    }
    for (size_t w = 0; w < filter.size(); ++w) {
        if (m_filter[w].Load() != filter[w]) m_filter[w] = filter[w];
    }
    if (m_blocks.Load() != blocks) m_blocks = blocks;
    m_lowest = lowest;
    m_span = count != 0 ? highest - lowest : 0;
}

bool CBreakpoints::Contains(uint32_t address) {
    const int found = Find(address);
    if (found < 0) return false;
    m_cursor = found;
    return true;
}

int CBreakpoints::Find(uint32_t address) const {
    const int count = m_count.Load();
    for (int i = 0; i < count; ++i) {
        if (m_addresses[i].Load() == address) return i;
    }
    return -1;
}

uint32_t CBreakpoints::GetAt(int index) const {
    if (index < 0 || index >= m_count.Load()) return 0xFFFFFFFF;
    return m_addresses[index].Load();
}

void CBreakpoints::SerializeSettings(CArchive& ar) {
    int count = m_count;
    int cursor = m_cursor;
    ar.Transfer(count);
    ar.Transfer(cursor);
    std::array<uint32_t, kCapacity> addresses{};
    for (int i = 0; i < kCapacity; ++i) {
        addresses[static_cast<size_t>(i)] = m_addresses[static_cast<size_t>(i)];
        ar.Transfer(addresses[static_cast<size_t>(i)]);
    }
    if (ar.IsStoring() || ar.Failed()) return;
    if (count < 0 || count > kCapacity || cursor < 0 || cursor >= kCapacity) {
        ar.Fail("a breakpoint set is malformed");
        return;
    }
    for (int i = 0; i < kCapacity; ++i)
        m_addresses[static_cast<size_t>(i)] = addresses[static_cast<size_t>(i)];
    m_cursor = cursor;
    m_count = count;
    RebuildFilter();
}

void CBreakpoints::Serialize(CArchive& ar) {
    for (auto& entry : m_addresses)
        ar.Transfer(entry);
    if (ar.IsLoading()) RemoveAll();
}
