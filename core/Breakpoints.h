#pragma once
// Thirty breakpoint addresses of one processing unit. The event thread edits
// the set while the run thread tests it after every instruction; every word is
// a relaxed atomic, so a run may see an edit half done but never tears a word.
//
// A filter of 4096 bits, two set for each address in the set (its low twelve
// bits and a hash), lets Has answer for nearly every other address with one
// load, whatever the number of breakpoints: code near a breakpoint never
// shares its first bit. An edit stores each filter word once with its final value, so
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
    // The blocks of 1024 addresses that hold a breakpoint, a bit each (block
    // n at bit n modulo 64): a run of steps tests Has only where BlockBit
    // of the address is among them, one test of a value it holds.
    static uint64_t BlockBit(uint32_t address) {
        return uint64_t{1} << (address >> kBlockBits & 63);
    }
    uint64_t GetBlocks() const { return m_blocks.Load(); }
    // The lowest address in the set and how far the highest lies above it
    // (when the set has none, an empty span above 0xFFFFFFFF).
    uint32_t GetLowest() const { return m_lowest.Load(); }
    uint32_t GetSpan() const { return m_span.Load(); }
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
    static constexpr uint32_t kBlockBits = 10;
    static uint32_t FilterBit(uint32_t address) { return address & (kFilterBits - 1); }
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
    Relaxed<uint64_t> m_blocks{0};
    Relaxed<uint32_t> m_lowest{0xFFFFFFFF};
    Relaxed<uint32_t> m_span{0};
};
