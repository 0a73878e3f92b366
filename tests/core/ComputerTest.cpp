// The workspace: active unit, device timers through the host, refresh hints,
// and a cleared workspace.
#include <gtest/gtest.h>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace {

class CTickingDevice : public CDevice {
public:
    void OnTimer(uint32_t index) override { ticks += index + 1; }
    int ticks = 0;
};

class CNamedUnit : public CMpu {
public:
    explicit CNamedUnit(std::string name) { SetName(std::move(name)); }
};

// A listing that moves when asked.
class CFollowingView : public CUnitView {
public:
    CFollowingView(int slot, bool moves) : m_slot(slot), m_moves(moves) {}
    int GetSlot() const override { return m_slot; }
    bool FollowProgramCounter() override {
        ++asked;
        return m_moves;
    }
    int asked = 0;

private:
    int m_slot;
    bool m_moves;
};

class ComputerTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
    }
    CTestHost host;
    CComputer computer{&host};
};

TEST_F(ComputerTest, ActiveProcessorWrapsAndShowsTwentyCharacters) {
    computer.GetMpus()->Add(new CNamedUnit("A rather long processor name"));
    computer.GetMpus()->Add(new CNamedUnit("Second"));
    computer.SetActiveProcessor(9);
    EXPECT_EQ(computer.GetActiveSlot(), 1);
    EXPECT_EQ(host.activeUnitText, "Second");
    computer.SetActiveProcessor(0);
    EXPECT_EQ(host.activeUnitText, "A rather long proces");
    computer.SetActiveProcessor(5);
    EXPECT_TRUE(computer.GetMpus()->IsNullUnit(computer.GetActiveProcessor()));
}

TEST_F(ComputerTest, DeviceTimersRunThroughTheHost) {
    computer.GetDevices()->AddTail(new CRam);
    auto* device = new CTickingDevice;
    computer.GetDevices()->AddTail(device);
    device->StartTimer(100, 3);
    device->StartTimer(250, 3);  // restarts with the new period
    device->StartTimer(10, 16);  // no such timer
    EXPECT_EQ(host.timers, (std::map<uint32_t, uint32_t>{{0x23, 250}}));
    EXPECT_TRUE(host.FireTimer(0x23));
    EXPECT_EQ(device->ticks, 4);
    device->StopTimer(3);
    EXPECT_FALSE(host.IsTimerActive(0x23));
    device->StartTimer(5, 0);
    computer.GetDevices()->Remove(device);  // destroying a device stops its timers
    EXPECT_TRUE(host.timers.empty());
}

// Refreshing any unit asks every listing, whatever its unit.
TEST_F(ComputerTest, RefreshHintTellsWhetherAListingMoved) {
    CFollowingView still(0, false), moving(1, true);
    computer.AddUnitView(&still);
    computer.AddUnitView(&moving);
    computer.RefreshUnit(0);
    EXPECT_EQ(host.hints.back(), uint32_t{kHintProcessorState | kHintCodeMoved});
    EXPECT_EQ(moving.asked, 1);
    computer.RemoveUnitView(&moving);
    computer.RefreshUnit(1);
    EXPECT_EQ(host.hints.back(), uint32_t{kHintProcessorState});
    EXPECT_EQ(still.asked, 2);
    EXPECT_EQ(moving.asked, 1);
}

TEST_F(ComputerTest, ClearedWorkspaceIsSafeToUse) {
    computer.DeleteContents();
    EXPECT_EQ(computer.Read(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(computer.Write(0, 1, 1, true), 0u);
    computer.OnTimer(0x10);
    computer.OnTimer(0x4000);
    computer.SetActiveProcessor(0);
    EXPECT_EQ(computer.GetActiveProcessor(), nullptr);
}

}  // namespace
