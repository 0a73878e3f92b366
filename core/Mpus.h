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
// seen, the unit set stays as it was, no unit of another class runs and no
// running unit may stop after its step, as seen every kPassesBetweenLooks
// passes (a breakpoint of a unit running alone: after every step), for at
// most maxPasses passes, and ends with the pass that brings the steps to
// maxSteps or beyond. The run thread steps whatever a run leaves.
struct SPassRun {
    // How often a run looks at what the event thread changes: sooner than
    // any command that waits for the run thread can tell.
    static constexpr uint32_t kPassesBetweenLooks = 8;
    const CMpus* units = nullptr;
    const std::atomic<uint32_t>* events = nullptr;
    uint32_t seen = 0;
    uint32_t maxPasses = 0;
    uint32_t maxSteps = 0xFFFFFFFF;
    // What ran: whole passes and steps, and of the last pass its steps and
    // the slots it stepped (a bit each), whose units are in inSlot.
    uint32_t passes = 0;
    uint32_t steps = 0;
    uint32_t lastPassSteps = 0;
    uint32_t lastPassSlots = 0;
    std::array<CMpu*, CMpus::kSlots> inSlot{};
};

// The passes of SPassRun, the units of class Core stepped without dispatch
// (inlined where this is instantiated). Nothing runs when a running unit may
// stop after its next step (for a unit running alone: other than at a
// breakpoint) or is of another class.
template <class Core>
void StepPassesOf(SPassRun& run) {
    const CMpus& units = *run.units;
    const uint32_t generation = units.GetGeneration();
    const int count = units.GetCount();
    uint32_t ownClass = 0;
    uint32_t running = 0;
    bool breakpoints = false;
    for (int slot = 0; slot < count; ++slot) {
        CMpu* unit = units.GetAt(slot);
        if (unit->IsRunning()) {
            if (unit->MayStopBesideBreakpoints()) return;
            breakpoints |= unit->Breakpoints().GetCount() != 0;
            running |= 1u << slot;
        }
        run.inSlot[static_cast<size_t>(slot)] = unit;
        if (typeid(*unit) == typeid(Core)) ownClass |= 1u << slot;
    }
    const std::atomic<uint32_t>& events = *run.events;
    const uint32_t seen = run.seen;
    uint32_t passes = 0;
    uint32_t steps = 0;
    uint32_t lastSteps = 0;
    uint32_t lastSlots = 0;
    if (running != 0 && (running & (running - 1)) == 0 && (running & ownClass) != 0) {
        // One unit running, of this class: a pass is one step of it, and a
        // breakpoint reached ends the run.
        const int slot = std::countr_zero(running);
        auto& unit = static_cast<Core&>(*run.inSlot[static_cast<size_t>(slot)]);
        const uint32_t most = std::min(run.maxPasses, run.maxSteps);
        // What the event thread changes (the running flag, the other stop
        // conditions, the event word, the unit set) is looked at every few
        // steps.
        bool atBreakpoint = false;
        while (!atBreakpoint && steps < most && unit.IsRunning() &&
               !unit.MayStopBesideBreakpoints() && events.load(std::memory_order_relaxed) == seen &&
               units.GetGeneration() == generation) {
            const uint32_t end = steps + std::min(most - steps, SPassRun::kPassesBetweenLooks);
            do {
                unit.Core::Step();
                ++steps;
                atBreakpoint = unit.Breakpoints().GetCount() != 0 && unit.Core::AtBreakpoint();
            } while (steps < end && !atBreakpoint);
        }
        passes = steps;
        lastSteps = steps != 0 ? 1 : 0;
        lastSlots = steps != 0 ? running : 0;
    } else if ((running & ~ownClass) == 0 && !breakpoints) {
        // Units of this class only. Every few passes the run looks at what
        // the event thread changes: the event word, the unit set, a unit of
        // another class running, the stop conditions, and which units run
        // (those the following passes step, in slot order).
        const uint32_t maxPasses = run.maxPasses;
        const uint32_t maxSteps = run.maxSteps;
        std::array<Core*, CMpus::kSlots> stepping{};
        uint32_t steppingCount = 0;
        for (;;) {
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
                if ((ownClass >> slot & 1) == 0 || unit->HasStopCondition()) {
                    endRun = true;
                    break;
                }
                nowRunning |= 1u << slot;
                stepping[steppingCount++] = static_cast<Core*>(unit);
            }
            if (endRun || steppingCount == 0) break;
            lastSlots = nowRunning;
            lastSteps = steppingCount;
            for (uint32_t pass = 0;
                 pass < SPassRun::kPassesBetweenLooks && passes < maxPasses && steps < maxSteps;
                 ++pass) {
                for (uint32_t n = 0; n < steppingCount; ++n)
                    stepping[n]->Core::Step();
                ++passes;
                steps += steppingCount;
            }
        }
        if (passes == 0) lastSlots = lastSteps = 0;
    }
    run.passes = passes;
    run.steps = steps;
    run.lastPassSteps = lastSteps;
    run.lastPassSlots = lastSlots;
}
