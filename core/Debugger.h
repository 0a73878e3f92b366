#pragma once
// CDebugger: the debugging aids of a workspace beyond plain breakpoints:
// watchpoints, breakpoint conditions with ignore counts, per-unit history
// (stepping back) and per-unit execution profiles, and why each unit last
// stopped, in detail.
//
// None of this is part of the workspace file; the sidecar file keeps it
// (DebugSidecar.h). With none of the aids in use the debugger is neither the
// run observer nor the bus tap, so the run thread keeps its fast path.
//
// Threads: everything is set up on the event thread while the run thread is
// held (CComputer::PauseRunThread) or the units concerned are stopped; the
// stepping thread (the run thread, or the event thread for Step Into and
// animation) records and tests. Stop details are written by the stepping
// thread before the run-stopped notice and read after it.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/History.h"
#include "core/Profile.h"
#include "core/StepAids.h"

class CMpu;

enum EWatchAccess : uint8_t { kWatchRead = 1, kWatchWrite = 2, kWatchAccess = 3 };

// Stops a unit that reads, writes or accesses (either) an address in
// from..to, optionally only when the value equals (or differs from) value.
struct SWatchpoint {
    uint32_t from = 0;
    uint32_t to = 0;
    uint8_t access = kWatchWrite;
    std::optional<uint32_t> value;
    bool valueDiffers = false;
    // The unit it watches, or -1 for every unit.
    int slot = -1;

    bool operator==(const SWatchpoint&) const = default;
};

// "r", "w" or "rw", ':', FROM, optionally '-' TO, optionally '=' or "!="
// VALUE; numbers hexadecimal. False with the reason.
bool ParseWatchpoint(std::string_view text, SWatchpoint& watch, std::string& error);
std::string FormatWatchpoint(const SWatchpoint& watch);

// A compiled breakpoint condition, tested on the stepping thread after the
// unit reached the breakpoint's address.
class CCondition {
public:
    virtual ~CCondition() = default;
    virtual bool Holds(const CMpu& unit, const CDevices& bus) const = 0;
};

// Turns condition text into a condition over unit's registers, flags and
// memory; nullptr with the reason when the text is not one. Installed by the
// front end (the expression evaluator lives above the library's core).
using ConditionCompiler = std::function<std::unique_ptr<CCondition>(
    std::string_view text, const CMpu& unit, std::string& error)>;

// What a breakpoint carries beyond its address.
struct SBreakpointCondition {
    std::string condition;  // empty: always
    // Times the breakpoint is passed over (with its condition holding)
    // before it stops the unit.
    uint32_t ignoreCount = 0;
    // Times it was reached with its condition holding, this run included.
    uint32_t hits = 0;
};

// Why a unit last stopped, with what a watchpoint saw.
struct SStopDetail {
    EStopReason reason = EStopReason::kNone;
    uint32_t pc = 0;
    // Watchpoints: the instruction that made the access, the address the unit accessed, the access
    // (kWatchRead or kWatchWrite), its size in bytes and the value read or written.
    uint32_t instruction = 0;
    uint32_t address = 0;
    uint8_t access = 0;
    uint32_t size = 0;
    uint32_t value = 0;
    // Breakpoints: the hits of the breakpoint that stopped the unit.
    uint32_t hits = 0;
};

class CDebugger final : public CRunObserver, public CBusTap {
public:
    explicit CDebugger(CComputer& computer);
    CDebugger(const CDebugger&) = delete;
    CDebugger& operator=(const CDebugger&) = delete;
    ~CDebugger() override;

    // The compiler every workspace uses for breakpoint conditions.
    static void SetConditionCompiler(ConditionCompiler compiler);
    static bool HasConditionCompiler();

    // The workspace's contents were replaced or cleared: everything goes.
    void Clear();

    // Watchpoints.
    const std::vector<SWatchpoint>& GetWatchpoints() const { return m_watchpoints; }
    void AddWatchpoint(const SWatchpoint& watch);
    void RemoveWatchpoint(size_t index);
    void SetWatchpoints(std::vector<SWatchpoint> watches);

    // Breakpoint conditions of the unit in slot, by address. Setting one
    // compiles it against the unit; false with the reason (nothing changes).
    // An empty condition with ignore count 0 removes the entry.
    bool SetCondition(int slot, uint32_t address, const std::string& condition,
                      uint32_t ignoreCount, std::string* error = nullptr);
    std::optional<SBreakpointCondition> GetCondition(int slot, uint32_t address) const;
    std::map<uint32_t, SBreakpointCondition> GetConditions(int slot) const;
    void ClearConditions(int slot);
    // Run thread: the unit reached a breakpoint; kBreakpoint, kCondition or
    // kNone (passed over).
    EStopReason BreakpointReached(int slot, CMpu& unit);

    // History.
    void SetHistoryEnabled(bool enabled);
    bool IsHistoryEnabled() const { return m_historyEnabled; }
    // Bounds of each unit's history; applied to the records kept.
    void SetHistoryLimits(const SHistoryLimits& limits);
    SHistoryLimits GetHistoryLimits() const { return m_historyLimits; }
    const CHistory& History(int slot) const { return *m_history[Index(slot)]; }
    // Steps the stopped unit in slot back up to count instructions: registers,
    // counters and the memory its steps wrote are restored. Returns the
    // instructions undone.
    uint64_t StepBack(int slot, uint64_t count);
    // Steps back until the unit is at a breakpoint again (the one before the
    // one it stands on) or the history is used up. Returns the instructions undone.
    uint64_t RunBack(int slot);

    // Profiles.
    void SetProfileEnabled(bool enabled);
    bool IsProfileEnabled() const { return m_profileEnabled; }
    const CProfile& Profile(int slot) const { return *m_profile[Index(slot)]; }
    void ResetProfiles();
    // Every profiled unit's counts as CSV: a header, then slot, address,
    // count and the instruction, most executed first. False with the reason.
    bool WriteProfileCsv(const std::string& path, std::string& error) const;

    // The unit in slot was removed and the units after it moved down one:
    // their aids move with them; the removed unit's go, with the
    // watchpoints that watched it alone.
    void UnitRemoved(int slot);

    // Stop details.
    SStopDetail GetStopDetail(int slot) const;
    // Run control: a unit is started (its old detail and any watch hit of a
    // single step go) or stopped for reason.
    void UnitStarted(int slot, CMpu& unit);
    void NoteStop(int slot, CMpu& unit, EStopReason reason);

    // What the run thread's passes do around each step; nullptr unless the
    // debugger observes without a user observer.
    const SStepAids* GetStepAids() const { return m_aidsOn ? &m_aids : nullptr; }

    // The workspace's user observer (a trace) is called from this one while
    // the debugger observes.
    void SetUserObserver(CRunObserver* observer);

    // CRunObserver.
    void BeforeStep(int slot, CMpu& unit) override;
    void AfterStep(int slot, CMpu& unit) override;
    // CBusTap.
    void OnRead(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) override;
    void OnWrite(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) override;

private:
    // Undoes up to count instructions of the stopped unit in slot, stopping
    // early at a breakpoint when toBreakpoint; the instructions undone.
    uint64_t Undo(int slot, uint64_t count, bool toBreakpoint);
    static size_t Index(int slot) { return static_cast<size_t>(slot) & 7; }
    void Watch(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value,
               uint8_t access);
    // Installs or removes the observer and the tap as the aids in use ask.
    void Rewire();

    struct SCompiled {
        SBreakpointCondition info;  // its hits are in hits
        std::shared_ptr<const CCondition> condition;
        // Counted by the stepping thread, read by anyone.
        Relaxed<uint32_t> hits{0};
    };

    CComputer& m_computer;
    CRunObserver* m_userObserver = nullptr;
    std::vector<SWatchpoint> m_watchpoints;
    std::array<std::map<uint32_t, SCompiled>, 8> m_conditions;
    bool m_historyEnabled = false;
    SHistoryLimits m_historyLimits;
    // Held apart, so that they move with their units (UnitRemoved).
    std::array<std::unique_ptr<CHistory>, 8> m_history;
    bool m_profileEnabled = false;
    std::array<std::unique_ptr<CProfile>, 8> m_profile;
    // Stepping thread: the first watch hit of the step in hand, per slot.
    std::array<SStopDetail, 8> m_hit{};
    // Stepping thread: where the step in hand began, per slot.
    std::array<uint32_t, 8> m_stepPc{};
    mutable std::mutex m_detailLock;
    std::array<SStopDetail, 8> m_detail{};  // guarded by m_detailLock
    bool m_wired = false;
    SStepAids m_aids;
    Relaxed<bool> m_aidsOn{false};
};
