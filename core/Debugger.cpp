#include "core/Debugger.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "core/AtomicFile.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"

namespace {

ConditionCompiler& Compiler() {
    static ConditionCompiler compiler;
    return compiler;
}

bool ParseHexWord(std::string_view text, uint32_t& value) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    else if (text.starts_with("$"))
        text.remove_prefix(1);
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

// The unit's own access mask: a value compares in the access's size.
uint32_t SizeMask(uint32_t size) {
    return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}

}  // namespace

bool ParseWatchpoint(std::string_view text, SWatchpoint& watch, std::string& error) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        error = "a watchpoint is r|w|rw:FROM[-TO][=VALUE]";
        return false;
    }
    SWatchpoint parsed;
    const std::string_view kind = text.substr(0, colon);
    if (kind == "r")
        parsed.access = kWatchRead;
    else if (kind == "w")
        parsed.access = kWatchWrite;
    else if (kind == "rw")
        parsed.access = kWatchAccess;
    else {
        error = "the access of a watchpoint is r, w or rw, not '" + std::string(kind) + "'";
        return false;
    }
    std::string_view range = text.substr(colon + 1);
    const size_t equals = range.find('=');
    if (equals != std::string_view::npos) {
        std::string_view valueText = range.substr(equals + 1);
        parsed.valueDiffers = equals > 0 && range[equals - 1] == '!';
        range = range.substr(0, parsed.valueDiffers ? equals - 1 : equals);
        uint32_t value = 0;
        if (!ParseHexWord(valueText, value)) {
            error = "the watchpoint value '" + std::string(valueText) + "' is not hexadecimal";
            return false;
        }
        parsed.value = value;
    }
    const size_t dash = range.find('-');
    const std::string_view fromText = range.substr(0, dash);
    if (!ParseHexWord(fromText, parsed.from)) {
        error = "the watchpoint address '" + std::string(fromText) + "' is not hexadecimal";
        return false;
    }
    parsed.to = parsed.from;
    if (dash != std::string_view::npos) {
        const std::string_view toText = range.substr(dash + 1);
        if (!ParseHexWord(toText, parsed.to)) {
            error = "the watchpoint address '" + std::string(toText) + "' is not hexadecimal";
            return false;
        }
        if (parsed.to < parsed.from) {
            error = "the watchpoint range " + std::string(range) + " ends before it begins";
            return false;
        }
    }
    watch = parsed;
    return true;
}

std::string FormatWatchpoint(const SWatchpoint& watch) {
    std::string text = watch.access == kWatchRead    ? "r:"
                       : watch.access == kWatchWrite ? "w:"
                                                     : "rw:";
    text += Hex(watch.from, 4);
    if (watch.to != watch.from) {
        text += '-';
        text += Hex(watch.to, 4);
    }
    if (watch.value) {
        text += watch.valueDiffers ? "!=" : "=";
        text += Hex(*watch.value, 2);
    }
    return text;
}

CDebugger::CDebugger(CComputer& computer) : m_computer(computer) {
    for (auto& history : m_history)
        history = std::make_unique<CHistory>();
    for (auto& profile : m_profile)
        profile = std::make_unique<CProfile>();
}

CDebugger::~CDebugger() = default;

void CDebugger::SetConditionCompiler(ConditionCompiler compiler) {
    Compiler() = std::move(compiler);
}

bool CDebugger::HasConditionCompiler() {
    return static_cast<bool>(Compiler());
}

void CDebugger::Clear() {
    CComputer::CRunThreadPause hold(m_computer);
    m_watchpoints.clear();
    for (auto& conditions : m_conditions)
        conditions.clear();
    for (auto& history : m_history)
        history->Clear();
    for (auto& profile : m_profile)
        profile->Clear();
    m_hit.fill({});
    {
        std::lock_guard guard(m_detailLock);
        m_detail.fill({});
    }
    m_historyEnabled = false;
    m_profileEnabled = false;
    m_wired = false;
    m_aidsOn = false;
    // The old bus is gone or about to be; the new one starts untapped.
    m_computer.SetEffectiveObserver(m_userObserver);
}

// --- Wiring -------------------------------------------------------------------

void CDebugger::SetUserObserver(CRunObserver* observer) {
    m_userObserver = observer;
    m_aidsOn = m_wired && !observer;
    m_computer.SetEffectiveObserver(m_wired ? this : observer);
}

void CDebugger::Rewire() {
    const bool observe = !m_watchpoints.empty() || m_historyEnabled || m_profileEnabled;
    const bool tap = !m_watchpoints.empty();
    if (CDevices* bus = m_computer.GetDevices()) {
        auto pages = std::make_unique<CDevices::TapPages>();
        for (const SWatchpoint& watch : m_watchpoints) {
            if (watch.from >= CDevices::kMappedSpan) continue;
            const uint32_t from = watch.from;
            const uint32_t last = std::min(watch.to, CDevices::kMappedSpan - 1);
            for (uint32_t chunk = from >> CDevices::kTapChunkBits;
                 chunk <= last >> CDevices::kTapChunkBits; ++chunk) {
                constexpr uint32_t kPerPage = CDevices::kPageSize / CDevices::kTapChunk;
                CDevices::STapPage& page = (*pages)[chunk / kPerPage];
                const uint64_t bit = uint64_t{1} << (chunk % kPerPage);
                if (watch.access & kWatchRead) page.reads |= bit;
                if (watch.access & kWatchWrite) page.writes |= bit;
            }
        }
        bus->SetTap(tap ? this : nullptr, *pages, m_historyEnabled);
    }
    m_wired = observe;
    for (size_t slot = 0; slot < m_aids.profile.size(); ++slot) {
        m_aids.profile[slot] = m_profileEnabled ? m_profile[slot].get() : nullptr;
        m_aids.history[slot] = m_historyEnabled ? m_history[slot].get() : nullptr;
    }
    m_aids.stepPc = &m_stepPc;
    m_aidsOn = observe && !m_userObserver;
    m_computer.SetEffectiveObserver(observe ? this : m_userObserver);
}

// --- Watchpoints ---------------------------------------------------------------

void CDebugger::AddWatchpoint(const SWatchpoint& watch) {
    CComputer::CRunThreadPause hold(m_computer);
    m_watchpoints.push_back(watch);
    Rewire();
}

void CDebugger::RemoveWatchpoint(size_t index) {
    CComputer::CRunThreadPause hold(m_computer);
    if (index < m_watchpoints.size())
        m_watchpoints.erase(m_watchpoints.begin() + static_cast<ptrdiff_t>(index));
    Rewire();
}

void CDebugger::SetWatchpoints(std::vector<SWatchpoint> watches) {
    CComputer::CRunThreadPause hold(m_computer);
    m_watchpoints = std::move(watches);
    Rewire();
}

void CDebugger::Watch(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value,
                      uint8_t access) {
    SStopDetail& hit = m_hit[Index(slot)];
    // The first access of the step that a watchpoint sees is the one reported.
    if (hit.reason != EStopReason::kNone) return;
    const uint32_t last = address + (size ? size - 1 : 0);
    const uint32_t mask = SizeMask(size);
    for (const SWatchpoint& watch : m_watchpoints) {
        if ((watch.access & access) == 0 || (watch.slot >= 0 && watch.slot != slot)) continue;
        if (last < watch.from || address > watch.to) continue;
        if (watch.value && ((value & mask) == (*watch.value & mask)) == watch.valueDiffers)
            continue;
        hit.reason = EStopReason::kWatchpoint;
        hit.instruction = m_stepPc[Index(slot)];
        hit.address = address;
        hit.access = access;
        hit.size = size;
        hit.value = value & mask;
        unit.SetDebugStop(true);
        return;
    }
}

void CDebugger::OnRead(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) {
    if (!m_watchpoints.empty()) Watch(unit, slot, address, size, value, kWatchRead);
}

void CDebugger::OnWrite(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) {
    if (!m_watchpoints.empty()) Watch(unit, slot, address, size, value, kWatchWrite);
}

// --- Observer -------------------------------------------------------------------

void CDebugger::BeforeStep(int slot, CMpu& unit) {
    // The trace reads the bus to list the instruction: not the unit's access.
    if (m_userObserver) m_userObserver->BeforeStep(slot, unit);
    if (m_profileEnabled) m_profile[Index(slot)]->Count(unit.GetPC());
    if (m_historyEnabled) m_history[Index(slot)]->Before(unit);
    m_stepPc[Index(slot)] = unit.GetPC();
    CDevices::SetStepping(&unit, slot);
}

void CDebugger::AfterStep(int slot, CMpu& unit) {
    CDevices::SetStepping(nullptr, -1);
    if (m_historyEnabled) m_history[Index(slot)]->After(unit);
    if (m_userObserver) m_userObserver->AfterStep(slot, unit);
}

// --- Conditions -----------------------------------------------------------------

bool CDebugger::SetCondition(int slot, uint32_t address, const std::string& condition,
                             uint32_t ignoreCount, std::string* error) {
    auto fail = [error](std::string text) {
        if (error) *error = std::move(text);
        return false;
    };
    CMpus* units = m_computer.GetMpus();
    if (!units || slot < 0 || slot >= units->GetCount()) return fail("there is no such unit");
    std::shared_ptr<const CCondition> compiled;
    const std::string text = Trimmed(condition);
    if (!text.empty()) {
        if (!Compiler()) return fail("conditions cannot be evaluated here");
        std::string reason;
        compiled = Compiler()(text, *units->GetAt(slot), reason);
        if (!compiled) return fail("condition '" + text + "': " + reason);
    }
    CComputer::CRunThreadPause hold(m_computer);
    auto& conditions = m_conditions[Index(slot)];
    if (text.empty() && ignoreCount == 0) {
        conditions.erase(address);
        return true;
    }
    SCompiled& entry = conditions[address];
    entry.info.condition = text;
    entry.info.ignoreCount = ignoreCount;
    entry.hits = 0;
    entry.condition = std::move(compiled);
    return true;
}

std::optional<SBreakpointCondition> CDebugger::GetCondition(int slot, uint32_t address) const {
    const auto& conditions = m_conditions[Index(slot)];
    const auto found = conditions.find(address);
    if (found == conditions.end()) return std::nullopt;
    SBreakpointCondition info = found->second.info;
    info.hits = found->second.hits;
    return info;
}

std::map<uint32_t, SBreakpointCondition> CDebugger::GetConditions(int slot) const {
    std::map<uint32_t, SBreakpointCondition> result;
    for (const auto& [address, entry] : m_conditions[Index(slot)]) {
        SBreakpointCondition info = entry.info;
        info.hits = entry.hits;
        result.emplace(address, info);
    }
    return result;
}

void CDebugger::ClearConditions(int slot) {
    CComputer::CRunThreadPause hold(m_computer);
    m_conditions[Index(slot)].clear();
}

EStopReason CDebugger::BreakpointReached(int slot, CMpu& unit) {
    auto& conditions = m_conditions[Index(slot)];
    if (conditions.empty()) return EStopReason::kBreakpoint;
    const auto found = conditions.find(unit.GetPC());
    if (found == conditions.end()) return EStopReason::kBreakpoint;
    SCompiled& entry = found->second;
    if (entry.condition && unit.GetBus() && !entry.condition->Holds(unit, *unit.GetBus()))
        return EStopReason::kNone;
    const uint32_t hits = entry.hits + 1;
    entry.hits = hits;
    if (hits <= entry.info.ignoreCount) return EStopReason::kNone;
    m_hit[Index(slot)].hits = hits;
    return EStopReason::kCondition;
}

// --- History ----------------------------------------------------------------------

void CDebugger::SetHistoryEnabled(bool enabled) {
    CComputer::CRunThreadPause hold(m_computer);
    if (enabled == m_historyEnabled) return;
    m_historyEnabled = enabled;
    for (auto& history : m_history) {
        history->Clear();
        history->SetLimits(m_historyLimits);
    }
    Rewire();
}

void CDebugger::SetHistoryLimits(const SHistoryLimits& limits) {
    CComputer::CRunThreadPause hold(m_computer);
    m_historyLimits = limits;
    for (auto& history : m_history)
        history->SetLimits(limits);
}

uint64_t CDebugger::StepBack(int slot, uint64_t count) {
    return Undo(slot, count, false);
}

uint64_t CDebugger::RunBack(int slot) {
    return Undo(slot, UINT64_MAX, true);
}

uint64_t CDebugger::Undo(int slot, uint64_t count, bool toBreakpoint) {
    CMpus* units = m_computer.GetMpus();
    CDevices* bus = m_computer.GetDevices();
    if (!units || !bus || slot < 0 || slot >= units->GetCount()) return 0;
    CMpu& unit = *units->GetAt(slot);
    if (unit.IsRunning() || unit.GetAnimationRate() != 0) return 0;
    CComputer::CRunThreadPause hold(m_computer);
    uint64_t undone = 0;
    while (undone < count && m_history[Index(slot)]->Undo(unit, *bus)) {
        ++undone;
        if (toBreakpoint && unit.AtBreakpoint()) break;
    }
    return undone;
}

// --- Profiles ---------------------------------------------------------------------

void CDebugger::SetProfileEnabled(bool enabled) {
    CComputer::CRunThreadPause hold(m_computer);
    if (enabled == m_profileEnabled) return;
    m_profileEnabled = enabled;
    Rewire();
}

void CDebugger::ResetProfiles() {
    CComputer::CRunThreadPause hold(m_computer);
    for (auto& profile : m_profile)
        profile->Clear();
}

bool CDebugger::WriteProfileCsv(const std::string& path, std::string& error) const {
    CAtomicFile file;
    std::string reason;
    if (!file.Open(path, &reason)) {
        error = "Cannot write " + path + ": " + reason;
        return false;
    }
    std::ostream out(&file);
    out << "unit,address,count,percent,instruction\n";
    const CMpus* units = m_computer.GetMpus();
    const int count = units ? units->GetCount() : 0;
    for (int slot = 0; slot < count; ++slot) {
        const CProfile& profile = *m_profile[Index(slot)];
        const uint64_t total = profile.GetTotal();
        if (total == 0) continue;
        const CMpu& unit = *units->GetAt(slot);
        const int digits = unit.GetAddressMask() > 0xFFFF ? 6 : 4;
        for (const auto& [address, hits] : profile.GetCounts()) {
            const SDisassembly line = unit.Disassemble(address * unit.GetAddressScale());
            std::string text = line.mnemonic;
            if (!line.operand.empty()) text += " " + line.operand;
            // Quoted, with quotes doubled: operands may hold commas.
            std::string quoted;
            for (char c : text) {
                if (c == '"') quoted += '"';
                quoted += c;
            }
            char percent[32];
            std::snprintf(percent, sizeof percent, "%.2f",
                          100.0 * static_cast<double>(hits) / static_cast<double>(total));
            out << slot << ',' << Hex(address, digits) << ',' << hits << ',' << percent << ",\""
                << quoted << "\"\n";
        }
    }
    out.flush();
    if (!file.Commit(&reason)) {
        error = "Cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}

// --- Units ----------------------------------------------------------------------

void CDebugger::UnitRemoved(int slot) {
    if (slot < 0 || slot >= static_cast<int>(m_history.size())) return;
    CComputer::CRunThreadPause hold(m_computer);
    const auto moveDown = [slot](auto& perSlot) {
        std::rotate(perSlot.begin() + slot, perSlot.begin() + slot + 1, perSlot.end());
    };
    moveDown(m_conditions);
    m_conditions.back().clear();
    moveDown(m_history);
    m_history.back()->Clear();
    m_history.back()->SetLimits(m_historyLimits);
    moveDown(m_profile);
    m_profile.back()->Clear();
    moveDown(m_hit);
    m_hit.back() = {};
    {
        std::lock_guard guard(m_detailLock);
        moveDown(m_detail);
        m_detail.back() = {};
    }
    std::erase_if(m_watchpoints, [slot](const SWatchpoint& watch) { return watch.slot == slot; });
    for (SWatchpoint& watch : m_watchpoints) {
        if (watch.slot > slot) --watch.slot;
    }
    Rewire();
}

// --- Stop details ----------------------------------------------------------------

SStopDetail CDebugger::GetStopDetail(int slot) const {
    std::lock_guard guard(m_detailLock);
    return m_detail[Index(slot)];
}

void CDebugger::UnitStarted(int slot, CMpu& unit) {
    m_hit[Index(slot)] = {};
    unit.SetDebugStop(false);
    m_history[Index(slot)]->Invalidate();
    std::lock_guard guard(m_detailLock);
    m_detail[Index(slot)] = {};
}

void CDebugger::NoteStop(int slot, CMpu& unit, EStopReason reason) {
    SStopDetail detail;
    SStopDetail& hit = m_hit[Index(slot)];
    if (reason == EStopReason::kWatchpoint || reason == EStopReason::kCondition) detail = hit;
    detail.reason = reason;
    detail.pc = unit.GetPC();
    hit = {};
    unit.SetDebugStop(false);
    std::lock_guard guard(m_detailLock);
    m_detail[Index(slot)] = detail;
}
