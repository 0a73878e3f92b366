// Many steps in one call, as the run thread steps a unit that runs alone: for
// every core the same as that many single steps, and every reason to stop
// looked at between any two instructions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Archive.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"

namespace {

// A unit on 256 KB of RAM holding a program.
struct SMachine {
    SMachine(std::unique_ptr<CMpu> made, uint32_t address, const std::vector<uint8_t>& image)
        : unit(std::move(made)) {
        ram->SetRange(0, 0x3FFFF);
        ram->SetSize(0x40000);
        bus.AddTail(ram);
        unit->SetBus(&bus);
        for (uint8_t byte : image)
            bus.Write(address++, byte, 1, true);
        unit->SetRunning(true);
    }
    std::vector<uint8_t> Record() {
        CArchive ar;
        unit->Serialize(ar);
        return ar.Data();
    }

    CDevices bus;
    CRam* ram = new CRam;
    std::unique_ptr<CMpu> unit;
};

struct SCoreCase {
    const char* name;
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
const SCoreCase kCores[] = {
    {"C6502",
     [] {
         auto unit = std::make_unique<C6502>();
         unit->SetPC(0x400);
         return unit;
     },
     0x400,
     {0xD8, 0xA2, 0x00, 0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x18, 0xA5,
      0x10, 0x69, 0x01, 0x85, 0x10, 0xA5, 0x11, 0x69, 0x00, 0x85, 0x11,
      0xE8, 0x8D, 0x00, 0x02, 0xD0, 0xED, 0x4C, 0x09, 0x04}},
    {"CVo16",
     [] { return std::make_unique<CVo16>(); },
     0,
     {0xD1, 0x00, 0x21, 0x00, 0x52, 0x10, 0x22, 0x21, 0x82, 0x12, 0x03, 0x32, 0xB0, 0xFA}},
    {"CCorvaneMPU cache off", [] { return Corvane(2); }, 0x100, kCorvaneLoop},
    {"CCorvaneMPU cache on", [] { return Corvane(3); }, 0x100, kCorvaneLoop},
};

TEST(StepManyTest, EveryCoreEndsWhereAsManySingleStepsEnd) {
    const std::atomic<uint32_t> events{7};
    for (const SCoreCase& core : kCores) {
        SCOPED_TRACE(core.name);
        SMachine many(core.make(), core.address, core.image);
        SMachine single(core.make(), core.address, core.image);
        {
            const CDevices::CDirectAccess direct(&many.bus);
            EXPECT_EQ(many.unit->StepMany(5000, events, 7), 5000u);
        }
        for (int i = 0; i < 5000; ++i)
            single.unit->Step();
        EXPECT_EQ(many.Record(), single.Record());
        EXPECT_TRUE(std::equal(many.ram->Data(), many.ram->Data() + 0x40000, single.ram->Data()));
        EXPECT_EQ(many.unit->StepMany(0, events, 7), 0u);
    }
}

// A port whose stores run a hook, so that a reason to stop arrives in the
// middle of a run of steps, the way the event thread's would.
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

TEST(StepManyTest, EveryReasonToStopEndsTheRunAfterTheInstructionInHand) {
    // 0400 NOP; NOP; STA E000; NOP; JMP 0400
    const std::vector<uint8_t> program = {0xEA, 0xEA, 0x8D, 0x00, 0xE0, 0xEA, 0x4C, 0x00, 0x04};
    struct SCase {
        const char* name;
        std::function<void(CMpu&, std::atomic<uint32_t>&)> arrive;
        uint32_t steps;
    };
    const SCase cases[] = {
        {"nothing", [](CMpu&, std::atomic<uint32_t>&) {}, 100},
        {"stopped", [](CMpu& unit, std::atomic<uint32_t>&) { unit.SetRunning(false); }, 3},
        {"event", [](CMpu&, std::atomic<uint32_t>& events) { events.fetch_add(1); }, 3},
        {"breakpoint", [](CMpu& unit, std::atomic<uint32_t>&) { unit.Breakpoints().Add(0x1234); },
         3},
        {"run-to", [](CMpu& unit, std::atomic<uint32_t>&) { unit.SetRunToAddress(0x0405); }, 3},
        {"step-out", [](CMpu& unit, std::atomic<uint32_t>&) { unit.SetStepOutPending(true); }, 3},
        {"prompt", [](CMpu& unit, std::atomic<uint32_t>&) { unit.SetInterruptPrompt(true); }, 3},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<uint32_t> events{0};
        SMachine machine(std::make_unique<C6502>(), 0x400, program);
        CMpu& unit = *machine.unit;
        static_cast<C6502&>(unit).SetPC(0x400);
        machine.bus.AddTail(new CHookPort([&] { c.arrive(unit, events); }));
        EXPECT_EQ(unit.StepMany(100, events, 0), c.steps);
        // Once a reason is there, nothing more is stepped.
        EXPECT_EQ(unit.StepMany(100, events, 0), c.steps == 100 ? 100u : 0u);
    }
}

}  // namespace
