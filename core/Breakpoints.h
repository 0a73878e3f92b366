#pragma once
// Thirty breakpoint addresses of one processing unit. The event thread edits
// the set while the run thread tests it after every instruction; every word is
// a relaxed atomic, so a run may see an edit half done but never tears a word.
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
    uint32_t GetAt(int index) const;
    bool HasBreakpoints() const { return m_count.Load() != 0; }
    int GetCount() const { return m_count.Load(); }
    void RemoveAll() { m_count = 0; }
    int GetCursor() const { return m_cursor.Load(); }

    // Always the 30 entries; the count is not stored, so a loaded set is empty.
    void Serialize(CArchive& ar);
    // The workspace file's extension block: the count, the cursor and the
    // 30 entries, so that a loaded set is the saved one.
    void SerializeSettings(CArchive& ar);

private:
    Relaxed<int> m_cursor{0};
    Relaxed<int> m_count{0};
    std::array<Relaxed<uint32_t>, kCapacity> m_addresses{};
};
