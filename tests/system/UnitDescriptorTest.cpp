// Every core's registers and counters driven through the descriptors alone,
// and snapshots taken while the run thread steps the unit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"

namespace {

struct SCoreCase {
    const char* className;
    uint32_t memoryTo;
    std::string names;      // the register names, blank-separated
    std::string counters;   // the counter keys
    const char* otherName;  // another name the core accepts for a register
    const char* sameAs;
};

const SCoreCase kCores[] = {
    {"C6502", 0xFFFF, "A X Y SP PC STATUS", "fetches cycles loads stores", "status", "STATUS"},
    {"CVo16", 0xFFFF, "R0 R1 R2 R3 R4 R5 R6 R7 R8 R9 R10 R11 R12 R13 R14 R15 PC",
     "fetches cycles loads stores", "r15", "R15"},
    {"CCorvaneMPU", 0xFFFFFF,
     "R0 R1 R2 R3 R4 R5 R6 R7 R8 R9 R10 R11 R12 R13 R14 R15 R16 R17 R18 R19 R20 R21 R22 R23 "
     "R24 R25 R26 R27 R28 SP LR IPC PC SR CR",
     "fetches cycles loads stores cache_attempts cache_misses", "r30", "LR"},
};

class UnitDescriptorTest : public ::testing::TestWithParam<SCoreCase> {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        auto ram = std::make_unique<CRam>();
        ram->SetName("RAM");
        ram->SetRange(0, GetParam().memoryTo, 1);
        std::string error;
        ASSERT_TRUE(ram->SetSize(GetParam().memoryTo + 1, &error)) << error;
        computer.GetDevices()->AddTail(ram.release());
        std::unique_ptr<CMpu> created = UnitClasses().Create(GetParam().className);
        ASSERT_TRUE(created);
        unit = created.get();
        ASSERT_TRUE(computer.GetMpus()->Add(created.release()));
        unit->SetBus(computer.GetDevices());
        unit->Reset();
        computer.SetActiveProcessor(0);
    }

    CTestHost host;
    CComputer computer{&host};
    CMpu* unit = nullptr;
};

std::string Joined(auto infos, auto name) {
    std::string text;
    for (const auto& info : infos)
        text += (text.empty() ? "" : " ") + std::string(name(info));
    return text;
}

TEST_P(UnitDescriptorTest, RegistersWriteAndReadBackThroughDescriptors) {
    const auto registers = unit->GetRegisterInfo();
    EXPECT_EQ(Joined(registers, [](const SRegisterInfo& r) { return r.name; }), GetParam().names);
    for (size_t i = 0; i < registers.size(); ++i) {
        const SRegisterInfo& info = registers[i];
        const uint32_t widest = info.digits >= 8 ? 0xFFFFFFFF : (1u << (4 * info.digits)) - 1;
        std::string error;
        EXPECT_EQ(unit->SetRegisterValue(i, widest, &error), info.writable) << info.name;
        EXPECT_EQ(unit->GetRegisterValue(i), info.writable ? widest : 0u) << info.name;
        EXPECT_TRUE(unit->SetRegisterValue(i, 0, &error)) << info.name;
        EXPECT_FALSE(unit->SetRegisterValue(i, widest + 1, &error)) << info.name;
        EXPECT_NE(error.find("does not fit register"), std::string::npos) << error;
        EXPECT_EQ(unit->FindRegister(info.name), static_cast<int>(i));
    }
    EXPECT_EQ(unit->FindRegister(GetParam().otherName), unit->FindRegister(GetParam().sameAs));
    EXPECT_EQ(unit->FindRegister("nope"), -1);
    EXPECT_FALSE(unit->SetRegisterValue(registers.size(), 0));
}

TEST_P(UnitDescriptorTest, CountersCountStepsAndReset) {
    const auto counters = unit->GetCounterInfo();
    EXPECT_EQ(Joined(counters, [](const SCounterInfo& c) { return c.key; }), GetParam().counters);
    for (int i = 0; i < 5; ++i)
        computer.StepInto();
    const SUnitSnapshot snapshot = unit->TakeSnapshot();
    ASSERT_EQ(snapshot.counters.size(), counters.size());
    EXPECT_GE(snapshot.counters[CMpu::kFetches], 5u);
    EXPECT_EQ(unit->GetStatistic(CMpu::kFetches), snapshot.counters[CMpu::kFetches]);
    unit->ResetCounters();
    for (size_t i = 0; i < counters.size(); ++i)
        EXPECT_EQ(unit->GetCounterValue(i), 0u) << counters[i].key;
}

TEST_P(UnitDescriptorTest, SnapshotsWhileRunningAndNoWritesUntilStopped) {
    computer.SetRunLimits({.timeEnabled = false,
                           .seconds = 0,
                           .instructionsEnabled = true,
                           .instructions = 2'000'000'000});
    ASSERT_EQ(computer.Run(), ERunStart::kStarted);
    uint64_t fetches = 0;
    for (int i = 0; i < 2000 && fetches == 0; ++i) {
        const SUnitSnapshot snapshot = unit->TakeSnapshot();
        EXPECT_EQ(snapshot.registers.size(), unit->GetRegisterInfo().size());
        EXPECT_TRUE(snapshot.running || i > 0);
        fetches = snapshot.counters[CMpu::kFetches];
    }
    std::string error;
    EXPECT_FALSE(unit->SetRegisterValue(0, 0, &error));
    EXPECT_NE(error.find("running"), std::string::npos) << error;
    computer.Stop();
    EXPECT_FALSE(unit->TakeSnapshot().running);
    EXPECT_TRUE(unit->SetRegisterValue(0, 0, &error)) << error;
}

INSTANTIATE_TEST_SUITE_P(Cores, UnitDescriptorTest, ::testing::ValuesIn(kCores),
                         [](const auto& info) { return std::string(info.param.className); });

}  // namespace
