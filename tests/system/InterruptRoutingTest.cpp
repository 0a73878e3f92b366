// A unit's request line is the OR of the requests of the devices it accepts:
// one device's withdrawal leaves another's request standing, on every core
// that keeps one pending level.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "devices/Keyboard.h"
#include "devices/TimeSlicer.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"

namespace {

// Whether the unit has a request pending, and the code it latched (-1 where
// the core keeps none).
std::pair<bool, int> Pending(CMpu& unit) {
    if (auto* m6502 = dynamic_cast<C6502*>(&unit)) return {m6502->IsIrqAsserted(), -1};
    auto& corvane = dynamic_cast<CCorvaneMPU&>(unit);
    return {corvane.IsIrqPending(), static_cast<int>(corvane.GetSR() & 0xF)};
}

TEST(InterruptRoutingTest, AWithdrawalKeepsTheOtherDevicesRequest) {
    RegisterStandardClasses();
    for (const char* unitClass : {"C6502", "CCorvaneMPU"}) {
        SCOPED_TRACE(unitClass);
        CTestHost host;
        CComputer computer(&host);
        host.Attach(&computer);
        computer.NewContents();
        CMpu* unit = UnitClasses().Create(unitClass).release();
        unit->SetIrqMask(0x3);
        computer.GetMpus()->Add(unit);
        auto* slicer = new CTimeSlicer;  // code 0
        slicer->SetRange(0x100, 0x100);
        auto* keyboard = new CKeyboard;
        keyboard->SetIrqCode(1);
        keyboard->SetRange(0x200, 0x200);
        computer.GetDevices()->AddTail(slicer);
        computer.GetDevices()->AddTail(keyboard);
        const auto tick = [&] { computer.OnTimer(slicer->GetTimerBase()); };

        struct {
            const char* what;
            std::function<void()> action;
            bool pending;
            int code;
        } const steps[] = {
            {"the slicer ticks", tick, true, 0},
            {"a key comes", [&] { keyboard->DeliverCode(0x1C); }, true, 1},
            {"the keyboard is read", [&] { computer.Read(0x200, 1); }, true, 0},
            {"the keyboard is read again", [&] { computer.Read(0x200, 1); }, true, 0},
            {"the slicer is read", [&] { computer.Read(0x100, 1); }, false, 15},
            {"a key, then the slicer",
             [&] {
                 keyboard->DeliverCode(0x1C);
                 tick();
             },
             true, 0},
            {"the slicer is written", [&] { computer.Write(0x100, 3, 1, false); }, true, 1},
            {"the keyboard is read", [&] { computer.Read(0x200, 1); }, false, 15},
        };
        for (const auto& step : steps) {
            step.action();
            const auto [pending, code] = Pending(*unit);
            EXPECT_EQ(pending, step.pending) << step.what;
            if (code >= 0) {
                EXPECT_EQ(code, step.code) << step.what;
            }
        }
    }
}

}  // namespace
