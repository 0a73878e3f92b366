#pragma once
// Thirty breakpoint addresses of one processing unit. The event thread edits
// the set while the run thread tests it after every instruction; every word is
// a relaxed atomic, so a run may see an edit half done but never tears a word.
//
// A filter of 4096 bits, two set for each address in the set (by two
// hashes), lets Has answer for nearly every other address with one load,
// whatever the number of breakpoints. An edit stores each filter word once with its final value, so
// the bit of a breakpoint that stays is never seen clear.
#include <array>
#include <cstdint>

#include "core/Relaxed.h"

class CArchive;

class CBreakpoints {
public:
    static constexpr int kCapacity = 30;

    bool Add(uint32_t address);
    void Remove(uint32_t address);
    bool Contains(uint32_t address);
    // Index of the address, or -1; unlike Contains it leaves the cursor, so the
    // run thread can test the set without writing to it.
    int Find(uint32_t address) const;
    // Whether address is in the set: the run thread's test after every step.
    bool Has(uint32_t address) const {
        return FilterHas(FilterBit(address)) && FilterHas(SecondFilterBit(address)) &&
               Find(address) >= 0;
    }
    uint32_t GetAt(int index) const;
    bool HasBreakpoints() const { return m_count.Load() != 0; }
    int GetCount() const { return m_count.Load(); }
    void RemoveAll() {
        m_count = 0;
        RebuildFilter();
    }
    int GetCursor() const { return m_cursor.Load(); }

    // Always the 30 entries; the count is not stored, so a loaded set is empty.
    void Serialize(CArchive& ar);
    // The workspace file's extension block: the count, the cursor and the
    // 30 entries, so that a loaded set is the saved one.
    void SerializeSettings(CArchive& ar);

private:
    static constexpr uint32_t kFilterBits = 4096;
    static uint32_t FilterBit(uint32_t address) { return (address * 0x9E3779B1u) >> 20; }
    static uint32_t SecondFilterBit(uint32_t address) { return (address * 0x85EBCA77u) >> 20; }
    bool FilterHas(uint32_t bit) const {
        return (m_filter[bit >> 6].Load() >> (bit & 63) & 1) != 0;
    }
    void FilterAdd(uint32_t address);
    void RebuildFilter();

    Relaxed<int> m_cursor{0};
    Relaxed<int> m_count{0};
    std::array<Relaxed<uint32_t>, kCapacity> m_addresses{};
    std::array<Relaxed<uint64_t>, kFilterBits / 64> m_filter{};
};
