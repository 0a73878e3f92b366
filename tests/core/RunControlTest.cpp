// Run control with purpose-made units: the run thread's stop conditions and
// limits, the commands, animation, the settle handshake and the thread's end.
// The run thread is waited for by polling with a generous deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace {

template <class Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::atomic<int> g_liveUnits{0};

// A unit whose program counter counts: a step moves it on by one. A step from
// returnFrom is a return; a non-zero length is what its disassembler reports.
// inStep is set only while Step runs.
class CCounterUnit : public CMpu {
public:
    explicit CCounterUnit(uint32_t pc) : pc(pc) { ++g_liveUnits; }
    ~CCounterUnit() override { --g_liveUnits; }
    uint32_t GetPC() const override { return pc; }
    void Step() override {
        inStep = true;
        returned = pc.Load() == returnFrom.Load();
        pc += 1;
        steps += 1;
        inStep = false;
    }
    bool ReturnExecuted() const override { return returned; }
    void Interrupt(bool nmi, bool irq, int code) override {
        interrupts.push_back(code * 4 + nmi * 2 + irq);
    }
    void Disassemble(uint32_t, uint32_t* lengthOut, std::string*, std::string*, std::string*,
                     std::string*, std::string*) override {
        if (length != 0 && lengthOut) *lengthOut = length;
    }

    Relaxed<uint32_t> pc;
    Relaxed<uint32_t> returnFrom{kNoAddress};
    Relaxed<bool> returned{false};
    Relaxed<bool> inStep{false};
    Relaxed<int> steps{0};
    uint32_t length = 0;
    std::vector<int> interrupts;  // code * 4 + nmi * 2 + irq; event thread only
};

class CResetCountingDevice : public CDevice {
public:
    void Reset() override { ++resets; }
    int resets = 0;
};

class RunControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
    }
    CCounterUnit* AddUnit(uint32_t pc = 0) {
        auto* unit = new CCounterUnit(pc);
        computer.GetMpus()->Add(unit);
        unit->SetBus(computer.GetDevices());
        computer.SetActiveProcessor(0);
        return unit;
    }
    bool WaitForPost() {
        return WaitUntil([&] { return !host.Posted().empty(); });
    }
    bool WaitForPasses(uint32_t passes) {
        const uint32_t until = computer.GetRunPassCount() + passes;
        return WaitUntil([&] { return computer.GetRunPassCount() >= until; });
    }

    CTestHost host;
    CComputer computer{&host};
};

TEST_F(RunControlTest, CommandsWithoutAnActiveUnitDoNothing) {
    const std::vector<std::function<void()>> commands = {
        [&] { computer.Run(); },
        [&] { computer.RunAll(); },
        [&] { computer.Stop(); },
        [&] { computer.StepInto(); },
        [&] { computer.BounceOver(); },
        [&] { computer.StepOut(); },
        [&] { computer.GenerateInterrupt(); },
        [&] { computer.ToggleBreakpoint(); },
        [&] { computer.Animate(10); },
    };
    for (bool empty : {false, true}) {
        if (empty) computer.DeleteContents();
        for (const auto& command : commands)
            command();
        EXPECT_TRUE(host.questions.empty());
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.hints.empty());
        EXPECT_TRUE(host.timers.empty());
    }
    computer.StopAll();  // an empty workspace has nothing to refresh
    EXPECT_TRUE(host.hints.empty());
}

TEST_F(RunControlTest, BounceOverRunsToTheNextInstructionAndClearsIt) {
    struct SCase {
        uint32_t disassembledLength;
        uint32_t storedNext;
        uint32_t stopsAt;
    };
    // The disassembler's length wins over a stale stored address.
    for (const SCase& c : {SCase{3, 0x40, 0x13}, SCase{0, 0x15, 0x15}}) {
        computer.NewContents();
        CCounterUnit* unit = AddUnit(0x10);
        unit->length = c.disassembledLength;
        unit->SetNextInstructionAddress(c.storedNext);
        computer.BounceOver();
        ASSERT_TRUE(WaitForPost());
        EXPECT_EQ(host.DeliverPosted(), std::vector<int>{0});
        EXPECT_EQ(unit->GetPC(), c.stopsAt);
        EXPECT_EQ(unit->GetRunToAddress(), CMpu::kNoAddress);
        EXPECT_TRUE(host.questions.empty());
    }
}

TEST_F(RunControlTest, CautionPromptOnlyForAnUnboundedRun) {
    struct SCase {
        const char* name;
        std::function<void(CCounterUnit&)> bound;
        bool asks;
    };
    const std::vector<SCase> cases = {
        {"nothing", [](CCounterUnit&) {}, true},
        {"breakpoint", [](CCounterUnit& u) { u.Breakpoints().Add(0x1000); }, false},
        {"run-to", [](CCounterUnit& u) { u.SetRunToAddress(0x1000); }, false},
        {"time", [&](CCounterUnit&) { computer.SetTimeLimitEnabled(true); }, false},
        {"cycles", [&](CCounterUnit&) { computer.SetCycleLimitEnabled(true); }, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        computer.NewContents();
        CCounterUnit* unit = AddUnit();
        c.bound(*unit);
        host.questions.clear();
        host.yesNoAnswers = {false};
        EXPECT_EQ(computer.Run(), !c.asks);
        EXPECT_EQ(unit->IsRunning(), !c.asks);
        EXPECT_EQ(host.questions.size(), c.asks ? 1u : 0u);
        if (c.asks) {
            EXPECT_EQ(host.questions[0], CComputer::kCautionText);
        }
        computer.Stop();
    }
}

TEST_F(RunControlTest, DecliningTheCautionLeavesNoStepOutBehind) {
    CCounterUnit* unit = AddUnit();
    host.yesNoAnswers = {false};
    computer.StepOut();
    EXPECT_FALSE(unit->IsRunning());
    EXPECT_FALSE(unit->IsStepOutPending());
}

TEST_F(RunControlTest, TimeLimitStopsOnceElapsedSecondsExceedIt) {
    CCounterUnit* unit = AddUnit();
    computer.SetRunLimits({true, 5, false, 0});
    computer.Run();
    EXPECT_EQ(computer.GetRunStartTime(), 1000);
    host.now = 1005;  // equal: the run goes on
    const int steps = unit->steps;
    ASSERT_TRUE(WaitUntil([&] { return unit->steps > steps + 1000; }));
    EXPECT_TRUE(unit->IsRunning());
    EXPECT_TRUE(host.Posted().empty());
    host.now = 1006;
    ASSERT_TRUE(WaitForPost());
    EXPECT_FALSE(unit->IsRunning());
    EXPECT_EQ(host.Posted(), std::vector<int>{CComputer::kRunLimitSlot});
}

TEST_F(RunControlTest, RunAndRunAllRestartTheCountsAndKeepTheLimits) {
    for (bool all : {false, true}) {
        computer.NewContents();
        CCounterUnit* unit = AddUnit(1);
        unit->Breakpoints().Add(2);
        const SRunLimits limits{true, 30, true, 50000};
        computer.SetRunLimits(limits);
        computer.SetInstructionCount(777);
        host.now = 2000 + all;
        all ? computer.RunAll() : (void)computer.Run();
        ASSERT_TRUE(WaitForPost());
        EXPECT_EQ(computer.GetInstructionCount(), 1);
        EXPECT_EQ(computer.GetRunStartTime(), 2000 + all);
        const SRunLimits now = computer.GetRunLimits();
        EXPECT_TRUE(now.timeEnabled && now.cyclesEnabled);
        EXPECT_EQ(now.seconds, 30);
        EXPECT_EQ(now.cycles, 50000);
        host.DeliverPosted();
    }
}

TEST_F(RunControlTest, StopReturnsOnlyOnceTheRunThreadHasLetGoOfTheUnit) {
    CCounterUnit* stopped = AddUnit();
    CCounterUnit* pacer = AddUnit();
    computer.RunAll();
    for (int round = 0; round < 20; ++round) {
        stopped->Run();
        ASSERT_TRUE(WaitUntil([&] { return stopped->steps > 0; }));
        computer.Stop();
        EXPECT_FALSE(stopped->inStep);
        const int frozen = stopped->steps;
        const int paced = pacer->steps;
        ASSERT_TRUE(WaitUntil([&] { return pacer->steps > paced + 50; }));
        EXPECT_EQ(stopped->steps, frozen);
    }
    EXPECT_EQ(host.hints.back(), uint32_t{kHintProcessorState});
    computer.StopAll();
    EXPECT_FALSE(pacer->IsRunning());
}

TEST_F(RunControlTest, StepIntoStepsOnceWithoutCountingOrBreakpoints) {
    CCounterUnit* unit = AddUnit(5);
    unit->Breakpoints().Add(6);
    computer.SetInstructionCount(0);
    computer.StepInto();
    EXPECT_EQ(unit->GetPC(), 6u);
    EXPECT_EQ(computer.GetInstructionCount(), 0);
    ASSERT_TRUE(WaitForPasses(2));
    EXPECT_TRUE(host.Posted().empty());
    EXPECT_EQ(host.hints.back(), uint32_t{kHintProcessorState});
}

TEST_F(RunControlTest, InterruptPromptAsksBeforeRunningAndStopsAfterEachInstruction) {
    CCounterUnit* unit = AddUnit(0x20);
    auto* device = new CResetCountingDevice;
    computer.GetDevices()->AddTail(device);
    unit->SetInterruptPrompt(true);
    host.interruptAnswers = {SInterruptRequest{3, true, false, true}};
    computer.Run();
    EXPECT_EQ(unit->interrupts, std::vector<int>{3 * 4 + 1});
    EXPECT_EQ(device->resets, 1);
    ASSERT_TRUE(WaitForPost());
    EXPECT_EQ(unit->GetPC(), 0x21u);
    EXPECT_EQ(host.hints.front(), 0u);  // the interrupt redraws everything
    EXPECT_TRUE(host.modified);

    host.interruptAnswers = {SInterruptRequest{1, false, true, false}};
    computer.StepInto();
    EXPECT_EQ(unit->interrupts.back(), 1 * 4 + 2);
    EXPECT_EQ(unit->GetPC(), 0x22u);
    computer.StepInto();  // dialog cancelled: the step still happens
    EXPECT_EQ(unit->interrupts.size(), 2u);
    EXPECT_EQ(unit->GetPC(), 0x23u);
}

TEST_F(RunControlTest, RunAllAsksForEachPromptingUnitAndInterruptsThatUnit) {
    CCounterUnit* first = AddUnit();
    CCounterUnit* second = AddUnit();
    second->SetInterruptPrompt(true);
    host.interruptAnswers = {SInterruptRequest{7, true, false, false}};
    computer.RunAll();
    EXPECT_TRUE(first->interrupts.empty());
    EXPECT_EQ(second->interrupts, std::vector<int>{7 * 4 + 1});
    computer.StopAll();
}

TEST_F(RunControlTest, AnimateTwiceStartsThenStopsTheTimer) {
    CCounterUnit* unit = AddUnit();
    for (int rate : {1, 10, 100}) {
        computer.Animate(rate);
        EXPECT_EQ(host.timers,
                  (std::map<uint32_t, uint32_t>{{0x4000, CComputer::AnimationPeriod(rate)}}));
        EXPECT_EQ(unit->GetAnimationRate(), rate);
        computer.Animate(rate);
        EXPECT_TRUE(host.timers.empty());
        EXPECT_EQ(unit->GetAnimationRate(), 0);
    }
    computer.Animate(10);
    computer.Animate(1);  // another rate switches over
    EXPECT_EQ(host.timers.at(0x4000), 5u);
    computer.Animate(7);  // not a rate
    EXPECT_EQ(unit->GetAnimationRate(), 1);

    unit->Breakpoints().Add(unit->GetPC() - 1);  // far enough away to be still running below
    computer.Run();  // ends the animation first
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(unit->GetAnimationRate(), 0);
    EXPECT_TRUE(unit->IsRunning());
    computer.Stop();

    computer.Animate(100);
    computer.DeleteContents();  // the host's timer goes with the unit
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(RunControlTest, AnimationStepStopConditions) {
    struct SCase {
        const char* name;
        std::function<void(CCounterUnit&)> arrange;
        bool stops;
    };
    const std::vector<SCase> cases = {
        {"none", [](CCounterUnit&) {}, false},
        {"step out",
         [](CCounterUnit& u) {
             u.SetStepOutPending(true);
             u.returnFrom = 5;
         },
         true},
        {"step out without return", [](CCounterUnit& u) { u.SetStepOutPending(true); }, false},
        {"prompt", [](CCounterUnit& u) { u.SetInterruptPrompt(true); }, true},
        {"run-to", [](CCounterUnit& u) { u.SetRunToAddress(6); }, true},
        {"breakpoint", [](CCounterUnit& u) { u.Breakpoints().Add(6); }, true},
        {"cycles",
         [&](CCounterUnit&) {
             computer.SetRunLimits({false, 0, true, 0});
         },
         true},
        {"time",
         [&](CCounterUnit&) {
             computer.SetRunLimits({true, 0, false, 0});
             host.now += 1;
         },
         true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        computer.NewContents();
        CCounterUnit* unit = AddUnit(5);
        computer.Animate(10);
        c.arrange(*unit);
        host.hints.clear();
        ASSERT_TRUE(host.FireTimer(0x4000));
        EXPECT_EQ(unit->GetPC(), 6u);
        EXPECT_EQ(computer.GetInstructionCount(), 1);
        EXPECT_EQ(unit->GetAnimationRate(), c.stops ? 0 : 10);
        EXPECT_EQ(host.IsTimerActive(0x4000), !c.stops);
        EXPECT_EQ(unit->GetRunToAddress(), CMpu::kNoAddress);
        EXPECT_FALSE(host.hints.empty());
        computer.SetRunLimits({});
    }
}

TEST_F(RunControlTest, ToggleBreakpointAtTheProgramCounter) {
    CCounterUnit* unit = AddUnit(0);  // address 0 is accepted here
    computer.ToggleBreakpoint();
    EXPECT_TRUE(unit->IsBreakpoint(0));
    EXPECT_EQ(host.hints.back(), uint32_t{kHintBreakpoints});
    computer.ToggleBreakpoint();
    EXPECT_FALSE(unit->Breakpoints().HasBreakpoints());

    for (uint32_t i = 1; i <= 30; ++i)
        unit->Breakpoints().Add(i * 0x10);
    unit->pc = 0x400;
    computer.ToggleBreakpoint();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, CComputer::kNoMoreBreakpointsText);
    EXPECT_EQ(host.messages[0].icon, EMessageIcon::Exclamation);
    EXPECT_FALSE(unit->IsBreakpoint(0x400));
    unit->pc = 0x10;  // removing still works on a full set
    computer.ToggleBreakpoint();
    EXPECT_EQ(unit->Breakpoints().GetCount(), 29);
}

TEST_F(RunControlTest, ClearingRunningWorkspacesEndsTheirThreads) {
    for (int round = 0; round < 200; ++round) {
        computer.NewContents();
        CCounterUnit* first = AddUnit();
        AddUnit();
        computer.RunAll();
        ASSERT_TRUE(WaitUntil([&] { return first->steps > 0; }));
        computer.DeleteContents();
        ASSERT_FALSE(computer.HasRunThread());
        ASSERT_EQ(g_liveUnits, 0);
        computer.StartRunThread();  // an empty workspace has nothing to run
        ASSERT_FALSE(computer.HasRunThread());
    }
    EXPECT_TRUE(host.messages.empty());  // every thread ended well within the allowance
}

// A host that lets a stuck instruction go once the user has been told.
class CReleasingHost : public CTestHost {
public:
    void ShowMessage(std::string_view text, EMessageIcon icon) override {
        CTestHost::ShowMessage(text, icon);
        release = true;
        release.notify_all();
    }
    std::atomic<bool> release{false};
};

class CStuckUnit : public CMpu {
public:
    explicit CStuckUnit(std::atomic<bool>& release) : m_release(release) {}
    void Step() override {
        entered = true;
        m_release.wait(false);
    }
    std::atomic<bool> entered{false};

private:
    std::atomic<bool>& m_release;
};

TEST(RunThreadTest, ThreadThatDoesNotEndIsReportedAndStillWaitedFor) {
    CReleasingHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    computer.NewContents();
    auto* unit = new CStuckUnit(host.release);
    computer.GetMpus()->Add(unit);
    computer.RunAll();
    ASSERT_TRUE(WaitUntil([&] { return unit->entered.load(); }));
    computer.DeleteContents();  // returns only after the thread has ended
    EXPECT_FALSE(computer.HasRunThread());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, CComputer::kRunThreadStuckText);
    EXPECT_EQ(host.messages[0].icon, EMessageIcon::Information);
}

}  // namespace
