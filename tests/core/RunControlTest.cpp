// Run control with purpose-made units, for what a real program cannot show:
// commands without a unit, Stop waiting for the run thread to let go of a unit,
// interrupt prompts, the animation step's stop conditions and the thread's end.
// The run thread is waited for by polling with a generous deadline.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"
#include "support/WaitUntil.h"

namespace {

std::atomic<int> g_liveUnits{0};

// A unit whose program counter counts: a step moves it on by one. A step from
// returnFrom is a return. inStep is set only while Step runs.
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

    Relaxed<uint32_t> pc;
    Relaxed<uint32_t> returnFrom{kNoAddress};
    Relaxed<bool> returned{false};
    Relaxed<bool> inStep{false};
    Relaxed<int> steps{0};
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

    CTestHost host;
    CComputer computer{&host};
};

TEST_F(RunControlTest, CommandsWithoutAnActiveUnitDoNothing) {
    for (bool empty : {false, true}) {
        if (empty) computer.DeleteContents();
        computer.Run();
        computer.RunAll();
        computer.Stop();
        computer.StepInto();
        computer.BounceOver();
        computer.StepOut();
        computer.GenerateInterrupt({3, true, true, true});
        computer.ToggleBreakpoint();
        computer.Animate(10);
        if (empty) computer.StopAll();  // an empty workspace has nothing to refresh
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.hints.empty() && host.timers.empty());
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
    computer.StopAll();
    EXPECT_FALSE(pacer->IsRunning());
}

TEST_F(RunControlTest, InterruptPromptAsksBeforeRunningAndStopsAfterEachInstruction) {
    CCounterUnit* unit = AddUnit(0x20);
    CCounterUnit* quiet = AddUnit();
    auto* device = new CResetCountingDevice;
    computer.GetDevices()->AddTail(device);
    unit->SetInterruptPrompt(true);
    // The caution prompt comes first, then the dialog; until both are
    // answered the unit stays idle.
    EXPECT_EQ(computer.Run(), ERunStart::kNeedsConfirmation);
    EXPECT_EQ(computer.Run(true), ERunStart::kNeedsInterrupt);
    EXPECT_FALSE(unit->IsRunning());
    EXPECT_TRUE(unit->interrupts.empty());
    const SInterruptRequest first{3, true, false, true};
    EXPECT_EQ(computer.Run(true, &first), ERunStart::kStarted);
    EXPECT_EQ(unit->interrupts, std::vector<int>{3 * 4 + 1});
    EXPECT_EQ(device->resets, 1);
    ASSERT_TRUE(WaitUntil([&] { return !host.Posted().empty(); }));
    EXPECT_EQ(unit->GetPC(), 0x21u);
    EXPECT_EQ(host.hints.front(), 0u);  // the interrupt redraws everything
    EXPECT_EQ(computer.StepInto(), ERunStart::kNeedsInterrupt);
    const SInterruptRequest nmi{1, false, true, false};
    const SInterruptRequest cancelled{};
    computer.StepInto(&nmi);
    computer.StepInto(&cancelled);  // dialog cancelled: the step still happens
    EXPECT_EQ(unit->interrupts, (std::vector<int>{3 * 4 + 1, 1 * 4 + 2}));
    EXPECT_EQ(unit->GetPC(), 0x23u);
    EXPECT_EQ(computer.RunAll(), ERunStart::kNeedsInterrupt);
    const SInterruptRequest irq7{7, true, false, false};
    computer.RunAll(&irq7);  // interrupts only the prompting unit
    computer.StopAll();
    EXPECT_EQ(unit->interrupts.back(), 7 * 4 + 1);
    EXPECT_TRUE(quiet->interrupts.empty());
}

TEST_F(RunControlTest, AnimationStepStopConditions) {
    struct SCase {
        const char* name;
        std::function<void(CCounterUnit&)> arrange;
        bool stops;
        uint64_t countBefore = 0;
    };
    // An instruction limit and a count beyond 32 bits.
    auto counted = [&](uint64_t limit, uint64_t count) {
        return [this, limit, count](CCounterUnit&) {
            computer.SetRunLimits({false, 0, true, limit});
            computer.SetInstructionCount(count);
        };
    };
    auto stepOut = [](uint32_t from) {
        return [from](CCounterUnit& u) {
            u.SetStepOutPending(true);
            u.returnFrom = from;
        };
    };
    const std::vector<SCase> cases = {
        {"none", [](CCounterUnit&) {}, false},
        {"step out", stepOut(5), true},
        {"step out without return", stepOut(CMpu::kNoAddress), false},
        {"prompt", [](CCounterUnit& u) { u.SetInterruptPrompt(true); }, true},
        {"run-to", [](CCounterUnit& u) { u.SetRunToAddress(6); }, true},
        {"breakpoint", [](CCounterUnit& u) { u.Breakpoints().Add(6); }, true},
        {"run-to on a breakpoint",  // the run-to address is still cleared
         [](CCounterUnit& u) {
             u.SetRunToAddress(6);
             u.Breakpoints().Add(6);
         },
         true},
        {"instructions",
         [&](CCounterUnit&) {
             computer.SetRunLimits({false, 0, true, 0});
         },
         true},
        {"count passing 2^31", counted(0x80000000, 0x7FFFFFFF), false, 0x7FFFFFFF},
        {"count passing a limit past 2^32", counted(0x100000000, 0x100000000), true, 0x100000000},
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
        EXPECT_EQ(computer.GetInstructionCount(), c.countBefore + 1);
        EXPECT_EQ(unit->GetAnimationRate(), c.stops ? 0 : 10);
        EXPECT_EQ(host.IsTimerActive(0x4000), !c.stops);
        EXPECT_EQ(unit->GetRunToAddress(), CMpu::kNoAddress);
        EXPECT_FALSE(host.hints.empty());
        computer.SetRunLimits({});
    }
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
