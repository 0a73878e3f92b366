#pragma once
// CHistory: what one unit's recent instructions changed, newest last, so that
// they can be undone one by one. Each record holds the unit's state words
// (CMpu::ReadStateWords: registers, counters, latches) that the instruction
// changed, with their values before it, the memory bytes it overwrote and
// the parts of the unit it replaced that its state words do not hold (a
// cache line). Device side effects (a key taken from the keyboard, a timer
// started) are not recorded.
//
// A state word is kept as the change the instruction made to it (the value
// after less the value before), in one 32-bit word when it is small, as it
// nearly always is, else as the whole old value. A core that records its own
// steps (the 6502) keeps instead the old values of its registers and the
// changes of its counters in a record of fixed shape. The records live in a ring
// of words bounded by a number of instructions and by memory; the oldest go
// first. The stepping thread records; the count and the bytes may be read
// from any thread.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Relaxed.h"

struct SHistoryLimits {
    static constexpr uint64_t kDefaultInstructions = 1'000'000;
    static constexpr uint64_t kDefaultBytes = 256ull << 20;
    uint64_t instructions = kDefaultInstructions;
    uint64_t bytes = kDefaultBytes;
};

class CHistory {
public:
    // A unit's state words (CMpu::ReadStateWords) at most.
    static constexpr size_t kMaxStateWords = 62;

    CHistory() = default;
    // The state pointers point into the history itself.
    CHistory(const CHistory&) = delete;
    CHistory& operator=(const CHistory&) = delete;

    void SetLimits(const SHistoryLimits& limits);
    void Clear();

    // Stepping thread, around one step of unit. Core is the unit's class
    // when the caller knows it (its state is then read without dispatch),
    // CMpu otherwise.
    template <class Core>
    void Before(const Core& unit) {
        if (!m_valid) [[unlikely]]
            TakeState(unit);
        OpenStep();
        t_recording = this;
    }
    // A byte the step is about to overwrite, with its old value.
    void NoteWrite(uint32_t address, uint8_t oldByte) {
        if (m_ring.size() - (m_tail - m_head) < 2) [[unlikely]]
            MakeRoom(2);
        NoteWriteInRoom(address, oldByte);
    }
    // The same in room OpenStep made.
    [[gnu::always_inline]] void NoteWriteInRoom(uint32_t address, uint8_t oldByte) {
        if (address < kShortAddresses) [[likely]] {
            m_ring[m_tail++ & m_mask] = kShortMemoryEntry | address << 8 | oldByte;
        } else {
            m_ring[m_tail++ & m_mask] = kMemoryEntry | oldByte;
            m_ring[m_tail++ & m_mask] = address;
        }
    }

    // Something of the stepping unit that its state words do not hold (a
    // cache line) is about to be replaced: the unit's key for it and its old
    // value go into the record, for CMpu::RestoreReplaced.
    // The history recording the step in hand on this thread, if any.
    static CHistory* Recording() { return t_recording; }
    static void NoteReplaced(uint32_t key, uint64_t old) {
        if (CHistory* history = t_recording) history->PushReplaced(key, old);
    }
    template <class Core>
    void After(const Core& unit) {
        t_recording = nullptr;
        Close(unit);
    }
    // Steps that write their own records (see kRecordsItself) run between
    // BeginRun and EndRun, each between OpenStep and CloseStep. The state
    // after the newest step is read, and the count published, once at the
    // end of the run, not after every step.
    template <class Core>
    void BeginRun(const Core& unit) {
        if (!m_valid) [[unlikely]]
            TakeState(unit);
        t_recording = this;
    }
    template <class Core>
    void EndRun(const Core& unit) {
        t_recording = nullptr;
        ReadState(unit, m_before);
        Publish();
    }
    // Opens the record of a step with room for words more words after its
    // opening: a step between OpenStep and CloseStep notes the bytes it
    // writes (WriteRecorded, at most two words a byte) and closes its record
    // (CloseStep, kWords + 2 words) in that room.
    [[gnu::always_inline]] void OpenStep(uint64_t words = 0) {
        if (m_ring.size() - (m_tail - m_head) < words + 1) [[unlikely]]
            MakeRoom(words + 1);
        m_recordStart = m_tail++;
    }
    // Ends the open record with the unit's state words before its counters
    // (each under 32 bits) as they were before the step, and the changes the
    // step made to the four counters, 6 bits each (the first in bits 0-5).
    template <size_t kWords>
    [[gnu::always_inline]] void CloseStep(const std::array<uint32_t, kWords>& before,
                                          uint32_t counters) {
        uint32_t* const ring = m_ring.data();
        const uint64_t mask = m_mask;
        uint64_t tail = m_tail;
        ring[tail++ & mask] = kSnapshotIndex << kIndexShift | counters;
        for (size_t i = 0; i < kWords; ++i)
            ring[tail++ & mask] = before[i];
        Finish(tail);
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
    template <class Core>
    static constexpr bool kKnownWords = requires {
        Core::kStateWords;
    };

    // Between two steps of a running unit nothing else changes it: the state
    // after the last step is the state before this one. Otherwise it is read
    // afresh, and registers edited while the unit was stopped are a record of
    // their own, so that stepping back past them stays exact.
    template <class Core>
    void TakeState(const Core& unit) {
        if (m_records == 0 || WordCount(unit) != m_words) {
            // Another unit in the slot: what was recorded was not its.
            if (m_records != 0) DropAll();
            ReadState(unit, m_before);
        } else {
            ReadState(unit, m_after);
            if (!std::equal(m_after, m_after + m_words, m_before)) {
                OpenStep();
                Encode(WordCount(unit), m_counterWord, 0);
            }
        }
        m_valid = true;
    }
    template <class Core>
    static size_t WordCount(const Core& unit) {
        if constexpr (kKnownWords<Core>)
            return Core::kStateWords;
        else
            return std::min(unit.GetStateWordCount(), kMaxStateWords);
    }
    template <class Core>
    void ReadState(const Core& unit, uint64_t* state) {
        if constexpr (kKnownWords<Core>) {
            static_assert(Core::kStateWords <= kMaxStateWords);
            unit.Core::ReadStateWords(state);
            m_words = Core::kStateWords;
            m_counterWord = Core::kStateCounterWord;
        } else {
            const size_t count = unit.GetStateWordCount();
            if (count <= kMaxStateWords) {
                unit.ReadStateWords(state);
            } else {
                std::vector<uint64_t> all(count);
                unit.ReadStateWords(all.data());
                std::copy_n(all.begin(), kMaxStateWords, state);
            }
            m_words = std::min(count, kMaxStateWords);
            m_counterWord = unit.GetStateCounterWord();
        }
    }
    // Ends the open record with the changes from m_before to the unit's state.
    template <class Core>
    void Close(const Core& unit) {
        ReadState(unit, m_after);
        if constexpr (kKnownWords<Core>)
            Encode(Core::kStateWords, Core::kStateCounterWord, Core::kStateNarrowWords);
        else
            Encode(m_words, m_counterWord, 0);
    }
    // Inlined where the counts are constants, so that the loop unrolls. The
    // first narrow words hold less than 24 bits: their changes are small.
    [[gnu::always_inline]] void Encode(const size_t count, const size_t counterWord,
                                       const size_t narrow) {
        // Room for every entry and the closing count at once; the words are
        // then stored through locals, which no store can alias.
        if (m_ring.size() - (m_tail - m_head) < 3 * count + 1) [[unlikely]]
            MakeRoom(3 * count + 1);
        uint32_t* const ring = m_ring.data();
        const uint64_t mask = m_mask;
        const uint64_t* const before = m_before;
        const uint64_t* const after = m_after;
        uint64_t tail = m_tail;
        // The first four counters, which every step moves a little, share
        // one word when each moved by less than 64.
        size_t packed = counterWord + kPackedCounters <= count ? counterWord : count;
        if (packed < count) {
            uint32_t word = kPackedIndex << kIndexShift;
            uint64_t large = 0;
            for (size_t k = 0; k < kPackedCounters; ++k) {
                const uint64_t delta = after[packed + k] - before[packed + k];
                large |= delta >> 6;
                word |= static_cast<uint32_t>(delta & 63) << (6 * k);
            }
            if (large == 0) [[likely]]
                ring[tail++ & mask] = word;
            else
                packed = count;
        }
        for (size_t i = 0; i < count; ++i) {
            if (i == packed) {
                i += kPackedCounters - 1;
                continue;
            }
            const uint64_t delta = after[i] - before[i];
            if (i >= narrow && delta + kSmallLimit >= 2 * kSmallLimit) [[unlikely]] {
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
        std::swap(m_before, m_after);
        Finish(tail);
        m_count = m_records;
        m_bytes = (m_tail - m_head) * sizeof(uint32_t);
    }
    // Frames the open record, whose entries end before tail, with its number
    // of words at both ends, and drops the oldest beyond the limit.
    [[gnu::always_inline]] void Finish(uint64_t tail) {
        uint32_t* const ring = m_ring.data();
        const uint64_t mask = m_mask;
        const uint64_t words = tail - m_recordStart - 1;
        ring[m_recordStart & mask] = static_cast<uint32_t>(words);
        ring[tail++ & mask] = static_cast<uint32_t>(words);
        m_tail = tail;
        ++m_records;
        if (m_records > m_limits.instructions) {
            m_head += ring[m_head & mask] + 2;
            --m_records;
            // The records after it, long out of the cache.
            __builtin_prefetch(&ring[(m_head + 128) & mask]);
        }
    }
    // Entry words: a small change (bit 31 clear: the index in bits 25-30, the
    // change in bits 0-24, two's complement); a whole old value (bits 31-29
    // = 100, the index, then the value's low and high words); a replaced part
    // (101, the unit's key, then the old value's low and high words); an
    // overwritten byte (110, the byte, then the address), or one in the
    // first 2 MiB in one word (111, the address in bits 8-28, the byte).
    static constexpr uint32_t kKindMask = 0xE0000000;
    static constexpr uint32_t kWholeEntry = 0x80000000;
    static constexpr uint32_t kReplacedEntry = 0xA0000000;
    static constexpr uint32_t kMemoryEntry = 0xC0000000;
    static constexpr uint32_t kShortMemoryEntry = 0xE0000000;
    static constexpr uint32_t kShortAddresses = 1u << 21;
    static constexpr int kIndexShift = 25;
    static constexpr uint32_t kDeltaMask = (1u << kIndexShift) - 1;
    static constexpr uint64_t kSmallLimit = uint64_t{1} << (kIndexShift - 1);
    // The index of a word of four packed counter changes (6 bits each, the
    // first in bits 0-5); a unit has fewer state words than this.
    static constexpr uint32_t kPackedIndex = 63;
    // The index of a record's snapshot (CloseStep): the packed counter
    // changes, followed by the old values of the state words before the
    // counters.
    static constexpr uint32_t kSnapshotIndex = 62;
    static constexpr size_t kPackedCounters = 4;
    static constexpr uint64_t kMinWords = 8192;
    static constexpr uint64_t kMaxStartWords = uint64_t{1} << 24;

    void Push(uint32_t word) {
        if (m_tail - m_head == m_ring.size()) MakeRoom(1);
        m_ring[m_tail++ & m_mask] = word;
    }
    void PushReplaced(uint32_t key, uint64_t old) {
        Push(kReplacedEntry | (key & 0xFFFF));
        Push(static_cast<uint32_t>(old));
        Push(static_cast<uint32_t>(old >> 32));
    }
    // Makes room for words more words: the ring grows while the memory
    // bound allows, else the oldest records go.
    void MakeRoom(uint64_t words);
    void DropOldest();
    // Every record goes; the ring stays.
    void DropAll();
    void Publish();

    static inline thread_local constinit CHistory* t_recording = nullptr;

    SHistoryLimits m_limits;
    // Records: their entry words framed by their number at both ends, so
    // that the oldest can be dropped and the newest undone. Positions grow without
    // wrapping; a position's word is at position & m_mask.
    // Large rings are asked for in huge pages where the system has them:
    // records go to a new line of memory with nearly every step.
    class CRing {
    public:
        explicit CRing(uint64_t size = 0);
        uint64_t size() const { return m_size; }
        uint32_t* data() { return m_words.get(); }
        uint32_t& operator[](uint64_t index) { return m_words[index]; }
        const uint32_t& operator[](uint64_t index) const { return m_words[index]; }

    private:
        struct SFree {
            void operator()(uint32_t* words) const;
        };
        std::unique_ptr<uint32_t[], SFree> m_words;
        uint64_t m_size = 0;
    };
    CRing m_ring;
    uint64_t m_mask = 0;
    uint64_t m_head = 0;
    uint64_t m_tail = 0;
    uint64_t m_records = 0;
    uint64_t m_recordStart = 0;
    // The unit's state words after the newest step, and a place to read the
    // next ones; they change places after every step.
    std::array<std::array<uint64_t, kMaxStateWords>, 2> m_states{};
    uint64_t* m_before = m_states[0].data();
    uint64_t* m_after = m_states[1].data();
    size_t m_words = 0;        // of the unit's state
    size_t m_counterWord = 0;  // where its four common counters begin
    bool m_valid = false;
    Relaxed<uint64_t> m_count{0};
    Relaxed<uint64_t> m_bytes{0};
};

inline uint32_t CDevices::WriteRecorded(uint32_t address, uint32_t value, uint32_t size, bool force,
                                        CHistory& history) {
    uint8_t* p;
    if (DirectBytes<true>(address, size, true, force, p)) {
        const uint32_t bytes = size & 0x7F;
        for (uint32_t n = 0; n < bytes; ++n)
            history.NoteWriteInRoom(address + n, LoadByte(p + n));
        if (size & kSwap)
            StoreBig(p, value, bytes);
        else
            StoreLittle(p, value, bytes);
        return 0xFFFFFFFF;
    }
    return WriteLocked(address, value, size, force);
}
