#include "core/History.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include "core/Devices.h"

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}  // namespace

CHistory::CRing::CRing(uint64_t size) : m_size(size) {
    if (size == 0) return;
    const size_t bytes = size * sizeof(uint32_t);
    // Sizes are powers of two: a large ring is a whole number of huge pages.
    const size_t alignment = bytes >= kHugePage ? kHugePage : alignof(std::max_align_t);
    auto* words = static_cast<uint32_t*>(std::aligned_alloc(alignment, bytes));
    if (!words) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (bytes >= kHugePage) madvise(words, bytes, MADV_HUGEPAGE);
#endif
    m_words.reset(words);
}

void CHistory::CRing::SFree::operator()(uint32_t* words) const {
    std::free(words);
}

void CHistory::SetLimits(const SHistoryLimits& limits) {
    m_limits = limits;
    while (m_records > m_limits.instructions ||
           (m_records > 0 && (m_tail - m_head) * sizeof(uint32_t) > m_limits.bytes))
        DropOldest();
    Publish();
}

void CHistory::Clear() {
    m_ring = CRing();
    m_mask = 0;
    DropAll();
}

void CHistory::DropAll() {
    m_head = m_tail = m_records = 0;
    m_valid = false;
    Publish();
}

void CHistory::MakeRoom(uint64_t words) {
    while (m_ring.size() - (m_tail - m_head) < words) {
        const uint64_t size = m_ring.size();
        // An open record alone may still need room: the ring grows for it.
        if (size < kMinWords || (size * 2 * sizeof(uint32_t) <= m_limits.bytes) || m_records == 0) {
            // An empty ring starts at the size its limits suggest (a record
            // takes about eight words): memory is only taken as records reach
            // it, and growing by doubling would clear and copy twice as much.
            const uint64_t wanted =
                std::bit_ceil(std::min(m_limits.instructions, uint64_t{1} << 40) * 8);
            const uint64_t allowed =
                std::bit_floor(std::max<uint64_t>(m_limits.bytes / sizeof(uint32_t), 1));
            const uint64_t suggested =
                std::clamp(std::min(wanted, allowed), kMinWords, kMaxStartWords);
            const uint64_t grown = size < kMinWords ? suggested : size * 2;
            CRing ring(grown);
            for (uint64_t position = m_head; position != m_tail; ++position)
                ring[position & (grown - 1)] = m_ring[position & m_mask];
            m_ring = std::move(ring);
            m_mask = grown - 1;
        } else {
            DropOldest();
        }
    }
}

void CHistory::DropOldest() {
    if (m_records == 0) return;
    m_head += m_ring[m_head & m_mask] + 2;
    --m_records;
}

void CHistory::Publish() {
    m_count = m_records;
    m_bytes = (m_tail - m_head) * sizeof(uint32_t);
}

bool CHistory::Undo(CMpu& unit, CDevices& bus) {
    if (m_records == 0) return false;
    // The changes lead back from the state after the newest step, m_before:
    // whatever was edited since it goes back there first.
    if (unit.GetStateWordCount() != m_words) return false;
    std::array<uint64_t, kMaxStateWords> state;
    std::copy_n(m_before, m_words, state.begin());
    const uint64_t words = m_ring[(m_tail - 1) & m_mask];
    const uint64_t start = m_tail - 1 - words;
    struct SByte {
        uint32_t address;
        uint8_t old;
    };
    struct SReplaced {
        uint32_t key;
        uint64_t old;
    };
    std::vector<SByte> bytes;
    std::vector<SReplaced> replaced;
    for (uint64_t position = start; position < m_tail - 1;) {
        const uint32_t word = m_ring[position++ & m_mask];
        if ((word & kKindMask) == kShortMemoryEntry) {
            bytes.push_back({word >> 8 & (kShortAddresses - 1), static_cast<uint8_t>(word)});
        } else if ((word & kKindMask) == kMemoryEntry) {
            bytes.push_back({m_ring[position++ & m_mask], static_cast<uint8_t>(word)});
        } else if (word & kWholeEntry) {
            const uint64_t low = m_ring[position++ & m_mask];
            const uint64_t high = m_ring[position++ & m_mask];
            if ((word & kReplacedEntry) == kReplacedEntry)
                replaced.push_back({word & 0xFFFF, high << 32 | low});
            else if (const size_t index = word & 0xFFFF; index < m_words)
                state[index] = high << 32 | low;
        } else if (const uint32_t kind = word >> kIndexShift;
                   kind == kPackedIndex || kind == kSnapshotIndex) {
            for (size_t k = 0; k < kPackedCounters; ++k) {
                if (m_counterWord + k < m_words) state[m_counterWord + k] -= word >> (6 * k) & 63;
            }
            // The old values of the words before the counters follow.
            for (size_t i = 0; kind == kSnapshotIndex && i < m_counterWord; ++i)
                state[i] = m_ring[position++ & m_mask];
        } else {
            const size_t index = word >> kIndexShift;
            // Sign-extended from 25 bits.
            const uint64_t delta =
                static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(word << 7) >> 7));
            if (index < m_words) state[index] -= delta;
        }
    }
    // Newest first, so that a byte or part replaced twice by the step ends
    // with the value it had before it.
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte)
        bus.WriteLocked(byte->address, byte->old, 1, true);
    for (auto part = replaced.rbegin(); part != replaced.rend(); ++part)
        unit.RestoreReplaced(part->key, part->old);
    unit.RestoreStateWords(state.data());
    std::copy_n(state.begin(), m_words, m_before);
    m_valid = false;
    m_tail = start - 1;  // before the opening count
    --m_records;
    Publish();
    return true;
}
