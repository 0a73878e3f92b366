// A 6502 program synchronises to the clock's second the usual way: it waits
// for UIP (register A bit 7) to rise, then to fall, and finds the new second.
#include <gtest/gtest.h>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "cpu/M6502.h"
#include "devices/M6818.h"
#include "support/TestHost.h"

namespace {

TEST(ClockProgram, WaitingForUpdateInProgressToRiseAndFallFinishes) {
    CTestHost host;
    CComputer computer{&host};
    host.Attach(&computer);
    computer.NewContents();
    auto* ram = new CRam;
    ram->SetRange(0, 0x7FFF);
    ram->SetSize(0x8000);
    computer.GetDevices()->AddTail(ram);
    auto* clock = new C6818;
    clock->SetRange(0xD000, 0xD001);
    computer.GetDevices()->AddTail(clock);
    auto* cpu = new C6502;
    computer.GetMpus()->Add(cpu);
    cpu->SetBus(computer.GetDevices());
    const uint8_t program[] = {
        0xA9, 0x0A, 0x8D, 0x00, 0xD0,  // 0200 select register A
        0xAD, 0x01, 0xD0, 0x10, 0xFB,  // 0205 wait for UIP to rise
        0xAD, 0x01, 0xD0, 0x30, 0xFB,  // 020A wait for it to fall
        0xA9, 0x00, 0x8D, 0x00, 0xD0,  // 020F select the seconds
        0xAD, 0x01, 0xD0,              // 0214 read them
        0x4C, 0x17, 0x02,              // 0217 done
    };
    for (uint32_t i = 0; i < sizeof program; ++i)
        computer.Write(0x200 + i, program[i], 1, true);
    cpu->SetPC(0x200);
    const auto runFor = [&](int steps) {
        while (steps-- > 0 && cpu->GetPC() != 0x217)
            cpu->Step();
    };
    runFor(1000);
    EXPECT_EQ(cpu->GetPC() & 0xFFF0, 0x200u) << "UIP rose with no update";
    ASSERT_TRUE(host.FireTimer(clock->GetTimerBase()));
    runFor(10 * static_cast<int>(C6818::kUpdateWindowReads));
    EXPECT_EQ(cpu->GetPC(), 0x217u);
    EXPECT_EQ(cpu->GetA(), 1u);
}

}  // namespace
