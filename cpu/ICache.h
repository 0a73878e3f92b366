#pragma once
// CICache: the Corvane instruction cache. 32 direct-mapped lines of one
// instruction word each, indexed by bits 0-4 of the byte address and tagged
// with the address shifted right by 5. A line has no valid bit: a cleared line
// (tag 0, data 0) answers addresses 0x00-0x1F with the word 0.
//
// Every word is a relaxed atomic: the statistics pane reads the counters while
// the run thread fetches through the cache.
#include <array>
#include <cstdint>

#include "core/Relaxed.h"

class CArchive;

class CICache {
public:
    static constexpr int kLines = 32;

    CICache() { Clear(); }

    // Counts an attempt; on a tag match gives the line's word and returns true,
    // otherwise counts a miss and leaves word untouched.
    bool Lookup(uint32_t address, uint32_t& word) {
        m_attempts += 1;
        const uint32_t line = address & (kLines - 1);
        if (m_tag[line].Load() == address >> 5) {
            word = m_data[line].Load();
            return true;
        }
        m_misses += 1;
        return false;
    }
    // Replaces the word of the address's line; returns the line number.
    int Fill(uint32_t address, uint32_t word) {
        const uint32_t line = address & (kLines - 1);
        m_tag[line] = address >> 5;
        m_data[line] = word;
        return static_cast<int>(line);
    }
    // Every line and both counters to 0.
    void Clear();

    uint32_t GetData(int line) const { return m_data[Index(line)].Load(); }
    uint32_t GetTag(int line) const { return m_tag[Index(line)].Load(); }
    uint32_t GetAttempts() const { return m_attempts.Load(); }
    uint32_t GetMisses() const { return m_misses.Load(); }
    // Stepping back: a line and the counters as they were.
    void RestoreLine(int line, uint32_t tag, uint32_t data) {
        m_tag[Index(line)] = tag;
        m_data[Index(line)] = data;
    }
    void RestoreAttempts(uint32_t attempts) { m_attempts = attempts; }
    void RestoreMisses(uint32_t misses) { m_misses = misses; }
    // The statistics pane's reset: both counters to 0, the lines kept.
    void ResetStatistics() {
        m_attempts = 0;
        m_misses = 0;
    }

    // 32 groups of data, tag, attempts, misses; the counters are repeated in
    // every group and the last group's values remain after loading.
    void Serialize(CArchive& ar);

private:
    static size_t Index(int line) { return static_cast<size_t>(line) & (kLines - 1); }

    std::array<Relaxed<uint32_t>, kLines> m_data{};
    std::array<Relaxed<uint32_t>, kLines> m_tag{};
    Relaxed<uint32_t> m_attempts{0};
    Relaxed<uint32_t> m_misses{0};
};
