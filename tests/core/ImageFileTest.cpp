#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Memory = std::map<uint32_t, uint8_t>;

struct SRead {
    Memory memory;
    SImageReport report;
    bool result = false;
    uint64_t calls = 0;
};

// Reads text as S-records, or as a hex dump at offset when one is given.
SRead ReadImage(const std::string& text, std::optional<uint32_t> hexOffset = {}) {
    std::istringstream in(text);
    SRead read;
    CSRecordFile records;
    CHexDumpFile dump;
    CImageFile& file = hexOffset ? static_cast<CImageFile&>(dump) : records;
    file.AttachRead(in, [&](uint32_t address, uint8_t value) {
        read.memory[address] = value;
        ++read.calls;
    });
    read.result = hexOffset ? dump.Read(*hexOffset) : records.Read();
    read.report = file.Report();
    return read;
}

Memory Bytes(uint32_t start, std::vector<uint8_t> bytes) {
    Memory memory;
    for (uint8_t value : bytes)
        memory[start++] = value;
    return memory;
}

std::string Repeat(const std::string& text, int times) {
    std::string result;
    while (times-- > 0)
        result += text;
    return result;
}

Memory Merge(Memory a, const Memory& b) {
    a.insert(b.begin(), b.end());
    return a;
}

const std::string kS1Count13 = "S1130000000102030405060708090A0B0C0D0E0F74";
const std::string kS2At012345 = "S206012345AABB2B";
// Count FF: 514 characters, the longest record there is.
const std::string kS3Longest = "S3FF00001000" + std::string(500, '1') + "56";
const Memory kS1Bytes = Bytes(0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
const Memory kS2Bytes = Bytes(0x12345, {0xAA, 0xBB});

TEST(ImageFile, ReadsGoodLinesAndReportsTheRest) {
    constexpr std::optional<uint32_t> kSRec;  // no hex-dump offset: S-records
    const std::string badS1 = "S1130000000102030405060708090A0B0C0D0E0F75";  // checksum
    struct {
        std::optional<uint32_t> hexOffset;
        std::string input;
        Memory expected;
        std::vector<uint32_t> rejected;
        std::optional<uint32_t> entry;
    } const cases[] = {
        // clang-format off
        {kSRec, "S3088000100001020361\n", Bytes(0x80001000, {1, 2, 3}), {}, {}},
        {kSRec, kS1Count13 + "\r\nS9030000FC\r\n", kS1Bytes, {}, 0u},
        {kSRec, kS2At012345, kS2Bytes, {}, {}},  // last line without line feed
        {kSRec, badS1 + "\n" + kS2At012345 + "\n", kS2Bytes, {1}, {}},
        {kSRec, "S11300000001\n" + kS2At012345 + "\n", kS2Bytes, {1}, {}},  // short line
        {kSRec, "S1140000000102030405060708090A0B0C0D0E0F74\n", {}, {1}, {}},  // count vs length
        {kSRec, "S203012345\n", {}, {1}, {}},  // count too small for the address
        {kSRec, "S1130000000102030405060708090A0B0C0D0E0G74\n", {}, {1}, {}},
        {kSRec, "S1" + std::string(600, '0') + "\n" + kS1Count13 + "\n", kS1Bytes, {1}, {}},
        {kSRec, kS3Longest + "\r\n", Bytes(0x1000, std::vector<uint8_t>(250, 0x11)), {}, {}},
        {kSRec, kS3Longest + "0\r\n", {}, {1}, {}},
        {kSRec, "hello\n\nSX0000\n" + kS2At012345 + "\n", kS2Bytes, {1, 2, 3}, {}},
        {kSRec, "S0030000FC\nS4whatever\nS6\n", {}, {}, {}},  // header and unused types
        {kSRec, kS1Count13 + "\n" + kS2At012345 + "\nS5030002FA\n", Merge(kS1Bytes, kS2Bytes), {}, {}},
        {kSRec, kS1Count13 + "\n" + kS2At012345 + "\nS5030001FB\n", Merge(kS1Bytes, kS2Bytes), {3}, {}},
        {kSRec, kS2At012345 + "\nS80401234592\n", kS2Bytes, {}, 0x12345u},
        {kSRec, kS2At012345 + "\nS9030000FC\n", kS2Bytes, {2}, {}},  // end record of the wrong kind
        {kSRec, kS1Count13 + "\nS9031000ED\n", kS1Bytes, {2}, {}},  // end record checksum
        {kSRec, "S70500000000FA\n", {}, {}, 0u},
        {kSRec, "", {}, {}, {}},
        {0x2000, "- 03 0100 AA BB CC\r\n", Bytes(0x2100, {0xAA, 0xBB, 0xCC}), {}, {}},
        {0, "- 03 0100 AA BB CC\n", Bytes(0x100, {0xAA, 0xBB, 0xCC}), {}, {}},
        // Nothing wraps round to 0: bytes past FFFFFFFF are left out.
        {0xFFFFFFF0, "- 02 0010 01 02\r\n", {}, {}, {}},
        {0xFFFFFFF0, "- 02 000F 01 02\r\n", Bytes(0xFFFFFFFF, {1}), {}, {}},
        {kSRec, "S30BFFFFFFFE010203040506E4\n", Bytes(0xFFFFFFFE, {1, 2}), {}, {}},
        {0, "- 03 0100 AA BB\r\n- 01 0200 11\r\n", Bytes(0x200, {0x11}), {1}, {}},
        {0, "- 02 0100 AA ZZ\r\n", {}, {1}, {}},
        {0, "- 01 01G0 AA\r\n", {}, {1}, {}},
        {0, "x 01 0100 AA\r\n", {}, {1}, {}},
        {0, "- 14 0100" + Repeat(" 5A", 20) + "\r\n", Bytes(0x100, std::vector<uint8_t>(20, 0x5A)), {}, {}},
        {0, "- 1A 0100" + std::string(26 * 3, '0') + "\r\n", {}, {1}, {}},
        {0, "\r\n- 01 0100 AA\r\n", Bytes(0x100, {0xAA}), {1}, {}},
        {0, "- 00 0100\r\n", {}, {}, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 60));
        const SRead read = ReadImage(c.input, c.hexOffset);
        EXPECT_EQ(read.memory, c.expected);
        EXPECT_EQ(read.report.rejectedLines, c.rejected);
        EXPECT_EQ(read.report.rejectedCount, c.rejected.size());
        EXPECT_EQ(read.result, c.rejected.empty());
        EXPECT_EQ(read.report.bytes, read.calls);
        if (!c.hexOffset) {
            EXPECT_EQ(read.report.entry, c.entry);
        }
    }
}

TEST(ImageFile, ReadingWithoutAByteSinkFails) {
    std::istringstream in(kS1Count13);
    CSRecordFile file;
    EXPECT_FALSE(file.AttachRead(in, nullptr));
    EXPECT_FALSE(file.Error().empty());
    EXPECT_FALSE(file.Read());
}

TEST(ImageFile, GarbageNeverDeliversMoreThanItsGoodLines) {
    std::mt19937 random(12345);
    // Mostly characters that records are made of, so some lines get far.
    const std::string alphabet = "S0123456789ABCDEF- \r\n\n\x00\xff";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 300, '\0');
        for (char& c : text)
            c = round % 3 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        for (const SRead& read :
             {ReadImage(text), ReadImage(text, static_cast<uint32_t>(random()))}) {
            ASSERT_EQ(read.report.bytes, read.calls);
            ASSERT_LE(read.report.rejectedCount, read.report.lines);
            ASSERT_LE(read.report.rejectedLines.size(), SImageReport::kListedLines);
            for (size_t i = 1; i < read.report.rejectedLines.size(); ++i)
                ASSERT_LT(read.report.rejectedLines[i - 1], read.report.rejectedLines[i]);
        }
    }
    const SRead junk = ReadImage(Repeat("junk\n", 1000));  // counted, but few listed
    EXPECT_EQ(junk.report.rejectedCount, 1000u);
    EXPECT_EQ(junk.report.rejectedLines.size(), SImageReport::kListedLines);
}

// ---- writers ----

std::string WriteSRecords(uint32_t start, const std::vector<uint8_t>& bytes, uint32_t entry) {
    std::ostringstream out;
    CSRecordFile file;
    file.AttachWrite(out);
    for (uint8_t value : bytes)
        file.WriteByte(start++, value);
    EXPECT_TRUE(file.Close(entry));
    return out.str();
}

std::vector<uint8_t> Counting(int n, int from = 0) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < n; ++i)
        bytes.push_back(static_cast<uint8_t>(from + i));
    return bytes;
}

TEST(SRecordWriter, FortyBytesMakeAFullRecordAShortOneACountAndAnEnd) {
    EXPECT_EQ(WriteSRecords(0x1000, Counting(40), 0x1000),
              "S1241000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20BB\n"
              "S10A102121222324252627C8\n"
              "S5030002FA\n"
              "S9031000EC\n");
}

TEST(SRecordWriter, ChoosesRecordsByAddress) {
    struct {
        uint32_t start;
        int count;
        std::vector<std::string> recordStarts;  // the first characters of every line
    } const cases[] = {
        {0, 0, {"S705"}},
        {0xFFDE, 33, {"S124", "S503", "S903"}},
        {0x10000, 33, {"S224", "S205", "S503", "S804"}},    // S2 holds 32
        {0x1000000, 32, {"S324", "S306", "S503", "S705"}},  // S3 holds 31
        // A record never spans two address widths.
        {0xFFFE, 4, {"S105", "S206", "S503", "S804"}},
        {0xFFFFFF, 2, {"S205", "S306", "S503", "S705"}},
        {0xFFFFFFFF, 2, {"S306", "S104", "S503", "S903"}},  // wrapping at 32 bits
    };
    for (const auto& c : cases) {
        std::istringstream text(WriteSRecords(c.start, Counting(c.count), 0));
        std::vector<std::string> starts;
        for (std::string line; std::getline(text, line);)
            starts.push_back(line.substr(0, 4));
        EXPECT_EQ(starts, c.recordStarts) << std::hex << c.start;
    }
}

TEST(SRecordWriter, StartsARecordWhereTheAddressesJump) {
    std::ostringstream out;
    CSRecordFile file;
    file.AttachWrite(out);
    file.WriteByte(0x1000, 0x11);
    file.WriteByte(0x1001, 0x22);
    file.WriteByte(0x2000, 0x33);
    file.Close(0);
    const SRead read = ReadImage(out.str());
    EXPECT_TRUE(read.result);
    EXPECT_EQ(read.memory, Merge(Bytes(0x1000, {0x11, 0x22}), Bytes(0x2000, {0x33})));
}

TEST(HexDumpWriter, SixteenBytesALine) {
    std::ostringstream out;
    CHexDumpFile file;
    file.AttachWrite(out);
    const std::vector<uint8_t> bytes = Counting(20, 0xF0);
    for (size_t i = 0; i < bytes.size(); ++i)
        file.WriteByte(0x0100 + static_cast<uint32_t>(i), bytes[i]);
    file.WriteByte(0x0200, 0xAB);  // a jump starts a line
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(out.str(),
              "- 10 0100 F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n"
              "- 04 0110 00 01 02 03\r\n"
              "- 01 0200 AB\r\n");
}

// Random ranges over the whole address space come back byte for byte.
TEST(ImageFile, RoundTripsRandomRanges) {
    std::mt19937 random(2024);
    const uint32_t spaces[][2] = {{0, 0xFFFF}, {0x10000, 0xFFFFFF}, {0x1000000, 0xFFFFFFFF}};
    for (int round = 0; round < 3000; ++round) {
        const auto& space = spaces[round % 3];
        uint32_t start =
            space[0] + static_cast<uint32_t>(random() % (uint64_t{space[1]} - space[0] + 1));
        if (round % 50 == 0) start = space[1] - static_cast<uint32_t>(random() % 40);
        std::vector<uint8_t> bytes(1 + random() % 300);
        for (uint8_t& value : bytes)
            value = static_cast<uint8_t>(random());
        const Memory expected = Bytes(start, bytes);

        const uint32_t lastAddress = start + static_cast<uint32_t>(bytes.size() - 1);
        const int endType = CSRecordFile::EndRecordTypeFor(lastAddress);
        const uint32_t entry = static_cast<uint32_t>(random()) & (endType == 9   ? 0xFFFF
                                                                  : endType == 8 ? 0xFFFFFF
                                                                                 : 0xFFFFFFFF);
        const SRead records = ReadImage(WriteSRecords(start, bytes, entry));
        ASSERT_TRUE(records.result) << std::hex << start << " " << bytes.size();
        ASSERT_EQ(records.memory, expected) << std::hex << start;
        ASSERT_EQ(records.report.entry, entry);

        // A hex dump holds 16-bit addresses: one 64 KiB block, loaded at its start.
        const size_t inBlock = std::min<size_t>(bytes.size(), 0x10000 - (start & 0xFFFF));
        bytes.resize(inBlock);
        std::ostringstream out;
        CHexDumpFile file;
        file.AttachWrite(out);
        for (size_t i = 0; i < bytes.size(); ++i)
            file.WriteByte(start + static_cast<uint32_t>(i), bytes[i]);
        ASSERT_TRUE(file.Close());
        const SRead dump = ReadImage(out.str(), start & 0xFFFF0000);
        ASSERT_TRUE(dump.result);
        ASSERT_EQ(dump.memory, Bytes(start, bytes)) << std::hex << start;
    }
}

}  // namespace
