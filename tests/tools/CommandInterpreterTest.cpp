// The monitor: memory entry, clear, dump and fill, as typed lines.
#include "tools/CommandInterpreter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace {

using EAction = SCommandOutcome::EAction;

// RAM over the whole 64 KB, holding "ABCDEFGHIJKLMNOPQR" at 0x100 and the
// neighbours of letters and digits at 0x200; a ROM at 0xE000-0xEFFF behind it
// takes the forced writes.
class CommandInterpreterTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        for (CRam* ram : {m_ram, m_rom}) {
            ram->SetRange(ram == m_ram ? 0 : 0xE000, ram == m_ram ? 0xFFFF : 0xEFFF);
            ram->SetSize(ram == m_ram ? 0x10000 : 0x1000);
            computer.GetDevices()->AddTail(ram);
        }
        m_rom->SetWritable(false);
        Preload();
    }
    void Preload() {
        const char* text = "ABCDEFGHIJKLMNOPQRaZ09 .\0\x7F\xC1@[`{/:q";
        for (uint32_t i = 0; i < 0x22; ++i)
            computer.Write(i < 0x12 ? 0x100 + i : 0x1EE + i, static_cast<uint8_t>(text[i]), 1,
                           true);
    }
    // The RAM bytes that differ from before.
    std::map<uint32_t, uint8_t> Changed(const std::vector<uint8_t>& before) const {
        std::map<uint32_t, uint8_t> bytes;
        for (uint32_t a = 0; a < 0x10000; ++a) {
            if (m_ram->Data()[a] != before[a]) bytes[a] = m_ram->Data()[a];
        }
        return bytes;
    }

    CTestHost host;
    CComputer computer{&host};
    CCommandInterpreter monitor{computer};
    CRam* m_ram = new CRam;
    CRam* m_rom = new CRam;
};

TEST_F(CommandInterpreterTest, DoesWhatTheLineSays) {
    const std::string kBlankLine(14 * 3, ' ');
    // clang-format off
    struct { const char* line; EAction action; std::map<uint32_t, uint8_t> written; bool notifies; std::string text = ""; } const cases[] = {
        {":1000", EAction::kNone, {}, true},
        {": 1000 A9", EAction::kNone, {}, false},
        {":2000 1 2 3", EAction::kNone, {{0x2000, 1}, {0x2001, 2}, {0x2002, 3}}, true},
        {":1000,A9,05", EAction::kNone, {{0x1000, 0xA9}, {0x1001, 5}}, true},
        {"  :1000;  a9/ 05", EAction::kNone, {{0x1000, 0xA9}, {0x1001, 5}}, true},
        {":3000 1FF", EAction::kNone, {{0x3000, 0xFF}}, true},
        {":4000 12 zz 34", EAction::kNone, {{0x4000, 0x12}}, true},
        {":4000 12,,34", EAction::kNone, {{0x4000, 0x12}}, true},
        {"F 3000 4 EA", EAction::kNone, {{0x3000, 0xEA}, {0x3001, 0xEA}, {0x3002, 0xEA}, {0x3003, 0xEA}}, true},
        {"f3000,2,11", EAction::kNone, {{0x3000, 0x11}, {0x3001, 0x11}}, true},
        {"F 3000", EAction::kNone, {}, true},
        {"Clear", EAction::kClear, {}, false},
        {"CLEAR ", EAction::kClear, {}, false},
        {"  clear2", EAction::kClear, {}, false},
        {"clearance", EAction::kNone, {}, false},
        {"clea", EAction::kNone, {}, false},
        {"dr", EAction::kNone, {}, false},
        {"D r 100", EAction::kNone, {}, false},
        {"hello :1000 1", EAction::kNone, {}, false},
        {"", EAction::kNone, {}, false},
        // The dump: a blank before the ninth byte, the character column of
        // letters and digits, the last line padded, a blank line at the end.
        {"D 100 12", EAction::kInsert, {}, false, "\n:000100 41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50     ABCDEFGHIJKLMNOP\n:000110 51 52 " + kBlankLine + "   QR              \n\n"},
        {"   d 200 10", EAction::kInsert, {}, false, "\n:000200 61 5A 30 39 20 2E 00 7F  C1 40 5B 60 7B 2F 3A 71    aZ09           q\n\n"},
        {"D 0 0", EAction::kInsert, {}, false, "\n\n"},
        // Unanswered addresses read as FF. Nothing wraps round to 0: the
        // commands stop at FFFFFFFF and say what they left out.
        {"D FFFFFFFE 3", EAction::kInsert, {}, false, "\n:FFFFFFFE FF FF " + std::string(14 * 3 + 3 + 16, ' ') + "\nDump stopped at FFFFFFFF, the end of the address space, after 2 of 3 bytes.\n\n"},
        {"F FFFFFFF0 20 AA", EAction::kInsert, {}, true, "\n10 bytes past FFFFFFFF, the end of the address space, not written.\n"},
        {":FFFFFFFF 1 2 3", EAction::kInsert, {}, true, "\n2 bytes past FFFFFFFF, the end of the address space, not written.\n"},
        {"F FFFFFFFF 1 AA", EAction::kNone, {}, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<uint8_t> before(m_ram->Data(), m_ram->Data() + 0x10000);
        host.hints.clear();
        const SCommandOutcome outcome = monitor.Execute(c.line);
        EXPECT_EQ(outcome.action, c.action);
        EXPECT_EQ(Changed(before), c.written);
        EXPECT_EQ(host.hints,
                  c.notifies ? std::vector<uint32_t>{kHintMemory} : std::vector<uint32_t>{});
        EXPECT_EQ(outcome.text, c.text);
        m_ram->SetSize(0x10000);  // cleared
        Preload();
    }
}

// A default view carries no pointer: copying from it was undefined.
TEST_F(CommandInterpreterTest, ViewsOfNothingDoNothing) {
    const std::string text = "D 0 10";
    host.hints.clear();
    for (const std::string_view line : {std::string_view{}, std::string_view(text).substr(0, 0)})
        EXPECT_EQ(monitor.Execute(line).action, EAction::kNone);
    EXPECT_TRUE(host.hints.empty());
}

TEST_F(CommandInterpreterTest, EntryAndFillWriteReadOnlyMemory) {
    monitor.Execute(":E100 5A");
    monitor.Execute("F E200 2 A5");
    EXPECT_EQ(m_rom->Data()[0x100], 0x5A);
    EXPECT_EQ(m_rom->Data()[0x200], 0xA5);
    EXPECT_EQ(m_rom->Data()[0x201], 0xA5);
}

TEST_F(CommandInterpreterTest, OnlyTheFirst199CharactersCount) {
    std::string line = ":1000";
    for (int i = 0; i < 80; ++i)
        line += " 01";
    monitor.Execute(line);
    EXPECT_EQ(m_ram->Data()[0x1000 + 63], 0x01);
    EXPECT_EQ(m_ram->Data()[0x1000 + 64], 0x00);  // " 0" at characters 197 and 198
    monitor.Execute(":1041 EE");
    monitor.Execute(line);
    EXPECT_EQ(m_ram->Data()[0x1000 + 65], 0xEE);
}

TEST_F(CommandInterpreterTest, BigCountsAreCut) {
    const std::string text = monitor.Execute("D 0 FFFFFFFF").text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 0x1000 + 1 + 1);
    EXPECT_NE(text.find("cut"), std::string::npos);
    EXPECT_NE(monitor.Execute("F 0 FFFFFFFF 7").text.find("cut"), std::string::npos);
    EXPECT_EQ(m_ram->Data()[0xFFFF], 7);
}

TEST(ParseHexNumber, ReadsLikeTheStandardConversion) {
    // clang-format off
    struct { const char* text; uint32_t value; size_t consumed; } const cases[] = {
        {"zz", 0, 0},          {"   ", 0, 0},
        {"  1f,", 0x1F, 4},    {"0x10", 0x10, 4},
        {"0X1g", 1, 3},        {"0xg", 0, 1},
        {"-1", 0xFFFFFFFF, 2}, {"+a", 0xA, 2},
        {"- 1", 0, 0},         {"123456789", 0xFFFFFFFF, 9},
        {"\t\n7", 7, 3},       {"00000000012", 0x12, 11},
    };
    // clang-format on
    for (const auto& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(ParseHexNumber(c.text, &end), c.value) << c.text;
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed) << c.text;
    }
}

}  // namespace
