// Passes stepped inside a core, as the run thread hands them over: the same
// as single steps in slot order for every core and for a mix of classes, and
// every reason to stop looked at between passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Archive.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"

namespace {

// Units of one set on 256 KB of RAM, each with its program loaded.
struct SMachine {
    SMachine() {
        ram->SetRange(0, 0x3FFFF);
        ram->SetSize(0x40000);
        bus.AddTail(ram);
    }
    CMpu* Add(std::unique_ptr<CMpu> unit, uint32_t address, const std::vector<uint8_t>& image) {
        for (uint8_t byte : image)
            bus.Write(address++, byte, 1, true);
        unit->SetBus(&bus);
        unit->SetRunning(true);
        CMpu* added = unit.release();
        units.Add(added);
        return added;
    }
    SPassRun Passes(uint32_t maxPasses, uint32_t maxSteps = 0xFFFFFFFF) {
        SPassRun run;
        run.units = &units;
        run.events = &events;
        run.maxPasses = maxPasses;
        run.maxSteps = maxSteps;
        const CDevices::CDirectAccess direct(&bus);
        units.GetAt(0)->StepPasses(run);
        return run;
    }
    std::vector<uint8_t> Record() {
        CArchive ar;
        for (int slot = 0; slot < units.GetCount(); ++slot) {
            CMpu* unit = units.GetAt(slot);
            unit->Serialize(ar);
            for (size_t counter = 0; counter < CMpu::kStatisticCount; ++counter) {
                auto value = static_cast<uint32_t>(unit->GetCounterValue(counter));
                ar.Transfer(value);
            }
        }
        return ar.Data();
    }

    std::atomic<uint32_t> events{0};
    CDevices bus;
    CRam* ram = new CRam;
    CMpus units;
    std::unique_ptr<CMpu> removed;
};

struct SCore {
    std::function<std::unique_ptr<CMpu>()> make;
    uint32_t address;
    std::vector<uint8_t> image;
};

std::unique_ptr<CMpu> Corvane(uint32_t cr) {
    auto unit = std::make_unique<CCorvaneMPU>();
    unit->SetPC(0x100);
    unit->SetCR(cr);
    return unit;
}

// Counting loops with loads, stores, adds and a branch.
const std::vector<uint8_t> kCorvaneLoop = {0x10, 0x00, 0xBC, 0x00, 0x20, 0x64, 0x10, 0x41,
                                           0xDC, 0x01, 0x42, 0x64, 0x13, 0x41, 0xFC, 0x02,
                                           0x63, 0x60, 0x01, 0xA5, 0x74, 0xEB, 0xDD, 0x09};
const SCore k6502 = {
    [] {
        auto unit = std::make_unique<C6502>();
        unit->SetPC(0x400);
        return unit;
    },
    0x400,
    {0xD8, 0xA2, 0x00, 0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x18, 0xA5, 0x10, 0x69, 0x01, 0x85, 0x10,
     0xA5, 0x11, 0x69, 0x00, 0x85, 0x11, 0xE8, 0x8D, 0x00, 0x02, 0xD0, 0xED, 0x4C, 0x09, 0x04}};
const SCore kVo16 = {
    [] { return std::make_unique<CVo16>(); },
    0,
    {0xD1, 0x00, 0x21, 0x00, 0x52, 0x10, 0x22, 0x21, 0x82, 0x12, 0x03, 0x32, 0xB0, 0xFA}};
const SCore kCorvaneOff = {[] { return Corvane(2); }, 0x100, kCorvaneLoop};
const SCore kCorvaneOn = {[] { return Corvane(3); }, 0x100, kCorvaneLoop};

TEST(StepPassesTest, PassesEndWhereSingleStepsInSlotOrderEnd) {
    // Units of one class share their program and its data.
    const std::vector<std::vector<const SCore*>> sets = {
        {&k6502},         {&kVo16},
        {&kCorvaneOff},   {&kCorvaneOn},
        {&k6502, &k6502}, {&k6502, &k6502, &k6502},
        {&kVo16, &kVo16}, {&kCorvaneOn, &kCorvaneOff, &kCorvaneOn},
    };
    for (size_t n = 0; n < sets.size(); ++n) {
        SCOPED_TRACE(n);
        SMachine passes, single, limited;
        for (const SCore* core : sets[n]) {
            passes.Add(core->make(), core->address, core->image);
            single.Add(core->make(), core->address, core->image);
            limited.Add(core->make(), core->address, core->image);
        }
        const SPassRun run = passes.Passes(3000);
        EXPECT_EQ(run.passes, 3000u);
        EXPECT_EQ(run.steps, 3000 * sets[n].size());
        // A step limit ends the run with the pass that reaches it.
        const uint32_t units = static_cast<uint32_t>(sets[n].size());
        const SPassRun limitedRun = limited.Passes(3000, 1001);
        EXPECT_EQ(limitedRun.passes, (1001 + units - 1) / units);
        EXPECT_EQ(limitedRun.steps, limitedRun.passes * units);
        for (int pass = 0; pass < 3000; ++pass) {
            for (int slot = 0; slot < single.units.GetCount(); ++slot)
                single.units.GetAt(slot)->Step();
        }
        EXPECT_EQ(passes.Record(), single.Record());
        EXPECT_TRUE(
            std::equal(passes.ram->Data(), passes.ram->Data() + 0x40000, single.ram->Data()));
    }
}

// A port whose stores run a hook, so that something arrives in the middle of
// a pass, the way the event thread's changes do.
class CHookPort : public CDevice {
public:
    explicit CHookPort(std::function<void()> hook) : m_hook(std::move(hook)) {
        SetRange(0xE000, 0xE000);
    }
    uint32_t Write(uint32_t, uint32_t, uint32_t, bool) override {
        m_hook();
        return 1;
    }

private:
    std::function<void()> m_hook;
};

TEST(StepPassesTest, WhatEndsARunAndWhen) {
    // Slot 0: 0400 NOP; NOP; STA E000 (its third step runs the hook); NOP;
    // JMP 0400. Slot 1: 0600 NOP; JMP 0600.
    const std::vector<uint8_t> hooked = {0xEA, 0xEA, 0x8D, 0x00, 0xE0, 0xEA, 0x4C, 0x00, 0x04};
    const std::vector<uint8_t> plain = {0xEA, 0x4C, 0x00, 0x06};
    using FChange = std::function<void(SMachine&, CMpu&)>;
    const FChange nothing = [](SMachine&, CMpu&) {};
    struct SCase {
        const char* name;
        FChange before;
        FChange arrive;
        uint32_t maxSteps;
        uint32_t passes;
        uint32_t steps;
        uint32_t lastPassSlots;
        // Where slot 0's PC ends, when checked: a unit that stops while
        // others go on keeps the state of its last step.
        uint32_t firstPc = 0;
    };
    // What arrives in pass 3 is seen when the run next looks, after pass
    // kLook; a stop condition ends the run with the pass that reaches it.
    constexpr uint32_t kLook = SPassRun::kPassesBetweenLooks;
    static_assert(kLook >= 3 && kLook < 50);
    // Slot 0's PC after kLook steps of its five-instruction loop.
    constexpr uint32_t kPcAfterLook = std::array{0x400u, 0x401u, 0x402u, 0x405u, 0x406u}[kLook % 5];
    // 0405 is reached after passes 3, 8, 13, ...: the first of them after
    // the look that sees a stop set in pass 3.
    constexpr uint32_t kReachedAfterLook = kLook + 1 + (3 + 5 - (kLook + 1) % 5) % 5;
    const SCase cases[] = {
        {"nothing", nothing, nothing, 0xFFFFFFFF, 100, 200, 3},
        {"a step limit", nothing, nothing, 5, 3, 6, 3},
        {"a run-to never reached", [](SMachine&, CMpu& unit) { unit.SetRunToAddress(0x9999); },
         nothing, 0xFFFFFFFF, 100, 200, 3},
        {"a run-to reached", [](SMachine&, CMpu& unit) { unit.SetRunToAddress(0x0405); }, nothing,
         0xFFFFFFFF, 3, 6, 3},
        {"a breakpoint reached", [](SMachine&, CMpu& unit) { unit.Breakpoints().Add(0x0405); },
         nothing, 0xFFFFFFFF, 3, 6, 3},
        {"a breakpoint reached, three units",
         [](SMachine& m, CMpu& unit) {
             static_cast<C6502*>(m.Add(std::make_unique<C6502>(), 0x600, {0xEA, 0x4C, 0x00, 0x06}))
                 ->SetPC(0x600);
             unit.Breakpoints().Add(0x0405);
         },
         nothing, 0xFFFFFFFF, 3, 9, 7},
        {"thirty breakpoints never reached",
         [](SMachine&, CMpu& unit) {
             for (uint32_t a = 0x1000; a < 0x1000 + 30; ++a)
                 unit.Breakpoints().Add(a);
         },
         nothing, 0xFFFFFFFF, 100, 200, 3},
        {"stopped", nothing, [](SMachine&, CMpu& unit) { unit.SetRunning(false); }, 0xFFFFFFFF, 100,
         100 + kLook, 2, kPcAfterLook},
        {"event", nothing, [](SMachine& m, CMpu&) { m.events.fetch_add(1); }, 0xFFFFFFFF, kLook,
         2 * kLook, 3},
        {"breakpoint set", nothing, [](SMachine&, CMpu& unit) { unit.Breakpoints().Add(0x0405); },
         0xFFFFFFFF, kReachedAfterLook, 2 * kReachedAfterLook, 3},
        {"run-to set", nothing, [](SMachine&, CMpu& unit) { unit.SetRunToAddress(0x0405); },
         0xFFFFFFFF, kReachedAfterLook, 2 * kReachedAfterLook, 3},
        {"step-out without a return", nothing,
         [](SMachine&, CMpu& unit) { unit.SetStepOutPending(true); }, 0xFFFFFFFF, 100, 200, 3},
        {"prompt", nothing, [](SMachine&, CMpu& unit) { unit.SetInterruptPrompt(true); },
         0xFFFFFFFF, kLook, 2 * kLook, 3},
        {"another class running", [](SMachine& m, CMpu&) { m.Add(kVo16.make(), 0x8000, {}); },
         nothing, 0xFFFFFFFF, 0, 0, 0},
        {"another class idle",
         [](SMachine& m, CMpu&) { m.Add(kVo16.make(), 0x8000, {})->SetRunning(false); }, nothing,
         0xFFFFFFFF, 100, 200, 3},
        {"another class starting",
         [](SMachine& m, CMpu&) { m.Add(kVo16.make(), 0x8000, {})->SetRunning(false); },
         [](SMachine& m, CMpu&) { m.units.GetAt(2)->SetRunning(true); }, 0xFFFFFFFF, kLook,
         2 * kLook, 3},
        {"a unit removed", nothing,
         [](SMachine& m, CMpu&) {
             if (m.removed) return;
             m.removed.reset(m.units.GetAt(1));
             m.units.Remove(m.removed.get());
         },
         0xFFFFFFFF, kLook, 2 * kLook, 3},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SMachine machine;
        CMpu* first = machine.Add(std::make_unique<C6502>(), 0x400, hooked);
        static_cast<C6502*>(first)->SetPC(0x400);
        CMpu* second = machine.Add(std::make_unique<C6502>(), 0x600, plain);
        static_cast<C6502*>(second)->SetPC(0x600);
        machine.bus.AddTail(new CHookPort([&] { c.arrive(machine, *first); }));
        c.before(machine, *first);
        const SPassRun run = machine.Passes(100, c.maxSteps);
        EXPECT_EQ(run.passes, c.passes);
        EXPECT_EQ(run.steps, c.steps);
        EXPECT_EQ(run.lastPassSlots, c.lastPassSlots);
        if (c.firstPc != 0) {
            EXPECT_EQ(first->GetPC(), c.firstPc);
        }
    }
}

}  // namespace

TEST(StepPassesTest, AUnitRunningAloneEndsTheRunRightAfterReachingABreakpoint) {
    // 0400 NOP; NOP; STA E000 (the hook may add a breakpoint); NOP; JMP 0400
    const std::vector<uint8_t> program = {0xEA, 0xEA, 0x8D, 0x00, 0xE0, 0xEA, 0x4C, 0x00, 0x04};
    struct SCase {
        uint32_t before;  // a breakpoint set before the run (0: none)
        uint32_t added;   // one the store adds (0: none)
        uint32_t steps;
    };
    // One added during the run is seen from the next look: 0406 is reached
    // after steps 4, 9, 14, ...
    constexpr uint32_t kLook = SPassRun::kPassesBetweenLooks;
    constexpr uint32_t kAddedReached = kLook + 1 + (4 + 5 - (kLook + 1) % 5) % 5;
    const SCase cases[] = {
        {0x0405, 0, 3}, {0x0400, 0, 5}, {0x9999, 0, 100}, {0, 0x0406, kAddedReached}, {0, 0, 100}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.before + c.added);
        SMachine machine;
        CMpu* unit = machine.Add(std::make_unique<C6502>(), 0x400, program);
        static_cast<C6502*>(unit)->SetPC(0x400);
        machine.bus.AddTail(new CHookPort([&] {
            if (c.added != 0) unit->Breakpoints().Add(c.added);
        }));
        if (c.before != 0) unit->Breakpoints().Add(c.before);
        const SPassRun run = machine.Passes(100);
        EXPECT_EQ(run.steps, c.steps);
        EXPECT_EQ(run.passes, c.steps);
    }
}
