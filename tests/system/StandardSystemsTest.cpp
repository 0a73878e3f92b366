// The standard systems and the new-workspace rule.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"

namespace {

// Class, name, from, to, stride, interrupt code, timer base.
using Device = std::tuple<std::string, std::string, uint32_t, uint32_t, uint32_t, int, uint32_t>;

class StandardSystemsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        ResetFirstWorkspaceRule();
    }
    void Build(ESystemType type) {
        computer.NewContents();
        std::string error;
        ASSERT_TRUE(BuildStandardSystem(computer, type, &error)) << error;
    }
    std::vector<Device> Devices() {
        std::vector<Device> devices;
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext())
            devices.emplace_back(d->GetClassName(), d->GetName(), d->GetFrom(), d->GetTo(),
                                 d->GetStride(), d->GetIrqCode(), d->GetTimerBase());
        return devices;
    }
    CTestHost host;
    CComputer computer{&host};
};

TEST_F(StandardSystemsTest, CorvaneSystem) {
    Build(ESystemType::Corvane);
    EXPECT_EQ(Devices(), (std::vector<Device>{
                             {"CRam", "RAM", 0x000000, 0x03FFFF, 1, -1, 0x10},
                             {"CRam", "ROM", 0xFF0000, 0xFFFFFF, 1, -1, 0x20},
                             {"CTimeSlicer", "System time slicer", 0x301000, 0x3010FF, 1, 0, 0x30},
                             {"CKeyboard", "Keyboard", 0x301100, 0x3011FF, 1, 1, 0x40},
                             {"CVic", "VIC", 0x300000, 0x300FFF, 3, 7, 0x50}}));
    ASSERT_EQ(computer.GetMpus()->GetCount(), 1);
    CMpu* unit = computer.GetActiveProcessor();
    EXPECT_STREQ(unit->GetClassName(), "CCorvaneMPU");
    EXPECT_EQ(unit->GetName(), "Corvane Processor #0");
    EXPECT_EQ(unit->GetIrqMask(), 3u);
    EXPECT_EQ(dynamic_cast<CRam&>(*computer.GetDevices()->GetAt(0)).GetSize(), 0x40000u);
    EXPECT_EQ(dynamic_cast<CRam&>(*computer.GetDevices()->GetAt(1)).GetSize(), 0x10000u);

    EXPECT_EQ(computer.Read(0x040000, 1), 0xFFFFFFFFu);
    computer.Write(0xFF0000, 0x5A, 1, true);  // a loader
    EXPECT_EQ(computer.Read(0xFF0000, 1), 0x5Au);
    computer.Write(0xFF0000, 0xA5, 1, false);  // a processor
    EXPECT_EQ(computer.Read(0xFF0000, 1), 0x5Au);
}

TEST_F(StandardSystemsTest, Vo16System) {
    Build(ESystemType::Vo16);
    EXPECT_EQ(Devices(), (std::vector<Device>{
                             {"CRam", "External RAM", 0x0000, 0x7FFF, 1, -1, 0x10},
                             {"CRam", "Internal RAM", 0xFF00, 0xFF1F, 1, -1, 0x20},
                             {"CVo16VGA", "Vo16 VGA Controller", 0x0000, 0x0000, 1, -1, 0x30}}));
    CMpu* unit = computer.GetMpus()->GetAt(0);
    EXPECT_STREQ(unit->GetClassName(), "CVo16");
    EXPECT_EQ(unit->GetName(), "Vo16 Processor #0");
    EXPECT_EQ(unit->GetIrqMask(), 0u);
    // Address 0 reads from the RAM, which shadows the video controller.
    computer.Write(0, 0x77, 1, false);
    EXPECT_EQ(computer.Read(0, 1), 0x77u);
}

TEST_F(StandardSystemsTest, BlankSystemHasNothing) {
    Build(ESystemType::Blank);
    EXPECT_EQ(computer.GetMpus()->GetCount(), 0);
    EXPECT_EQ(computer.GetDevices()->GetCount(), 0);
    EXPECT_TRUE(computer.GetMpus()->IsNullUnit(computer.GetActiveProcessor()));
}

TEST_F(StandardSystemsTest, FirstWorkspaceIsVo16WithoutAskingThenTheUserChooses) {
    EXPECT_FALSE(NewWorkspaceNeedsType());
    ASSERT_TRUE(NewWorkspace(computer, ESystemType::Blank));  // the first ignores the choice
    EXPECT_STREQ(computer.GetMpus()->GetAt(0)->GetClassName(), "CVo16");
    EXPECT_EQ(computer.GetDevices()->GetCount(), 3);

    EXPECT_TRUE(NewWorkspaceNeedsType());
    std::string error;
    EXPECT_FALSE(NewWorkspace(computer, std::nullopt, &error));  // Cancel keeps the workspace
    EXPECT_FALSE(error.empty());
    EXPECT_STREQ(computer.GetMpus()->GetAt(0)->GetClassName(), "CVo16");

    ASSERT_TRUE(NewWorkspace(computer, ESystemType::Corvane));
    EXPECT_STREQ(computer.GetMpus()->GetAt(0)->GetClassName(), "CCorvaneMPU");
    EXPECT_EQ(computer.GetDevices()->GetCount(), 5);
    EXPECT_FALSE(computer.IsModified());
}

}  // namespace
