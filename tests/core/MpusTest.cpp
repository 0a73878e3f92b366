// The unit set: slots, the null unit, renumbering, interrupt routing by mask,
// and a unit's stored record.
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
    void Interrupt(bool nmi, bool irq, int code) override { Log('I', nmi, irq, code); }
    void ClearInterrupt(bool nmi, bool irq, int code) override { Log('C', nmi, irq, code); }
    void Log(char what, bool nmi, bool irq, int code) {
        log.push_back(what + std::to_string(nmi) + std::to_string(irq) + ":" +
                      std::to_string(code));
    }
    std::vector<std::string> log;
};

TEST(MpusTest, SlotsNullUnitNinthAddAndRemoveRenumbering) {
    CMpus units;
    CRecordingUnit* u[8];
    for (auto*& unit : u) {
        unit = new CRecordingUnit;
        EXPECT_TRUE(units.Add(unit));
    }
    CRecordingUnit ninth;
    EXPECT_FALSE(units.Add(&ninth));
    EXPECT_EQ(units.IndexOf(&ninth), -1);
    EXPECT_EQ(units.GetAt(9), u[1]);  // slots wrap at eight
    units.Remove(u[0]);
    delete u[0];  // Remove hands the unit back
    EXPECT_EQ(units.GetCount(), 7);
    EXPECT_EQ(units.GetAt(0), u[1]);
    EXPECT_EQ(u[1]->GetAnimationTimerId(), 0x4000u);
    EXPECT_EQ(u[7]->GetAnimationTimerId(), 0x4006u);
    EXPECT_TRUE(units.IsNullUnit(units.GetAt(7)));

    CMpu& null = units.NullUnit();  // safe to drive like any unit
    EXPECT_EQ(null.GetPC(), 0u);
    null.Breakpoints().Add(0);
    EXPECT_TRUE(null.AtBreakpoint());
    null.Step();
    null.Interrupt(true, true, 1);
}

TEST(MpusTest, InterruptsReachUnitsByMask) {
    struct {
        int code;
        uint32_t mask;
        bool reaches;
    } const cases[] = {{1, 3, true},
                       {1, 0, false},
                       {0, 1, true},
                       {14, 0x4000, true},
                       {14, 0x3FFF, false},
                       {-1, 0xFFFFFFFF, false},
                       {16, 0xFFFFFFFF, false},
                       // the withdrawal code reaches every unit, whatever its mask
                       {15, 0, true},
                       {15, 0x7FFF, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        CMpus units;
        auto* unit = new CRecordingUnit(c.mask);
        units.Add(unit);
        units.Interrupt(false, true, c.code);
        units.ClearInterrupt(false, true, c.code);
        units.Interrupt(false, false, c.code);  // neither line: nothing
        EXPECT_EQ(unit->log.size(), c.reaches ? 2u : 0u);
    }
}

TEST(MpusTest, DeviceInterruptsTravelThroughTheWorkspace) {
    CTestHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    computer.NewContents();
    auto* accepting = new CRecordingUnit(3);
    auto* deaf = new CRecordingUnit(0);
    computer.GetMpus()->Add(accepting);
    computer.GetMpus()->Add(deaf);
    auto* device = new CDevice;
    device->SetIrqCode(1);
    computer.GetDevices()->AddTail(device);
    device->RaiseInterrupt(false, true);
    device->ClearInterrupt(false, true);
    device->SetIrqCode(-1);
    device->RaiseInterrupt(false, true);
    EXPECT_EQ(accepting->log, (std::vector<std::string>{"I01:1", "C01:15"}));
    EXPECT_TRUE(deaf->log.empty());
}

TEST(MpuTest, StoredRecordKeepsIdentityButNotRunStateOrBreakpoints) {
    CRecordingUnit unit(0x5);
    unit.SetName("Unit");
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
    EXPECT_FALSE(loaded.Breakpoints().HasBreakpoints() || loaded.IsRunning());
}

}  // namespace
