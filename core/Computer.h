#pragma once
// CComputer: the workspace, one simulated computer. It owns the unit set and
// the bus, marks one unit active, holds the run limits and, from creation or
// opening until it is cleared, the run thread.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Host.h"
#include "core/Relaxed.h"

class CDevices;
class CMpu;
class CMpus;

// Something that shows one unit and follows its program counter (a code
// listing). Refreshing a unit asks it to move when the counter has left the
// range it shows.
class CUnitView {
public:
    virtual ~CUnitView() = default;
    virtual int GetSlot() const = 0;
    // Restarts the listing at the program counter when it lies outside the
    // shown range; true when it moved.
    virtual bool FollowProgramCounter() = 0;
};

class CComputer {
public:
    static constexpr int kRunLimitSlot = 10000;

    explicit CComputer(CHost* host = nullptr);
    CComputer(const CComputer&) = delete;
    CComputer& operator=(const CComputer&) = delete;
    ~CComputer();

    CHost& Host() const { return *m_host; }
    void SetHost(CHost* host) { m_host = host ? host : &CNullHost::Instance(); }

    // An empty workspace: a fresh bus and unit set, limits and stop request
    // cleared. The old contents are cleared first.
    void NewContents();
    // Clears the workspace: units and devices are deleted.
    void DeleteContents();
    bool IsEmpty() const { return !m_devices; }

    CDevices* GetDevices() const { return m_devices.get(); }
    CMpus* GetMpus() const { return m_units.get(); }

    // The active unit; the null unit while the workspace has none, nullptr
    // while it is empty.
    CMpu* GetActiveProcessor() const { return m_active; }
    // Slot of the active unit, or -1 when it is the null unit.
    int GetActiveSlot() const;
    void SetActiveProcessor(uint32_t index);

    uint32_t Read(uint32_t address, uint32_t size) const;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force);

    // A host timer expired: 0x4000-0x4007 animate a unit, others go to the devices.
    void OnTimer(uint32_t id);

    // Views.
    void SetModifiedFlag(bool modified = true);
    bool IsModified() const { return m_modified; }
    void UpdateAllViews(uint32_t hint);
    void AddUnitView(CUnitView* view);
    void RemoveUnitView(CUnitView* view);
    // Marks the workspace modified, lets the listings of that unit (all units
    // for RefreshAll or slot 10000) follow their program counter, then updates
    // every view with hint 2, or 3 when a listing moved.
    void RefreshUnit(int slot);
    void RefreshAll() { RefreshUnit(kRunLimitSlot); }

    // The run thread's notice, delivered by the host on the event thread:
    // refresh the unit that stopped (10000: all units, a run limit).
    void OnRunStopped(int slot) { RefreshUnit(slot); }

    // One animation step of the unit in slot (the unit's animation timer expired).
    void AnimationStep(int slot);

    // Run limits and the run's counters; shared with the run thread.
    bool IsTimeLimitEnabled() const { return m_timeLimitEnabled; }
    void SetTimeLimitEnabled(bool enabled) { m_timeLimitEnabled = enabled; }
    int64_t GetTimeLimit() const { return m_timeLimit; }
    void SetTimeLimit(int64_t seconds) { m_timeLimit = seconds; }
    bool IsCycleLimitEnabled() const { return m_cycleLimitEnabled; }
    void SetCycleLimitEnabled(bool enabled) { m_cycleLimitEnabled = enabled; }
    int32_t GetCycleLimit() const { return m_cycleLimit; }
    void SetCycleLimit(int32_t count) { m_cycleLimit = count; }
    int32_t GetInstructionCount() const { return m_instructionCount; }
    void SetInstructionCount(int32_t count) { m_instructionCount = count; }
    int64_t GetRunStartTime() const { return m_runStartTime; }
    void SetRunStartTime(int64_t seconds) { m_runStartTime = seconds; }

private:
    bool TimeLimitExceeded() const;

    CHost* m_host;
    Relaxed<bool> m_stopRequest{false};
    std::thread m_runThread;
    Relaxed<int64_t> m_runStartTime{0};
    Relaxed<bool> m_timeLimitEnabled{false};
    Relaxed<int64_t> m_timeLimit{0};
    Relaxed<bool> m_cycleLimitEnabled{false};
    Relaxed<int32_t> m_cycleLimit{0};
    Relaxed<int32_t> m_instructionCount{0};
    std::unique_ptr<CDevices> m_devices;
    std::unique_ptr<CMpus> m_units;
    CMpu* m_active = nullptr;
    bool m_modified = false;
    std::vector<CUnitView*> m_unitViews;
};
