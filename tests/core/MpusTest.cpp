// The unit set: slots, the null unit, renumbering, interrupt routing by mask.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Archive.h"
#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "support/TestHost.h"

namespace {

// Records the interrupt traffic that reaches it.
class CRecordingUnit : public CMpu {
public:
    explicit CRecordingUnit(uint32_t mask = 0) { SetIrqMask(mask); }
    void Interrupt(bool nmi, bool irq, int code) override {
        log.push_back("I" + std::to_string(nmi) + std::to_string(irq) + ":" + std::to_string(code));
    }
    void ClearInterrupt(bool nmi, bool irq, int code) override {
        log.push_back("C" + std::to_string(nmi) + std::to_string(irq) + ":" + std::to_string(code));
    }
    std::vector<std::string> log;
};

TEST(MpusTest, SlotsAndTheNullUnit) {
    CMpus units;
    auto* a = new CRecordingUnit;
    auto* b = new CRecordingUnit;
    EXPECT_TRUE(units.Add(a));
    EXPECT_TRUE(units.Add(b));
    EXPECT_EQ(units.GetAt(9), b);
    EXPECT_TRUE(units.IsNullUnit(units.GetAt(2)));
    EXPECT_EQ(units.GetAt(1)->GetAnimationTimerId(), 0x4001u);

    CMpu& null = units.NullUnit();
    EXPECT_EQ(null.GetPC(), 0u);
    EXPECT_FALSE(null.AtBreakpoint());
    null.Breakpoints().Add(0);
    EXPECT_TRUE(null.AtBreakpoint());
    null.Step();
    null.Interrupt(true, true, 1);
}

TEST(MpusTest, NinthAddIsRefused) {
    CMpus units;
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(units.Add(new CRecordingUnit));
    CRecordingUnit ninth;
    EXPECT_FALSE(units.Add(&ninth));
    EXPECT_EQ(units.GetCount(), 8);
    EXPECT_EQ(units.IndexOf(&ninth), -1);
}

TEST(MpusTest, RemoveClosesUpAndRenumbersTimerIds) {
    CMpus units;
    CRecordingUnit* u[3];
    for (auto*& unit : u) {
        unit = new CRecordingUnit;
        units.Add(unit);
    }
    units.Remove(u[0]);
    EXPECT_EQ(units.GetCount(), 2);
    EXPECT_EQ(units.GetAt(0), u[1]);
    EXPECT_EQ(units.GetAt(1), u[2]);
    EXPECT_TRUE(units.IsNullUnit(units.GetAt(2)));
    EXPECT_EQ(u[1]->GetAnimationTimerId(), 0x4000u);
    EXPECT_EQ(u[2]->GetAnimationTimerId(), 0x4001u);
    delete u[0];  // Remove hands the unit back
}

struct SRouteCase {
    int code;
    uint32_t mask;
    bool reaches;
};

class MpusRouteTest : public ::testing::TestWithParam<SRouteCase> {};

TEST_P(MpusRouteTest, InterruptsReachUnitsByMask) {
    CMpus units;
    auto* unit = new CRecordingUnit(GetParam().mask);
    units.Add(unit);
    units.Interrupt(false, true, GetParam().code);
    units.ClearInterrupt(false, true, GetParam().code);
    units.Interrupt(false, false, GetParam().code);  // neither line: nothing
    EXPECT_EQ(unit->log.size(), GetParam().reaches ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MpusRouteTest,
    ::testing::Values(SRouteCase{1, 3, true}, SRouteCase{1, 0, false}, SRouteCase{0, 1, true},
                      SRouteCase{14, 0x4000, true}, SRouteCase{14, 0x3FFF, false},
                      SRouteCase{-1, 0xFFFFFFFF, false}, SRouteCase{16, 0xFFFFFFFF, false},
                      // the withdrawal code reaches every unit, whatever its mask
                      SRouteCase{15, 0, true}, SRouteCase{15, 0x7FFF, true}));

TEST(MpusTest, RunAllAndStopAll) {
    CMpus units;
    units.Add(new CRecordingUnit);
    units.Add(new CRecordingUnit);
    units.RunAll();
    EXPECT_TRUE(units.GetAt(0)->IsRunning() && units.GetAt(1)->IsRunning());
    EXPECT_FALSE(units.NullUnit().IsRunning());
    units.StopAll();
    EXPECT_FALSE(units.GetAt(0)->IsRunning() || units.GetAt(1)->IsRunning());
}

// A device that raises and withdraws its interrupt on demand.
class CSignalDevice : public CDevice {};

TEST(MpusTest, DeviceInterruptsTravelThroughTheWorkspace) {
    CTestHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    computer.NewContents();
    auto* accepting = new CRecordingUnit(3);
    auto* deaf = new CRecordingUnit(0);
    computer.GetMpus()->Add(accepting);
    computer.GetMpus()->Add(deaf);
    auto* device = new CSignalDevice;
    device->SetIrqCode(1);
    computer.GetDevices()->AddTail(device);

    device->RaiseInterrupt(true, false);
    device->ClearInterrupt(true, false);
    EXPECT_EQ(accepting->log, (std::vector<std::string>{"I01:1", "C01:1"}));
    EXPECT_TRUE(deaf->log.empty());

    device->SetIrqCode(-1);
    device->RaiseInterrupt(true, false);
    EXPECT_EQ(accepting->log.size(), 2u);
}

TEST(MpuTest, RunEndsAnimationBeforeRunning) {
    CTestHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    computer.NewContents();
    auto* unit = new CRecordingUnit;
    computer.GetMpus()->Add(unit);
    unit->SetBus(computer.GetDevices());
    unit->SetAnimationRate(10);
    unit->StartAnimationTimer(100);
    EXPECT_TRUE(host.IsTimerActive(0x4000));
    unit->Run();
    EXPECT_TRUE(unit->IsRunning());
    EXPECT_EQ(unit->GetAnimationRate(), 0);
    EXPECT_FALSE(unit->IsAnimationTimerActive());
    EXPECT_FALSE(host.IsTimerActive(0x4000));
}

TEST(MpuTest, StoredRecordKeepsIdentityButNotRunStateOrBreakpoints) {
    CRecordingUnit unit(0x5);
    unit.SetName("Unit");
    unit.SetAnimationTimerId(0x4003);
    unit.SetStatistic(CMpu::kCycles, 77);
    unit.Breakpoints().Add(0x100);
    unit.SetRunning(true);
    CArchive out;
    unit.Serialize(out);
    EXPECT_EQ(out.Data().size(), 4u + 5 + 4 + 4 + 4 + 16 + 120);

    CRecordingUnit loaded;
    CArchive in(out.Data());
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded.GetName(), "Unit");
    EXPECT_EQ(loaded.GetIrqMask(), 5u);
    EXPECT_EQ(loaded.GetStatistic(CMpu::kCycles), 77u);
    EXPECT_FALSE(loaded.Breakpoints().HasBreakpoints());
    EXPECT_FALSE(loaded.IsRunning());
    EXPECT_EQ(loaded.GetRunToAddress(), CMpu::kNoAddress);
}

}  // namespace
