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
#include "support/TestHost.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"

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

// Where the records end and the extension block begins.
size_t RecordsEnd(const std::vector<uint8_t>& file) {
    const std::string magic = "SQXB";
    return static_cast<size_t>(std::find_end(file.begin(), file.end(), magic.begin(), magic.end()) -
                               file.begin());
}

// A block that is missing, cut, damaged, of an unknown layout, or sound but
// malformed leaves the workspace as the records give it, never half applied.
TEST_F(WorkspaceFileTest, ABadExtensionBlockLeavesThePlainWorkspace) {
    computer.NewContents();
    ASSERT_TRUE(BuildStandardSystem(computer, ESystemType::Corvane));
    computer.GetMpus()->GetAt(0)->SetName("Renamed");
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    const size_t end = RecordsEnd(file);
    ASSERT_LT(end, file.size());
    std::string error;
    CComputer plain;
    ASSERT_TRUE(LoadWorkspace(plain, std::span(file.data(), end), &error)) << error;
    EXPECT_EQ(plain.GetDevices()->FindByName("VIC")->GetStride(), 1u) << "a file of old";
    const std::vector<uint8_t> plainFile = StoreWorkspace(plain);

    // The last device entry (the VIC's) with an IRQ code no device has, and a sound CRC.
    std::vector<uint8_t> badEntry = file;
    const std::string vic =
        "\x04"
        "CVic";
    const size_t entry = static_cast<size_t>(
        std::find_end(badEntry.begin(), badEntry.end(), vic.begin(), vic.end()) - badEntry.begin());
    badEntry[entry + vic.size() + 8] = 99;
    const size_t body = end + 12;
    const uint32_t crc = Crc32(std::span(badEntry.data() + body, badEntry.size() - 4 - body));
    for (int i = 0; i < 4; ++i)
        badEntry[badEntry.size() - 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> 8 * i);

    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {{"bad entry", badEntry}};
    for (size_t length = end; length < file.size(); ++length)
        cases.emplace_back("cut at " + std::to_string(length),
                           std::vector(file.begin(), file.begin() + static_cast<long>(length)));
    for (size_t at = end; at < file.size(); ++at) {
        if (at == end + 4 || at == end + 5) continue;  // the revision: any is read
        cases.emplace_back("flip at " + std::to_string(at), file);
        cases.back().second[at] ^= 0x41;
    }
    for (const auto& [what, damaged] : cases) {
        ASSERT_TRUE(LoadWorkspace(computer, damaged, &error)) << what << ": " << error;
        ASSERT_EQ(StoreWorkspace(computer), plainFile) << what;
    }
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
        {"empty", -1, {}, "it is not a workspace file"},
        // Not a workspace at all: said so, not a detail of the decoder.
        {"random bytes", -1,
         Bytes({0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0x7F}),
         "it is not a workspace file"},
        // A name read from the file is shown escaped.
        {"unknown class with control characters", 1,
         Bytes({0xFF, 0xFF, 1, 0, 5, 0, 'C', 0x1B, '[', '\n', 'x'}), "\"C\\x1B[\\x0Ax\""},
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
        for (size_t length = 0; length < RecordsEnd(file); length += length < 4096 ? 1 : 997) {
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

// What no record holds, as text: unit names, masks and breakpoints; device
// strides, IRQ codes, time scales and writability; the clock's RAM byte 14.
std::string Settings(CComputer& computer) {
    std::string text;
    for (int i = 0; i < computer.GetMpus()->GetCount(); ++i) {
        const CMpu* unit = computer.GetMpus()->GetAt(i);
        text += unit->GetName() + " " + std::to_string(unit->GetIrqMask()) + " " +
                std::to_string(unit->Breakpoints().GetCount());
        // The run thread's test must find every breakpoint of a loaded set.
        for (int b = 0; b < unit->Breakpoints().GetCount(); ++b)
            text += unit->IsBreakpoint(unit->Breakpoints().GetAt(b)) ? " " : " missed";
        text += ";";
    }
    for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext()) {
        text += d->GetName() + " " + std::to_string(d->GetStride()) + " " +
                std::to_string(d->GetIrqCode()) + " " + std::to_string(d->GetTimeScale());
        if (auto* ram = dynamic_cast<CRam*>(d)) text += ram->IsWritable() ? " rw" : " ro";
        if (d->GetClassName() == std::string("C6818")) {
            d->Write(0, 14, 1, false);
            text += " " + std::to_string(d->Read(1, 1));
        }
        text += ";";
    }
    return text;
}

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
        // Settings no record holds.
        auto* clock = DeviceClasses().Create("C6818").release();
        clock->SetRange(0x9000, 0x9001, 1 + random() % 4);
        devices->AddTail(clock);
        clock->Write(0, 14, 1, false);
        clock->Write(1, random() & 0xFF, 1, false);
        for (CDevice* d = devices->GetHead(); d; d = d->GetNext()) {
            d->SetStride(1 + random() % 4);
            d->SetIrqCode(static_cast<int>(random() % 16) - 1);
            d->SetTimeScale(random() % 10);
            if (auto* ram = dynamic_cast<CRam*>(d)) ram->SetWritable(random() & 1);
        }
        for (int i = 0; i < 4000; ++i)
            computer.Write(random() & 0xFFFF, random(), 1, true);
        for (int i = 0; i < units->GetCount(); ++i) {
            for (int step = 0; step < 300; ++step)
                units->GetAt(i)->Step();
        }
        computer.SetActiveProcessor(random() % units->GetCount());
        const int activeSlot = computer.GetActiveSlot();

        const std::string settings = Settings(computer);
        const std::vector<uint8_t> first = StoreWorkspace(computer);
        std::string error;
        ASSERT_TRUE(LoadWorkspace(computer, first, &error)) << error;
        ASSERT_EQ(StoreWorkspace(computer), first) << "round " << round;
        EXPECT_EQ(computer.GetActiveSlot(), activeSlot);
        for (int i = 0; i < computer.GetMpus()->GetCount(); ++i) {
            CMpu* unit = computer.GetMpus()->GetAt(i);
            EXPECT_FALSE(unit->IsRunning());
            EXPECT_EQ(unit->GetAnimationTimerId(), 0x4000u + i);
            EXPECT_EQ(unit->GetBus(), computer.GetDevices());
        }
        uint32_t timerBase = 0;
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext())
            EXPECT_EQ(d->GetTimerBase(), timerBase += 0x10);
        EXPECT_EQ(Settings(computer), settings) << "round " << round;
    }
}

}  // namespace
