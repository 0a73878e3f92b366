// Editing the machine through the workspace's operations: what each checks,
// what it changes, and that it is safe while a unit runs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"

namespace {

class MachineEditTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        ASSERT_TRUE(
            computer.AddDevice({.className = "CRam", .name = "RAM", .from = 0, .to = 0xFFFF}));
    }
    std::vector<std::string> DeviceNames() const {
        std::vector<std::string> names;
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext())
            names.push_back(d->GetName());
        return names;
    }
    std::vector<std::string> UnitNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < computer.GetMpus()->GetCount(); ++i)
            names.push_back(computer.GetMpus()->GetAt(i)->GetName());
        return names;
    }

    CTestHost host;
    CComputer computer{&host};
};

TEST_F(MachineEditTest, RefusedChangesSayWhyAndChangeNothing) {
    using Change = std::function<bool(std::string*)>;
    // Adding (or editing device 0 to) memory at 100-1FF, changed.
    const auto device = [&](std::function<void(SDeviceSettings&)> change, bool edit = false) {
        return Change([=, this](std::string* e) {
            SDeviceSettings s{.className = "CRam", .name = "M", .from = 0x100, .to = 0x1FF};
            change(s);
            return edit ? computer.EditDevice(0, s, e) : computer.AddDevice(s, e);
        });
    };
    const std::vector<std::pair<Change, std::string>> cases = {
        {[&](std::string* e) { return computer.AddUnit("C6502", "", 0, e); },
         "Both name and class"},
        {[&](std::string* e) { return computer.AddUnit("", "cpu", 0, e); }, "Both name and class"},
        {[&](std::string* e) { return computer.AddUnit("CZ80", "cpu", 0, e); },
         "unknown unit class"},
        {[&](std::string* e) { return computer.RemoveUnit(0, e); }, "no unit in slot 0"},
        {[&](std::string* e) { return computer.EditUnit(3, "x", 0, e); }, "no unit in slot 3"},
        {device([](auto& s) { s.name.clear(); }), "Both name and class"},
        {device([](auto& s) { s.className = "CFoo"; }), "unknown device class"},
        {device([](auto& s) { s.to = 0xFF; }), "ends before it starts"},
        {device([](auto& s) { s.stride = 0; }), "stride"},
        {device([](auto& s) { s.irqCode = 16; }), "IRQ code"},
        {device([](auto& s) { s.size = 0x1000001; }), "at most"},
        {device([](auto& s) { s.className = "CKeyboard", s.writable = false; }), "memory devices"},
        {device([](auto& s) { s.to = 0; }, true), "ends before it starts"},
        {[&](std::string* e) { return computer.RemoveDevice(5, e); }, "no device number 5"},
        {[&](std::string* e) { return computer.MoveDevice(0, 2, e); }, "one place"},
    };
    for (const auto& [change, message] : cases) {
        std::string error;
        EXPECT_FALSE(change(&error)) << message;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(DeviceNames(), std::vector<std::string>{"RAM"});
        EXPECT_EQ(computer.GetDevices()->GetAt(0)->GetTo(), 0xFFFFu);
        EXPECT_EQ(computer.GetMpus()->GetCount(), 0);
    }
}

TEST_F(MachineEditTest, UnitsAreAddedResetEditedAndRemoved) {
    computer.Write(0xFFFC, 0x1234, 2, true);  // the 6502's reset vector
    ASSERT_TRUE(computer.AddUnit("C6502", "a", 0x8001));
    EXPECT_EQ(computer.GetActiveSlot(), 0);  // the first unit becomes active
    CMpu* a = computer.GetMpus()->GetAt(0);
    EXPECT_EQ(a->GetPC(), 0x1234u);
    EXPECT_EQ(a->GetIrqMask(), 0x0001u);  // codes 0 to 14 only
    for (const char* name : {"b", "c", "d", "e", "f", "g", "h"})
        ASSERT_TRUE(computer.AddUnit("CVo16", name, 0));
    std::string error;
    EXPECT_FALSE(computer.AddUnit("CVo16", "i", 0, &error));
    EXPECT_NE(error.find("eight units"), std::string::npos);

    ASSERT_TRUE(a->SetRegisterValue(static_cast<size_t>(a->FindRegister("PC")), 0x4000));
    ASSERT_TRUE(computer.EditUnit(0, "A", 0x0006));
    EXPECT_EQ(a->GetName(), "A");
    EXPECT_EQ(a->GetPC(), 0x1234u);  // editing resets
    EXPECT_EQ(a->GetIrqMask(), 0x0006u);

    computer.SetActiveProcessor(2);
    ASSERT_TRUE(computer.RemoveUnit(1));
    EXPECT_EQ(UnitNames(), (std::vector<std::string>{"A", "c", "d", "e", "f", "g", "h"}));
    EXPECT_EQ(computer.GetActiveProcessor()->GetName(), "c");  // the active unit moved up
    ASSERT_TRUE(computer.RemoveUnit(1));
    EXPECT_EQ(computer.GetActiveSlot(), 0);  // the active unit is gone: the first takes over
    EXPECT_EQ(computer.GetMpus()->GetAt(1)->GetAnimationTimerId(), CMpu::kAnimationTimerBase + 1);
}

TEST_F(MachineEditTest, DevicesAreConfiguredMovedAndRemoved) {
    ASSERT_TRUE(computer.AddDevice({.className = "CRam",
                                    .name = "ROM",
                                    .from = 0xF000,
                                    .to = 0xFFFF,
                                    .stride = 2,
                                    .irqCode = 3,
                                    .timeScale = 7,
                                    .writable = false}));
    ASSERT_TRUE(computer.AddDevice(
        {.className = "CKeyboard", .name = "Keys", .from = 0xE000, .to = 0xE0FF}));
    const SDeviceSettings rom = *computer.GetDeviceSettings(1);
    EXPECT_EQ(rom.stride, 2u);
    EXPECT_EQ(rom.irqCode, 3);
    EXPECT_EQ(rom.timeScale, 7u);
    EXPECT_EQ(rom.size, 0x1000u);
    EXPECT_FALSE(rom.writable);
    EXPECT_EQ(computer.GetDeviceSettings(2)->irqCode,
              DeviceClasses().Create("CKeyboard")->GetIrqCode());  // the class's own code

    // Editing memory gives it a new, empty buffer even at the same size.
    computer.Write(0x10, 0xAB, 1, true);
    ASSERT_TRUE(computer.EditDevice(0, *computer.GetDeviceSettings(0)));
    EXPECT_EQ(computer.Read(0x10, 1), 0u);

    for (const auto& [index, delta, order] :
         std::vector<std::tuple<int, int, std::vector<std::string>>>{
             {0, -1, {"RAM", "ROM", "Keys"}},
             {2, 1, {"RAM", "ROM", "Keys"}},
             {2, -1, {"RAM", "Keys", "ROM"}},
             {0, 1, {"Keys", "RAM", "ROM"}}}) {
        ASSERT_TRUE(computer.MoveDevice(index, delta));
        EXPECT_EQ(DeviceNames(), order);
    }
    ASSERT_TRUE(computer.RemoveDevice(1));
    EXPECT_EQ(DeviceNames(), (std::vector<std::string>{"Keys", "ROM"}));
}

TEST_F(MachineEditTest, EditsWhileAUnitRunsAreSafe) {
    // 0000 INC 0200; 0003 JMP 0000
    const uint8_t program[] = {0xEE, 0x00, 0x02, 0x4C, 0x00, 0x00};
    for (uint32_t i = 0; i < sizeof program; ++i)
        computer.Write(i, program[i], 1, true);
    ASSERT_TRUE(computer.AddUnit("C6502", "cpu", 0));
    computer.GetActiveProcessor()->SetRegisterValue(4, 0);
    ASSERT_EQ(computer.Run(true), ERunStart::kStarted);
    CMpu& cpu = *computer.GetActiveProcessor();
    // The unit is seen running before the edits and again after them.
    auto runsOn = [&cpu] {
        const uint64_t stores = cpu.GetStatistic(CMpu::kStores);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (cpu.GetStatistic(CMpu::kStores) == stores) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    };
    ASSERT_TRUE(runsOn());
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(
            computer.AddDevice({.className = "CRam", .name = "X", .from = 0x8000, .to = 0x8FFF}));
        ASSERT_TRUE(computer.MoveDevice(1, -1));
        ASSERT_TRUE(computer.EditDevice(
            0, {.className = "CRam", .name = "Y", .from = 0x9000, .to = 0x9FFF}));
        ASSERT_TRUE(computer.RemoveDevice(0));
        ASSERT_TRUE(computer.AddUnit("CVo16", "v", 0));
        ASSERT_TRUE(computer.RemoveUnit(1));
    }
    EXPECT_TRUE(cpu.IsRunning());
    EXPECT_TRUE(runsOn());
    computer.Stop();
}

}  // namespace
