// The Corvane core: reset and the first fetch, immediate prefixes, the ALU and
// its flags, branches and calls, loads and stores through the page table,
// interrupts, the cache in the fetch path, and the stored record.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"

namespace {

// Instruction words.
constexpr uint32_t Alu(uint32_t major, uint32_t d, uint32_t a, uint32_t b) {
    return major << 19 | d << 13 | a << 8 | b;
}
constexpr uint32_t AluI(uint32_t major, uint32_t d, uint32_t a, uint32_t imm8) {
    return major << 19 | 1u << 18 | d << 13 | a << 8 | imm8;
}
constexpr uint32_t Prefix(uint32_t value) {
    return 0xBC0000 | (value >> 8 & 0xFFFF);
}
constexpr uint32_t Branch(uint32_t cond, uint32_t a, uint32_t imm8) {
    return 1u << 19 | cond << 13 | a << 8 | imm8;
}
constexpr uint32_t Control(uint32_t sub, uint32_t a, uint32_t imm8) {
    return 1u << 19 | sub << 16 | a << 8 | imm8;
}
constexpr uint32_t Memory(uint32_t kind, uint32_t d, uint32_t a, uint32_t imm8) {
    return 0xC00000 | kind << 19 | 1u << 18 | d << 13 | a << 8 | imm8;
}
constexpr uint32_t CallTo(uint32_t target) {
    return 0x100000 | target >> 4;
}
constexpr uint32_t kNop = 0x000000;
constexpr uint32_t kStop = 0x000100;
constexpr uint32_t kRet = 0x0D1E00;
constexpr uint32_t kIret = 0x0D1F00;
enum { kLw = 3, kLb = 1, kLdb = 2, kSw = 7, kSb = 5, kSdb = 6 };

constexpr uint32_t kC = CCorvaneMPU::kSrC;
constexpr uint32_t kV = CCorvaneMPU::kSrV;

class CorvaneTest : public ::testing::Test {
protected:
    CorvaneTest() {
        m_ram = new CRam;
        m_ram->SetRange(0, 0x3FFFF);
        m_ram->SetSize(0x40000);
        m_bus.AddTail(m_ram);
        m_rom = new CRam;
        m_rom->SetRange(0xFF0000, 0xFFFFFF);
        m_rom->SetSize(0x10000);
        m_rom->SetWritable(false);
        m_bus.AddTail(m_rom);
        m_unit.SetBus(&m_bus);
    }

    void Put(uint32_t address, std::initializer_list<uint32_t> words) {
        for (uint32_t word : words) {
            m_bus.Write(address, word, 3, true);
            address += 3;
        }
    }
    uint32_t Peek(uint32_t address, uint32_t size = 3) { return m_bus.Read(address, size); }
    // Places the words at 0x100 and executes one instruction there.
    void StepAt(std::initializer_list<uint32_t> words, uint32_t address = 0x100) {
        Put(address, words);
        m_unit.SetPC(address);
        m_unit.Step();
    }
    uint32_t Counter(CMpu::EStatistic which) const { return m_unit.GetCounter(which); }

    CDevices m_bus;
    CRam* m_ram = nullptr;
    CRam* m_rom = nullptr;
    CCorvaneMPU m_unit;
};

TEST_F(CorvaneTest, NewUnitIsResetWithoutTranslationOrCache) {
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF8u);
    EXPECT_EQ(m_unit.GetSR(), 0x200u);
    EXPECT_EQ(m_unit.GetCR(), 0x2u);
    EXPECT_EQ(m_unit.GetCodeUnit(), 3u);
    EXPECT_STREQ(m_unit.GetRegisterViewClass(), "CRegisterForm");
    EXPECT_STREQ(m_unit.GetStatisticsViewClass(), "CStatisticsForm");
    for (int i = 0; i < CCorvaneMPU::kPageTableSize; ++i)
        EXPECT_EQ(m_unit.GetPageTableEntry(i), 4u);
}

TEST_F(CorvaneTest, ResetKeepsControlRegisterCountersAndInterruptPrompt) {
    m_unit.SetCR(1);
    m_unit.SetRegister(5, 7);
    m_unit.SetPageTableEntry(3, 0);
    m_unit.SetSR(0x12345);
    m_unit.SetInterruptPrompt(true);
    m_unit.SetStepOutPending(true);
    StepAt({kNop});
    m_unit.Reset();
    EXPECT_EQ(m_unit.GetCR(), 1u);
    EXPECT_EQ(m_unit.GetRegister(5), 0u);
    EXPECT_EQ(m_unit.GetPageTableEntry(3), 4u);
    EXPECT_EQ(m_unit.GetSR(), 0x200u);
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF8u);
    EXPECT_EQ(m_unit.GetStepsSinceReset(), 0u);
    EXPECT_EQ(Counter(CMpu::kFetches), 1u);
    EXPECT_TRUE(m_unit.GetInterruptPrompt());
    EXPECT_FALSE(m_unit.IsStepOutPending());
}

class CorvaneFirstFetchTest : public CorvaneTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(CorvaneFirstFetchTest, ComesFromPhysicalFFFFF8WhateverCR) {
    m_unit.SetCR(GetParam());
    m_unit.Reset();
    Put(0xFFFFF8, {AluI(12, 1, 0, 0x11)});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x11u);
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFFBu);
}

INSTANTIATE_TEST_SUITE_P(ControlRegister, CorvaneFirstFetchTest, ::testing::Values(0u, 1u, 2u, 3u));

TEST_F(CorvaneTest, PrefixedAddIsOneFetchAndOneCycle) {
    m_unit.SetRegister(2, 0x100000);
    StepAt({0xBC1234, 0x642256});
    EXPECT_EQ(m_unit.GetRegister(1), 0x223456u);
    EXPECT_EQ(m_unit.GetPC(), 0x106u);
    EXPECT_EQ(Counter(CMpu::kFetches), 1u);
    EXPECT_EQ(Counter(CMpu::kCycles), 1u);
    EXPECT_TRUE(m_unit.IsPrefixActive());
    EXPECT_EQ(m_unit.GetPrefixValue(), 0x123400u);
    EXPECT_EQ(m_unit.GetOpcode(), 0x642256u);
    // the common counters of the unit are not used
    EXPECT_EQ(m_unit.GetStatistic(CMpu::kFetches), 0u);

    StepAt({Prefix(0x111100), Prefix(0x222200), AluI(12, 3, 0, 0x33)});
    EXPECT_EQ(m_unit.GetRegister(3), 0x222233u) << "the last prefix counts";
    StepAt({0x642256});
    EXPECT_FALSE(m_unit.IsPrefixActive());
    EXPECT_EQ(m_unit.GetRegister(1), 0x100056u);
}

TEST_F(CorvaneTest, EndlessPrefixesEndTheStep) {
    for (uint32_t address = 0; address < 0x40000; address += 3)
        m_bus.Write(address, 0xBC0001, 3, true);
    m_unit.SetPC(0);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 3u * (CCorvaneMPU::kMaxPrefixChain + 1));
    EXPECT_EQ(Counter(CMpu::kFetches), 1u);
}

struct SAluCase {
    const char* name;
    std::optional<uint32_t> prefix;
    uint32_t word;  // D = r1, A = r2, B = r3
    uint32_t a;
    uint32_t b;
    uint32_t srIn;  // C and V before
    uint32_t result;
    uint32_t srOut;  // C and V after
    bool warning = false;
};

class CorvaneAluTest : public CorvaneTest, public ::testing::WithParamInterface<SAluCase> {};

TEST_P(CorvaneAluTest, ComputesResultAndFlags) {
    const SAluCase& c = GetParam();
    m_unit.SetRegister(2, c.a);
    m_unit.SetRegister(3, c.b);
    m_unit.SetSR(0x200 | c.srIn);
    if (c.prefix)
        StepAt({Prefix(*c.prefix), c.word});
    else
        StepAt({c.word});
    EXPECT_EQ(m_unit.GetRegister(1), c.result);
    EXPECT_EQ(m_unit.GetSR(), 0x200 | c.srOut);
    EXPECT_EQ(std::string(m_unit.GetWarningText()), c.warning ? "Warning: shift counts mod 3" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CorvaneAluTest,
    ::testing::Values(
        SAluCase{"AddSignExtendedImmediate", {}, AluI(12, 1, 2, 0x80), 1, 0, 0, 0xFFFF81, 0},
        SAluCase{"AddCarryOut", {}, Alu(12, 1, 2, 3), 0xFFFFFF, 1, kV, 0, kC},
        SAluCase{"AddOverflow", {}, Alu(12, 1, 2, 3), 0x7FFFFF, 1, kC, 0x800000, kV},
        SAluCase{"AddNegativeOverflow", {}, Alu(12, 1, 2, 3), 0x800000, 0x800000, 0, 0, kC | kV},
        SAluCase{"AddRegisterZeroIsZero", {}, Alu(12, 1, 2, 0), 5, 0, 0, 5, 0},
        SAluCase{"AddcTakesCarry", {}, Alu(13, 1, 2, 3), 1, 1, kC, 3, 0},
        SAluCase{"AddcCarryChain", {}, Alu(13, 1, 2, 3), 0xFFFFFF, 0, kC, 0, kC},
        SAluCase{"SubBorrow", {}, Alu(14, 1, 2, 3), 1, 2, 0, 0xFFFFFF, kC},
        SAluCase{"SubEqual", {}, Alu(14, 1, 2, 3), 7, 7, kC | kV, 0, 0},
        SAluCase{"SubOverflow", {}, Alu(14, 1, 2, 3), 0x800000, 1, 0, 0x7FFFFF, kV},
        SAluCase{"SubcTakesBorrow", {}, Alu(15, 1, 2, 3), 5, 2, kC, 2, 0},
        SAluCase{"NegOfImmediate", {}, AluI(14, 1, 0, 1), 0, 0, 0, 0xFFFFFF, kC},
        SAluCase{
            "AndKeepsFlags", {}, Alu(8, 1, 2, 3), 0xF0F0F0, 0x3C3C3C, kC | kV, 0x303030, kC | kV},
        SAluCase{"Or", {}, Alu(9, 1, 2, 3), 0xF00000, 0x00000F, 0, 0xF0000F, 0},
        SAluCase{"NotIsXorWithAllOnes", {}, AluI(10, 1, 2, 0xFF), 0x0F0F0F, 0, kV, 0xF0F0F0, kV},
        SAluCase{"CmovBitClear", {}, Alu(11, 1, 2, 3), 2, 0x123456, 0, 0, 0},
        SAluCase{"CmovBitSet", {}, Alu(11, 1, 2, 3), 3, 0x123456, 0, 0x123456, 0},
        SAluCase{"PrefixOrImmediate", 0x123400, AluI(9, 1, 0, 0x56), 0, 0, 0, 0x123456, 0},
        SAluCase{"PrefixOrRegisterLowByte", 0x123400, Alu(9, 1, 0, 3), 0, 0xABCDEF, 0, 0x1234EF, 0},
        SAluCase{"ShlByTwo", {}, AluI(5, 1, 2, 2), 0x400001, 0, 0, 0x000004, kV},
        SAluCase{"ShlFlagsFromTopBits", {}, AluI(5, 1, 2, 1), 0xC00000, 0, 0, 0x800000, kC},
        SAluCase{"ShlOverflow", {}, AluI(5, 1, 2, 1), 0x400000, 0, kC, 0x800000, kV},
        SAluCase{"ShlByFiveShiftsOnce", {}, AluI(5, 1, 2, 5), 0x000003, 0, 0, 0x000006, 0, true},
        SAluCase{"ShlByZero", {}, AluI(5, 1, 2, 0), 0x800001, 0, 0, 0x800001, kC | kV},
        SAluCase{"Rol", 0, AluI(5, 1, 2, 0x81), 0x400001, 0, kC, 0x800003, kV, true},
        SAluCase{"AshrFillsSign", {}, AluI(6, 1, 2, 3), 0x800010, 0, kV, 0xF00002, 0},
        SAluCase{"AshrCarryFromBit0", {}, AluI(6, 1, 2, 1), 0x000011, 0, 0, 0x000008, kC},
        SAluCase{"Shr", {}, AluI(7, 1, 2, 1), 0x800001, 0, kV, 0x400000, kC},
        SAluCase{"Ror", 0, AluI(7, 1, 2, 0x81), 0x000002, 0, kC, 0x800001, 0, true},
        SAluCase{"ShrByRegisterMod4", {}, Alu(7, 1, 2, 3), 0x000080, 6, 0, 0x000020, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CorvaneTest, RegisterZeroStaysZero) {
    StepAt({AluI(12, 0, 0, 5)});
    EXPECT_EQ(m_unit.GetRegister(0), 0u);
    Put(0x2000, {0xABCDEF});
    StepAt({Prefix(0x2000), Memory(kLw, 0, 0, 0)});
    EXPECT_EQ(m_unit.GetRegister(0), 0u);
    m_unit.SetRegister(0, 9);
    EXPECT_EQ(m_unit.GetRegister(0), 0u);
}

struct SBranchCase {
    uint32_t cond;
    uint32_t r;
    uint32_t flags;
    bool taken;
};

class CorvaneBranchTest : public CorvaneTest, public ::testing::WithParamInterface<SBranchCase> {};

TEST_P(CorvaneBranchTest, TakesTheConditionOnRegisterA) {
    const SBranchCase& c = GetParam();
    m_unit.SetRegister(4, c.r);
    m_unit.SetSR(0x200 | c.flags);
    StepAt({Branch(c.cond, 4, 0x10)});
    EXPECT_EQ(m_unit.GetPC(), c.taken ? 0x116u : 0x103u);
    EXPECT_EQ(Counter(CMpu::kCycles), c.taken ? 3u : 1u);
}

constexpr uint32_t kN = 0x800000;
INSTANTIATE_TEST_SUITE_P(
    Conditions, CorvaneBranchTest,
    ::testing::Values(
        SBranchCase{0, 0, 0, true}, SBranchCase{0, 1, 0, false}, SBranchCase{1, 1, 0, true},
        SBranchCase{2, kN, 0, true}, SBranchCase{3, kN, 0, false}, SBranchCase{4, kN, 0, true},
        SBranchCase{4, kN, kV, false}, SBranchCase{5, 1, kV, false}, SBranchCase{5, kN, kV, true},
        SBranchCase{6, 0, 0, true}, SBranchCase{6, 1, 0, false}, SBranchCase{7, 1, 0, true},
        SBranchCase{7, 0, 0, false}, SBranchCase{8, 1, kC, true}, SBranchCase{9, 1, kC, false},
        SBranchCase{10, 0, 0, true}, SBranchCase{10, 1, 0, false}, SBranchCase{11, 1, 0, true},
        SBranchCase{11, 1, kC, false}, SBranchCase{12, 0, kV, true}, SBranchCase{13, 0, kV, false},
        SBranchCase{14, 5, kC | kV, true}, SBranchCase{15, 0, 0, false}));

struct STargetCase {
    std::optional<uint32_t> prefix;
    uint32_t imm8;
    uint32_t target;
};

class CorvaneBranchTargetTest : public CorvaneTest,
                                public ::testing::WithParamInterface<STargetCase> {};

TEST_P(CorvaneBranchTargetTest, IsBranchWordPlusSixPlusDisplacement) {
    const STargetCase& c = GetParam();
    if (c.prefix)
        StepAt({Prefix(*c.prefix), Branch(14, 0, c.imm8)});
    else
        StepAt({Branch(14, 0, c.imm8)});
    EXPECT_EQ(m_unit.GetPC(), c.target);
}

INSTANTIATE_TEST_SUITE_P(Displacements, CorvaneBranchTargetTest,
                         ::testing::Values(STargetCase{{}, 0x00, 0x106},
                                           STargetCase{{}, 0xFA, 0x100},  // to itself
                                           STargetCase{{}, 0x80, 0x086},
                                           // the branch word is the one after the prefix
                                           STargetCase{0x001000, 0x00, 0x1109},
                                           STargetCase{0xFFFF00, 0x00, 0x000009}));

TEST_F(CorvaneTest, SubtractBorrowDrivesBltu) {
    m_unit.SetRegister(2, 1);
    m_unit.SetRegister(3, 2);
    Put(0x100, {Alu(14, 1, 2, 3), Branch(8, 0, 0x00)});
    m_unit.SetPC(0x100);
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0xFFFFFFu);
    EXPECT_EQ(m_unit.GetPC(), 0x109u);
}

TEST_F(CorvaneTest, CallsLinkAndJump) {
    StepAt({CallTo(0x012340)});
    EXPECT_EQ(m_unit.GetPC(), 0x012340u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kLr), 0x103u);
    EXPECT_EQ(Counter(CMpu::kCycles), 3u);

    // through lr: the new link is the base
    StepAt({Control(4, CCorvaneMPU::kLr, 0x10)});
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kLr), 0x103u);
    EXPECT_EQ(m_unit.GetPC(), 0x113u);

    m_unit.SetRegister(5, 0x2000);
    StepAt({Control(4, 5, 0xFD)});
    EXPECT_EQ(m_unit.GetPC(), 0x1FFDu);

    StepAt({Prefix(0x004000), Control(5, 5, 0x21)});
    EXPECT_EQ(m_unit.GetPC(), 0x6021u);
}

struct SReturnCase {
    uint32_t word;
    bool returned;
};

class CorvaneReturnTest : public CorvaneTest, public ::testing::WithParamInterface<SReturnCase> {};

TEST_P(CorvaneReturnTest, ReportsReturnForThatStepOnly) {
    m_unit.SetRegister(CCorvaneMPU::kLr, 0x300);
    m_unit.SetRegister(CCorvaneMPU::kIpc, 0x300);
    m_unit.SetRegister(5, 0x300);
    Put(0x300, {kNop});
    StepAt({GetParam().word});
    EXPECT_EQ(m_unit.ReturnExecuted(), GetParam().returned);
    m_unit.SetPC(0x300);
    m_unit.Step();
    EXPECT_FALSE(m_unit.ReturnExecuted());
}

INSTANTIATE_TEST_SUITE_P(Words, CorvaneReturnTest,
                         ::testing::Values(SReturnCase{kRet, true}, SReturnCase{kIret, true},
                                           SReturnCase{Control(5, 5, 0), false},
                                           SReturnCase{Control(5, 30, 3), false},
                                           SReturnCase{Control(4, 30, 0), false},
                                           SReturnCase{Control(6, 31, 0), false}));

TEST_F(CorvaneTest, IcallSavesStateAndIretRestoresIt) {
    m_unit.SetSR(0x315);  // S, I, C, code 5
    m_unit.SetRegister(6, 0x2000);
    StepAt({Control(6, 6, 0x10)});
    EXPECT_EQ(m_unit.GetPC(), 0x2010u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kIpc), 0x103u);
    // an icall that is no interrupt entry leaves I set
    EXPECT_EQ(m_unit.GetSR(), 0x315315u);

    m_unit.SetSR(0x315000);  // flags cleared, SR1 kept
    StepAt({kIret}, 0x2010);
    EXPECT_EQ(m_unit.GetPC(), 0x103u);
    EXPECT_EQ(m_unit.GetSR(), 0x315315u);
}

TEST_F(CorvaneTest, StopAdvancesAndGoesOn) {
    StepAt({kStop});
    EXPECT_TRUE(m_unit.IsStopped());
    EXPECT_EQ(m_unit.GetPC(), 0x103u);
}

TEST_F(CorvaneTest, UnassignedWordsDoNothing) {
    m_unit.SetRegister(1, 0x55);
    for (uint32_t word : {0x800000u | 1u << 13 | 0xFF, Control(2, 0, 5), Control(7, 0, 5),
                          Alu(4, 1, 4, 3), Alu(4, 27, 6, 3)}) {
        const uint32_t sr = m_unit.GetSR();
        StepAt({word});
        EXPECT_EQ(m_unit.GetPC(), 0x103u) << std::hex << word;
        EXPECT_EQ(m_unit.GetRegister(1), 0x55u) << std::hex << word;
        EXPECT_EQ(m_unit.GetSR(), sr) << std::hex << word;
    }
}

TEST_F(CorvaneTest, SpecialMovesLoadAndCopySR) {
    m_unit.SetRegister(20, 0x7FFFFF);  // a one-place left shift of it would set V
    StepAt({Prefix(0x000300), AluI(4, 27, 4 | 2 << 3, 0x30)});
    EXPECT_EQ(m_unit.GetSR(), 0x330u) << "SR is exactly b, no flag side effect";
    m_unit.Interrupt(false, true, 6);
    StepAt({Alu(4, 27, 5, 7)});
    EXPECT_EQ(m_unit.GetRegister(7), 0x336u);
}

TEST_F(CorvaneTest, LoadsTakeTheBusValueAsItComes) {
    Put(0x2000, {0xA1B2C3});
    m_unit.SetRegister(2, 0x2010);
    struct {
        uint32_t kind;
        uint32_t imm8;
        uint32_t expected;
    } const cases[] = {
        {kLw, 0xF0, 0xA1B2C3}, {kLb, 0xF1, 0xB2}, {kLdb, 0xF1, 0xA1B2}, {0, 0xF0, 0xA1B2C3}};
    for (const auto& c : cases) {
        StepAt({Memory(c.kind, 1, 2, c.imm8)});
        EXPECT_EQ(m_unit.GetRegister(1), c.expected) << c.kind;
    }
    StepAt({Prefix(0x050000), Memory(kLw, 1, 0, 0)});
    EXPECT_EQ(m_unit.GetRegister(1), 0xFFFFFFFFu) << "nothing answers at 0x050000";
    EXPECT_EQ(Counter(CMpu::kLoads), 5u);
    EXPECT_EQ(Counter(CMpu::kStores), 0u);
    EXPECT_EQ(Counter(CMpu::kCycles), 10u);
}

TEST_F(CorvaneTest, StoresWriteTheirSize) {
    m_unit.SetRegister(1, 0x123456);
    m_unit.SetRegister(2, 0x3000);
    StepAt({Memory(kSw, 1, 2, 0x00)});
    StepAt({Memory(kSb, 1, 2, 0x10)});
    StepAt({Memory(kSdb, 1, 2, 0x20)});
    StepAt({Memory(4, 1, 2, 0x30)});
    EXPECT_EQ(Peek(0x3000, 4), 0x123456u);
    EXPECT_EQ(Peek(0x3010, 4), 0x56u);
    EXPECT_EQ(Peek(0x3020, 4), 0x3456u);
    EXPECT_EQ(Peek(0x3030, 4), 0x123456u);
    EXPECT_EQ(Counter(CMpu::kStores), 4u);
}

struct SStoreCase {
    const char* name;
    uint32_t cr;
    int entry;
    uint32_t entryValue;
    uint32_t virtualAddress;
    std::optional<uint32_t> physical;  // where the word lands, or nothing written
};

class CorvaneStoreTest : public CorvaneTest, public ::testing::WithParamInterface<SStoreCase> {};

TEST_P(CorvaneStoreTest, TranslatesAndChecksWritePermission) {
    const SStoreCase& c = GetParam();
    m_unit.SetCR(c.cr);
    m_unit.Reset();
    m_unit.SetPageTableEntry(c.entry, c.entryValue);
    m_unit.SetRegister(1, 0x5A5A5A);
    // the code runs from the untranslated top of memory
    Put(0xFFF000,
        {Prefix(c.virtualAddress & 0xFFFF00), Memory(kSw, 1, 0, c.virtualAddress & 0xFF)});
    m_unit.SetPC(0xFFF000);
    m_unit.Step();
    for (uint32_t probe : {0x000000u, 0x004000u, 0x006000u, 0x006010u}) {
        const uint32_t expected = c.physical && probe == *c.physical ? 0x5A5A5A : 0;
        EXPECT_EQ(Peek(probe), expected) << std::hex << probe;
    }
    EXPECT_EQ(Counter(CMpu::kStores), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CorvaneStoreTest,
    ::testing::Values(SStoreCase{"ResetTableMapsToFrameZero", 0, 2, 4, 0x004000, 0x000000},
                      SStoreCase{"WriteProtected", 0, 2, 0, 0x004000, {}},
                      SStoreCase{"OtherFrame", 0, 2, 0x18 | 4, 0x004010, 0x006010},
                      SStoreCase{"IgnoredEntryBits", 0, 2, 0xFFFFF01C, 0x004000, 0x006000},
                      SStoreCase{"HighPageWrapsIndex", 0, 34, 0x18 | 4, 0x0C4000, 0x006000},
                      SStoreCase{"HighPageProtected", 0, 34, 0, 0x0C4000, {}},
                      SStoreCase{"TranslationOff", 2, 2, 4, 0x004000, 0x004000},
                      SStoreCase{"ProtectionWithTranslationOff", 2, 2, 0, 0x004000, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CorvaneTest, TopHalfIsNeverTranslatedNorProtected) {
    m_unit.SetCR(0);
    for (int i = 0; i < CCorvaneMPU::kPageTableSize; ++i)
        m_unit.SetPageTableEntry(i, 0x18);
    EXPECT_EQ(m_unit.Translate(0xFFF123), 0xFFF123u);
    EXPECT_TRUE(m_unit.IsWritable(0x800000));
    EXPECT_EQ(m_unit.Translate(0x7FFFFF), 0x007FFFu);
    EXPECT_FALSE(m_unit.IsWritable(0x7FFFFF));
}

TEST_F(CorvaneTest, InterruptLatchesCodeAndRequest) {
    struct {
        bool clear;
        bool nmi;
        bool irq;
        int code;
        bool pending;
        uint32_t srCode;
    } const calls[] = {
        {false, false, true, 3, true, 3},    {false, false, true, 15, false, 15},
        {false, false, true, 14, true, 14},  {false, false, true, -1, false, 15},
        {true, false, false, 15, false, 15},  // irq clear: ignored, request kept
        {true, false, true, 15, false, 15},  {false, false, false, 2, true, 2},
    };
    m_unit.Interrupt(false, true, 7);
    for (const auto& c : calls) {
        const bool before = m_unit.IsIrqPending();
        if (c.clear)
            m_unit.ClearInterrupt(c.nmi, c.irq, c.code);
        else
            m_unit.Interrupt(c.nmi, c.irq, c.code);
        EXPECT_EQ(m_unit.IsIrqPending(), c.clear && !c.irq ? before : c.pending) << c.code;
        if (!c.clear || c.irq) {
            EXPECT_EQ(m_unit.GetSR() & 0xF, c.srCode) << c.code;
        }
    }
    EXPECT_FALSE(m_unit.IsNmiPending());
    m_unit.Interrupt(true, false, -1);
    EXPECT_TRUE(m_unit.IsNmiPending());
}

TEST_F(CorvaneTest, IrqIsTakenFromTheThirdStepAfterReset) {
    Put(0xFFFFF8, {kNop, kNop});
    Put(0xFFFFE8, {kNop});
    m_unit.SetSR(0x300);  // I and S
    m_unit.Interrupt(false, true, 3);
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFFEu) << "the first two steps run instructions";
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFE8u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kIpc), 0xFFFFFEu);
    // SR1 = 0x303, I cleared, S set, code kept
    EXPECT_EQ(m_unit.GetSR(), 0x303203u);
    EXPECT_FALSE(m_unit.IsInterruptEntry());
    EXPECT_TRUE(m_unit.IsIrqPending()) << "the request is a level";
    EXPECT_EQ(Counter(CMpu::kFetches), 3u);
    // with I clear now, the handler runs
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFEBu);
}

TEST_F(CorvaneTest, IrqWaitsWhileIClear) {
    Put(0x100, {kNop, kNop, kNop, kNop});
    m_unit.SetPC(0x100);
    m_unit.Interrupt(false, true, 1);
    for (int i = 0; i < 4; ++i)
        m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x10Cu);
}

TEST_F(CorvaneTest, NmiIsTakenAtOnceEvenWithIClear) {
    Put(0xFFFFF0, {kNop});
    m_unit.Interrupt(true, false, -1);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF0u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kIpc), 0xFFFFF8u);
    EXPECT_FALSE(m_unit.IsNmiPending());
    EXPECT_EQ(m_unit.GetSR() & 0x300, 0x200u);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF3u);
}

// Devices raise and withdraw requests, and the panes read registers, from
// other threads while the core steps; the thread-sanitizer build checks it.
TEST_F(CorvaneTest, InterruptsAndReadersMeetTheSteppingCore) {
    Put(0xFFFFE8, {kIret});
    Put(0x100, {AluI(12, 1, 1, 1), Branch(14, 0, 0xF7)});
    m_unit.SetPC(0x100);
    m_unit.SetSR(0x300);
    constexpr int kSteps = 20000;
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::atomic<uint32_t> sink{0};
    std::thread device([&] {
        started = true;
        for (int i = 0; !done.load(); ++i) {
            if (i % 2)
                m_unit.Interrupt(false, true, 2);
            else
                m_unit.ClearInterrupt(false, true, 15);
            // what the register and statistics panes read
            sink = m_unit.GetSR() + m_unit.GetRegister(1) + m_unit.GetCounter(CMpu::kFetches) +
                   m_unit.Cache().GetAttempts();
        }
        m_unit.ClearInterrupt(false, true, 15);
    });
    while (!started.load())
        std::this_thread::yield();
    for (int i = 0; i < kSteps; ++i)
        m_unit.Step();
    done = true;
    device.join();
    // at most one step is left in the handler: its iret
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(Counter(CMpu::kFetches), static_cast<uint32_t>(kSteps + 2));
    EXPECT_EQ(m_unit.GetSR() & 0x300, 0x300u);
}

TEST_F(CorvaneTest, PCWrapsAtTheTopOfMemory) {
    m_unit.SetPC(0xFFFFFE);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x000001u);
}

TEST_F(CorvaneTest, FetchesGoThroughTheCacheWhenEnabled) {
    m_unit.SetCR(3);
    // a two-word loop: r1 += 1; br back
    Put(0x100, {AluI(12, 1, 1, 1), Branch(14, 0, 0xF7)});
    m_unit.SetPC(0x100);
    for (int i = 0; i < 10; ++i)
        m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 5u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 10u);
    EXPECT_EQ(m_unit.Cache().GetMisses(), 2u);
    // the cache holds the old word after a store: code that changes itself
    // needs the cache off
    Put(0x100, {AluI(12, 1, 1, 0x10)});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 6u);
    m_unit.SetCR(2);
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x16u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 11u);

    m_unit.ResetStatistics();
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 0u);
    EXPECT_EQ(m_unit.Cache().GetMisses(), 0u);
    EXPECT_EQ(Counter(CMpu::kFetches), 0u);
}

TEST_F(CorvaneTest, CacheIsLookedUpWithTheTranslatedAddress) {
    m_unit.SetCR(1);
    m_unit.SetPageTableEntry(0, 0x08 | 4);  // page 0 -> frame 1
    Put(0x2100, {AluI(12, 1, 0, 0x42)});
    m_unit.SetPC(0x100);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x42u);
    EXPECT_EQ(m_unit.Cache().GetTag(0x2100 & 31), 0x2100u >> 5);
}

TEST_F(CorvaneTest, StoredRecordHasItsFieldsInOrder) {
    m_unit.SetName("Corvane Processor #0");
    m_unit.SetIrqMask(3);
    m_unit.SetCR(1);
    m_unit.SetPageTableEntry(1, 0x1C);
    m_unit.Breakpoints().Add(0x100);
    StepAt({0xBC1234, 0x642256});
    m_unit.SetRegister(1, 0x111111);
    m_unit.SetRegister(31, 0x313131);
    m_unit.SetSR(0x123456);
    m_unit.SetStepOutPending(true);
    m_unit.Interrupt(false, true, 2);

    CArchive out;
    m_unit.Serialize(out);
    const size_t unitRecord = 4 + 21 + 4 + 4 + 4 + 16 + 120;
    const size_t cacheRecord = 32 * 16;
    ASSERT_EQ(out.Data().size(), unitRecord + cacheRecord + (64 + 32 + 14) * 4);
    CArchive peek(out.Data());
    std::vector<uint8_t> skip(unitRecord + cacheRecord);
    peek.ReadBytes(skip.data(), skip.size());
    std::vector<uint32_t> fields;
    while (peek.Remaining() > 0)
        fields.push_back(peek.ReadU32());
    EXPECT_EQ(fields[1], 0x1Cu);
    EXPECT_EQ(fields[64 + 1], 0x111111u);
    EXPECT_EQ(fields[64 + 31], 0x313131u);
    const std::vector<uint32_t> tail(fields.begin() + 96, fields.end());
    // SR, PC, Opcode, reserved, PrefixValue, reserved, CR, StepsSinceReset,
    // Stopped, step-out, PrefixActive, InterruptEntry, fetches, cycles
    EXPECT_EQ(tail, (std::vector<uint32_t>{0x123452, 0x106, 0x642256, 0, 0x123400, 0, 1, 1, 0, 1, 1,
                                           0, 1, 1}));

    CCorvaneMPU loaded;
    CArchive in(out.Data());
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(in.Remaining(), 0u);
    CArchive again;
    loaded.Serialize(again);
    EXPECT_EQ(again.Data(), out.Data());
    EXPECT_EQ(loaded.GetName(), "Corvane Processor #0");
    EXPECT_EQ(loaded.GetSR(), 0x123452u);
    EXPECT_EQ(loaded.GetCR(), 1u);
    EXPECT_TRUE(loaded.IsStepOutPending());
    EXPECT_FALSE(loaded.IsIrqPending());
    EXPECT_FALSE(loaded.Breakpoints().HasBreakpoints());
    EXPECT_EQ(loaded.GetCounter(CMpu::kLoads), 0u);
}

TEST_F(CorvaneTest, LoadedRegisterZeroReadsZero) {
    CArchive out;
    m_unit.Serialize(out);
    std::vector<uint8_t> data = out.Data();
    const size_t r0 = 4 + 1 + 4 + 4 + 4 + 16 + 120 + 32 * 16 + 64 * 4;
    data[r0] = 0x77;
    CCorvaneMPU loaded;
    CArchive in(data);
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded.GetRegister(0), 0u);
}

// A short program: a loop with prefixed constants, a call and ret, loads and
// stores, and an interrupt taken in the middle of the loop and left with iret.
class CorvaneProgramTest : public CorvaneTest {
protected:
    static constexpr uint32_t kAck = 0x03F000;

    void LoadProgram() {
        Put(0xFFFFE8, {Prefix(0x000300), Control(5, 0, 0)});  // IRQ: jmp 0x300
        Put(0xFFFFF8, {Prefix(0x000100), Control(5, 0, 0)});  // reset: jmp 0x100
        Put(0x100, {Prefix(0x000300), AluI(4, 27, 4, 0x00),   // SR = I | S
                    Prefix(0x012300), AluI(12, 1, 0, 0x45),   // r1 = 0x012345
                    AluI(12, 2, 0, 5), AluI(12, 3, 0, 0),     // r2 = 5, r3 = 0
                    Alu(12, 3, 3, 1), AluI(14, 2, 2, 1),      // 0x112: r3 += r1, r2 -= 1
                    Branch(1, 2, 0xF4),                       // bne r2,0x112
                    CallTo(0x200),                            //
                    Prefix(0x001000), Memory(kSw, 3, 0, 0),   // [0x1000] = r3
                    Prefix(0x001000), Memory(kLw, 5, 0, 0),   // r5 = [0x1000]
                    Branch(0, 9, 0xFA),                       // 0x12A: wait for r9
                    kStop, Branch(14, 0, 0xFA)});
        Put(0x200, {AluI(5, 4, 3, 1), Memory(kSb, 4, 0, 0x20), kRet});
        Put(0x300, {Alu(4, 27, 5, 9), AluI(8, 9, 9, 0x0F),        // r9 = interrupt code
                    Prefix(kAck), Memory(kSb, 9, 0, 0), kIret});  // acknowledge
    }

    // Runs until stop; the device behind the interrupt raises it after step 12
    // and withdraws it when the handler acknowledges.
    int Run() {
        int steps = 0;
        while (!m_unit.IsStopped() && steps < 1000) {
            m_unit.Step();
            if (++steps == 12) m_unit.Interrupt(false, true, 3);
            if (Peek(kAck, 1) != 0) {
                m_unit.ClearInterrupt(false, true, 15);
                m_bus.Write(kAck, 0, 1, false);
            }
        }
        return steps;
    }
};

TEST_F(CorvaneProgramTest, RunsToItsFinalState) {
    LoadProgram();
    EXPECT_EQ(Run(), 34);
    EXPECT_EQ(m_unit.GetPC(), 0x130u);
    const std::pair<int, uint32_t> registers[] = {{1, 0x012345},  {2, 0},        {3, 0x05B059},
                                                  {4, 0x0B60B2},  {5, 0x05B059}, {9, 3},
                                                  {30, 0x00011E}, {31, 0x000115}};
    for (const auto& [n, value] : registers)
        EXPECT_EQ(m_unit.GetRegister(n), value) << "r" << n;
    EXPECT_EQ(m_unit.GetSR(), 0x303303u);
    EXPECT_EQ(Peek(0x20, 1), 0xB2u);
    EXPECT_EQ(Peek(0x1000), 0x05B059u);
    EXPECT_FALSE(m_unit.IsIrqPending());
    EXPECT_EQ(Counter(CMpu::kFetches), 34u);
    EXPECT_EQ(Counter(CMpu::kCycles), 58u);
    EXPECT_EQ(Counter(CMpu::kLoads), 1u);
    EXPECT_EQ(Counter(CMpu::kStores), 3u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 0u);
}

TEST_F(CorvaneProgramTest, CacheChangesNothingButItsCounters) {
    LoadProgram();
    Run();
    std::vector<uint32_t> without;
    for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
        without.push_back(m_unit.GetRegister(n));
    without.push_back(m_unit.GetSR());
    without.push_back(m_unit.GetPC());
    std::vector<uint8_t> memory(m_ram->Data(), m_ram->Data() + m_ram->GetSize());

    ASSERT_TRUE(m_ram->SetSize(0x40000));  // cleared
    m_unit.SetCR(3);
    m_unit.Reset();
    m_unit.ResetStatistics();
    LoadProgram();
    EXPECT_EQ(Run(), 34);
    std::vector<uint32_t> with;
    for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
        with.push_back(m_unit.GetRegister(n));
    with.push_back(m_unit.GetSR());
    with.push_back(m_unit.GetPC());
    EXPECT_EQ(with, without);
    EXPECT_TRUE(std::equal(memory.begin(), memory.end(), m_ram->Data()));
    // 33 instruction words and 7 prefixes; the three loop words hit from the
    // second pass on, the handler's lines do not meet them
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 40u);
    EXPECT_EQ(m_unit.Cache().GetMisses(), 28u);
}

}  // namespace
