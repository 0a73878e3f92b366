#pragma once
// CBreakpointList: what the breakpoint window of one unit shows and does,
// without its widgets. The list holds the unit's breakpoint addresses as
// "%06LX" texts, kept sorted as text; every change of the list rebuilds the
// unit's set from it. The "Break After" controls of the same window edit the
// workspace's run limits, the values the Global Run Limits dialog edits too.
//
// Event thread only. The unit is looked up by slot on every call, so the list
// never holds a unit that the workspace has since deleted.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CComputer;
class CMpu;

class CBreakpointList {
public:
    static constexpr const char* kTooManyText = "Too many breakpoints.";
    static constexpr const char* kAlreadyDefinedText = "Breakpoint already defined.";

    CBreakpointList(CComputer& computer, int slot);

    int GetSlot() const { return m_slot; }
    const std::vector<std::string>& GetEntries() const { return m_entries; }

    // The add button with the text of the address field. The address is read
    // as hexadecimal; 0 and a text that is not a 32-bit hexadecimal number
    // are ignored. A full list and a duplicate are refused with a message.
    // True when the address was added.
    bool Add(std::string_view addressText);
    // The remove button with the selected entry; nothing when index is not an
    // entry.
    void Remove(int index);
    // A change notification: hint 4 (breakpoints) or 0 (everything) refills
    // the list from the unit's set.
    void OnUpdate(uint32_t hint);
    void Refresh();

    // The "Break After" controls: "Seconds" and "Instructions" with their
    // fields. Setting them changes the limits and nothing else.
    bool IsTimeLimitEnabled() const;
    void SetTimeLimitEnabled(bool enabled);
    int64_t GetTimeLimit() const;
    void SetTimeLimit(int64_t seconds);
    bool IsInstructionLimitEnabled() const;
    void SetInstructionLimitEnabled(bool enabled);
    uint64_t GetInstructionLimit() const;
    void SetInstructionLimit(uint64_t count);

    // "%06LX": six upper-case hexadecimal digits, more when needed.
    static std::string FormatAddress(uint32_t address);
    // Leading blanks, an optional "0x", then hexadecimal digits up to the
    // first other character; no digits read as 0. Nothing when the value does
    // not fit in 32 bits.
    static std::optional<uint32_t> ParseAddress(std::string_view text);

private:
    CMpu* Unit() const;
    void Insert(std::string text);
    // The unit's set := the list, in list order; then every view is told.
    void Rebuild();

    CComputer& m_computer;
    int m_slot;
    std::vector<std::string> m_entries;
};
