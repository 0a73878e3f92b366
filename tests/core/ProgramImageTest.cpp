// Load and Dump on the workspace: files by extension, bytes through the bus
// with force, views and the modified flag, reports, atomic dump files.
#include "core/ProgramImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace fs = std::filesystem;

namespace {

class CScaledUnit : public CMpu {
public:
    explicit CScaledUnit(uint32_t scale) { m_addressScale = scale; }
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

class ProgramImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        for (bool rom : {false, true}) {  // RAM 0-FFFF, ROM 10000-1FFFF
            auto* memory = new CRam;
            memory->SetRange(rom * 0x10000, rom * 0x10000 + 0xFFFF);
            memory->SetSize(0x10000);
            memory->SetWritable(!rom);
            computer.GetDevices()->AddTail(memory);
        }
        unit = new CScaledUnit(1);
        computer.GetMpus()->Add(unit);
        computer.SetActiveProcessor(0);
        std::random_device random;
        dir = fs::temp_directory_path() / ("simq-images-" + std::to_string(random()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    uint8_t At(uint32_t address) const { return static_cast<uint8_t>(computer.Read(address, 1)); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    CTestHost host;
    CComputer computer{&host};
    CScaledUnit* unit = nullptr;
    fs::path dir;
};

TEST(ImageFormat, ByTheEndingInAnyCase) {
    for (const auto& [name, format] : std::vector<std::pair<const char*, EImageFormat>>{
             {"prog.s19", EImageFormat::kSRecord},
             {"PROG.S19", EImageFormat::kSRecord},
             {"a.s28", EImageFormat::kSRecord},
             {"a.S37", EImageFormat::kSRecord},
             {"prog.SRec", EImageFormat::kSRecord},
             {"x.mot", EImageFormat::kSRecord},
             {"dir.bin/prog.Hex", EImageFormat::kHexDump},
             {"x.BIN", EImageFormat::kBinary},
             {"prog.rec", EImageFormat::kUnknown},
             {"prog.s19.txt", EImageFormat::kUnknown},
             {"srec", EImageFormat::kUnknown},
             {"bin", EImageFormat::kUnknown}})
        EXPECT_EQ(ImageFormatOf(name), format) << name;
}

TEST_F(ProgramImageTest, SRecordsLoadIntoRamAndRomAndStopTheUnits) {
    WriteFile(dir / "prog.s19",
              "S1130000000102030405060708090A0B0C0D0E0F74\n"
              "S206012345AABB2B\n"
              "S80401234592\n");
    // A listing whose program counter is off screen: Stop All's refresh moves it.
    struct CListing : CUnitView {
        int GetSlot() const override { return 0; }
        bool FollowProgramCounter() override { return ++follows, true; }
        int follows = 0;
    } listing;
    computer.AddUnitView(&listing);
    unit->SetRunning(true);
    host.hints.clear();
    const SImageReport report = LoadProgramImage(computer, Path("prog.s19"), 0x5000);
    computer.RemoveUnitView(&listing);
    EXPECT_EQ(listing.follows, 1);
    EXPECT_TRUE(report.Clean());
    EXPECT_EQ(report.bytes, 18u);
    EXPECT_EQ(report.entry, 0x12345u);
    EXPECT_EQ(computer.Read(0, 4), 0x03020100u);
    EXPECT_EQ(computer.Read(12, 4), 0x0F0E0D0Cu);
    EXPECT_EQ(computer.Read(0x12345, 2), 0xBBAAu);  // the ROM took it
    EXPECT_EQ(At(0x5000), 0);                       // the load address is not used
    EXPECT_FALSE(unit->IsRunning());
    EXPECT_EQ(host.hints, (std::vector<uint32_t>{kHintProcessorState | kHintCodeMoved,
                                                 kHintMemory | kHintProcessorState}));
    EXPECT_TRUE(host.modified);
    EXPECT_TRUE(DescribeLoad(report, Path("prog.s19")).empty());
}

TEST_F(ProgramImageTest, HexDumpLoadsAtItsOffset) {
    WriteFile(dir / "data.HEX", "- 03 0100 AA BB CC\r\n");
    EXPECT_TRUE(LoadProgramImage(computer, Path("data.HEX"), 0x2000).Clean());
    EXPECT_EQ(computer.Read(0x2100, 4), 0x00CCBBAAu);
    EXPECT_EQ(host.hints.back(), kHintMemory | kHintProcessorState);
}

TEST_F(ProgramImageTest, BinaryLoadsAtTheScaledAddressAcrossBlocks) {
    std::string bytes(0x2001, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 1);
    WriteFile(dir / "image.bin", bytes);
    computer.GetMpus()->Add(new CScaledUnit(2));
    computer.SetActiveProcessor(1);
    const SImageReport report = LoadProgramImage(computer, Path("image.bin"), 0x80);
    EXPECT_TRUE(report.Clean());
    EXPECT_EQ(report.bytes, 0x2001u);
    EXPECT_EQ(At(0x00FF), 0);
    EXPECT_EQ(At(0x0100), 1);
    EXPECT_EQ(At(0x20FF), static_cast<uint8_t>(0x1FFF * 7 + 1));
    EXPECT_EQ(At(0x2100), static_cast<uint8_t>(0x2000 * 7 + 1));  // the second block
    EXPECT_EQ(At(0x2101), 0);
    EXPECT_EQ(host.hints.back(), kHintMemory);
    EXPECT_TRUE(host.modified);
}

TEST_F(ProgramImageTest, RejectedLinesAreReportedAndGoodOnesLoad) {
    WriteFile(dir / "bad.s19",
              "S0030000FC\n"
              "S1130000000102030405060708090A0B0C0D0E0F75\n"  // checksum
              "S206012345AABB2B\n"
              "garbage\n"
              "S1130000\n");
    const SImageReport report = LoadProgramImage(computer, Path("bad.s19"), 0);
    EXPECT_EQ(report.rejectedCount, 3u);
    EXPECT_EQ(At(0x12345), 0xAA);
    EXPECT_EQ(At(0x0001), 0);
    EXPECT_EQ(DescribeLoad(report, Path("bad.s19")),
              "3 lines of bad.s19 could not be read; the first is line 2");
    EXPECT_TRUE(host.modified);

    WriteFile(dir / "one.hex", "- 01 0100 AA\r\nrubbish\r\n");
    EXPECT_EQ(DescribeLoad(LoadProgramImage(computer, Path("one.hex"), 0), Path("one.hex")),
              "1 line of one.hex could not be read: line 2");
}

TEST_F(ProgramImageTest, FilesThatCannotBeReadChangeNothing) {
    WriteFile(dir / "prog.txt", "S206012345AABB2B\n");
    WriteFile(dir / "prog.s19", "S206012345AABB2B\n");
    for (const std::string name :
         {"missing.s19", "missing.hex", "missing.bin", "prog.txt", "prog.s19"}) {
        if (name == "prog.s19") computer.DeleteContents();  // an empty workspace loads nothing
        host.hints.clear();
        host.modified = false;
        const SImageReport report = LoadProgramImage(computer, Path(name), 0);
        EXPECT_FALSE(report.error.empty()) << name;
        EXPECT_EQ(DescribeLoad(report, Path(name)), report.error);
        EXPECT_TRUE(host.hints.empty()) << name;
        EXPECT_FALSE(host.modified) << name;
        EXPECT_EQ(computer.Read(0x12345, 1), name == "prog.s19" ? 0xFFFFFFFF : 0u);
    }
}

TEST_F(ProgramImageTest, DumpedImagesLoadBackWithTheirEntry) {
    for (uint32_t a = 0xF00; a <= 0x1100; ++a)
        computer.Write(a, a * 13, 1, true);
    computer.Write(0x1FFF0, 0x5A, 1, true);
    for (const std::string name : {"out.s19", "out.hex", "out.MOT"}) {
        const SImageReport dump = DumpProgramImage(computer, Path(name), 0xF00, 0x1100, 0xF00);
        ASSERT_TRUE(dump.Clean()) << dump.error;
        EXPECT_EQ(dump.bytes, 0x201u);
    }
    for (uint32_t a = 0xF00; a <= 0x1100; ++a)
        computer.Write(a, 0, 1, true);

    SImageReport load;
    for (const std::string name : {"out.s19", "out.MOT"}) {
        load = LoadProgramImage(computer, Path(name), 0);
        EXPECT_TRUE(load.Clean()) << name;
        EXPECT_EQ(load.entry, 0xF00u);
        for (uint32_t a = 0xF00; a <= 0x1100; ++a)
            ASSERT_EQ(At(a), static_cast<uint8_t>(a * 13)) << name;
    }

    // A hex dump of another 64 KiB block loads back at that block's start.
    ASSERT_TRUE(DumpProgramImage(computer, Path("rom.hex"), 0x1FFF0, 0x1FFFF, 0).Clean());
    EXPECT_EQ(ReadFile(dir / "rom.hex").substr(0, 9), "- 10 FFF0");
    load = LoadProgramImage(computer, Path("rom.hex"), 0x10000);
    EXPECT_TRUE(load.Clean());
    EXPECT_EQ(At(0x1FFF0), 0x5A);
    EXPECT_EQ(Files().size(), 4u);  // no temporary files left behind
}

TEST_F(ProgramImageTest, RefusedDumpsWriteNothing) {
    struct {
        const char* file;
        uint32_t first, last, entry;
    } const cases[] = {
        {"out.bin", 0, 0xFF, 0},         {"out.txt", 0, 0xFF, 0},
        {"out.s19", 0x100, 0xFF, 0},     {"out.s19", 0, 0x1000000, 0},   // over 16 MiB
        {"out.hex", 0xFFF0, 0x1000F, 0}, {"out.s19", 0, 0xFF, 0x10000},  // S9 too narrow
        {"nowhere/out.s19", 0, 0xFF, 0}};
    for (const auto& c : cases) {
        EXPECT_FALSE(
            DumpProgramImage(computer, Path(c.file), c.first, c.last, c.entry).error.empty())
            << c.file << " " << c.first << " " << c.last;
        EXPECT_TRUE(Files().empty());
    }
}

TEST_F(ProgramImageTest, DumpReplacesAFileOnlyWhenComplete) {
    WriteFile(dir / "keep.s19", "old contents\n");
    ASSERT_TRUE(DumpProgramImage(computer, Path("keep.s19"), 0, 3, 0).Clean());
    // An S0 header names the file ("keep.s19").
    EXPECT_EQ(ReadFile(dir / "keep.s19"),
              "S00B00006B6565702E73313944\nS107000000000000F8\nS5030001FB\nS9030000FC\n");

    // A folder in the way cannot be replaced: an error, and nothing changes.
    fs::create_directories(dir / "taken.s19" / "inside");
    const SImageReport report = DumpProgramImage(computer, Path("taken.s19"), 0, 3, 0);
    EXPECT_FALSE(report.error.empty());
    EXPECT_TRUE(fs::is_directory(dir / "taken.s19" / "inside"));
    EXPECT_EQ(Files().size(), 2u);
}

}  // namespace
