#pragma once
// CHistory: what one unit's recent instructions changed, newest last, so that
// they can be undone one by one. Each record holds the registers and counters
// (by the unit's descriptors) whose values the instruction changed, with their
// values before it, and the memory bytes it overwrote. Device side effects
// (a key taken from the keyboard, a timer started) are not recorded.
//
// A register or counter is kept as the change the instruction made to it
// (the value after less the value before), in one 32-bit word when it is
// small, as it nearly always is, else as the whole old value. The records live
// in a ring of words bounded by a number of instructions and by memory; the
// oldest go first. The stepping thread records; the count and
// the bytes may be read from any thread.
#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/Mpu.h"
#include "core/Relaxed.h"

class CDevices;

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

    // Stepping thread, around one step of unit. Core is the unit's class
    // when the caller knows it (its registers are then read without
    // dispatch), CMpu otherwise.
    template <class Core>
    void Before(const Core& unit) {
        // Between two steps of a running unit nothing else changes it: the
        // state after the last step is the state before this one.
        if (!m_valid) {
            // Registers edited while the unit was stopped are a record of
            // their own, so that stepping back past them stays exact.
            if (m_records == 0 || m_before.empty()) {
                ReadState(unit, m_before);
            } else {
                m_recordStart = m_tail;
                Push(0);
                Close(unit);
            }
            m_valid = true;
        }
        m_recordStart = m_tail;
        Push(0);
    }
    // A byte the step is about to overwrite, with its old value.
    void NoteWrite(uint32_t address, uint8_t oldByte) {
        Push(kMemoryEntry | oldByte);
        Push(address);
    }
    template <class Core>
    void After(const Core& unit) {
        Close(unit);
    }
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
    // Ends the open record with the changes from m_before to the unit's state.
    template <class Core>
    void Close(const Core& unit) {
        ReadState(unit, m_after);
        const size_t count = m_after.size();
        // Room for every entry and the closing count at once; the words are
        // then stored through locals, which no store can alias.
        while (m_ring.size() - (m_tail - m_head) < 3 * count + 1)
            MakeRoom();
        uint32_t* const ring = m_ring.data();
        const uint64_t mask = m_mask;
        const uint64_t* const before = m_before.data();
        const uint64_t* const after = m_after.data();
        uint64_t tail = m_tail;
        // The first four counters, which every step moves a little, share
        // one word when each moved by less than 64.
        size_t packed = m_registers + kPackedCounters <= count ? m_registers : count;
        if (packed < count) {
            uint32_t word = kPackedIndex << kIndexShift;
            for (size_t k = 0; k < kPackedCounters; ++k) {
                const uint64_t delta = after[packed + k] - before[packed + k];
                if (delta >= 64) {
                    packed = count;
                    break;
                }
                word |= static_cast<uint32_t>(delta) << (6 * k);
            }
            if (packed < count) ring[tail++ & mask] = word;
        }
        for (size_t i = 0; i < count; ++i) {
            if (i == packed) {
                i += kPackedCounters - 1;
                continue;
            }
            const uint64_t delta = after[i] - before[i];
            if (delta + kSmallLimit >= 2 * kSmallLimit) [[unlikely]] {
                ring[tail++ & mask] = kWholeEntry | static_cast<uint32_t>(i);
                ring[tail++ & mask] = static_cast<uint32_t>(before[i]);
                ring[tail++ & mask] = static_cast<uint32_t>(before[i] >> 32);
                continue;
            }
            // Written always, kept when it changed: which values an
            // instruction changes is too irregular to branch on.
            ring[tail & mask] = static_cast<uint32_t>(i) << kIndexShift |
                                (static_cast<uint32_t>(delta) & kDeltaMask);
            tail += delta != 0 ? 1 : 0;
        }
        const uint64_t words = tail - m_recordStart - 1;
        ring[m_recordStart & mask] = static_cast<uint32_t>(words);
        ring[tail++ & mask] = static_cast<uint32_t>(words);
        m_tail = tail;
        m_before.swap(m_after);
        ++m_records;
        if (m_records > m_limits.instructions) DropOldest();
        m_count = m_records;
        m_bytes = (m_tail - m_head) * sizeof(uint32_t);
    }
    // Entry words: a small change (bit 31 clear: the index in bits 25-30, the
    // change in bits 0-24, two's complement); a whole old value (bits 31-30
    // = 10, the index, then the value's low and high words); an overwritten
    // byte (11, the byte, then the address).
    static constexpr uint32_t kWholeEntry = 0x80000000;
    static constexpr uint32_t kMemoryEntry = 0xC0000000;
    static constexpr int kIndexShift = 25;
    static constexpr uint32_t kDeltaMask = (1u << kIndexShift) - 1;
    static constexpr uint64_t kSmallLimit = uint64_t{1} << (kIndexShift - 1);
    // The index of a word of four packed counter changes (6 bits each, the
    // first in bits 0-5); a unit has fewer registers and counters than this.
    static constexpr uint32_t kPackedIndex = 63;
    static constexpr size_t kPackedCounters = 4;
    static constexpr uint64_t kMinWords = 8192;

    template <class Core>
    void ReadState(const Core& unit, std::vector<uint64_t>& state) {
        if constexpr (std::is_same_v<Core, CMpu>) {
            const size_t registers = unit.GetRegisterInfo().size();
            const size_t counters = unit.GetCounterInfo().size();
            m_registers = registers;
            state.resize(registers + counters);
            for (size_t i = 0; i < registers; ++i)
                state[i] = unit.GetRegisterValue(i);
            for (size_t i = 0; i < counters; ++i)
                state[registers + i] = unit.GetCounterValue(i);
        } else {
            const size_t registers = unit.Core::GetRegisterInfo().size();
            const size_t counters = unit.Core::GetCounterInfo().size();
            m_registers = registers;
            if (state.size() != registers + counters) state.resize(registers + counters);
            uint64_t* const values = state.data();
            for (size_t i = 0; i < registers; ++i)
                values[i] = unit.Core::GetRegisterValue(i);
            for (size_t i = 0; i < counters; ++i)
                values[registers + i] = unit.Core::GetCounterValue(i);
        }
    }
    void Push(uint32_t word) {
        if (m_tail - m_head == m_ring.size()) MakeRoom();
        m_ring[m_tail++ & m_mask] = word;
    }
    // The ring is full: it grows while the memory bound allows, else the
    // oldest record goes.
    void MakeRoom();
    void DropOldest();
    void Publish();

    SHistoryLimits m_limits;
    // Records: their entry words framed by their number at both ends, so
    // that the oldest can be dropped and the newest undone. Positions grow without
    // wrapping; a position's word is at position & m_mask.
    std::vector<uint32_t> m_ring;
    uint64_t m_mask = 0;
    uint64_t m_head = 0;
    uint64_t m_tail = 0;
    uint64_t m_records = 0;
    uint64_t m_recordStart = 0;
    std::vector<uint64_t> m_before;
    std::vector<uint64_t> m_after;
    bool m_valid = false;
    size_t m_registers = 0;  // of the unit, in the state words
    Relaxed<uint64_t> m_count{0};
    Relaxed<uint64_t> m_bytes{0};
};
