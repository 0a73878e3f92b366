#pragma once
// CComputer: the workspace, one simulated computer. It owns the unit set and
// the bus, marks one unit active, holds the run limits and, from creation or
// opening until it is cleared, the run thread.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/Host.h"
#include "core/Relaxed.h"

class CDebugger;
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

// Sees every instruction a unit executes while it is set (a trace, later a
// profile or history). The run thread calls it for the units it steps, the
// event thread for Step Into and animation steps; calls never overlap. With
// no observer set the run thread takes its fast path untouched.
class CRunObserver {
public:
    virtual ~CRunObserver() = default;
    // Before the unit in slot steps: the instruction at its program counter
    // (or the interrupt it is about to enter) is the one that will run.
    virtual void BeforeStep(int slot, CMpu& unit) = 0;
    virtual void AfterStep(int slot, CMpu& unit) = 0;
};

// What a run command did. It leaves the unit idle when it needs an answer:
// the front end asks and calls again with it.
enum class ERunStart {
    kStarted,
    kNoUnit,             // no active unit (a blank system), or none at all
    kNeedsConfirmation,  // ask kCautionText (Yes/No); on Yes call with confirmed
    kNeedsInterrupt,     // show the Generate Interrupt dialog; call with its request
    kFailed,             // the run thread could not be started (the user was told)
};

// What the Device Configuration dialog and the runner set on a device.
struct SDeviceSettings {
    std::string className;
    std::string name;
    uint32_t from = 0;
    uint32_t to = 0;
    // What is left out keeps the class's own setting (or the device's, when
    // it is edited).
    std::optional<uint32_t> stride;
    std::optional<int> irqCode;
    std::optional<uint32_t> timeScale;
    // Memory devices (CRam) only: the size in bytes (none: the window,
    // to - from + 1) and whether programs may write it.
    std::optional<uint32_t> size;
    bool writable = true;
};

// The four run-limit values of a workspace, edited together by the Global
// Run Limits dialog.
struct SRunLimits {
    bool timeEnabled = false;
    int64_t seconds = 0;
    bool instructionsEnabled = false;
    uint64_t instructions = 0;
};

class CComputer {
public:
    static constexpr int kRunLimitSlot = 10000;
    static constexpr const char* kCautionText =
        "Caution: no breakpoints or execution time limits have been set. Proceed anyway ?";
    static constexpr const char* kNoMoreBreakpointsText = "Sorry, no more breakpoints available.";
    static constexpr const char* kRunThreadStuckText =
        "The main simulator run thread did not terminate properly. :(\r\nThis may cause extra "
        "resources to be consumed, affecting performance. \r\nConsider rebooting.  Sorry.";
    static constexpr const char* kRunThreadFailedText =
        "The simulator run thread could not be started. Processors will not run.";
    // The run thread's pause after a pass in which no unit ran.
    static constexpr std::chrono::milliseconds kIdleSleep{56};
    // Longest waits of Stop and Stop All for the run thread to finish its pass.
    static constexpr std::chrono::milliseconds kStopSettle{55};
    static constexpr std::chrono::milliseconds kStopAllSettle{120};
    // Clearing waits for the run thread in this many tries of this length
    // before it tells the user (and then goes on waiting).
    static constexpr int kStopTries = 20;
    static constexpr std::chrono::milliseconds kStopTryInterval{100};

    explicit CComputer(CHost* host = nullptr);
    CComputer(const CComputer&) = delete;
    CComputer& operator=(const CComputer&) = delete;
    ~CComputer();

    CHost& Host() const { return *m_host.Load(); }
    void SetHost(CHost* host) { m_host = host ? host : &CNullHost::Instance(); }

    // An empty workspace: a fresh bus and unit set, limits and stop request
    // cleared. The old contents are cleared first.
    void NewContents();
    // Clears the workspace: the run thread is ended and joined, then units and
    // devices are deleted.
    void DeleteContents();
    // Installs a loaded bus and unit set: the bus gets its workspace, every
    // unit the bus, and the unit in slot activeSlot becomes active.
    void AdoptContents(std::unique_ptr<CDevices> devices, std::unique_ptr<CMpus> units,
                       int activeSlot);
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
    // The bytes from address on as memory devices hold them, read without a
    // device's side effects: -1 where no memory holds the address (a device
    // register or nothing). One bus lock for the whole range: keep it short.
    void Peek(uint32_t address, std::span<int16_t> bytes) const;

    // A host timer expired: 0x4000-0x4007 animate a unit, others go to the devices.
    void OnTimer(uint32_t id);

    // Views.
    void SetModifiedFlag(bool modified = true);
    bool IsModified() const { return m_modified; }
    void UpdateAllViews(uint32_t hint);
    void AddUnitView(CUnitView* view);
    void RemoveUnitView(CUnitView* view);
    // After a run-control action on the unit in slot (10000 or RefreshAll:
    // on every unit): marks the workspace modified, lets every listing whose
    // unit's program counter is off screen follow it, whatever its unit (one
    // unit's action may move another's, e.g. through a shared memory or an
    // interrupt), then updates every view with hint 2, or 3 when a listing moved.
    void RefreshUnit(int slot);
    void RefreshAll() { RefreshUnit(kRunLimitSlot); }

    // The run thread's notice, delivered by the host on the event thread:
    // remembers why and refreshes the unit that stopped (10000: all units, a
    // run limit).
    void OnRunStopped(int slot, EStopReason reason);
    // Why the unit in slot last stopped (10000: the last run limit); kNone
    // while it has not stopped since it was started.
    EStopReason GetLastStopReason(int slot) const;

    // The per-instruction observer, or nullptr. Set it only while no unit
    // runs or animates. While debugging aids are in use the debugger observes
    // and calls it.
    void SetRunObserver(CRunObserver* observer);
    CRunObserver* GetRunObserver() const { return m_userObserver; }
    // The observer the run loop calls (the debugger's choice).
    void SetEffectiveObserver(CRunObserver* observer) { m_observer = observer; }

    // Watchpoints, breakpoint conditions, history, profiles and stop details.
    CDebugger& Debugger() const { return *m_debugger; }

    // One animation step of the unit in slot (the unit's animation timer expired).
    void AnimationStep(int slot);

    // Editing the machine, as the configuration dialogs and the runner do.
    // Each checks what it is given and says why it refuses (nothing changes
    // then); each is safe while units run: the run thread is held between
    // two instructions while the unit set or the bus changes.
    static constexpr const char* kNameAndClassNeededText =
        "Both name and class information must be entered before the device can be added.";
    // A unit of the class, named, with the IRQ mask set after its reset; a
    // workspace without an active unit makes it active.
    bool AddUnit(const std::string& className, const std::string& name, uint32_t irqMask,
                 std::string* error = nullptr);
    // Takes the unit out (the later slots close up) and deletes it.
    bool RemoveUnit(int slot, std::string* error = nullptr);
    // Renames the unit and resets it with the new IRQ mask.
    bool EditUnit(int slot, const std::string& name, uint32_t irqMask,
                  std::string* error = nullptr);
    // Appends a device of the class at the end of the bus order.
    bool AddDevice(const SDeviceSettings& settings, std::string* error = nullptr);
    // Applies name, window, stride, time scale, IRQ code and, for memory, size
    // (a new, empty buffer) and writability to the device at index.
    bool EditDevice(int index, const SDeviceSettings& settings, std::string* error = nullptr);
    bool RemoveDevice(int index, std::string* error = nullptr);
    // Moves the device at index one place earlier (delta -1) or later (+1)
    // in the bus order; at either end nothing changes.
    bool MoveDevice(int index, int delta, std::string* error = nullptr);
    // The settings of the device at index, as the dialog's list shows them.
    std::optional<SDeviceSettings> GetDeviceSettings(int index) const;

    // The run thread steps every running unit, one instruction per unit per
    // pass. It lives from NewContents (or opening) until the contents are
    // cleared; starting it again while it runs does nothing.
    void StartRunThread();
    bool HasRunThread() const { return m_runThread.joinable(); }
    // Waits until the run thread has finished the pass it is in, so that no
    // unit it stepped is still inside Step; at most maxWait. True when
    // settled (also when there is no thread). A unit whose running flag was
    // cleared before the call is not stepped again once this returns true.
    bool SettleRunThread(std::chrono::milliseconds maxWait);
    // Passes the run thread has completed, a sign of life for a status line.
    uint32_t GetRunPassCount() const { return m_passCount.Load(); }
    // Holds the run thread between two passes until the matching
    // ResumeRunThread, so that the bus can change what its units reach
    // (CDevices::ChangeStructure). Nested and concurrent holds count; from
    // the run thread itself, or without a run thread, they return at once.
    // Never hold the bus lock while calling it.
    void PauseRunThread();
    void ResumeRunThread();
    // PauseRunThread for its lifetime.
    class CRunThreadPause {
    public:
        explicit CRunThreadPause(CComputer& computer) : m_computer(computer) {
            m_computer.PauseRunThread();
        }
        ~CRunThreadPause() { m_computer.ResumeRunThread(); }
        CRunThreadPause(const CRunThreadPause&) = delete;
        CRunThreadPause& operator=(const CRunThreadPause&) = delete;

    private:
        CComputer& m_computer;
    };

    // Run commands. All act on the active unit except Run All and Stop All;
    // without an active unit (a blank system) they do nothing. A command
    // that needs an answer returns without running; called again with it,
    // it goes on. The caution prompt comes first, then the interrupt dialog
    // (for a unit whose interrupt-prompt flag is set).
    ERunStart Run(bool confirmed = false, const SInterruptRequest* interrupt = nullptr);
    ERunStart RunAll(const SInterruptRequest* interrupt = nullptr);
    void Stop();
    void StopAll();
    ERunStart StepInto(const SInterruptRequest* interrupt = nullptr);
    ERunStart BounceOver(bool confirmed = false, const SInterruptRequest* interrupt = nullptr);
    ERunStart StepOut(bool confirmed = false, const SInterruptRequest* interrupt = nullptr);
    // Whether Run of the active unit asks the caution prompt: nothing would
    // stop it (no breakpoint, no run-to address, no limit).
    bool NeedsRunConfirmation() const;
    // The Generate Interrupt dialog's OK: the request to the active unit.
    void GenerateInterrupt(const SInterruptRequest& request);
    void ToggleBreakpoint();
    // Animate 1/1, 1/10, 1/100 (rate 1, 10 or 100): the same rate again
    // switches the animation off. Other rates are ignored.
    void Animate(int rate);
    // Animation timer period of a rate, 0 for a rate that is not one.
    static uint32_t AnimationPeriod(int rate);

    // Run limits and the run's counters; shared with the run thread. Run and
    // Run All reset the counters and leave the limits as they are.
    SRunLimits GetRunLimits() const;
    void SetRunLimits(const SRunLimits& limits);
    bool IsTimeLimitEnabled() const { return m_timeLimitEnabled; }
    void SetTimeLimitEnabled(bool enabled) { m_timeLimitEnabled = enabled; }
    int64_t GetTimeLimit() const { return m_timeLimit; }
    void SetTimeLimit(int64_t seconds) { m_timeLimit = seconds; }
    bool IsInstructionLimitEnabled() const { return m_instructionLimitEnabled; }
    void SetInstructionLimitEnabled(bool enabled) { m_instructionLimitEnabled = enabled; }
    // The instruction limit: a run stops once the count passes it.
    uint64_t GetInstructionLimit() const { return m_instructionLimit; }
    void SetInstructionLimit(uint64_t count) { m_instructionLimit = count; }
    // Instructions executed since the last Run, all units together.
    uint64_t GetInstructionCount() const {
        return m_instructionCount.load(std::memory_order_relaxed);
    }
    void SetInstructionCount(uint64_t count) {
        m_countEpoch.fetch_add(1, std::memory_order_release);
        m_instructionCount.store(count, std::memory_order_release);
        m_runEvents.fetch_add(1, std::memory_order_release);
    }
    int64_t GetRunStartTime() const { return m_runStartTime; }
    void SetRunStartTime(int64_t seconds) { m_runStartTime = seconds; }

private:
    bool TimeLimitExceeded() const;
    // The first stop condition that holds after an instruction of unit, with
    // its side effect (step-out or run-to address cleared).
    EStopReason StopsAfterStep(int slot, CMpu& unit);
    static CMpu* FirstRunningUnit(const CMpus& units);
    void RunThreadMain();
    // Adds the run thread's uncounted instructions to the count and returns
    // the count's restart number (epoch) it is at. A restart (Run, Run All,
    // an animation) that the thread has not noticed yet drops the
    // instructions counted before the current pass, beforePass of them.
    uint32_t PublishInstructions(int64_t uncounted, int64_t beforePass, uint32_t epoch);
    // After a step of a unit with a stop condition set: stops it when one
    // holds, publishing the count first (epoch follows); true when it did.
    bool StopIfDone(int slot, CMpu& unit, int64_t uncounted, int64_t beforePass, uint32_t& epoch);
    // The instruction limit was passed: publishes the count (epoch follows), stops
    // every running unit and reports it.
    void StopAtInstructionLimit(CMpus& units, int64_t uncounted, uint32_t& epoch);
    // Stops every running unit; true when there was one.
    static bool StopRunningUnits(CMpus& units);
    // The run thread waits here while a pause is asked for.
    void ParkRunThread();
    void EndRunThread();
    // Ends the run thread's idle sleep early.
    void WakeRunThread();
    // The active unit, or nullptr when it is the null unit or there is none.
    CMpu* ActiveUnit() const;
    // Clears running, waits for the pass in hand and ends any animation.
    bool StopUnit(CMpu& unit, std::chrono::milliseconds settle);
    void GenerateInterruptFor(CMpu& unit, const SInterruptRequest& request);
    // The run thread, started again if it is missing; false (and the user
    // told) when it cannot be.
    bool EnsureRunThread();
    // Steps unit once on the event thread, with the observer around the step.
    void StepObserved(int slot, CMpu& unit);
    void ResetRunCounters();

    Relaxed<CHost*> m_host;
    Relaxed<bool> m_stopRequest{false};
    std::thread m_runThread;
    // Odd while the run thread is in a batch of passes; every change is a
    // release, so a reader that sees a batch end also sees what it did.
    std::atomic<uint32_t> m_passSequence{0};
    Relaxed<uint32_t> m_passCount{0};
    std::mutex m_runThreadLock;
    std::condition_variable m_wakeSignal;
    std::condition_variable m_endedSignal;
    std::condition_variable m_parkedSignal;
    std::condition_variable m_resumeSignal;
    bool m_wake = false;        // guarded by m_runThreadLock
    bool m_threadEnded = true;  // guarded by m_runThreadLock
    bool m_parked = false;      // guarded by m_runThreadLock
    int m_pauseDepth = 0;       // guarded by m_runThreadLock
    // Written under m_runThreadLock; the run thread polls it between passes.
    std::atomic<bool> m_pauseRequested{false};
    // Bumped whenever the instruction count is restarted, so that the run
    // thread drops the instructions it counted before.
    std::atomic<uint32_t> m_countEpoch{0};
    // Bumped after the stop request, a pause request or a restart of the
    // count: the run thread watches this one word between instructions.
    std::atomic<uint32_t> m_runEvents{0};
    Relaxed<int64_t> m_runStartTime{0};
    // The host's steady clock at the run start, for the time limit.
    Relaxed<int64_t> m_runStartMs{0};
    Relaxed<bool> m_timeLimitEnabled{false};
    Relaxed<int64_t> m_timeLimit{0};
    Relaxed<bool> m_instructionLimitEnabled{false};
    Relaxed<uint64_t> m_instructionLimit{0};
    // Two writers (run thread, animation steps): added to atomically.
    std::atomic<uint64_t> m_instructionCount{0};
    std::unique_ptr<CDevices> m_devices;
    std::unique_ptr<CMpus> m_units;
    CMpu* m_active = nullptr;
    bool m_modified = false;
    std::vector<CUnitView*> m_unitViews;
    // Read by the run thread at every batch.
    Relaxed<CRunObserver*> m_observer{nullptr};
    CRunObserver* m_userObserver = nullptr;
    std::unique_ptr<CDebugger> m_debugger;
    // Event thread: why each slot last stopped, and the last run limit.
    std::array<EStopReason, 8> m_lastStop{};
    EStopReason m_lastLimitStop = EStopReason::kNone;
    // Event thread: the slots started by Run or Run All and not reported since.
    uint32_t m_runSlots = 0;
};
