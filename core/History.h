#pragma once
// CHistory: what one unit's recent instructions changed, newest last, so that
// they can be undone one by one. Each record holds the registers and counters
// (by the unit's descriptors) whose values the instruction changed, with their
// values before it, and the memory bytes it overwrote. Device side effects
// (a key taken from the keyboard, a timer started) are not recorded.
//
// The ring is bounded by a number of instructions and by memory; the oldest
// records go first. The stepping thread records; the count and the bytes may
// be read from any thread.
#include <cstdint>
#include <deque>
#include <vector>

#include "core/Relaxed.h"

class CDevices;
class CMpu;

struct SHistoryLimits {
    static constexpr uint64_t kDefaultInstructions = 1'000'000;
    static constexpr uint64_t kDefaultBytes = 256ull << 20;
    uint64_t instructions = kDefaultInstructions;
    uint64_t bytes = kDefaultBytes;
};

class CHistory {
public:
    void SetLimits(const SHistoryLimits& limits);
    void Clear();

    // Stepping thread, around one step of unit.
    void Before(const CMpu& unit);
    // A byte the step is about to overwrite, with its old value.
    void NoteWrite(uint32_t address, uint8_t oldByte) {
        m_words.push_back(kMemoryEntry | uint64_t{address} << 8 | oldByte);
    }
    void After(const CMpu& unit);
    // The unit may have changed outside a step (it was stopped): its state is
    // read afresh before the next one.
    void Invalidate() { m_valid = false; }

    // Instructions that can be undone, and the memory they take.
    uint64_t GetCount() const { return m_count.Load(); }
    uint64_t GetBytes() const { return m_bytes.Load(); }

    // Undoes the newest instruction on the stopped unit and the bus. False
    // when there is none.
    bool Undo(CMpu& unit, CDevices& bus);

private:
    static constexpr uint64_t kMemoryEntry = uint64_t{1} << 63;
    static constexpr int kIndexShift = 56;
    static constexpr uint64_t kValueMask = (uint64_t{1} << kIndexShift) - 1;

    static void ReadState(const CMpu& unit, std::vector<uint64_t>& state);
    void Trim();
    void Publish();

    SHistoryLimits m_limits;
    // Records: [entries] framed by their entry count at both ends, so that
    // the oldest can be dropped and the newest undone.
    std::deque<uint64_t> m_words;
    uint64_t m_records = 0;
    size_t m_recordStart = 0;
    std::vector<uint64_t> m_before;
    std::vector<uint64_t> m_after;
    bool m_valid = false;
    Relaxed<uint64_t> m_count{0};
    Relaxed<uint64_t> m_bytes{0};
};
