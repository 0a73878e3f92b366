// Load and Dump on the workspace: files by extension, bytes through the bus
// with force, views and the modified flag, reports, atomic dump files.
#include "core/ProgramImage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
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
    WriteFile(dir / "far.bin", "\x5A");
    // Endless inputs and things that are not files are refused unread: a
    // FIFO would block the open, a device would never end.
    ASSERT_EQ(mkfifo(Path("fifo.s19").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero.bin");
    fs::create_symlink("/dev/urandom", dir / "random.hex");
    fs::create_directory(dir / "folder.s19");
    for (const std::string name :
         {"missing.s19", "missing.hex", "missing.bin", "prog.txt", "fifo.s19", "zero.bin",
          "random.hex", "folder.s19", "far.bin", "prog.s19"}) {
        if (name == "prog.s19") computer.DeleteContents();  // an empty workspace loads nothing
        host.hints.clear();
        host.modified = false;
        // far.bin would start past the last address a device holds.
        const SImageReport report =
            LoadProgramImage(computer, Path(name), name == "far.bin" ? 0x20000 : 0);
        EXPECT_FALSE(report.error.empty()) << name;
        EXPECT_EQ(DescribeLoad(report, Path(name)), report.error);
        EXPECT_TRUE(host.hints.empty()) << name;
        EXPECT_FALSE(host.modified) << name;
        EXPECT_EQ(computer.Read(0x12345, 1), name == "prog.s19" ? 0xFFFFFFFF : 0u);
    }
}

// An S-record line of the given type with its count and checksum.
std::string SRecord(int type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = type + 1;
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i)
        bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint32_t sum = 0;
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (const uint8_t b : bytes) {
        sum += b;
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    return line + hex + "\n";
}

// Loads stop at FFFFFFFF instead of wrapping round to 0, a binary image is
// read only up to the last address a device holds, and a load that stored
// nothing says so; each tells what it left out, on one line.
TEST_F(ProgramImageTest, LoadsStopAtTheEndOfMemoryAndSayWhatTheyLeftOut) {
    auto* top = new CRam;  // the last 256 bytes of the address space
    top->SetRange(0xFFFFFF00, 0xFFFFFFFF);
    top->SetSize(0x100);
    computer.GetDevices()->AddTail(top);
    struct SCase {
        const char* name;
        std::string contents;
        uint32_t loadAddress;
        uint64_t bytes;  // delivered to the bus
        std::vector<std::pair<uint32_t, uint8_t>> memory;
        std::string said;  // what DescribeLoad says, in part
    };
    const std::vector<uint8_t> six = {1, 2, 3, 4, 5, 6};
    std::string hexLine = "- 10 0004";
    for (int k = 0; k < 16; ++k)
        hexLine += " 7" + std::string(1, "0123456789ABCDEF"[k]);
    const SCase cases[] = {
        {"wrap.s19",
         SRecord(3, 0xFFFFFFFE, six),
         0,
         2,
         {{0xFFFFFFFF, 2}, {0, 0}, {1, 0}},
         "4 bytes past FFFFFFFF, the end of the address space, were not written"},
        {"wrap.hex",
         hexLine + "\r\n",
         0xFFFFFFF8,
         4,
         {{0xFFFFFFFF, 0x73}, {0, 0}},
         "12 bytes past FFFFFFFF"},
        {"top.bin",
         std::string(8, '\x11'),
         0xFFFFFFFC,
         4,
         {{0xFFFFFFFF, 0x11}, {0, 0}},
         "the last 4 bytes of top.bin lie past the last address a device holds"},
        {"empty.bin", "", 0, 0, {}, "0 bytes loaded: empty.bin holds no data"},
        {"empty.s19", "S0030000FC\n", 0, 0, {}, "0 bytes loaded"},
        {"hole.s19", SRecord(2, 0x300000, six), 0, 6, {}, "nothing of hole.s19 falls on a device"},
        {"fits.s19", SRecord(3, 0xFFFFFFFA, six), 0, 6, {{0xFFFFFFFF, 6}}, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / c.name, c.contents);
        const SImageReport report = LoadProgramImage(computer, Path(c.name), c.loadAddress);
        EXPECT_EQ(report.error, "");
        EXPECT_EQ(report.bytes, c.bytes);
        for (const auto& [address, value] : c.memory)
            EXPECT_EQ(At(address), value) << std::hex << address;
        const std::string said = DescribeLoad(report, Path(c.name));
        EXPECT_EQ(said.find('\n'), std::string::npos);
        if (c.said.empty()) {
            EXPECT_TRUE(report.Complete()) << said;
            EXPECT_EQ(said, "");
        } else {
            EXPECT_FALSE(report.Complete());
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
    }
}

// A 2 GiB sparse image is cut to memory before it is read, not written
// byte by byte into nothing.
TEST_F(ProgramImageTest, AHugeBinaryImageIsCutBeforeItIsRead) {
    { std::ofstream(dir / "huge.bin", std::ios::binary) << "\x42"; }
    fs::resize_file(dir / "huge.bin", uint64_t{2} << 30);
    const SImageReport report = LoadProgramImage(computer, Path("huge.bin"), 0x1FFFE);
    EXPECT_EQ(report.bytes, 2u);
    EXPECT_EQ(report.cut, (uint64_t{2} << 30) - 2);
    EXPECT_EQ(At(0x1FFFE), 0x42);
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
