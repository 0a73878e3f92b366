// Run control of the workspace: the run thread, the run commands and the
// animation step.
//
// Threads: the run thread only reads the unit set (which stays in place while
// the thread lives), steps running units and clears their run-state flags; the
// event thread issues every command. They share relaxed atomics only, and meet
// at the pass sequence when the event thread must know that a unit is no
// longer inside Step (passes run in short batches, and the sequence moves per
// batch), and at the pause handshake when the bus changes what the units reach
// (the run thread reads plain memory without the bus lock).
//
// The run thread counts instructions in a local and adds them to the shared
// count once per batch, and before every notice it posts, so that whoever
// takes a notice sees the true count.
#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>

#include "core/Computer.h"
#include "core/Debugger.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"

// --- The run thread ---------------------------------------------------------

namespace {

// Passes in one batch. A batch is what SettleRunThread may have to wait for
// while other units go on (a pause or a stop ends it within a few passes), so
// it stays short (well under a millisecond with eight units), yet long enough
// that what the run thread does between batches (two read-modify-writes,
// publishing the count, the time limit) costs next to nothing.
constexpr uint32_t kPassesPerBatch = 2048;

// The workspace whose run thread this is, so that a pause asked for from the
// run thread itself (a device changing the bus inside a step) does not wait.
thread_local constinit const CComputer* t_runThreadOf = nullptr;

}  // namespace

void CComputer::StartRunThread() {
    if (m_runThread.joinable() || !m_units) return;
    m_stopRequest = false;
    {
        std::lock_guard guard(m_runThreadLock);
        m_threadEnded = false;
        m_wake = false;
        m_parked = false;
    }
    try {
        m_runThread = std::thread([this] { RunThreadMain(); });
    } catch (const std::system_error&) {
        {
            std::lock_guard guard(m_runThreadLock);
            m_threadEnded = true;
        }
        Host().ShowMessage(kRunThreadFailedText, EMessageIcon::Stop);
    }
}

void CComputer::EndRunThread() {
    if (!m_runThread.joinable()) return;
    m_stopRequest = true;
    m_runEvents.fetch_add(1, std::memory_order_release);
    WakeRunThread();
    m_resumeSignal.notify_all();
    bool ended = false;
    {
        std::unique_lock lock(m_runThreadLock);
        for (int attempt = 0; attempt < kStopTries && !ended; ++attempt) {
            ended =
                m_endedSignal.wait_for(lock, kStopTryInterval, [this] { return m_threadEnded; });
        }
    }
    // The thread reads the units and the bus: it is never abandoned, however
    // long it takes.
    if (!ended) Host().ShowMessage(kRunThreadStuckText, EMessageIcon::Information);
    m_runThread.join();
}

void CComputer::WakeRunThread() {
    {
        std::lock_guard guard(m_runThreadLock);
        m_wake = true;
    }
    m_wakeSignal.notify_one();
}

void CComputer::PauseRunThread() {
    if (t_runThreadOf == this) return;
    std::unique_lock lock(m_runThreadLock);
    ++m_pauseDepth;
    if (m_threadEnded) return;
    m_pauseRequested.store(true, std::memory_order_relaxed);
    m_runEvents.fetch_add(1, std::memory_order_release);
    m_wake = true;  // an idle thread parks at once
    m_wakeSignal.notify_one();
    m_parkedSignal.wait(lock, [this] { return m_parked || m_threadEnded; });
}

void CComputer::ResumeRunThread() {
    if (t_runThreadOf == this) return;
    {
        std::lock_guard guard(m_runThreadLock);
        if (m_pauseDepth > 0 && --m_pauseDepth > 0) return;
        m_pauseRequested.store(false, std::memory_order_relaxed);
    }
    m_resumeSignal.notify_all();
}

void CComputer::ParkRunThread() {
    std::unique_lock lock(m_runThreadLock);
    m_parked = true;
    m_parkedSignal.notify_all();
    m_resumeSignal.wait(lock, [this] {
        return !m_pauseRequested.load(std::memory_order_relaxed) || m_stopRequest;
    });
    m_parked = false;
}

bool CComputer::SettleRunThread(std::chrono::milliseconds maxWait) {
    if (!m_runThread.joinable()) return true;
    // A read-modify-write, so that it is ordered against the run thread's own:
    // either the thread's next batch starts after it (and sees every running
    // flag cleared before it), or it sees that batch under way and waits for
    // its end, after which the thread reads the flags afresh.
    const uint32_t seen = m_passSequence.fetch_add(0, std::memory_order_acq_rel);
    if ((seen & 1) == 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + maxWait;
    while (m_passSequence.load(std::memory_order_acquire) == seen) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

EStopReason CComputer::StopsAfterStep(int slot, CMpu& unit) {
    // A watchpoint saw an access of the step just made.
    if (unit.HasDebugStop()) return EStopReason::kWatchpoint;
    if (unit.IsStepOutPending() && unit.ReturnExecuted()) {
        unit.SetStepOutPending(false);
        return EStopReason::kStepOut;
    }
    if (unit.GetInterruptPrompt()) return EStopReason::kInterruptPrompt;
    // All ones means no run-to address (no core's program counter reaches it).
    const uint32_t runTo = unit.GetRunToAddress();
    if (runTo != CMpu::kNoAddress && unit.GetPC() == runTo) {
        unit.SetRunToAddress(CMpu::kNoAddress);
        return EStopReason::kRunTo;
    }
    return unit.AtBreakpoint() ? m_debugger->BreakpointReached(slot, unit) : EStopReason::kNone;
}

CMpu* CComputer::FirstRunningUnit(const CMpus& units) {
    const int count = units.GetCount();
    for (int slot = 0; slot < count; ++slot) {
        if (CMpu* unit = units.GetAt(slot); unit->IsRunning()) return unit;
    }
    return nullptr;
}

bool CComputer::TimeLimitExceeded() const {
    // Measured in milliseconds, so a run ends once the limit has passed (at
    // once for 0), not up to a second and more later.
    if (!m_timeLimitEnabled) return false;
    const int64_t limit = m_timeLimit;
    const int64_t limitMs = limit > INT64_MAX / 1000 ? INT64_MAX : limit * 1000;
    return Host().NowMilliseconds() - m_runStartMs >= limitMs;
}

bool CComputer::StopRunningUnits(CMpus& units) {
    bool stoppedSome = false;
    const int count = units.GetCount();
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = units.GetAt(slot);
        if (unit->IsRunning()) {
            unit->SetRunning(false);
            stoppedSome = true;
        }
    }
    return stoppedSome;
}

uint32_t CComputer::PublishInstructions(int64_t uncounted, int64_t beforePass, uint32_t epoch) {
    uint64_t current = m_instructionCount.load(std::memory_order_acquire);
    // A restart bumps the epoch before it stores the new count, so a count
    // read after the restart comes with the new epoch.
    for (;;) {
        const uint32_t now = m_countEpoch.load(std::memory_order_acquire);
        if (now != epoch) {
            epoch = now;
            uncounted -= beforePass;
            beforePass = 0;
        }
        if (uncounted == 0 || m_instructionCount.compare_exchange_weak(
                                  current, current + static_cast<uint64_t>(uncounted),
                                  std::memory_order_acq_rel, std::memory_order_acquire))
            return epoch;
    }
}

bool CComputer::StopIfDone(int slot, CMpu& unit, int64_t uncounted, int64_t beforePass,
                           uint32_t& epoch) {
    const EStopReason reason = StopsAfterStep(slot, unit);
    if (reason == EStopReason::kNone) return false;
    // The detail is in place before the unit reads as stopped: a Run that
    // follows at once starts from a clean one.
    m_debugger->NoteStop(slot, unit, reason);
    unit.SetRunning(false);
    // Whoever takes the notice sees the count that includes this step.
    epoch = PublishInstructions(uncounted, beforePass, epoch);
    Host().PostRunStopped(slot, reason);
    return true;
}

// A limit stops every running unit and is reported once: after that no unit
// runs until the next Run, which starts the counts again.
void CComputer::StopAtInstructionLimit(CMpus& units, int64_t uncounted, uint32_t& epoch) {
    epoch = PublishInstructions(uncounted, 0, epoch);
    if (StopRunningUnits(units))
        Host().PostRunStopped(kRunLimitSlot, EStopReason::kInstructionLimit);
}

void CComputer::RunThreadMain() {
    t_runThreadOf = this;
    CMpus& units = *m_units;
    const CDevices::CDirectAccess direct(m_devices.get());
    // Instructions not yet added to the count, those of the passes before
    // the current one, and the count's restart number they belong to.
    int64_t uncounted = 0;
    int64_t beforePass = 0;
    uint32_t epoch = m_countEpoch.load(std::memory_order_acquire);
    while (!m_stopRequest) {
        if (m_pauseRequested.load(std::memory_order_relaxed)) {
            ParkRunThread();
            continue;
        }
        m_passSequence.fetch_add(1, std::memory_order_acq_rel);  // odd: in a batch
        uint32_t seenEvents = m_runEvents.load(std::memory_order_acquire);
        // Nothing is uncounted between batches: a restart before this one
        // needs no dropping.
        epoch = m_countEpoch.load(std::memory_order_acquire);
        uint32_t passes = 0;
        bool ran = true;
        bool endBatch = m_stopRequest || m_pauseRequested.load(std::memory_order_relaxed);
        // Whether this batch still hands passes to the cores: not while an
        // observer sees every instruction.
        CRunObserver* const observer = m_observer.Load();
        // The debugger's aids alone also run inside the core, for a unit
        // running alone.
        const SStepAids* const aids =
            observer == m_debugger.get() ? m_debugger->GetStepAids() : nullptr;
        bool passRuns = observer == nullptr || aids != nullptr;
        // After the last instruction of a pass: the unit's stop conditions,
        // then the cycle limit, against the true count (a count restarted
        // since the pass began is seen here too).
        auto afterStep = [&](int slot, CMpu& unit) {
            if ((unit.HasStopCondition() || unit.HasDebugStop()) &&
                StopIfDone(slot, unit, uncounted, beforePass, epoch))
                uncounted = beforePass = 0;
        };
        auto afterPass = [&] {
            if (m_instructionLimitEnabled && !m_stopRequest) {
                const uint32_t now = m_countEpoch.load(std::memory_order_acquire);
                if (now != epoch) {
                    epoch = now;
                    uncounted -= beforePass;
                }
                if (m_instructionCount.load(std::memory_order_relaxed) +
                        static_cast<uint64_t>(uncounted) >
                    m_instructionLimit) {
                    StopAtInstructionLimit(units, uncounted, epoch);
                    uncounted = 0;
                }
            }
        };
        // The stop request, a pause or a restart of the count comes as an
        // event. Ordinary passes look at it between any two instructions, a
        // run of passes inside a core between passes (a unit running alone:
        // every few steps), well within a batch: the stop request ends the
        // pass at once, a pause ends the batch after the pass, and a restart
        // drops the instructions of the passes before this one.
        while (ran && !endBatch && passes < kPassesPerBatch) {
            if (passRuns) {
                // Passes with nothing to look at between them run inside the
                // core of the first running unit, no further than the pass
                // the cycle limit stops after.
                SPassRun run;
                run.units = &units;
                run.events = &m_runEvents;
                run.seen = seenEvents;
                run.maxPasses = kPassesPerBatch - passes;
                run.aids = aids;
                if (m_instructionLimitEnabled) {
                    // Steps until the count passes the limit (one past it).
                    const uint64_t done = m_instructionCount.load(std::memory_order_relaxed) +
                                          static_cast<uint64_t>(uncounted);
                    const uint64_t limit = m_instructionLimit;
                    const uint64_t left = done > limit ? 0 : limit - done + 1;
                    run.maxSteps = static_cast<uint32_t>(std::min<uint64_t>(left, INT32_MAX));
                }
                if (CMpu* first = FirstRunningUnit(units)) first->StepPasses(run);
                if (run.passes > 0) {
                    uncounted += run.steps;
                    beforePass = uncounted - run.lastPassSteps;
                    passes += run.passes;
                    for (int slot = 0; slot < CMpus::kSlots; ++slot) {
                        if (run.lastPassSlots >> slot & 1)
                            afterStep(slot, *run.inSlot[static_cast<size_t>(slot)]);
                    }
                    afterPass();
                    continue;
                }
                // Something needs looking at: ordinary passes to the batch's end.
                passRuns = false;
            }
            ran = false;
            beforePass = uncounted;
            const int count = units.GetCount();
            for (int slot = 0; slot < count; ++slot) {
                if (m_runEvents.load(std::memory_order_relaxed) != seenEvents) {
                    seenEvents = m_runEvents.load(std::memory_order_acquire);
                    endBatch = true;
                    if (m_stopRequest) break;
                    const uint32_t now = m_countEpoch.load(std::memory_order_acquire);
                    if (now != epoch) {
                        epoch = now;
                        uncounted -= beforePass;
                        beforePass = 0;
                    }
                }
                CMpu* unit = units.GetAt(slot);
                if (!unit->IsRunning()) continue;
                ran = true;
                if (observer) {
                    observer->BeforeStep(slot, *unit);
                    unit->Step();
                    observer->AfterStep(slot, *unit);
                } else {
                    unit->Step();
                }
                ++uncounted;
                afterStep(slot, *unit);
            }
            afterPass();
            ++passes;
        }
        // A restart noticed only now comes after every instruction in hand.
        epoch = PublishInstructions(uncounted, uncounted, epoch);
        uncounted = 0;
        // Once a batch (microseconds) keeps the stop well within a millisecond.
        if (!m_stopRequest && TimeLimitExceeded() && StopRunningUnits(units))
            Host().PostRunStopped(kRunLimitSlot, EStopReason::kTimeLimit);
        m_passCount += passes;
        m_passSequence.fetch_add(1, std::memory_order_acq_rel);  // even: between batches
        if (!ran) {
            std::unique_lock lock(m_runThreadLock);
            m_wakeSignal.wait_for(lock, kIdleSleep, [this] {
                return m_wake || m_stopRequest || m_pauseRequested.load(std::memory_order_relaxed);
            });
            m_wake = false;
        }
    }
    {
        std::lock_guard guard(m_runThreadLock);
        m_threadEnded = true;
        m_parked = false;
    }
    m_endedSignal.notify_all();
    m_parkedSignal.notify_all();
}

// --- Limits -----------------------------------------------------------------

SRunLimits CComputer::GetRunLimits() const {
    return SRunLimits{m_timeLimitEnabled, m_timeLimit, m_instructionLimitEnabled,
                      m_instructionLimit};
}

void CComputer::SetRunLimits(const SRunLimits& limits) {
    m_timeLimit = limits.seconds;
    m_instructionLimit = limits.instructions;
    m_timeLimitEnabled = limits.timeEnabled;
    m_instructionLimitEnabled = limits.instructionsEnabled;
}

void CComputer::ResetRunCounters() {
    SetInstructionCount(0);
    m_runStartTime = Host().NowSeconds();
    m_runStartMs = Host().NowMilliseconds();
}

// --- Commands ---------------------------------------------------------------

CMpu* CComputer::ActiveUnit() const {
    if (!m_units || !m_active || m_units->IsNullUnit(m_active)) return nullptr;
    return m_active;
}

bool CComputer::StopUnit(CMpu& unit, std::chrono::milliseconds settle) {
    unit.SetRunning(false);
    const bool settled = SettleRunThread(settle);
    unit.Stop();
    return settled;
}

bool CComputer::NeedsRunConfirmation() const {
    const CMpu* unit = ActiveUnit();
    return unit && !unit->HasReachableStopAddress() && !m_timeLimitEnabled &&
           !m_instructionLimitEnabled && m_debugger->GetWatchpoints().empty();
}

bool CComputer::EnsureRunThread() {
    if (!m_runThread.joinable()) StartRunThread();
    return m_runThread.joinable();
}

ERunStart CComputer::Run(bool confirmed, const SInterruptRequest* interrupt) {
    CMpu* unit = ActiveUnit();
    if (!unit) return ERunStart::kNoUnit;
    // The animation ends before anything else, so that its timer never steps
    // the unit while a question is open or the run thread has it.
    unit->SetAnimationRate(0);
    unit->StopAnimationTimer();
    if (!confirmed && NeedsRunConfirmation()) return ERunStart::kNeedsConfirmation;
    if (unit->GetInterruptPrompt()) {
        if (!interrupt) return ERunStart::kNeedsInterrupt;
        GenerateInterruptFor(*unit, *interrupt);
    }
    if (!EnsureRunThread()) {
        m_lastStop[static_cast<size_t>(GetActiveSlot())] = EStopReason::kError;
        return ERunStart::kFailed;
    }
    // Counted from here, so time spent in the questions is not run time.
    ResetRunCounters();
    m_lastStop[static_cast<size_t>(GetActiveSlot())] = EStopReason::kNone;
    m_lastLimitStop = EStopReason::kNone;
    m_runSlots |= 1u << GetActiveSlot();
    // A unit already running keeps its stop detail: the run thread may be
    // noting a stop of it at this moment.
    if (!unit->IsRunning()) m_debugger->UnitStarted(GetActiveSlot(), *unit);
    unit->Run();
    WakeRunThread();
    return ERunStart::kStarted;
}

ERunStart CComputer::RunAll(const SInterruptRequest* interrupt) {
    if (!m_units || m_units->GetCount() == 0) return ERunStart::kNoUnit;
    const int count = m_units->GetCount();
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = m_units->GetAt(slot);
        unit->SetAnimationRate(0);
        unit->StopAnimationTimer();
        if (unit->GetInterruptPrompt() && !interrupt) return ERunStart::kNeedsInterrupt;
    }
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = m_units->GetAt(slot);
        if (unit->GetInterruptPrompt()) GenerateInterruptFor(*unit, *interrupt);
    }
    if (!EnsureRunThread()) {
        m_lastStop.fill(EStopReason::kError);
        return ERunStart::kFailed;
    }
    ResetRunCounters();
    m_lastStop.fill(EStopReason::kNone);
    m_lastLimitStop = EStopReason::kNone;
    m_runSlots = (1u << count) - 1;
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = m_units->GetAt(slot);
        if (!unit->IsRunning()) m_debugger->UnitStarted(slot, *unit);
    }
    m_units->RunAll();
    WakeRunThread();
    return ERunStart::kStarted;
}

void CComputer::Stop() {
    CMpu* unit = ActiveUnit();
    if (!unit) return;
    const bool wasRunning = unit->IsRunning() || unit->GetAnimationRate() != 0;
    StopUnit(*unit, kStopSettle);
    if (wasRunning) m_lastStop[static_cast<size_t>(GetActiveSlot())] = EStopReason::kStopCommand;
    RefreshUnit(GetActiveSlot());
}

void CComputer::StopAll() {
    if (!m_units) return;
    for (int slot = 0; slot < m_units->GetCount(); ++slot) {
        const CMpu* unit = m_units->GetAt(slot);
        if (unit->IsRunning() || unit->GetAnimationRate() != 0)
            m_lastStop[static_cast<size_t>(slot)] = EStopReason::kStopCommand;
    }
    m_units->StopAll();
    SettleRunThread(kStopAllSettle);
    RefreshAll();
}

void CComputer::StepObserved(int slot, CMpu& unit) {
    CRunObserver* const observer = m_observer.Load();
    if (observer) observer->BeforeStep(slot, unit);
    unit.Step();
    if (observer) observer->AfterStep(slot, unit);
}

ERunStart CComputer::StepInto(const SInterruptRequest* interrupt) {
    CMpu* unit = ActiveUnit();
    if (!unit) return ERunStart::kNoUnit;
    // Never step a unit the run thread may still be stepping.
    if (StopUnit(*unit, kStopSettle)) {
        if (unit->GetInterruptPrompt()) {
            if (!interrupt) return ERunStart::kNeedsInterrupt;
            GenerateInterruptFor(*unit, *interrupt);
        }
        m_debugger->UnitStarted(GetActiveSlot(), *unit);
        StepObserved(GetActiveSlot(), *unit);
        // A watchpoint the step met is reported as its stop.
        if (unit->HasDebugStop())
            m_debugger->NoteStop(GetActiveSlot(), *unit, EStopReason::kWatchpoint);
    }
    RefreshUnit(GetActiveSlot());
    return ERunStart::kStarted;
}

ERunStart CComputer::BounceOver(bool confirmed, const SInterruptRequest* interrupt) {
    CMpu* unit = ActiveUnit();
    if (!unit) return ERunStart::kNoUnit;
    // The code listing keeps the next-instruction address while it shows the
    // program counter's line; without a listing it would be stale, so it is
    // taken from the unit's disassembler when that reports a length.
    const uint32_t address = unit->GetPC() * unit->GetAddressScale();
    const uint32_t length = unit->Disassemble(address).length;
    // The next instruction after the top of memory is at its bottom.
    if (length != 0) unit->SetNextInstructionAddress((address + length) & unit->GetAddressMask());
    const uint32_t previous = unit->GetRunToAddress();
    unit->SetRunToAddress(unit->GetNextInstructionAddress() & unit->GetAddressMask());
    const ERunStart started = Run(confirmed, interrupt);
    // A run that did not start leaves no run-to address behind.
    if (started != ERunStart::kStarted) unit->SetRunToAddress(previous);
    return started;
}

ERunStart CComputer::StepOut(bool confirmed, const SInterruptRequest* interrupt) {
    CMpu* unit = ActiveUnit();
    if (!unit) return ERunStart::kNoUnit;
    unit->SetStepOutPending(true);
    // A run that did not start leaves no step-out behind to end a later run early.
    const ERunStart started = Run(confirmed, interrupt);
    if (started != ERunStart::kStarted) unit->SetStepOutPending(false);
    return started;
}

void CComputer::GenerateInterrupt(const SInterruptRequest& request) {
    if (CMpu* unit = ActiveUnit()) GenerateInterruptFor(*unit, request);
}

void CComputer::GenerateInterruptFor(CMpu& unit, const SInterruptRequest& request) {
    // A cancelled dialog asks for nothing.
    if (!request.nmi && !request.irq && !request.reset) return;
    unit.Interrupt(request.nmi, request.irq, request.code);
    if (request.reset && m_devices) m_devices->ResetAll();
    SetModifiedFlag();
    UpdateAllViews(0);
}

void CComputer::OnRunStopped(int slot, EStopReason reason) {
    if (slot == kRunLimitSlot) {
        m_lastLimitStop = reason;
        // The units of the run that had not stopped for a reason of their own.
        for (size_t i = 0; i < m_lastStop.size(); ++i) {
            if ((m_runSlots >> i & 1) != 0 && m_lastStop[i] == EStopReason::kNone)
                m_lastStop[i] = reason;
        }
        m_runSlots = 0;
    } else if (slot >= 0 && slot < CMpus::kSlots) {
        m_lastStop[static_cast<size_t>(slot)] = reason;
        m_runSlots &= ~(1u << slot);
    }
    RefreshUnit(slot);
}

EStopReason CComputer::GetLastStopReason(int slot) const {
    if (slot == kRunLimitSlot) return m_lastLimitStop;
    if (slot < 0 || slot >= CMpus::kSlots) return EStopReason::kNone;
    return m_lastStop[static_cast<size_t>(slot)];
}

void CComputer::ToggleBreakpoint() {
    CMpu* unit = ActiveUnit();
    if (!unit) return;
    const uint32_t pc = unit->GetPC();
    CBreakpoints& breakpoints = unit->Breakpoints();
    if (breakpoints.Contains(pc)) {
        breakpoints.Remove(pc);
    } else if (!breakpoints.Add(pc)) {
        Host().ShowMessage(kNoMoreBreakpointsText, EMessageIcon::Exclamation);
    }
    UpdateAllViews(kHintBreakpoints);
}

uint32_t CComputer::AnimationPeriod(int rate) {
    switch (rate) {
        case 1: return 5;
        case 10: return 100;
        case 100: return 1200;
        default: return 0;
    }
}

void CComputer::Animate(int rate) {
    const uint32_t period = AnimationPeriod(rate);
    CMpu* unit = ActiveUnit();
    if (period == 0 || !unit) return;
    const int previous = unit->GetAnimationRate();
    Stop();
    if (previous == rate) return;
    // An animation is a run of its own: the limits count from its start.
    ResetRunCounters();
    m_debugger->UnitStarted(GetActiveSlot(), *unit);
    unit->SetAnimationRate(rate);
    unit->StartAnimationTimer(period);
}

void CComputer::AnimationStep(int slot) {
    if (!m_units || slot < 0 || slot >= m_units->GetCount()) return;
    CMpu* unit = m_units->GetAt(slot);
    if (unit->GetAnimationRate() == 0) return;
    StepObserved(slot, *unit);
    m_instructionCount.fetch_add(1, std::memory_order_relaxed);

    EStopReason reason = StopsAfterStep(slot, *unit);
    if (reason == EStopReason::kNone && m_instructionLimitEnabled &&
        m_instructionCount.load(std::memory_order_relaxed) > m_instructionLimit)
        reason = EStopReason::kInstructionLimit;
    if (reason == EStopReason::kNone) {
        RefreshUnit(slot);
        if (TimeLimitExceeded()) reason = EStopReason::kTimeLimit;
    }
    if (reason == EStopReason::kNone) return;
    m_lastStop[static_cast<size_t>(slot)] = reason;
    m_debugger->NoteStop(slot, *unit, reason);
    unit->SetAnimationRate(0);
    unit->StopAnimationTimer();
    RefreshUnit(slot);
}
