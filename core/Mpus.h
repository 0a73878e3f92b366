#pragma once
// CMpus: the eight processing-unit slots of a workspace. Empty slots hold the
// null unit, so GetAt never yields nothing. The set owns its units.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <typeinfo>

#include "core/Mpu.h"
#include "core/Relaxed.h"
#include "core/StepAids.h"

class CArchive;

class CMpus {
public:
    static constexpr int kSlots = 8;

    CMpus();
    CMpus(const CMpus&) = delete;
    CMpus& operator=(const CMpus&) = delete;
    ~CMpus();

    // Takes ownership of unit when a slot is free; false (and the unit is not
    // taken) with eight units present.
    bool Add(CMpu* unit);
    // Closes up the slot holding unit and renumbers the animation timer ids of
    // the units that moved. The caller owns the unit afterwards.
    void Remove(CMpu* unit);
    // Acquire, pairing with the release in Add: a thread that finds a unit in
    // a slot (the run thread) sees it fully built.
    CMpu* GetAt(int index) const { return m_slots[index & 7].load(std::memory_order_acquire); }
    int GetCount() const { return m_count; }
    // Moves on with every change of the set (Add, Remove, RemoveAll).
    uint32_t GetGeneration() const { return m_generation.load(std::memory_order_acquire); }
    // Slot index of unit, or -1.
    int IndexOf(const CMpu* unit) const;
    CMpu& NullUnit() { return m_nullUnit; }
    bool IsNullUnit(const CMpu* unit) const { return unit == &m_nullUnit; }

    void Interrupt(bool nmi, bool irq, int code);
    void ClearInterrupt(bool nmi, bool irq, int code);
    void RunAll();
    void StopAll();

    // Deletes every unit.
    void RemoveAll();

private:
    CMpu m_nullUnit;
    std::array<std::atomic<CMpu*>, kSlots> m_slots;
    Relaxed<int> m_count{0};
    std::atomic<uint32_t> m_generation{0};
};

// A run of passes that the run thread hands to a core: every pass steps each
// running unit once, in slot order. It goes on while the event word holds
// seen, the unit set stays as it was and no unit of another class runs, as
// seen every kPassesBetweenLooks passes, for at most maxPasses passes, and
// ends with the pass that brings the steps to maxSteps or beyond, or after
// the pass in which a unit reached a breakpoint, its run-to address or the
// return of a step-out (each as set at the last look, tested after every
// step in constant time). A
// unit with the interrupt prompt stops after every step: the run thread
// steps it. The run thread steps whatever a run leaves.
struct SPassRun {
    // How often a run looks at what the event thread changes: sooner than
    // any command that waits for the run thread can tell.
    static constexpr uint32_t kPassesBetweenLooks = 32;
    const CMpus* units = nullptr;
    const std::atomic<uint32_t>* events = nullptr;
    uint32_t seen = 0;
    uint32_t maxPasses = 0;
    uint32_t maxSteps = 0xFFFFFFFF;
    // Debugging aids around every step: only a unit running alone then runs
    // here; otherwise the run thread steps.
    const SStepAids* aids = nullptr;
    // What ran: whole passes and steps, and of the last pass its steps and
    // the slots it stepped (a bit each), whose units are in inSlot.
    uint32_t passes = 0;
    uint32_t steps = 0;
    uint32_t lastPassSteps = 0;
    uint32_t lastPassSlots = 0;
    std::array<CMpu*, CMpus::kSlots> inSlot{};
};

// What may stop a unit after a step, as read every few steps.
struct SStopWatch {
    uint32_t runTo = CMpu::kNoAddress;
    bool hasRunTo = false;
    bool stepOut = false;
    bool either = false;       // a run-to address or a step-out
    bool breakpoints = false;  // the set had some
    // Where they are (CBreakpoints), so that most steps need no look at the
    // set itself.
    uint32_t breakpointLowest = 0;
    uint32_t breakpointSpan = 0;
    uint64_t breakpointBlocks = 0;
    template <class Steps>
    bool AtBreakpoint(const Steps& held) const {
        const uint32_t pc = held.GetPC();
        return pc - breakpointLowest <= breakpointSpan &&
               (breakpointBlocks & CBreakpoints::BlockBit(pc)) != 0 && held.AtBreakpoint();
    }
};

inline SStopWatch WatchOf(const CMpu& unit) {
    SStopWatch watch;
    watch.runTo = unit.GetRunToAddress();
    watch.hasRunTo = watch.runTo != CMpu::kNoAddress;
    watch.stepOut = unit.IsStepOutPending();
    watch.either = watch.hasRunTo || watch.stepOut;
    watch.breakpoints = unit.Breakpoints().HasBreakpoints();
    watch.breakpointBlocks = unit.Breakpoints().GetBlocks();
    watch.breakpointLowest = unit.Breakpoints().GetLowest();
    watch.breakpointSpan = unit.Breakpoints().GetSpan();
    return watch;
}

// How a run of passes steps a unit of class Core: through the unit, or on a
// copy of its registers the core holds in locals (Core::SHeld, taken from the
// unit and written back to it by Publish when the run ends or the set of
// units it steps changes).
template <class Core>
struct SUnitSteps {
    Core* unit = nullptr;
    SUnitSteps() = default;
    explicit SUnitSteps(Core& from) : unit(&from) {}
    void Publish() {}
    [[gnu::always_inline]] void Step() { unit->Core::Step(); }
    uint32_t GetPC() const { return unit->Core::GetPC(); }
    bool ReturnExecuted() const { return unit->Core::ReturnExecuted(); }
    // CMpu::AtBreakpoint without dispatch (no core overrides it).
    bool AtBreakpoint() const { return unit->Core::IsBreakpoint(unit->Core::GetPC()); }
};
template <class Core>
struct SStepsOf {
    using Type = SUnitSteps<Core>;
};
template <class Core>
requires requires {
    typename Core::SHeld;
}
struct SStepsOf<Core> {
    using Type = typename Core::SHeld;
};

// The loops of runs of passes inline every call they make. Sanitizer builds,
// where speed does not matter, leave that to the compiler, which would
// otherwise spend minutes instrumenting each of the many copies of a step.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SIMQ_FLATTEN_PASSES
#else
#define SIMQ_FLATTEN_PASSES gnu::flatten
#endif

// What the steps until the next look must test: nothing, breakpoints only,
// or every stop condition. Loops are made for each, so that the common
// cases test only what they must.
enum class EStopTests { kNone, kBreakpoints, kAll };
inline EStopTests TestsOf(const SStopWatch& watch) {
    return watch.either        ? EStopTests::kAll
           : watch.breakpoints ? EStopTests::kBreakpoints
                               : EStopTests::kNone;
}

// Whether the unit, stepped by held, stops after the step it just made (the
// run thread then says why and clears what the stop uses up), testing what
// kTests names. A breakpoint set during the run is seen from the next look.
template <EStopTests kTests = EStopTests::kAll, class Steps>
[[gnu::always_inline]] inline bool StopsNow(const Steps& held, const SStopWatch& watch) {
    if constexpr (kTests == EStopTests::kNone) {
        return false;
    } else if constexpr (kTests == EStopTests::kBreakpoints) {
        return watch.AtBreakpoint(held);
    } else {
        return (watch.either && ((watch.stepOut && held.ReturnExecuted()) ||
                                 (watch.hasRunTo && held.GetPC() == watch.runTo))) ||
               watch.AtBreakpoint(held);
    }
}

// Calls step with the tests as a constant.
template <class FStep>
[[gnu::always_inline]] inline void WithTests(EStopTests tests, FStep&& step) {
    switch (tests) {
        case EStopTests::kNone: step.template operator()<EStopTests::kNone>(); break;
        case EStopTests::kBreakpoints: step.template operator()<EStopTests::kBreakpoints>(); break;
        case EStopTests::kAll: step.template operator()<EStopTests::kAll>(); break;
    }
}

// The steps of held with the debugging aids from steps to end, or to the
// step after which it stops; on a copy of the held registers, as
// StepsBetweenLooks.
template <class Steps, class Core>
[[gnu::noinline, SIMQ_FLATTEN_PASSES]] uint32_t AidedStepsBetweenLooks(
    Steps& held, const SStepAids::SSlot& aids, const Core& unit, const SStopWatch& watch,
    uint32_t steps, uint32_t end, bool& stopped) {
    Steps stepping = held;
    bool stop = false;
    do {
        aids.Step(stepping);
        ++steps;
        stop = StopsNow(stepping, watch) || unit.HasDebugStop();
    } while (steps < end && !stop);
    held = stepping;
    stopped = stop;
    return steps;
}

// The passes of one unit of class Core running alone, made by Steps, with
// the debugging aids around every step; a watchpoint's hit ends the run
// after its step.
template <class Core, class Steps>
void StepAidedPassesWith(SPassRun& run, int slot) {
    const CMpus& units = *run.units;
    const uint32_t generation = units.GetGeneration();
    const SStepAids::SSlot aids = run.aids->ForSlot(slot);
    auto& unit = static_cast<Core&>(*run.inSlot[static_cast<size_t>(slot)]);
    const CDevices::CSteppingUnit stepping(&unit, slot);
    const uint32_t most = std::min(run.maxPasses, run.maxSteps);
    uint32_t steps = 0;
    bool stopped = false;
    Steps held(unit);
    if constexpr (kRecordsItself<Steps>) held.RecordIn(*aids.history);
    aids.BeginRun<Steps>(unit);
    while (!stopped && steps < most && unit.IsRunning() && !unit.GetInterruptPrompt() &&
           run.events->load(std::memory_order_relaxed) == run.seen &&
           units.GetGeneration() == generation) {
        const uint32_t end = steps + std::min(most - steps, SPassRun::kPassesBetweenLooks);
        const SStopWatch watch = WatchOf(unit);
        if constexpr (kRecordsItself<Steps>) {
            // Inline: a function of its own kept fewer of the recording
            // step's registers in machine registers.
            do {
                aids.Step(held);
                ++steps;
                stopped = StopsNow(held, watch) || unit.HasDebugStop();
            } while (steps < end && !stopped);
        } else {
            steps = AidedStepsBetweenLooks(held, aids, unit, watch, steps, end, stopped);
        }
    }
    held.Publish();
    aids.EndRun<Steps>(unit);
    run.passes = run.steps = steps;
    run.lastPassSteps = steps != 0 ? 1 : 0;
    run.lastPassSlots = steps != 0 ? 1u << slot : 0;
}
template <class Core>
void StepAidedPassesOf(SPassRun& run, int slot) {
    // A core whose held steps record themselves does so while history is on.
    if constexpr (requires { typename Core::SHeldRecorded; }) {
        if (run.aids->history[static_cast<size_t>(slot)]) {
            StepAidedPassesWith<Core, typename Core::SHeldRecorded>(run, slot);
            return;
        }
    }
    StepAidedPassesWith<Core, typename SStepsOf<Core>::Type>(run, slot);
}

// Whether a core holds its registers in locals for runs of passes, those of
// several units until the set of units running changes.
template <class Core>
constexpr bool kHeldApart = requires {
    typename Core::SHeld;
};

// The steps between two looks are made by functions of their own, one for
// each core and each of the tests, on copies of the held registers: each
// loop then keeps its registers in machine registers as far as they fit,
// whatever the other loops need, and no store to memory (which the compiler
// must assume may change anything reached through a reference) makes it
// read them again.
//
// The steps of held from steps to end, or to the step after which it stops
// (stopped then set); the steps reached.
template <EStopTests kTests, class Steps>
[[gnu::noinline, SIMQ_FLATTEN_PASSES]] uint32_t StepsBetweenLooks(Steps& held,
                                                                  const SStopWatch& watch,
                                                                  uint32_t steps, uint32_t end,
                                                                  bool& stopped) {
    Steps stepping = held;
    bool stop = false;
    do {
        stepping.Step();
        ++steps;
        stop = StopsNow<kTests>(stepping, watch);
    } while (steps < end && !stop);
    held = stepping;
    stopped = stop;
    return steps;
}

// The steps of one unit running alone, looking every few steps at what the
// event thread changes (the running flag, the stop conditions, the event
// word, the unit set); at most the run's passes and steps.
template <class Core>
[[gnu::always_inline]] inline uint32_t StepsAlone(const SPassRun& run, Core& unit,
                                                  uint32_t generation) {
    const uint32_t most = std::min(run.maxPasses, run.maxSteps);
    uint32_t steps = 0;
    bool stopped = false;
    typename SStepsOf<Core>::Type held(unit);
    while (!stopped && steps < most && unit.IsRunning() && !unit.GetInterruptPrompt() &&
           run.events->load(std::memory_order_relaxed) == run.seen &&
           run.units->GetGeneration() == generation) {
        const uint32_t end = steps + std::min(most - steps, SPassRun::kPassesBetweenLooks);
        const SStopWatch watch = WatchOf(unit);
        if constexpr (kHeldApart<Core>) {
            // The loops written out here, in a function of their own for
            // the whole run, keep the lone 6502's registers in machine
            // registers best (simq's counting loop: 0.55 s against 0.63 s
            // with a function for each).
            const EStopTests tests = TestsOf(watch);
            if (tests == EStopTests::kNone) {
                do {
                    held.Step();
                } while (++steps < end);
            } else if (tests == EStopTests::kBreakpoints) {
                do {
                    held.Step();
                    ++steps;
                    stopped = watch.AtBreakpoint(held);
                } while (steps < end && !stopped);
            } else {
                do {
                    held.Step();
                    ++steps;
                    stopped = StopsNow(held, watch);
                } while (steps < end && !stopped);
            }
        } else {
            WithTests(TestsOf(watch), [&]<EStopTests kTests> {
                steps = StepsBetweenLooks<kTests>(held, watch, steps, end, stopped);
            });
        }
    }
    held.Publish();
    return steps;
}
template <class Core>
[[gnu::noinline, SIMQ_FLATTEN_PASSES]] uint32_t StepsAloneApart(const SPassRun& run, Core& unit,
                                                                uint32_t generation) {
    return StepsAlone(run, unit, generation);
}

// Passes of the count units held (registers in locals, see SUnitSteps) from
// passes to end, or to the pass after which one stops; the passes reached.
// The common pair runs on copies of its two, which stay in machine
// registers.
template <EStopTests kTests, class Held>
[[gnu::noinline, SIMQ_FLATTEN_PASSES]] uint32_t PairPassesApart(
    std::array<Held, CMpus::kSlots>& held, const std::array<SStopWatch, CMpus::kSlots>& watches,
    uint32_t passes, uint32_t end, bool& stopped) {
    Held first = held[0];
    Held second = held[1];
    bool stop = false;
    while (passes < end && !stop) {
        first.Step();
        second.Step();
        stop = StopsNow<kTests>(first, watches[0]) | StopsNow<kTests>(second, watches[1]);
        ++passes;
    }
    held[0] = first;
    held[1] = second;
    stopped = stop;
    return passes;
}
template <EStopTests kTests, class Held>
[[gnu::noinline, SIMQ_FLATTEN_PASSES]] uint32_t GroupPassesApart(
    std::array<Held, CMpus::kSlots>& held, const std::array<SStopWatch, CMpus::kSlots>& watches,
    uint32_t count, uint32_t passes, uint32_t end, bool& stopped) {
    std::array<Held, CMpus::kSlots> group = held;
    // The range of every unit's breakpoints, held for the passes: a unit
    // outside it needs no test of its own.
    uint32_t lowest = 0xFFFFFFFF;
    uint32_t highest = 0;
    for (uint32_t n = 0; n < count; ++n) {
        if (!watches[n].breakpoints) continue;
        lowest = std::min(lowest, watches[n].breakpointLowest);
        highest = std::max(highest, watches[n].breakpointLowest + watches[n].breakpointSpan);
    }
    const uint32_t span = highest - lowest;
    bool stop = false;
    while (passes < end && !stop) {
        // Every unit makes its step of the pass whatever the others reach,
        // so the tests can follow the pass.
        for (uint32_t n = 0; n < count; ++n)
            group[n].Step();
        for (uint32_t n = 0; n < count; ++n) {
            if (kTests != EStopTests::kBreakpoints || group[n].GetPC() - lowest <= span)
                stop |= StopsNow<kTests>(group[n], watches[n]);
        }
        ++passes;
    }
    held = group;
    stopped = stop;
    return passes;
}

// The passes of SPassRun, the units of class Core stepped without dispatch
// (inlined where this is instantiated). Nothing runs when a running unit has
// the interrupt prompt or is of another class.
template <class Core>
void StepPassesOf(SPassRun& run) {
    // Held registers count in fields that hold so many passes' counts.
    if constexpr (kHeldApart<Core>)
        run.maxPasses = std::min(run.maxPasses, Core::SHeld::kMostPasses);
    const CMpus& units = *run.units;
    const uint32_t generation = units.GetGeneration();
    const int count = units.GetCount();
    uint32_t ownClass = 0;
    uint32_t running = 0;
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = units.GetAt(slot);
        if (unit->IsRunning()) {
            if (unit->GetInterruptPrompt()) return;
            running |= 1u << slot;
        }
        run.inSlot[static_cast<size_t>(slot)] = unit;
        if (typeid(*unit) == typeid(Core)) ownClass |= 1u << slot;
    }
    if (run.aids) {
        if (running != 0 && (running & (running - 1)) == 0 && (running & ownClass) != 0)
            StepAidedPassesOf<Core>(run, std::countr_zero(running));
        return;
    }
    const std::atomic<uint32_t>& events = *run.events;
    const uint32_t seen = run.seen;
    uint32_t passes = 0;
    uint32_t steps = 0;
    uint32_t lastSteps = 0;
    uint32_t lastSlots = 0;
    if (running != 0 && (running & (running - 1)) == 0 && (running & ownClass) != 0) {
        // One unit running, of this class: a pass is one step of it.
        const int slot = std::countr_zero(running);
        auto& unit = static_cast<Core&>(*run.inSlot[static_cast<size_t>(slot)]);
        if constexpr (kHeldApart<Core>)
            steps = StepsAloneApart(run, unit, generation);
        else
            steps = StepsAlone(run, unit, generation);
        passes = steps;
        lastSteps = steps != 0 ? 1 : 0;
        lastSlots = steps != 0 ? running : 0;
    } else if ((running & ~ownClass) == 0) {
        // Units of this class only. Every few passes the run looks at what
        // the event thread changes: the event word, the unit set, a unit of
        // another class running, the stop conditions, and which units run
        // (those the following passes step, in slot order).
        const uint32_t maxPasses = run.maxPasses;
        const uint32_t maxSteps = run.maxSteps;
        std::array<Core*, CMpus::kSlots> stepping{};
        std::array<SStopWatch, CMpus::kSlots> watches{};
        uint32_t steppingCount = 0;
        bool stopped = false;
        // A core that holds registers in locals holds those of the units it
        // steps (the slots held, how many) until the run ends.
        std::array<typename SStepsOf<Core>::Type, CMpus::kSlots> held{};
        uint32_t heldSlots = 0;
        uint32_t heldCount = 0;
        while (!stopped) {
            if (passes >= maxPasses || steps >= maxSteps ||
                events.load(std::memory_order_relaxed) != seen ||
                units.GetGeneration() != generation)
                break;
            bool endRun = false;
            uint32_t nowRunning = 0;
            steppingCount = 0;
            for (int slot = 0; slot < count; ++slot) {
                CMpu* unit = run.inSlot[static_cast<size_t>(slot)];
                if (!unit->IsRunning()) continue;
                if ((ownClass >> slot & 1) == 0 || unit->GetInterruptPrompt()) {
                    endRun = true;
                    break;
                }
                nowRunning |= 1u << slot;
                watches[steppingCount] = WatchOf(*unit);
                stepping[steppingCount++] = static_cast<Core*>(unit);
            }
            if (endRun || steppingCount == 0) break;
            lastSlots = nowRunning;
            lastSteps = steppingCount;
            if constexpr (kHeldApart<Core>) {
                // The units' registers stay held while the same units run.
                if (nowRunning != heldSlots) {
                    for (uint32_t n = 0; n < heldCount; ++n)
                        held[n].Publish();
                    for (uint32_t n = 0; n < steppingCount; ++n)
                        held[n].Take(*stepping[n]);
                    heldSlots = nowRunning;
                    heldCount = steppingCount;
                }
                // The passes until the next look, the most passes, or the
                // pass that brings the steps to the most steps.
                const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(
                    {passes + SPassRun::kPassesBetweenLooks, maxPasses,
                     passes + (uint64_t{maxSteps} - steps + steppingCount - 1) / steppingCount}));
                const uint32_t before = passes;
                EStopTests tests = EStopTests::kNone;
                for (uint32_t n = 0; n < steppingCount; ++n)
                    tests = std::max(tests, TestsOf(watches[n]));
                WithTests(tests, [&]<EStopTests kTests> {
                    if (steppingCount == 2)
                        passes = PairPassesApart<kTests>(held, watches, passes, end, stopped);
                    else
                        passes = GroupPassesApart<kTests>(held, watches, steppingCount, passes, end,
                                                          stopped);
                });
                steps += steppingCount * (passes - before);
            } else {
                for (uint32_t pass = 0;
                     pass < SPassRun::kPassesBetweenLooks && passes < maxPasses && steps < maxSteps;
                     ++pass) {
                    for (uint32_t n = 0; n < steppingCount; ++n) {
                        stepping[n]->Core::Step();
                        stopped |= StopsNow(SUnitSteps<Core>(*stepping[n]), watches[n]);
                    }
                    ++passes;
                    steps += steppingCount;
                    if (stopped) break;
                }
            }
        }
        for (uint32_t n = 0; n < heldCount; ++n)
            held[n].Publish();
        if (passes == 0) lastSlots = lastSteps = 0;
    }
    run.passes = passes;
    run.steps = steps;
    run.lastPassSteps = lastSteps;
    run.lastPassSlots = lastSlots;
}
