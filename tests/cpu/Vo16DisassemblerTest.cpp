// The Vo16 listing: every instruction form, prefixes, the texts and length.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/Vo16.h"
#include "tools/StringEx.h"

namespace {

class Vo16Listing {
public:
    Vo16Listing() {
        auto* ram = new CRam;
        ram->SetRange(0, 0x7FFF);
        ram->SetSize(0x8000);
        m_bus.AddTail(ram);
        m_unit.SetBus(&m_bus);
    }
    void Code(uint32_t address, const std::vector<uint16_t>& words) {
        for (uint16_t word : words) {
            m_bus.Write(address, word, 2 | CDevices::kSwap, true);
            address += 2;
        }
    }

    CDevices m_bus;
    CVo16 m_unit;
};

struct SListCase {
    uint32_t address;
    std::vector<uint16_t> words;
    uint32_t length;
    const char* bytes;
    const char* mnemonic;
    const char* operand;
};

void PrintTo(const SListCase& c, std::ostream* os) {
    *os << FormatText("%04X:", c.address);
    for (uint16_t word : c.words)
        *os << FormatText(" %04X", word);
}

class Vo16ListTest : public ::testing::TestWithParam<SListCase> {};

TEST_P(Vo16ListTest, OneInstruction) {
    const SListCase& c = GetParam();
    Vo16Listing l;
    l.Code(c.address & 0xFFFF, c.words);
    // A previous listing with every text filled must leave nothing behind.
    l.Code(0x7000, {0x0123});
    l.m_unit.Disassemble(0x7000);

    uint32_t length = 99;
    std::string address = "x", bytes = "x", mnemonic = "x", operand = "x", comment = "x";
    l.m_unit.Disassemble(c.address, &length, &address, &bytes, &mnemonic, &operand, &comment);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(address, FormatText("%04X", c.address & 0xFFFF));
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(mnemonic, c.mnemonic);
    EXPECT_EQ(operand, c.operand);
    EXPECT_EQ(comment, "");
    EXPECT_EQ(l.m_unit.GetText(CMpu::kOperandText), c.operand);
}

const SListCase kListCases[] = {
    {0x0000, {0x0123}, 2, "0123 ", "add", "r1,r2,r3"},
    {0x0000, {0x0120}, 2, "0120 ", "add", "r1,r2,0"},
    {0x0000, {0x1F0E}, 2, "1F0E ", "sub", "r15,r0,r14"},
    {0x0000, {0xD123, 0x2125}, 4, "D123 2125 ", "addi", "r1,r2,1235"},
    {0x0000, {0x2127}, 2, "2127 ", "addi", "r1,r2,0007"},
    {0x0000, {0x212F}, 2, "212F ", "addi", "r1,r2,FFFF"},
    {0x0000, {0x3102}, 2, "3102 ", "and", "r1,r2"},
    {0x0000, {0x3110}, 2, "3110 ", "or", "r1,0"},
    {0x0000, {0x3123}, 2, "3123 ", "xor", "r1,r3"},
    {0x0000, {0x3134}, 2, "3134 ", "andn", "r1,r4"},
    {0x0000, {0x3145}, 2, "3145 ", "adc", "r1,r5"},
    {0x0000, {0x3156}, 2, "3156 ", "sbc", "r1,r6"},
    {0x0000, {0x3164}, 2, "3164 ", "?unimp", ""},
    {0x0000, {0x31F4}, 2, "31F4 ", "?unimp", ""},
    {0x0000, {0x4108}, 2, "4108 ", "andi", "r1,FFF8"},
    {0x0000, {0xDABC, 0x4117}, 4, "DABC 4117 ", "ori", "r1,ABC7"},
    {0x0000, {0x4127}, 2, "4127 ", "xori", "r1,0007"},
    {0x0000, {0x4131}, 2, "4131 ", "andni", "r1,0001"},
    {0x0000, {0x4141}, 2, "4141 ", "adci", "r1,0001"},
    {0x0000, {0x415F}, 2, "415F ", "sbci", "r1,FFFF"},
    {0x0000, {0x4F63}, 2, "4F63 ", "srli", "r15,0003"},
    {0x0000, {0x4170}, 2, "4170 ", "srai", "r1,0000"},
    {0x0000, {0x4180}, 2, "4180 ", "slli", "r1,0000"},
    {0x0000, {0x4190}, 2, "4190 ", "srxi", "r1,0000"},
    {0x0000, {0x41A0}, 2, "41A0 ", "slxi", "r1,0000"},
    {0x0000, {0x41B0}, 2, "41B0 ", "?unimp", ""},
    {0x0000, {0x5213}, 2, "5213 ", "lw", "r2,0012(r1)"},
    {0x0000, {0xD123, 0x5214}, 4, "D123 5214 ", "lw", "r2,1234(r1)"},
    {0x0000, {0x6213}, 2, "6213 ", "lb", "r2,0003(r1)"},
    {0x0000, {0x7123}, 2, "7123 ", "?unimp", ""},
    {0x0000, {0x82EF}, 2, "82EF ", "sw", "r2,001E(r14)"},
    {0x0000, {0x920F}, 2, "920F ", "sb", "r2,000F(r0)"},
    {0x0000, {0xA0F0}, 2, "A0F0 ", "jal", "r0,0000(r15)"},
    {0x0100, {0xB0FE}, 2, "B0FE ", "br", "0100"},
    {0x0100, {0xB17F}, 2, "B17F ", "brn", "0202"},
    {0x0000, {0xBF80}, 2, "BF80 ", "bgtu", "FF04"},
    {0x0100, {0xD555, 0xB8FE}, 4, "D555 B8FE ", "blt", "0102"},
    {0x0000, {0xC123}, 2, "C123 ", "call", "1230"},
    {0x0000, {0xE000}, 2, "E000 ", "?unimp", ""},
    {0x0000, {0xD111, 0xD222, 0xD333, 0x2125}, 8, "D111 D222 D333 2125 ", "addi", "r1,r2,3335"},
    {0x9000, {}, 2, "FFFF ", "?unimp", ""},                          // nothing on the bus
    {0x10004, {0x0123}, 2, "0123 ", "add", "r1,r2,r3"},              // 16-bit addresses
    {0x7FFC, {0xD123, 0xD456}, 6, "D123 D456 FFFF ", "?unimp", ""},  // prefixes off the end
};

INSTANTIATE_TEST_SUITE_P(Forms, Vo16ListTest, ::testing::ValuesIn(kListCases));

TEST(Vo16DisassemblerTest, AbsentOutArgumentsAreLeftAlone) {
    Vo16Listing l;
    l.Code(0, {0xD123, 0x2125});
    uint32_t length = 0;
    l.m_unit.Disassemble(0, &length);
    EXPECT_EQ(length, 4u);
    l.m_unit.Disassemble(0);
    EXPECT_EQ(l.m_unit.GetText(CMpu::kMnemonicText), "addi");
    EXPECT_EQ(l.m_unit.GetText(CMpu::kBytesText), "D123 2125 ");
}

}  // namespace
