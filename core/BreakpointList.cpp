#include "core/BreakpointList.h"

#include <algorithm>
#include <cstdio>

#include "core/Breakpoints.h"
#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/Symbols.h"
#include "core/ViewHint.h"

CBreakpointList::CBreakpointList(CComputer& computer, int slot)
    : m_computer(computer), m_slot(slot) {
    Refresh();
}

CMpu* CBreakpointList::Unit() const {
    CMpus* units = m_computer.GetMpus();
    if (!units || m_slot < 0 || m_slot >= units->GetCount()) return nullptr;
    return units->GetAt(m_slot);
}

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string CBreakpointList::FormatAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(address));
    return text;
}

std::optional<uint32_t> CBreakpointList::ParseAddress(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    if (text.size() - at >= 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        at += 2;
    }
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = value << 4 | static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

void CBreakpointList::Insert(std::string text) {
    m_entries.insert(std::upper_bound(m_entries.begin(), m_entries.end(), text), std::move(text));
}

bool CBreakpointList::Add(std::string_view addressText) {
    if (!Unit()) return false;
    if (static_cast<int>(m_entries.size()) >= CBreakpoints::kCapacity) {
        m_computer.Host().ShowMessage(kTooManyText, EMessageIcon::Exclamation);
        return false;
    }
    // A name of the unit's symbols stands for its address.
    std::optional<uint32_t> address = Unit()->Symbols().Find(Trimmed(addressText));
    if (!address) address = ParseAddress(addressText);
    if (!address || *address == 0) return false;
    for (const std::string& entry : m_entries) {
        if (ParseAddress(entry) == address) {
            m_computer.Host().ShowMessage(kAlreadyDefinedText, EMessageIcon::Exclamation);
            return false;
        }
    }
    Insert(FormatAddress(*address));
    Rebuild();
    return true;
}

void CBreakpointList::Remove(int index) {
    if (!Unit() || index < 0 || index >= static_cast<int>(m_entries.size())) return;
    m_entries.erase(m_entries.begin() + index);
    Rebuild();
}

void CBreakpointList::Rebuild() {
    CMpu* unit = Unit();
    if (!unit) return;
    CBreakpoints& breakpoints = unit->Breakpoints();
    breakpoints.RemoveAll();
    for (const std::string& entry : m_entries)
        breakpoints.Add(ParseAddress(entry).value_or(0));
    m_computer.UpdateAllViews(kHintBreakpoints);
}

void CBreakpointList::OnUpdate(uint32_t hint) {
    if (hint == 0 || (hint & kHintBreakpoints) != 0) Refresh();
}

void CBreakpointList::Refresh() {
    m_entries.clear();
    CMpu* unit = Unit();
    if (!unit) return;
    const CBreakpoints& breakpoints = unit->Breakpoints();
    for (int i = 0; i < breakpoints.GetCount(); ++i)
        Insert(FormatAddress(breakpoints.GetAt(i)));
}

bool CBreakpointList::IsTimeLimitEnabled() const {
    return m_computer.IsTimeLimitEnabled();
}
void CBreakpointList::SetTimeLimitEnabled(bool enabled) {
    m_computer.SetTimeLimitEnabled(enabled);
}
int64_t CBreakpointList::GetTimeLimit() const {
    return m_computer.GetTimeLimit();
}
void CBreakpointList::SetTimeLimit(int64_t seconds) {
    m_computer.SetTimeLimit(seconds);
}
bool CBreakpointList::IsInstructionLimitEnabled() const {
    return m_computer.IsInstructionLimitEnabled();
}
void CBreakpointList::SetInstructionLimitEnabled(bool enabled) {
    m_computer.SetInstructionLimitEnabled(enabled);
}
uint64_t CBreakpointList::GetInstructionLimit() const {
    return m_computer.GetInstructionLimit();
}
void CBreakpointList::SetInstructionLimit(uint64_t count) {
    m_computer.SetInstructionLimit(count);
}
