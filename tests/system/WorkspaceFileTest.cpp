// The workspace file: byte layout of the standard systems, round trips of
// random machines, and clean failure on every malformed file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/WorkspaceFile.h"
#include "core/system/StandardClasses.h"
#include "core/system/StandardSystems.h"
#include "support/TestHost.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

void AppendText(std::vector<uint8_t>& to, const std::string& text) {
    to.insert(to.end(), text.begin(), text.end());
}

class WorkspaceFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        ResetFirstWorkspaceRule();
    }

    CRam* AddRam(const char* name, uint32_t from, uint32_t to) {
        auto* ram = new CRam;
        ram->SetName(name);
        ram->SetRange(from, to);
        ram->SetSize(to - from + 1);
        computer.GetDevices()->AddTail(ram);
        return ram;
    }

    CTestHost host;
    CComputer computer{&host};
};

TEST_F(WorkspaceFileTest, Vo16SystemSavedAtOnceHasTheDocumentedHead) {
    ASSERT_TRUE(NewWorkspace(computer));
    const std::vector<uint8_t> file = StoreWorkspace(computer);

    std::vector<uint8_t> head = Bytes({0x00, 0x40, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00});
    AppendText(head, "CMpus");
    Append(head, Bytes({0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00}));
    AppendText(head, "CVo16");
    ASSERT_GE(file.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), file.begin()));

    // After the unit's record: the device list and its memories.
    std::vector<uint8_t> devices = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00});
    AppendText(devices, "CDevices");
    Append(devices, Bytes({0x03, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00}));
    AppendText(devices, "CRam");
    Append(devices, Bytes({0x00, 0x00, 0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x0C}));
    AppendText(devices, "External RAM");
    Append(devices, Bytes({0x00, 0x80, 0x00, 0x00}));
    auto at = std::search(file.begin(), file.end(), devices.begin(), devices.end());
    ASSERT_NE(at, file.end());
    const size_t unitRecord = static_cast<size_t>(at - file.begin()) - head.size();
    EXPECT_EQ(unitRecord, 9u * 4) << "the Vo16 record is nine 4-byte values";

    size_t pos = static_cast<size_t>(at - file.begin()) + devices.size() + 0x8000;
    std::vector<uint8_t> second =
        Bytes({0x07, 0x80, 0x00, 0xFF, 0x00, 0x00, 0x1F, 0xFF, 0x00, 0x00, 0x0C});
    AppendText(second, "Internal RAM");
    Append(second, Bytes({0x20, 0x00, 0x00, 0x00}));
    ASSERT_GE(file.size(), pos + second.size());
    EXPECT_TRUE(std::equal(second.begin(), second.end(), file.begin() + static_cast<long>(pos)));
    pos += second.size() + 0x20;
    std::vector<uint8_t> vga = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00});
    AppendText(vga, "CVo16VGA");
    EXPECT_TRUE(std::equal(vga.begin(), vga.end(), file.begin() + static_cast<long>(pos)));
}

TEST_F(WorkspaceFileTest, LongNameUsesTheSixteenBitLength) {
    computer.NewContents();
    AddRam(std::string(300, 'n').c_str(), 0, 0);
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    const std::vector<uint8_t> prefix = Bytes({0xFF, 0x2C, 0x01, 'n', 'n'});
    EXPECT_NE(std::search(file.begin(), file.end(), prefix.begin(), prefix.end()), file.end());
}

TEST_F(WorkspaceFileTest, BlankSystemStoresTheFirstSlotsTimerId) {
    computer.NewContents();
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 4), Bytes({0, 0x40, 0, 0}));
    ASSERT_TRUE(LoadWorkspace(computer, file, nullptr));
    EXPECT_EQ(computer.GetMpus()->GetCount(), 0);
    EXPECT_TRUE(computer.GetMpus()->IsNullUnit(computer.GetActiveProcessor()));
}

TEST_F(WorkspaceFileTest, OpenedMemoriesAreWritableAndTimerBasesFresh) {
    computer.NewContents();
    CRam* rom = AddRam("ROM", 0x100, 0x1FF);
    rom->Write(0x100, 0xAB, 1, true);
    rom->SetWritable(false);
    computer.GetDevices()->MoveUp(AddRam("RAM", 0, 0xFF));
    ASSERT_TRUE(LoadWorkspace(computer, StoreWorkspace(computer), nullptr));
    CDevices* devices = computer.GetDevices();
    ASSERT_EQ(devices->GetCount(), 2);
    EXPECT_EQ(devices->GetAt(0)->GetName(), "RAM");
    EXPECT_EQ(devices->GetAt(1)->GetTimerBase(), 0x20u);
    auto* loaded = dynamic_cast<CRam*>(devices->GetAt(1));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->IsWritable());
    EXPECT_EQ(computer.Read(0x100, 1), 0xABu);
    computer.Write(0x100, 0xCD, 1, false);
    EXPECT_EQ(computer.Read(0x100, 1), 0xCDu);
}

// Malformed files: each must fail with a reason and leave an empty workspace.
struct SBadFile {
    const char* what;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> UnitSetHeader(int count) {
    std::vector<uint8_t> file = Bytes({0x00, 0x40, 0, 0, 0xFF, 0xFF, 1, 0, 5, 0});
    AppendText(file, "CMpus");
    Append(file, Bytes({count, 0, 0, 0}));
    return file;
}

std::vector<SBadFile> BadFiles() {
    std::vector<SBadFile> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"nine units", UnitSetHeader(9)});
    std::vector<uint8_t> unknown = UnitSetHeader(1);
    Append(unknown, Bytes({0xFF, 0xFF, 1, 0, 6, 0}));
    AppendText(unknown, "CNoSuc");
    cases.push_back({"unknown class", unknown});
    std::vector<uint8_t> deviceAsUnit = UnitSetHeader(1);
    Append(deviceAsUnit, Bytes({0xFF, 0xFF, 1, 0, 4, 0}));
    AppendText(deviceAsUnit, "CRam");
    Append(deviceAsUnit, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    cases.push_back({"device where a unit is expected", deviceAsUnit});
    std::vector<uint8_t> backReference = UnitSetHeader(1);
    Append(backReference, Bytes({0x02, 0x00}));
    cases.push_back({"back reference", backReference});
    std::vector<uint8_t> badClassIndex = UnitSetHeader(1);
    Append(badClassIndex, Bytes({0x05, 0x80}));
    cases.push_back({"class index of nothing", badClassIndex});
    std::vector<uint8_t> nullUnit = UnitSetHeader(1);
    Append(nullUnit, Bytes({0x00, 0x00}));
    cases.push_back({"null unit", nullUnit});
    std::vector<uint8_t> hugeDevices = UnitSetHeader(0);
    Append(hugeDevices, Bytes({0xFF, 0xFF, 1, 0, 8, 0}));
    AppendText(hugeDevices, "CDevices");
    Append(hugeDevices, Bytes({0xFF, 0xFF, 0xFF, 0x7F}));
    cases.push_back({"device count beyond the file", hugeDevices});
    return cases;
}

TEST_F(WorkspaceFileTest, MalformedFilesFailCleanly) {
    for (const SBadFile& bad : BadFiles()) {
        computer.NewContents();
        AddRam("RAM", 0, 0xFF);
        std::string error;
        EXPECT_FALSE(LoadWorkspace(computer, bad.bytes, &error)) << bad.what;
        EXPECT_FALSE(error.empty()) << bad.what;
        EXPECT_TRUE(computer.IsEmpty()) << bad.what;
    }
}

TEST_F(WorkspaceFileTest, SaveIntoAMissingFolderFailsAndKeepsTheOldFile) {
    computer.NewContents();
    AddRam("RAM", 0, 0xF);
    const auto folder = std::filesystem::temp_directory_path() / "simq-save-test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "machine.sqw").string();
    ASSERT_TRUE(SaveWorkspaceFile(computer, path, nullptr));
    const auto size = std::filesystem::file_size(path);

    std::string error;
    EXPECT_FALSE(SaveWorkspaceFile(computer, (folder / "no" / "such" / "x").string(), &error));
    EXPECT_FALSE(error.empty());
    AddRam("More", 0x10, 0x1F);
    // A folder in the target's place cannot be replaced: the save fails, the folder stays.
    std::filesystem::create_directories(folder / "dir.sqw");
    EXPECT_FALSE(SaveWorkspaceFile(computer, (folder / "dir.sqw").string(), &error));
    EXPECT_EQ(std::filesystem::file_size(path), size);

    CComputer reopened;
    ASSERT_TRUE(OpenWorkspaceFile(reopened, path, &error)) << error;
    EXPECT_EQ(reopened.GetDevices()->GetCount(), 1);
    EXPECT_FALSE(OpenWorkspaceFile(reopened, (folder / "missing").string(), &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

class StandardSystemFileTest : public ::testing::TestWithParam<ESystemType> {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        std::string error;
        ASSERT_TRUE(BuildStandardSystem(computer, GetParam(), &error)) << error;
    }
    CTestHost host;
    CComputer computer{&host};
};

TEST_P(StandardSystemFileTest, SaveOpenSaveGivesTheSameFile) {
    // Scribble over memory so the records carry more than zeros.
    std::mt19937 random(static_cast<unsigned>(GetParam()) + 7);
    for (int i = 0; i < 2000; ++i)
        computer.Write(random() & 0x3FFFF, random(), 1, true);
    const std::vector<uint8_t> first = StoreWorkspace(computer);
    std::string error;
    ASSERT_TRUE(LoadWorkspace(computer, first, &error)) << error;
    EXPECT_EQ(StoreWorkspace(computer), first);
}

TEST_P(StandardSystemFileTest, EveryTruncationFailsCleanly) {
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    CComputer target;
    // Every offset in the records, then a sample through the memory images.
    for (size_t length = 0; length < file.size(); length += length < 4096 ? 1 : 997) {
        std::string error;
        ASSERT_FALSE(LoadWorkspace(target, std::span(file.data(), length), &error)) << length;
        ASSERT_FALSE(error.empty());
        ASSERT_TRUE(target.IsEmpty());
    }
}

TEST_P(StandardSystemFileTest, FlippedBytesNeverCrash) {
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    std::mt19937 random(42);
    CComputer target;
    // Flip bytes in the part without the memory images, where structure lives.
    const size_t structured = std::min<size_t>(file.size(), 4096);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = file;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            damaged[random() % structured] ^= uint8_t(1 + random() % 255);
        std::string error;
        if (!LoadWorkspace(target, damaged, &error)) {
            ASSERT_FALSE(error.empty());
            ASSERT_TRUE(target.IsEmpty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Systems, StandardSystemFileTest,
                         ::testing::Values(ESystemType::Corvane, ESystemType::Vo16,
                                           ESystemType::Blank));

}  // namespace

namespace {

// Random machines: several units of every class, moved and edited devices,
// registers scrambled by running the units over random memory.
TEST(RandomWorkspaceFileTest, RoundTripsAndComesBackAsStored) {
    RegisterStandardClasses();
    std::mt19937 random(2026);
    for (int round = 0; round < 12; ++round) {
        CComputer computer;
        computer.NewContents();
        ASSERT_TRUE(
            BuildStandardSystem(computer, round % 2 ? ESystemType::Corvane : ESystemType::Vo16));
        CMpus* units = computer.GetMpus();
        const char* classes[] = {"C6502", "CVo16", "CCorvaneMPU"};
        const int extra = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < extra; ++i) {
            CMpu* unit = UnitClasses().Create(classes[random() % 3]).release();
            ASSERT_NE(unit, nullptr);
            unit->SetName("Unit " + std::to_string(i));
            unit->SetIrqMask(random() & 0x7FFF);
            unit->SetBus(computer.GetDevices());
            units->Add(unit);
            unit->Reset();
            unit->Breakpoints().Add(random() & 0xFFFF);
        }
        CDevices* devices = computer.GetDevices();
        devices->MoveDown(devices->GetAt(0));
        devices->GetAt(1)->SetName("Renamed " + std::to_string(round));
        for (int i = 0; i < 4000; ++i)
            computer.Write(random() & 0xFFFF, random(), 1, true);
        for (int i = 0; i < units->GetCount(); ++i) {
            for (int step = 0; step < 300; ++step)
                units->GetAt(i)->Step();
        }
        computer.SetActiveProcessor(random() % units->GetCount());
        const int activeSlot = computer.GetActiveSlot();

        const std::vector<uint8_t> first = StoreWorkspace(computer);
        std::string error;
        ASSERT_TRUE(LoadWorkspace(computer, first, &error)) << error;
        ASSERT_EQ(StoreWorkspace(computer), first) << "round " << round;
        EXPECT_EQ(computer.GetActiveSlot(), activeSlot);
        for (int i = 0; i < computer.GetMpus()->GetCount(); ++i) {
            CMpu* unit = computer.GetMpus()->GetAt(i);
            EXPECT_FALSE(unit->Breakpoints().HasBreakpoints());
            EXPECT_FALSE(unit->IsRunning());
            EXPECT_EQ(unit->GetAnimationTimerId(), 0x4000u + i);
            EXPECT_EQ(unit->GetBus(), computer.GetDevices());
            if (std::string(unit->GetClassName()) != "CCorvaneMPU") {
                EXPECT_EQ(unit->GetName(), "");
                EXPECT_EQ(unit->GetIrqMask(), 0u);
            }
        }
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext()) {
            if (auto* ram = dynamic_cast<CRam*>(d)) EXPECT_TRUE(ram->IsWritable());
        }
    }
}

}  // namespace
