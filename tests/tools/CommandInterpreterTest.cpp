// The monitor: memory entry, clear, dump and fill, as typed lines.
#include "tools/CommandInterpreter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace {

using EAction = SCommandOutcome::EAction;

class CommandInterpreterTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        computer.GetDevices()->AddTail(ram);
        auto* rom = new CRam;
        rom->SetRange(0xE000, 0xEFFF);  // behind the RAM for reads, takes forced writes
        rom->SetSize(0x1000);
        rom->SetWritable(false);
        computer.GetDevices()->AddTail(rom);
        this->rom = rom;
    }
    uint8_t At(uint32_t address) const { return static_cast<uint8_t>(computer.Read(address, 1)); }
    // Every non-zero byte of the RAM.
    std::map<uint32_t, uint8_t> Written() const {
        std::map<uint32_t, uint8_t> bytes;
        for (uint32_t a = 0; a < 0x10000; ++a) {
            if (At(a)) bytes[a] = At(a);
        }
        return bytes;
    }

    CTestHost host;
    CComputer computer{&host};
    CCommandInterpreter monitor{computer};
    CRam* rom = nullptr;
};

struct SLineCase {
    const char* name;
    const char* line;
    EAction action;
    std::map<uint32_t, uint8_t> written;
    bool notifies;
};

class MonitorLineTest : public CommandInterpreterTest,
                        public ::testing::WithParamInterface<SLineCase> {};

TEST_P(MonitorLineTest, DoesWhatTheLineSays) {
    const SLineCase& c = GetParam();
    const SCommandOutcome outcome = monitor.Execute(c.line);
    EXPECT_EQ(outcome.action, c.action);
    EXPECT_EQ(Written(), c.written);
    EXPECT_EQ(host.hints,
              c.notifies ? std::vector<uint32_t>{kHintMemory} : std::vector<uint32_t>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorLineTest,
    ::testing::Values(
        SLineCase{"AddressOnly", ":1000", EAction::kNone, {}, true},
        SLineCase{"BlankAfterColon", ": 1000 A9", EAction::kNone, {}, false},
        SLineCase{"ThreeBytes",
                  ":2000 1 2 3",
                  EAction::kNone,
                  {{0x2000, 1}, {0x2001, 2}, {0x2002, 3}},
                  true},
        SLineCase{
            "CommasSeparate", ":1000,A9,05", EAction::kNone, {{0x1000, 0xA9}, {0x1001, 5}}, true},
        SLineCase{"AnyCharacterThenBlanks",
                  "  :1000;  a9/ 05",
                  EAction::kNone,
                  {{0x1000, 0xA9}, {0x1001, 5}},
                  true},
        SLineCase{"WideValueKeepsItsLowByte", ":3000 1FF", EAction::kNone, {{0x3000, 0xFF}}, true},
        SLineCase{
            "StopsAtTheFirstNonNumber", ":4000 12 zz 34", EAction::kNone, {{0x4000, 0x12}}, true},
        SLineCase{
            "TwoSeparatorsEndTheList", ":4000 12,,34", EAction::kNone, {{0x4000, 0x12}}, true},
        SLineCase{"Fill",
                  "F 3000 4 EA",
                  EAction::kNone,
                  {{0x3000, 0xEA}, {0x3001, 0xEA}, {0x3002, 0xEA}, {0x3003, 0xEA}},
                  true},
        SLineCase{"FillLowerCaseWithCommas",
                  "f3000,2,11",
                  EAction::kNone,
                  {{0x3000, 0x11}, {0x3001, 0x11}},
                  true},
        SLineCase{"FillNothing", "F 3000", EAction::kNone, {}, true},
        SLineCase{"Clear", "Clear", EAction::kClear, {}, false},
        SLineCase{"ClearWithBlank", "CLEAR ", EAction::kClear, {}, false},
        SLineCase{"ClearFollowedByDigit", "  clear2", EAction::kClear, {}, false},
        SLineCase{"Clearance", "clearance", EAction::kNone, {}, false},
        SLineCase{"Clea", "clea", EAction::kNone, {}, false},
        SLineCase{"DumpR", "dr", EAction::kNone, {}, false},
        SLineCase{"DumpBlankR", "D r 100", EAction::kNone, {}, false},
        SLineCase{"NotACommand", "hello :1000 1", EAction::kNone, {}, false},
        SLineCase{"Empty", "", EAction::kNone, {}, false}),
    [](const ::testing::TestParamInfo<SLineCase>& info) { return info.param.name; });

TEST_F(CommandInterpreterTest, EntryAndFillWriteReadOnlyMemory) {
    monitor.Execute(":E100 5A");
    monitor.Execute("F E200 2 A5");
    EXPECT_EQ(rom->Data()[0x100], 0x5A);
    EXPECT_EQ(rom->Data()[0x200], 0xA5);
    EXPECT_EQ(rom->Data()[0x201], 0xA5);
}

TEST_F(CommandInterpreterTest, OnlyTheFirst199CharactersCount) {
    std::string line = ":1000";
    for (int i = 0; i < 80; ++i)
        line += " 01";
    for (uint32_t a = 0x1000; a < 0x1050; ++a)
        computer.Write(a, 0xEE, 1, true);
    monitor.Execute(line);
    EXPECT_EQ(At(0x1000 + 63), 0x01);
    EXPECT_EQ(At(0x1000 + 64), 0x00);  // " 0" at characters 197 and 198
    EXPECT_EQ(At(0x1000 + 65), 0xEE);
}

TEST_F(CommandInterpreterTest, DumpLayout) {
    for (uint32_t i = 0; i < 0x12; ++i)
        computer.Write(0x100 + i, 0x41 + i, 1, true);
    const SCommandOutcome outcome = monitor.Execute("D 100 12");
    EXPECT_EQ(outcome.action, EAction::kInsert);
    EXPECT_EQ(outcome.text,
              "\n"
              ":000100 41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50     ABCDEFGHIJKLMNOP\n"
              ":000110 51 52 " +
                  std::string(14 * 3, ' ') + "   QR" + std::string(14, ' ') +
                  "\n"
                  "\n");
    EXPECT_TRUE(host.hints.empty());
}

TEST_F(CommandInterpreterTest, DumpShowsOnlyLettersAndDigits) {
    const uint8_t bytes[16] = {'a',  'Z', '0', '9', ' ', '.', 0,   0x7F,
                               0xC1, '@', '[', '`', '{', '/', ':', 'q'};
    for (uint32_t i = 0; i < 16; ++i)
        computer.Write(i, bytes[i], 1, true);
    EXPECT_EQ(monitor.Execute("   d 0 10").text,
              "\n"
              ":000000 61 5A 30 39 20 2E 00 7F  C1 40 5B 60 7B 2F 3A 71    aZ09           q\n"
              "\n");
    EXPECT_EQ(monitor.Execute("D 0 0").text, "\n\n");
}

TEST_F(CommandInterpreterTest, DumpReadsUnansweredAddressesAsFFAndWraps) {
    const std::string text = monitor.Execute("D FFFFFFFE 3").text;
    // Three bytes, 13 missing, the gap, a character column of blanks.
    EXPECT_EQ(text, "\n:FFFFFFFE FF FF 00 " + std::string(13 * 3 + 3 + 16, ' ') + "\n\n");
}

TEST_F(CommandInterpreterTest, BigCountsAreCut) {
    const std::string text = monitor.Execute("D 0 FFFFFFFF").text;
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 1 + 0x1000 + 1 + 1u);  // lead, 4096 lines, the note, the end
    EXPECT_NE(text.find("cut"), std::string::npos);

    const SCommandOutcome fill = monitor.Execute("F 0 FFFFFFFF 7");
    EXPECT_EQ(At(0xFFFF), 7);
    EXPECT_NE(fill.text.find("cut"), std::string::npos);
}

struct SNumberCase {
    const char* text;
    uint32_t value;
    size_t consumed;
};

TEST(ParseHexNumber, ReadsLikeTheStandardConversion) {
    const SNumberCase cases[] = {
        {"", 0, 0},
        {"zz", 0, 0},
        {"   ", 0, 0},
        {"  1f,", 0x1F, 4},
        {"0x10", 0x10, 4},
        {"0X1g", 1, 3},
        {"0xg", 0, 1},
        {"-1", 0xFFFFFFFF, 2},
        {"+a", 0xA, 2},
        {"- 1", 0, 0},
        {"123456789", 0xFFFFFFFF, 9},
        {"FFFFFFFF", 0xFFFFFFFF, 8},
        {"\t\n7", 7, 3},
        {"00000000012", 0x12, 11},
    };
    for (const SNumberCase& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(ParseHexNumber(c.text, &end), c.value) << c.text;
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed) << c.text;
    }
}

}  // namespace
