// The Corvane listing: every class of word, prefix folding, the constant
// texts, and what an unanswered read or an unassigned word lists as.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"

namespace {

struct SListCase {
    std::vector<uint32_t> words;
    const char* mnemonic;
    const char* operand;
    uint32_t address = 0x000100;
};

class CorvaneListingTest : public ::testing::TestWithParam<SListCase> {
protected:
    CorvaneListingTest() {
        auto* ram = new CRam;
        ram->SetRange(0, 0x3FFFF);
        ram->SetSize(0x40000);
        m_bus.AddTail(ram);
        m_unit.SetBus(&m_bus);
    }
    void Put(uint32_t address, const std::vector<uint32_t>& words) {
        for (uint32_t word : words) {
            m_bus.Write(address, word, 3, true);
            address += 3;
        }
    }

    CDevices m_bus;
    CCorvaneMPU m_unit;
};

TEST_P(CorvaneListingTest, ListsMnemonicAndOperand) {
    const SListCase& c = GetParam();
    Put(c.address, c.words);
    uint32_t length = 99;
    std::string address, bytes, mnemonic, operand = "stale", comment = "stale";
    m_unit.Disassemble(c.address, &length, &address, &bytes, &mnemonic, &operand, &comment);
    EXPECT_EQ(mnemonic, c.mnemonic);
    EXPECT_EQ(operand, c.operand);
    EXPECT_EQ(comment, "");
    const bool prefixed = c.words.size() > 1;
    EXPECT_EQ(length, prefixed ? 6u : 3u);
    std::string expectedBytes;
    for (size_t i = 0; i < (prefixed ? 2u : 1u); ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "%06X ", c.words[i]);
        expectedBytes += text;
    }
    EXPECT_EQ(bytes, expectedBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CorvaneListingTest,
    ::testing::Values(
        SListCase{{0x000000}, "nop", ""}, SListCase{{0x000100}, "stop", ""},
        SListCase{{0x1ABCDE}, "call", "ABCDE0"},
        SListCase{{0xBC1234, 0x642256}, "add", "r1,r2,#123456"},
        SListCase{{0x642256}, "add", "r1,r2,#000056"}, SListCase{{0x602000}, "lw", "r1,#0"},
        SListCase{{0x080000}, "br", "000106"}, SListCase{{0x0D1E00}, "ret", ""},
        SListCase{{0x0D1F00}, "iret", ""}, SListCase{{0xBC0000, 0xBC0000}, "?unimp", ""},
        // conditional branches: target = address + 6 + displacement
        SListCase{{0x0822F4}, "bne", "r2,0000FA"}, SListCase{{0x081D00}, "beq", "sp,000106"},
        SListCase{{0x09DD00}, "br", "sp,000106"}, SListCase{{0x091E80}, "bltu", "lr,000086"},
        SListCase{{0x09E000}, "???", "r0,000106"}, SListCase{{0xBC0010, 0x080000}, "br", "001109"},
        // the other control words
        SListCase{{0x0C0510}, "call", "000010(r5)"}, SListCase{{0x0C00F0}, "call", "FFFFF0"},
        SListCase{{0x0D0500}, "jmp", "(r5)"}, SListCase{{0x0D0510}, "jmp", "000010(r5)"},
        SListCase{{0x0D0080}, "jmp", "FFFF80"},
        SListCase{{0xBC0000, 0x0D1E00}, "jmp", "000000(lr)"},
        SListCase{{0x0E00F0}, "icall", "FFFFF0"}, SListCase{{0x0A0103}, "?unimp", "000003(r1)"},
        SListCase{{0x0F0000}, "?unimp", "000000"},
        // memory
        SListCase{{0xDC2210}, "lw", "r1,10(r2)"}, SListCase{{0xDC2010}, "lw", "r1,10"},
        SListCase{{0xCC2210}, "lb", "r1,10(r2)"}, SListCase{{0xD43F80}, "ldb", "r1,80(ipc)"},
        SListCase{{0xC42210}, "ld???", "r1,10(r2)"}, SListCase{{0xE42210}, "st???", "r1,10(r2)"},
        SListCase{{0xEC2210}, "sb", "r1,10(r2)"}, SListCase{{0xF42210}, "sdb", "r1,10(r2)"},
        SListCase{{0xBC1234, 0xFC2256}, "sw", "r1,123456(r2)"},
        SListCase{{0xBC1234, 0xFC2056}, "sw", "r1,123456"},
        SListCase{{0xF82210}, "sw", "r1,?unimp"},
        // ALU constants
        SListCase{{0x602203}, "add", "r1,r2,r3"}, SListCase{{0x602200}, "add", "r1,r2,#0"},
        SListCase{{0x642280}, "add", "r1,r2,#FFFF80"},
        SListCase{{0xBC1234, 0x482203}, "or", "r1,r2,#123400+r3{7:0}"},
        // shifts
        SListCase{{0x2C2203}, "shl", "r1,r2,#000003"},
        SListCase{{0xBC0000, 0x2C2281}, "rol", "r1,r2,#000081"},
        SListCase{{0x2C2281}, "shl", "r1,r2,#FFFF81"}, SListCase{{0x302203}, "ashr", "r1,r2,r3"},
        SListCase{{0xBC0000, 0x3C2281}, "ror", "r1,r2,#000081"},
        SListCase{{0x3C2201}, "shr", "r1,r2,#000001"},
        // logic
        SListCase{{0x402203}, "and", "r1,r2,r3"}, SListCase{{0x44020F}, "test", "r2,#00000F"},
        SListCase{{0x482203}, "or", "r1,r2,r3"}, SListCase{{0x542203}, "xor", "r1,r2,#000003"},
        SListCase{{0x5422FF}, "not", "r1,r2"},
        SListCase{{0xBC0000, 0x5422FF}, "xor", "r1,r2,#0000FF"},
        SListCase{{0x582203}, "cmov", "r1,r2,r3"},
        // arithmetic
        SListCase{{0x682203}, "addc", "r1,r2,r3"}, SListCase{{0x702203}, "sub", "r1,r2,r3"},
        SListCase{{0x702003}, "neg", "r1,r3"}, SListCase{{0x700203}, "cmp", "r2,r3"},
        SListCase{{0x700200}, "cmpz", "r2"}, SListCase{{0x740220}, "cmpz", "r2"},
        SListCase{{0x740221}, "cmp", "r2,#000021"}, SListCase{{0x780203}, "cmpc", "r2,r3"},
        SListCase{{0x782203}, "subc", "r1,r2,r3"}, SListCase{{0x782003}, "negc", "r1,r3"},
        // special register moves, numbered as the core executes them
        SListCase{{0x276430}, "lw", "sr,#000030"}, SListCase{{0x200403}, "lw", "ver,r3  (ignored)"},
        SListCase{{0x236507}, "sw", "sr,r7"}, SListCase{{0x200507}, "sw", "ver,r7 (unimplemented)"},
        SListCase{{0x20A403}, "lw", ""}, SListCase{{0x276603}, "?unimp", ""},
        // unassigned majors
        SListCase{{0x800000}, "?unimp", ""}, SListCase{{0xBFFFFF, 0xB8FFFF}, "?unimp", ""}));

TEST_F(CorvaneListingTest, NothingAnsweringListsAsStoreOfIpc) {
    std::string bytes, mnemonic, operand, address;
    uint32_t length = 0;
    m_unit.Disassemble(0x1050000, &length, &address, &bytes, &mnemonic, &operand);
    EXPECT_EQ(address, "050000");
    EXPECT_EQ(bytes, "FFFFFF ");
    EXPECT_EQ(mnemonic, "sw");
    EXPECT_EQ(operand, "ipc,FF(ipc)");
    EXPECT_EQ(length, 3u);
}

TEST_F(CorvaneListingTest, KeepsNoTextOfThePreviousLine) {
    Put(0x100, {0x642256, 0x800000});
    m_unit.Disassemble(0x100);
    EXPECT_EQ(m_unit.GetText(CMpu::kOperandText), "r1,r2,#000056");
    m_unit.Disassemble(0x103);
    EXPECT_EQ(m_unit.GetText(CMpu::kMnemonicText), "?unimp");
    EXPECT_EQ(m_unit.GetText(CMpu::kOperandText), "");
    EXPECT_EQ(m_unit.GetText(CMpu::kBytesText), "800000 ");
    EXPECT_EQ(m_unit.GetText(CMpu::kAddressText), "000103");
}

TEST_F(CorvaneListingTest, ChangesNothingInTheUnit) {
    Put(0x100, {0xBC1234, 0x642256});
    m_unit.SetCR(1);
    m_unit.Disassemble(0x100);
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF8u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 0u);
    EXPECT_EQ(m_unit.GetCounter(CMpu::kFetches), 0u);
}

}  // namespace
