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
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
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

TEST_F(WorkspaceFileTest, LongNameAndTheBlankSystemsTimerId) {
    computer.NewContents();
    std::vector<uint8_t> file = StoreWorkspace(computer);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 4), Bytes({0, 0x40, 0, 0}));
    AddRam(std::string(300, 'n').c_str(), 0, 0);
    file = StoreWorkspace(computer);
    const std::vector<uint8_t> prefix = Bytes({0xFF, 0x2C, 0x01, 'n', 'n'});
    EXPECT_NE(std::search(file.begin(), file.end(), prefix.begin(), prefix.end()), file.end());
}

std::vector<uint8_t> UnitSetHeader(int count) {
    std::vector<uint8_t> file = Bytes({0x00, 0x40, 0, 0, 0xFF, 0xFF, 1, 0, 5, 0});
    AppendText(file, "CMpus");
    Append(file, Bytes({count, 0, 0, 0}));
    return file;
}

// Malformed files: each must fail with a reason and leave an empty workspace.
TEST_F(WorkspaceFileTest, MalformedFilesFailCleanly) {
    struct {
        const char* what;
        int units;
        std::vector<uint8_t> after;  // what follows the unit count
        const char* says = "";       // part of the error text
    } const cases[] = {
        {"nine units", 9, {}, "at most 8"},
        {"unknown class", 1, Bytes({0xFF, 0xFF, 1, 0, 6, 0, 'C', 'N', 'o', 'S', 'u', 'c'})},
        {"device where a unit is expected", 1,
         Bytes(
             {0xFF, 0xFF, 1, 0, 4, 0, 'C', 'R', 'a', 'm', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"back reference", 1, Bytes({0x02, 0x00})},
        {"class index of nothing", 1, Bytes({0x05, 0x80})},
        {"null unit", 1, Bytes({0x00, 0x00})},
        {"device count beyond the file", 0,
         Bytes({0xFF, 0xFF, 1, 0, 8, 0, 'C', 'D', 'e', 'v', 'i', 'c', 'e', 's', 0xFF, 0xFF, 0xFF,
                0x7F})},
        {"empty", -1, {}},
    };
    for (const auto& c : cases) {
        computer.NewContents();
        AddRam("RAM", 0, 0xFF);
        std::vector<uint8_t> file = c.units < 0 ? std::vector<uint8_t>{} : UnitSetHeader(c.units);
        Append(file, c.after);
        std::string error;
        EXPECT_FALSE(LoadWorkspace(computer, file, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(computer.IsEmpty()) << c.what;
    }
}

TEST_F(WorkspaceFileTest, SaveIntoAMissingFolderFailsAndKeepsTheOldFile) {
    computer.NewContents();
    AddRam("RAM", 0, 0xF);
    const auto folder = std::filesystem::temp_directory_path() / "simq-save-test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "machine.sqw").string();
    ASSERT_TRUE(SaveWorkspaceFile(computer, path, nullptr));
    std::string error;
    EXPECT_FALSE(SaveWorkspaceFile(computer, (folder / "no" / "such" / "x").string(), &error));
    EXPECT_FALSE(error.empty());
    // A folder in the target's place cannot be replaced: the save fails, the folder stays.
    std::filesystem::create_directories(folder / "dir.sqw");
    EXPECT_FALSE(SaveWorkspaceFile(computer, (folder / "dir.sqw").string(), &error));
    CComputer reopened;
    ASSERT_TRUE(OpenWorkspaceFile(reopened, path, &error)) << error;
    EXPECT_EQ(reopened.GetDevices()->GetCount(), 1);
    EXPECT_FALSE(OpenWorkspaceFile(reopened, (folder / "missing").string(), &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

// Save, open, save gives the same file; every truncation and random flips in
// the structured head fail cleanly.
TEST(StandardSystemFileTest, RoundTripTruncationsAndFlips) {
    RegisterStandardClasses();
    for (ESystemType type : {ESystemType::Corvane, ESystemType::Vo16, ESystemType::Blank}) {
        SCOPED_TRACE(static_cast<int>(type));
        CComputer computer, target;
        computer.NewContents();
        ASSERT_TRUE(BuildStandardSystem(computer, type));
        std::mt19937 random(static_cast<unsigned>(type) + 7);
        for (int i = 0; i < 2000; ++i)  // records carry more than zeros
            computer.Write(random() & 0x3FFFF, random(), 1, true);
        const std::vector<uint8_t> file = StoreWorkspace(computer);
        std::string error;
        ASSERT_TRUE(LoadWorkspace(computer, file, &error)) << error;
        EXPECT_EQ(StoreWorkspace(computer), file);
        // Every offset in the records, then a sample through the memory images.
        for (size_t length = 0; length < file.size(); length += length < 4096 ? 1 : 997) {
            ASSERT_FALSE(LoadWorkspace(target, std::span(file.data(), length), &error)) << length;
            ASSERT_FALSE(error.empty());
            ASSERT_TRUE(target.IsEmpty());
        }
        const size_t structured = std::min<size_t>(file.size(), 4096);
        for (int round = 0; round < 3000; ++round) {
            std::vector<uint8_t> damaged = file;
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
                damaged[random() % structured] ^= uint8_t(1 + random() % 255);
            error.clear();
            if (!LoadWorkspace(target, damaged, &error)) {
                ASSERT_FALSE(error.empty());
                ASSERT_TRUE(target.IsEmpty());
            }
        }
    }
}

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
        uint32_t timerBase = 0;
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext()) {
            EXPECT_EQ(d->GetTimerBase(), timerBase += 0x10);
            if (auto* ram = dynamic_cast<CRam*>(d)) {
                EXPECT_TRUE(ram->IsWritable());
            }
        }
    }
}

}  // namespace
