// Run control driving real 6502 programs through the workspace: breakpoints,
// the caution prompt, Bounce Over, Step Out, two units sharing the run thread,
// the run limits, animation, Toggle Breakpoint and a generated interrupt. The run thread is waited
// for by polling with a generous deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "cpu/M6502.h"
#include "support/TestHost.h"
#include "support/WaitUntil.h"

namespace {

// Write-only port at 0xE000-0xE00F that records which address each store hit.
class CTracePort : public CDevice {
public:
    CTracePort() { SetRange(0xE000, 0xE00F); }
    uint32_t Write(uint32_t address, uint32_t, uint32_t, bool) override {
        std::lock_guard guard(m_lock);
        m_trace.push_back(address);
        return 1;
    }
    std::vector<uint32_t> Trace() const {
        std::lock_guard guard(m_lock);
        return m_trace;
    }

private:
    mutable std::mutex m_lock;
    std::vector<uint32_t> m_trace;
};

class RunControl6502Test : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        Build();
    }
    // A fresh workspace: the trace port, then 64 KB of RAM.
    void Build() {
        computer.NewContents();
        port = new CTracePort;
        computer.GetDevices()->AddTail(port);
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        computer.GetDevices()->AddTail(ram);
    }
    C6502* AddCpu(uint16_t pc) {
        auto* cpu = new C6502;
        computer.GetMpus()->Add(cpu);
        cpu->SetBus(computer.GetDevices());
        cpu->SetPC(pc);
        cpu->SetSP(0xFF);
        cpu->SetStatus(C6502::kUnused | C6502::kInterruptDisable);
        computer.SetActiveProcessor(0);
        return cpu;
    }
    void Load(uint32_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t byte : bytes)
            computer.Write(address++, byte, 1, true);
    }
    bool WaitForPost() {
        return WaitUntil([&] { return !host.Posted().empty(); });
    }

    CTestHost host;
    CComputer computer{&host};
    CTracePort* port = nullptr;
};

// 0200 LDA #0; 0202 CLC; 0203 ADC #1; 0205 JMP 0203
constexpr std::initializer_list<uint8_t> kCounting = {0xA9, 0x00, 0x18, 0x69,
                                                      0x01, 0x4C, 0x03, 0x02};
// 0300 JSR 0400; 0303 INX; 0304 JMP 0304
// 0400 LDY #5; 0402 DEY; 0403 BNE 0402; 0405 RTS
constexpr std::initializer_list<uint8_t> kCaller = {0x20, 0x00, 0x04, 0xE8, 0x4C, 0x04, 0x03};
constexpr std::initializer_list<uint8_t> kSubroutine = {0xA0, 0x05, 0x88, 0xD0, 0xFD, 0x60};

TEST_F(RunControl6502Test, BreakpointStopsAfterTheInstructionThatReachesItAndARunFromItGoesOn) {
    Load(0x0200, kCounting);
    C6502* cpu = AddCpu(0x0200);
    cpu->Breakpoints().Add(0x0205);
    for (uint8_t expectedA : {1, 2, 3}) {
        ASSERT_EQ(computer.Run(), ERunStart::kStarted);
        ASSERT_TRUE(WaitForPost());
        EXPECT_EQ(host.DeliverPosted(), std::vector<int>{0});
        EXPECT_FALSE(cpu->IsRunning());
        EXPECT_EQ(cpu->GetPC(), 0x0205u);
        EXPECT_EQ(cpu->GetA(), expectedA);  // the ADC before the breakpoint ran
    }
    EXPECT_EQ(computer.GetInstructionCount(), 2);  // JMP, ADC since the last Run
}

TEST_F(RunControl6502Test, CautionPromptOnlyForAnUnboundedRun) {
    struct SCase {
        const char* name;
        std::function<void(C6502&)> bound;
        bool asks;
    };
    const std::vector<SCase> cases = {
        {"nothing", [](C6502&) {}, true},
        {"breakpoint", [](C6502& u) { u.Breakpoints().Add(0x1000); }, false},
        {"run-to", [](C6502& u) { u.SetRunToAddress(0x1000); }, false},
        // Addresses past the 6502's 64 KiB: the program counter never gets there.
        {"unreachable breakpoint", [](C6502& u) { u.Breakpoints().Add(0x10000); }, true},
        {"unreachable run-to", [](C6502& u) { u.SetRunToAddress(0xFFFFFFFE); }, true},
        {"time",
         [&](C6502&) {
             computer.SetRunLimits({true, 60, false, 0});
         },
         false},
        {"cycles",
         [&](C6502&) {
             computer.SetRunLimits({false, 0, true, 1u << 30});
         },
         false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        Build();
        Load(0x0200, kCounting);
        C6502* cpu = AddCpu(0x0200);
        computer.SetRunLimits({});
        c.bound(*cpu);
        EXPECT_EQ(computer.NeedsRunConfirmation(), c.asks);
        EXPECT_EQ(computer.Run(), c.asks ? ERunStart::kNeedsConfirmation : ERunStart::kStarted);
        EXPECT_EQ(cpu->IsRunning(), !c.asks);
        computer.Stop();
    }
    computer.SetRunLimits({});
    EXPECT_EQ(computer.StepOut(), ERunStart::kNeedsConfirmation);  // no step-out is left behind
    EXPECT_FALSE(computer.GetActiveProcessor()->IsRunning());
    EXPECT_FALSE(computer.GetActiveProcessor()->IsStepOutPending());
}

TEST_F(RunControl6502Test, BounceOverRunsTheSubroutineAndStepOutStopsAfterTheReturn) {
    Load(0x0300, kCaller);
    Load(0x0400, kSubroutine);
    C6502* cpu = AddCpu(0x0300);
    cpu->SetNextInstructionAddress(0x9999);  // stale: no listing has looked at this line
    computer.BounceOver();
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(host.DeliverPosted(), std::vector<int>{0});
    EXPECT_EQ(cpu->GetPC(), 0x0303u);
    EXPECT_EQ(cpu->GetY(), 0u);
    EXPECT_EQ(cpu->GetRunToAddress(), CMpu::kNoAddress);

    cpu->SetPC(0x0300);
    cpu->Breakpoints().Add(0x0400);  // a step ignores breakpoints and is not counted
    computer.SetInstructionCount(0);
    computer.StepInto();
    computer.StepInto();  // inside: LDY done
    EXPECT_EQ(cpu->GetPC(), 0x0402u);
    EXPECT_EQ(computer.GetInstructionCount(), 0);
    computer.StepOut();
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(cpu->GetPC(), 0x0303u);
    EXPECT_EQ(cpu->GetX(), 0u);  // stopped right after RTS, before INX
    EXPECT_EQ(cpu->GetSP(), 0xFFu);
    EXPECT_FALSE(cpu->IsStepOutPending());
}

// A subroutine called from the top of memory returns to address 0, where the
// run stops (the limit only guards against a run-to address never reached).
TEST_F(RunControl6502Test, BounceOverAtTheTopOfMemoryStopsAtItsBottom) {
    Load(0xFFFD, {0x20, 0x00, 0x04});  // JSR 0400
    Load(0x0400, kSubroutine);
    C6502* cpu = AddCpu(0xFFFD);
    computer.SetRunLimits({false, 0, true, 100000});
    computer.BounceOver();
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(host.Posted(), std::vector<int>{0});
    EXPECT_EQ(cpu->GetPC(), 0u);
    EXPECT_EQ(cpu->GetRunToAddress(), CMpu::kNoAddress);
}

TEST_F(RunControl6502Test, StepOutWithoutAReturnRunsUntilTheCycleLimit) {
    Load(0x0200, kCounting);
    C6502* cpu = AddCpu(0x0200);
    computer.SetRunLimits({false, 0, true, 500});
    computer.StepOut();
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(host.Posted(), std::vector<int>{CComputer::kRunLimitSlot});
    EXPECT_EQ(computer.GetInstructionCount(), 501);
    EXPECT_TRUE(cpu->IsStepOutPending());
}

TEST_F(RunControl6502Test, TwoUnitsAlternateInstructionByInstruction) {
    // Straight runs of stores: every instruction leaves one entry in the trace.
    for (uint32_t i = 0; i < 200; ++i) {
        Load(0x1000 + 3 * i, {0x8D, 0x00, 0xE0});  // STA E000
        Load(0x2000 + 3 * i, {0x8E, 0x01, 0xE0});  // STX E001
    }
    Load(0x1000 + 600, {0x4C, 0x00, 0x10});
    Load(0x2000 + 600, {0x4C, 0x00, 0x20});
    C6502* first = AddCpu(0x1000);
    C6502* second = AddCpu(0x2000);
    first->Breakpoints().Add(0x1000 + 3 * 150);
    computer.RunAll();
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(host.Posted(), std::vector<int>{0});
    EXPECT_EQ(first->GetPC(), 0x1000u + 3 * 150);
    ASSERT_TRUE(WaitUntil([&] { return port->Trace().size() > 400; }));
    EXPECT_TRUE(second->IsRunning());
    computer.StopAll();
    EXPECT_FALSE(second->IsRunning());

    const std::vector<uint32_t> trace = port->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), 0xE000u), 150);
    const auto from = std::find(trace.begin(), trace.end(), 0xE001u) - trace.begin();
    const auto to = trace.rend() - std::find(trace.rbegin(), trace.rend(), 0xE000u) - 1;
    ASSERT_LT(from, to);
    for (auto i = from + 1; i <= to; ++i)
        ASSERT_NE(trace[i], trace[i - 1]) << "entry " << i;
}

TEST_F(RunControl6502Test, CycleLimitStopsAllUnitsOnceTheSharedCountExceedsIt) {
    Load(0x0200, kCounting);
    C6502* first = AddCpu(0x0200);
    C6502* second = AddCpu(0x0200);
    computer.SetRunLimits({false, 0, true, 1000});
    computer.SetInstructionCount(5000);  // RunAll starts the count again
    computer.RunAll();
    ASSERT_TRUE(WaitForPost());
    const int count = computer.GetInstructionCount();
    EXPECT_GT(count, 1000);
    EXPECT_LE(count, 1002);
    EXPECT_FALSE(first->IsRunning() || second->IsRunning());
    const uint32_t passes = computer.GetRunPassCount();
    ASSERT_TRUE(WaitUntil([&] { return computer.GetRunPassCount() >= passes + 3; }));
    EXPECT_EQ(host.DeliverPosted(), std::vector<int>{CComputer::kRunLimitSlot});
    EXPECT_EQ(host.hints.back(), uint32_t{kHintProcessorState});
}

TEST_F(RunControl6502Test, ALoneUnitStopsAtTheCycleLimitExactly) {
    // Where the run ends and what its counters say must be where as many
    // single steps, plus the one that passes the limit, end.
    Load(0x0200, kCounting);
    C6502* cpu = AddCpu(0x0200);
    for (const int limit : {1000, 1001, 70000}) {
        SCOPED_TRACE(limit);
        cpu->SetPC(0x0200);
        C6502 twin;
        twin.SetBus(computer.GetDevices());
        twin.SetPC(0x0200);
        twin.SetStatus(cpu->GetStatus());
        for (int i = 0; i <= limit; ++i)
            twin.Step();
        for (auto which : {CMpu::kFetches, CMpu::kCycles})
            cpu->SetStatistic(which, 0);
        computer.SetRunLimits({false, 0, true, static_cast<uint64_t>(limit)});
        computer.Run();
        ASSERT_TRUE(WaitForPost());
        EXPECT_EQ(computer.GetInstructionCount(), limit + 1);
        EXPECT_EQ(cpu->GetPC(), twin.GetPC());
        EXPECT_EQ(cpu->GetA(), twin.GetA());
        for (auto which : {CMpu::kFetches, CMpu::kCycles})
            EXPECT_EQ(cpu->GetStatistic(which), twin.GetStatistic(which));
        host.DeliverPosted();
    }
}

// The host's steady clock decides: a run goes on until the limit has passed
// to the millisecond, then stops (a limit of 0 at once).
TEST_F(RunControl6502Test, TimeLimitStopsWhenTheHostClockReachesIt) {
    for (const int64_t seconds : {int64_t{0}, int64_t{1}, int64_t{5}}) {
        SCOPED_TRACE(seconds);
        Build();
        host.milliseconds = 0;
        Load(0x0200, kCounting);
        C6502* cpu = AddCpu(0x0200);
        computer.SetRunLimits({true, seconds, false, 0});
        computer.Run();
        EXPECT_EQ(computer.GetRunStartTime(), host.now.load());
        if (seconds > 0) {
            host.milliseconds = seconds * 1000 - 1;  // 1 ms short: the run goes on
            const uint64_t before = computer.GetInstructionCount();
            ASSERT_TRUE(WaitUntil([&] { return computer.GetInstructionCount() > before + 2000; }));
            EXPECT_TRUE(cpu->IsRunning());
            EXPECT_TRUE(host.Posted().empty());
            host.milliseconds = seconds * 1000;
        }
        ASSERT_TRUE(WaitForPost());
        EXPECT_FALSE(cpu->IsRunning());
        EXPECT_EQ(host.Posted(), std::vector<int>{CComputer::kRunLimitSlot});
        EXPECT_EQ(host.PostedReasons(), std::vector<EStopReason>{EStopReason::kTimeLimit});
        host.DeliverPosted();
    }
}

TEST_F(RunControl6502Test, AnimationEndsAtABreakpointAndRunEndsAnimation) {
    Load(0x0200, kCounting);
    C6502* cpu = AddCpu(0x0200);
    cpu->Breakpoints().Add(0x0203);
    computer.Animate(10);
    ASSERT_TRUE(host.FireTimer(0x4000));  // LDA #0
    EXPECT_EQ(cpu->GetPC(), 0x0202u);
    EXPECT_EQ(cpu->GetAnimationRate(), 10);
    ASSERT_TRUE(host.FireTimer(0x4000));  // CLC reaches the breakpoint
    EXPECT_EQ(cpu->GetPC(), 0x0203u);
    EXPECT_EQ(cpu->GetAnimationRate(), 0);
    EXPECT_FALSE(host.IsTimerActive(0x4000));

    for (int rate : {1, 10, 100}) {  // the same rate twice starts, then stops the timer
        computer.Animate(rate);
        EXPECT_EQ(host.timers.at(0x4000), CComputer::AnimationPeriod(rate));
        computer.Animate(rate);
        EXPECT_TRUE(host.timers.empty());
    }
    computer.Animate(10);
    computer.Animate(1);  // another rate switches over
    computer.Animate(7);  // not a rate
    EXPECT_EQ(host.timers.at(0x4000), 5u);
    EXPECT_EQ(cpu->GetAnimationRate(), 1);
    computer.Run();  // ends the animation before the run
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(cpu->GetAnimationRate(), 0);
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(cpu->GetPC(), 0x0203u);  // ADC, JMP and back at the breakpoint
    EXPECT_EQ(cpu->GetA(), 1u);
    computer.Animate(100);
    computer.DeleteContents();  // the host's timer goes with the unit
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(RunControl6502Test, ToggleBreakpointAtTheProgramCounter) {
    C6502* cpu = AddCpu(0);  // address 0 is accepted here
    computer.ToggleBreakpoint();
    EXPECT_TRUE(cpu->IsBreakpoint(0));
    EXPECT_EQ(host.hints.back(), uint32_t{kHintBreakpoints});
    computer.ToggleBreakpoint();
    EXPECT_FALSE(cpu->Breakpoints().HasBreakpoints());
    for (uint32_t i = 1; i <= 30; ++i)
        cpu->Breakpoints().Add(i * 0x10);
    cpu->SetPC(0x400);
    computer.ToggleBreakpoint();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, CComputer::kNoMoreBreakpointsText);
    EXPECT_EQ(host.messages[0].icon, EMessageIcon::Exclamation);
    cpu->SetPC(0x10);  // removing still works on a full set
    computer.ToggleBreakpoint();
    EXPECT_EQ(cpu->Breakpoints().GetCount(), 29);
}

TEST_F(RunControl6502Test, GeneratedNmiIsTakenByTheNextStep) {
    Load(0x0200, kCounting);
    Load(0x0600, {0xE8, 0x40});  // NMI handler: INX; RTI
    Load(C6502::kNmiVector, {0x00, 0x06});
    C6502* cpu = AddCpu(0x0200);
    computer.GenerateInterrupt({0, false, true, false});
    EXPECT_TRUE(cpu->IsNmiPending());
    computer.StepInto();
    EXPECT_EQ(cpu->GetPC(), 0x0600u);
    computer.StepInto();
    computer.StepInto();
    EXPECT_EQ(cpu->GetX(), 1u);
    EXPECT_EQ(cpu->GetPC(), 0x0200u);
}

}  // namespace

namespace {

// Why each run stopped, as the notice and the workspace report it.
TEST_F(RunControl6502Test, EveryStopArrivesWithItsReason) {
    struct SCase {
        const char* name;
        std::function<ERunStart(C6502&)> start;
        int slot;
        EStopReason reason;
    };
    const SInterruptRequest none{};
    const std::vector<SCase> cases = {
        {"breakpoint",
         [&](C6502& u) {
             u.Breakpoints().Add(0x0402);
             return computer.Run();
         },
         0, EStopReason::kBreakpoint},
        {"run-to", [&](C6502&) { return computer.BounceOver(); }, 0, EStopReason::kRunTo},
        {"step-out",
         [&](C6502& u) {
             u.SetPC(0x0400);
             u.SetSP(0xFD);  // as if called from 0300
             computer.Write(0x01FE, 0x02, 1, true);
             computer.Write(0x01FF, 0x03, 1, true);
             return computer.StepOut(true);
         },
         0, EStopReason::kStepOut},
        {"interrupt prompt",
         [&](C6502& u) {
             u.SetInterruptPrompt(true);
             return computer.Run(true, &none);
         },
         0, EStopReason::kInterruptPrompt},
        {"instruction limit",
         [&](C6502&) {
             computer.SetRunLimits({false, 0, true, 100});
             return computer.Run();
         },
         CComputer::kRunLimitSlot, EStopReason::kInstructionLimit},
        {"time limit",
         [&](C6502&) {
             computer.SetRunLimits({true, 1, false, 0});
             const ERunStart started = computer.Run();
             host.milliseconds += 1000;
             return started;
         },
         CComputer::kRunLimitSlot, EStopReason::kTimeLimit},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        Build();
        computer.SetRunLimits({});
        Load(0x0300, kCaller);
        Load(0x0400, kSubroutine);
        C6502* cpu = AddCpu(0x0300);
        ASSERT_EQ(c.start(*cpu), ERunStart::kStarted);
        ASSERT_TRUE(WaitForPost());
        EXPECT_EQ(host.Posted(), std::vector<int>{c.slot});
        EXPECT_EQ(host.PostedReasons(), std::vector<EStopReason>{c.reason});
        host.DeliverPosted();
        EXPECT_EQ(computer.GetLastStopReason(0), c.reason);
    }
    // A run the user stops.
    computer.SetRunLimits({false, 0, true, 1 << 30});
    ASSERT_EQ(computer.Run(), ERunStart::kStarted);
    computer.Stop();
    EXPECT_EQ(computer.GetLastStopReason(0), EStopReason::kStopCommand);
    EXPECT_STREQ(StopReasonText(EStopReason::kStopCommand), "stopped");
}

}  // namespace
