// The Vo16 core: instruction effects with their counters, branch conditions,
// multi-word arithmetic, shifts through ShiftBit, the stored record and a
// whole program on a 32 KB memory at address 0.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <utility>
#include <vector>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/Vo16.h"

namespace {

using SRegs = std::vector<std::pair<int, uint16_t>>;
using SBytes = std::vector<std::pair<uint16_t, uint8_t>>;

// A unit on a bus with external RAM at 0x0000-0x7FFF.
class Vo16Machine {
public:
    explicit Vo16Machine(uint32_t ramSize = 0x8000) {
        m_ram = new CRam;
        m_ram->SetRange(0, ramSize - 1);
        m_ram->SetSize(ramSize);
        m_bus.AddTail(m_ram);
        m_unit.SetBus(&m_bus);
    }
    void Code(uint16_t address, std::initializer_list<uint16_t> words) {
        for (uint16_t word : words) {
            m_bus.Write(address, word, 2 | CDevices::kSwap, true);
            address = static_cast<uint16_t>(address + 2);
        }
    }
    void Code(uint16_t address, const std::vector<uint16_t>& words) {
        for (uint16_t word : words) {
            m_bus.Write(address, word, 2 | CDevices::kSwap, true);
            address = static_cast<uint16_t>(address + 2);
        }
    }
    uint8_t Byte(uint16_t address) const { return m_ram->Data()[address]; }
    void SetByte(uint16_t address, uint8_t value) { m_bus.Write(address, value, 1, true); }

    CDevices m_bus;
    CRam* m_ram = nullptr;
    CVo16 m_unit;
};

struct SStepCase {
    const char* name;
    std::vector<uint16_t> code;  // at 0x0100
    SRegs in;
    SBytes memoryIn;
    SRegs out;
    SBytes memoryOut;
    uint16_t pc;
    uint32_t fetches, cycles, loads, stores;
    bool returned;
};

void PrintTo(const SStepCase& c, std::ostream* os) {
    *os << c.name;
}

class Vo16StepTest : public ::testing::TestWithParam<SStepCase> {};

TEST_P(Vo16StepTest, OneStep) {
    const SStepCase& c = GetParam();
    Vo16Machine m;
    m.Code(0x100, c.code);
    for (auto [address, value] : c.memoryIn)
        m.SetByte(address, value);
    for (auto [n, value] : c.in)
        m.m_unit.SetRegister(n, value);
    m.m_unit.SetPC(0x100);
    m.m_unit.Step();

    for (auto [n, value] : c.out)
        EXPECT_EQ(m.m_unit.GetRegister(n), value) << "r" << n;
    for (auto [address, value] : c.memoryOut)
        EXPECT_EQ(m.Byte(address), value) << address;
    EXPECT_EQ(m.m_unit.GetPC(), c.pc);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kFetches), c.fetches);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kCycles), c.cycles);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kLoads), c.loads);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kStores), c.stores);
    EXPECT_EQ(m.m_unit.ReturnExecuted(), c.returned);
    EXPECT_EQ(m.m_unit.GetRegister(0), 0);
}

// Registers not named in "in" start at 0; code sits at 0x100, so PC after a
// one-word instruction is 0x102.
// clang-format off
const SStepCase kStepCases[] = {
    // name                        code              registers in                 memory in                          registers out    memory out                  PC  fetch cyc load store return
    {"AddiPositive",               {0x2127},         {{2, 0x10}},                 {},                                {{1, 0x17}},     {},                         0x102, 1, 1, 1, 0, false},
    {"AddiMinusOne",               {0x212F},         {{2, 0x10}},                 {},                                {{1, 0x0F}},     {},                         0x102, 1, 1, 1, 0, false},
    {"AddiPrefixed",               {0xD123, 0x2125}, {{2, 1}},                    {},                                {{1, 0x1236}},   {},                         0x104, 2, 2, 2, 0, false},
    {"LastOfThreePrefixes",        {0xD111, 0xD222, 0xD333, 0x2125}, {{2, 1}},    {},                                {{1, 0x3336}},   {},                         0x108, 4, 4, 4, 0, false},
    {"AddRegisters",               {0x0123},         {{2, 0xFFFF}, {3, 2}},       {},                                {{1, 1}},        {},                         0x102, 1, 1, 1, 0, false},
    {"SubRegisters",               {0x1123},         {{2, 1}, {3, 2}},            {},                                {{1, 0xFFFF}},   {},                         0x102, 1, 1, 1, 0, false},
    {"WriteToR0IsLost",            {0x0023},         {{2, 5}, {3, 6}},            {},                                {{0, 0}},        {},                         0x102, 1, 1, 1, 0, false},
    {"And",                        {0x3102},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                                {{1, 0x0C30}},   {},                         0x102, 1, 1, 1, 0, false},
    {"Or",                         {0x3112},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                                {{1, 0x3FFC}},   {},                         0x102, 1, 1, 1, 0, false},
    {"Xor",                        {0x3122},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                                {{1, 0x33CC}},   {},                         0x102, 1, 1, 1, 0, false},
    {"Andn",                       {0x3132},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                                {{1, 0x03C0}},   {},                         0x102, 1, 1, 1, 0, false},
    {"UnassignedFnOp3",            {0x3162},         {{1, 0x1234}},               {},                                {{1, 0x1234}},   {},                         0x102, 1, 1, 1, 0, false},
    {"AndiSignExtended",           {0x410E},         {{1, 0x1234}},               {},                                {{1, 0x1234}},   {},                         0x102, 1, 1, 1, 0, false},
    {"AndiSmall",                  {0x4107},         {{1, 0x1235}},               {},                                {{1, 0x0005}},   {},                         0x102, 1, 1, 1, 0, false},
    {"OriPrefixed",                {0xDF00, 0x4110}, {{1, 0x0001}},               {},                                {{1, 0xF001}},   {},                         0x104, 2, 2, 2, 0, false},
    {"Andni",                      {0x4131},         {{1, 0x00FF}},               {},                                {{1, 0x00FE}},   {},                         0x102, 1, 1, 1, 0, false},
    {"ShiftIgnoresPrefix",         {0xDFFF, 0x416F}, {{1, 4}},                    {},                                {{1, 2}},        {},                         0x104, 2, 2, 2, 0, false},
    {"UnassignedFnOp4",            {0x41B1},         {{1, 0x1234}},               {},                                {{1, 0x1234}},   {},                         0x102, 1, 1, 1, 0, false},
    {"LwWordDisplacement",         {0x5213},         {{1, 0x200}},                {{0x212, 0xAB}, {0x213, 0xCD}},    {{2, 0xABCD}},   {},                         0x102, 1, 2, 2, 0, false},
    {"LwEvenDisplacement",         {0x521E},         {{1, 0x200}},                {{0x20E, 0x12}, {0x20F, 0x34}},    {{2, 0x1234}},   {},                         0x102, 1, 2, 2, 0, false},
    {"LwPrefixedDisplacement",     {0xD001, 0x5213}, {{1, 0x200}},                {{0x213, 0x56}, {0x214, 0x78}},    {{2, 0x5678}},   {},                         0x104, 2, 3, 3, 0, false},
    {"LbByteDisplacement",         {0x6213},         {{1, 0x200}, {2, 0xFFFF}},   {{0x203, 0x9C}},                   {{2, 0x009C}},   {},                         0x102, 1, 2, 2, 0, false},
    {"LwAddressWraps",             {0x521E},         {{1, 0xFFF4}},               {{0x0002, 0x42}, {0x0003, 0x24}},  {{2, 0x4224}},   {},                         0x102, 1, 2, 2, 0, false},
    {"LwUnmappedReadsAllOnes",     {0x5210},         {{1, 0x9000}},               {},                                {{2, 0xFFFF}},   {},                         0x102, 1, 2, 2, 0, false},
    {"LbUnmappedReadsOneByte",     {0x6210},         {{1, 0x9000}},               {},                                {{2, 0x00FF}},   {},                         0x102, 1, 2, 2, 0, false},
    {"SwBigEndian",                {0x8213},         {{1, 0x200}, {2, 0xBEEF}},   {},                                {},              {{0x212, 0xBE}, {0x213, 0xEF}}, 0x102, 1, 2, 1, 1, false},
    {"SbLowByte",                  {0x9215},         {{1, 0x200}, {2, 0xBEEF}},   {{0x206, 0x11}},                   {},              {{0x205, 0xEF}, {0x206, 0x11}}, 0x102, 1, 2, 1, 1, false},
    {"JalLinks",                   {0xA514},         {{1, 0x300}},                {},                                {{5, 0x102}},    {},                         0x304, 1, 3, 1, 0, false},
    {"JalLinkIntoItsBase",         {0xA113},         {{1, 0x300}},                {},                                {{1, 0x102}},    {},                         0x312, 1, 3, 1, 0, false},
    {"JalReturnThroughR15",        {0xA0F0},         {{15, 0x400}},               {},                                {},              {},                         0x400, 1, 3, 1, 0, true},
    {"JalReturnThroughR14",        {0xA0E0},         {{14, 0x400}},               {},                                {},              {},                         0x400, 1, 3, 1, 0, true},
    {"JalR0ThroughR13IsNoReturn",  {0xA0D0},         {{13, 0x400}},               {},                                {},              {},                         0x400, 1, 3, 1, 0, false},
    {"JalLinkingIsNoReturn",       {0xA1F0},         {{15, 0x400}},               {},                                {{1, 0x102}},    {},                         0x400, 1, 3, 1, 0, false},
    {"Call",                       {0xC123},         {},                          {},                                {{15, 0x102}},   {},                         0x1230, 1, 3, 1, 0, false},
    {"CallAfterPrefix",            {0xD777, 0xC123}, {},                          {},                                {{15, 0x104}},   {},                         0x1230, 2, 4, 2, 0, false},
    {"BranchToItself",             {0xB0FE},         {},                          {},                                {},              {},                         0x100, 1, 3, 1, 0, false},
    {"BranchNeverFallsThrough",    {0xB1FE},         {},                          {},                                {},              {},                         0x102, 1, 1, 1, 0, false},
    {"BranchForward",              {0xB07F},         {},                          {},                                {},              {},                         0x202, 1, 3, 1, 0, false},
    {"Op7DoesNothing",             {0x7123},         {{1, 9}},                    {},                                {{1, 9}},        {},                         0x102, 1, 1, 1, 0, false},
    {"OpFDoesNothing",             {0xFFFF},         {{15, 9}},                   {},                                {{15, 9}},       {},                         0x102, 1, 1, 1, 0, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Instructions, Vo16StepTest, ::testing::ValuesIn(kStepCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vo16Test, FirstStepAfterResetFetchesBigEndianWordAtZero) {
    Vo16Machine m;
    m.SetByte(0, 0x21);  // addi r1,r0,7 big-endian; little-endian it would be addi r7,r2,1
    m.SetByte(1, 0x27);
    m.m_unit.SetPC(0x1234);
    m.m_unit.SetRegister(3, 0x55);
    m.m_unit.Reset();
    EXPECT_EQ(m.m_unit.GetRegister(3), 0);
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), 7);
    EXPECT_EQ(m.m_unit.GetRegister(7), 0);
    EXPECT_EQ(m.m_unit.GetPC(), 2u);
    EXPECT_EQ(m.m_unit.GetOpcode(), 0x2127);
}

TEST(Vo16Test, ResetKeepsFlagsAddendsAndRunControl) {
    Vo16Machine m;
    m.m_unit.SetShiftBit(1);
    m.m_unit.SetCarry(1);
    m.m_unit.SetAddends(3, 4);
    m.m_unit.SetStepOutPending(true);
    m.m_unit.Reset();
    EXPECT_EQ(m.m_unit.GetShiftBit(), 1u);
    EXPECT_EQ(m.m_unit.GetCarry(), 1u);
    EXPECT_EQ(m.m_unit.GetAddendA(), 3);
    EXPECT_EQ(m.m_unit.GetAddendB(), 4);
    EXPECT_TRUE(m.m_unit.IsStepOutPending());
    EXPECT_EQ(CVo16().GetShiftBit(), 0u);
    EXPECT_EQ(CVo16().GetCarry(), 0u);
}

TEST(Vo16Test, ReturnFlagAndPrefixFlagLastOneStep) {
    Vo16Machine m;
    m.Code(0, {0xD001, 0xA0F0});  // prefixed jal r0,0011(r15): a return
    m.Code(0x40, {0x0000});
    m.m_unit.SetRegister(15, 0x30);
    m.m_unit.Step();
    EXPECT_TRUE(m.m_unit.ReturnExecuted());
    EXPECT_TRUE(m.m_unit.IsPrefixActive());
    EXPECT_EQ(m.m_unit.GetPrefixValue(), 0x0010);
    EXPECT_EQ(m.m_unit.GetPC(), 0x40u);
    m.m_unit.Step();
    EXPECT_FALSE(m.m_unit.ReturnExecuted());
    EXPECT_FALSE(m.m_unit.IsPrefixActive());
}

// A prefix chain over the whole address space ends the step instead of
// looping forever.
TEST(Vo16Test, EndlessPrefixChainEndsTheStep) {
    Vo16Machine m(0x10000);
    for (uint32_t address = 0; address < 0x10000; address += 2)
        m.Code(address, {0xD123});
    m.m_unit.SetPC(0x10);
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetPC(), 0x10u);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kFetches), 0x8000u);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kCycles), 0x8001u);
    uint32_t length = 0;
    m.m_unit.Disassemble(0x10, &length);
    EXPECT_EQ(length, 0x10000u);
}

// Branch conditions. Each row executes sub or add into r0, then every one of
// the sixteen branches; kHolds lists the even conditions that must be taken
// (the odd ones must be their opposites).
struct SConditionCase {
    const char* name;
    uint16_t operation;  // 0x1012 sub r0,r1,r2 or 0x0012 add r0,r1,r2
    uint16_t r1, r2;
    std::vector<int> holds;
};

void PrintTo(const SConditionCase& c, std::ostream* os) {
    *os << c.name;
}

class Vo16ConditionTest : public ::testing::TestWithParam<SConditionCase> {};

TEST_P(Vo16ConditionTest, EveryBranchAfterTheAddition) {
    const SConditionCase& c = GetParam();
    for (uint32_t cond = 0; cond < 16; ++cond) {
        Vo16Machine m;
        // operation; andi r3,0 (logic keeps the addends); branch +0x10
        m.Code(0, {c.operation, 0x4300, static_cast<uint16_t>(0xB010 | cond << 8)});
        m.m_unit.SetRegister(1, c.r1);
        m.m_unit.SetRegister(2, c.r2);
        for (int i = 0; i < 3; ++i)
            m.m_unit.Step();
        bool expected = false;
        for (int even : c.holds)
            expected = expected || even == static_cast<int>(cond & 14);
        if (cond & 1) expected = !expected;
        EXPECT_EQ(m.m_unit.GetPC(), expected ? 0x28u : 0x6u) << "condition " << cond;
    }
}

const SConditionCase kConditionCases[] = {
    {"CompareOneWithTwo", 0x1012, 1, 2, {0, 8, 10, 12, 14}},
    {"CompareMinusOneWithOne", 0x1012, 0xFFFF, 1, {0, 4, 8, 10}},
    {"CompareEqual", 0x1012, 5, 5, {0, 2, 4, 10, 14}},
    {"CompareMostNegativeWithOne", 0x1012, 0x8000, 1, {0, 4, 6, 8, 10}},
    {"AddOverflows", 0x0012, 0x7FFF, 1, {0, 6, 12, 14}},
    {"AddCarriesToZero", 0x0012, 0xFFFF, 1, {0, 2, 4, 10, 14}},
};

INSTANTIATE_TEST_SUITE_P(Conditions, Vo16ConditionTest, ::testing::ValuesIn(kConditionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// 32-bit arithmetic over register pairs (r2:r1) and (r4:r3).
struct SWideCase {
    uint32_t x, y;
};

void PrintTo(const SWideCase& c, std::ostream* os) {
    *os << std::hex << c.x << "," << c.y;
}

class Vo16WideTest : public ::testing::TestWithParam<SWideCase> {
protected:
    uint32_t Run(std::initializer_list<uint16_t> code) {
        Vo16Machine m;
        m.Code(0, code);
        m.m_unit.SetCarry(1);  // a stale carry must not leak into the low word
        m.m_unit.SetRegister(1, static_cast<uint16_t>(GetParam().x));
        m.m_unit.SetRegister(2, static_cast<uint16_t>(GetParam().x >> 16));
        m.m_unit.SetRegister(3, static_cast<uint16_t>(GetParam().y));
        m.m_unit.SetRegister(4, static_cast<uint16_t>(GetParam().y >> 16));
        m.m_unit.Step();
        m.m_unit.Step();
        return uint32_t{m.m_unit.GetRegister(2)} << 16 | m.m_unit.GetRegister(1);
    }
};

TEST_P(Vo16WideTest, AddWithCarry) {
    EXPECT_EQ(Run({0x0113, 0x3244}), GetParam().x + GetParam().y);  // add r1,r1,r3; adc r2,r4
}

TEST_P(Vo16WideTest, SubtractWithBorrow) {
    EXPECT_EQ(Run({0x1113, 0x3254}), GetParam().x - GetParam().y);  // sub r1,r1,r3; sbc r2,r4
}

INSTANTIATE_TEST_SUITE_P(
    Operands, Vo16WideTest,
    ::testing::Values(SWideCase{0x0000FFFF, 0x00000001}, SWideCase{0xFFFFFFFF, 0x00000001},
                      SWideCase{0x12345678, 0x9ABCDEF0}, SWideCase{0x00010000, 0x00000001},
                      SWideCase{0x00000000, 0xFFFFFFFF}, SWideCase{0x80008000, 0x80008000},
                      SWideCase{0x00000005, 0x00000005}, SWideCase{0x0001FFFF, 0x0000FFFF}));

TEST(Vo16Test, WideArithmeticWithConstants) {
    Vo16Machine m;
    // addi r1,r1,8000 ; adci r2,0001 ; then sbci r2,0001 after sub r1,r1,r3 borrows
    m.Code(0, {0xD800, 0x2110, 0x4241, 0x1113, 0x4251});
    m.m_unit.SetRegister(1, 0x9000);
    m.m_unit.SetRegister(2, 0x0002);
    m.m_unit.Step();
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), 0x1000);
    EXPECT_EQ(m.m_unit.GetRegister(2), 0x0004);  // 2 + 1 + carry
    m.m_unit.SetRegister(3, 0x2000);
    m.m_unit.Step();
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), 0xF000);
    EXPECT_EQ(m.m_unit.GetRegister(2), 0x0002);  // 4 - 1 - borrow
    EXPECT_EQ(m.m_unit.GetCarry(), 0u);
}

struct SShiftCase {
    const char* name;
    uint16_t word;  // on r1
    uint16_t value;
    uint32_t shiftIn;
    uint16_t result;
    uint32_t shiftOut;
};

void PrintTo(const SShiftCase& c, std::ostream* os) {
    *os << c.name;
}

class Vo16ShiftTest : public ::testing::TestWithParam<SShiftCase> {};

TEST_P(Vo16ShiftTest, OnePlace) {
    const SShiftCase& c = GetParam();
    Vo16Machine m;
    m.Code(0, {c.word});
    m.m_unit.SetRegister(1, c.value);
    m.m_unit.SetShiftBit(c.shiftIn);
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), c.result);
    EXPECT_EQ(m.m_unit.GetShiftBit(), c.shiftOut);
}

INSTANTIATE_TEST_SUITE_P(Shifts, Vo16ShiftTest,
                         ::testing::Values(SShiftCase{"SrliZeroIn", 0x4160, 0x8003, 1, 0x4001, 1},
                                           SShiftCase{"SraiKeepsSign", 0x4170, 0x8002, 1, 0xC001,
                                                      0},
                                           SShiftCase{"SlliOut", 0x4180, 0x8001, 0, 0x0002, 1},
                                           SShiftCase{"SrxiIn", 0x4190, 0x0002, 1, 0x8001, 0},
                                           SShiftCase{"SrxiOut", 0x4190, 0x0003, 0, 0x0001, 1},
                                           SShiftCase{"SlxiIn", 0x41A0, 0x4000, 1, 0x8001, 0},
                                           SShiftCase{"SlxiOut", 0x41A0, 0x8000, 0, 0x0000, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vo16Test, SrxiAfterSlliOfTopBit) {
    Vo16Machine m;
    m.Code(0, {0x4180, 0x4190});  // slli r1 ; srxi r1
    m.m_unit.SetRegister(1, 0x8000);
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), 0);
    m.m_unit.Step();
    EXPECT_EQ(m.m_unit.GetRegister(1), 0x8000);
}

TEST(Vo16Test, StoredRecordIsR0ToR7ThenPC) {
    CVo16 unit;
    for (int n = 1; n < 16; ++n)
        unit.SetRegister(n, static_cast<uint16_t>(0x1100 * n + n));
    unit.SetPC(0xBEEE);
    CArchive out;
    unit.Serialize(out);
    const std::vector<uint8_t>& data = out.Data();
    ASSERT_EQ(data.size(), 36u);
    EXPECT_EQ(data[4], 0x01);  // r1 = 0x1101, little-endian
    EXPECT_EQ(data[5], 0x11);
    EXPECT_EQ(data[32], 0xEE);  // PC
    EXPECT_EQ(data[33], 0xBE);

    CArchive in(data);
    CVo16 loaded;
    loaded.Serialize(in);
    EXPECT_FALSE(in.Failed());
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(loaded.GetRegister(n), unit.GetRegister(n)) << n;
    for (int n = 8; n < 16; ++n)
        EXPECT_EQ(loaded.GetRegister(n), 0) << n;
    EXPECT_EQ(loaded.GetPC(), 0xBEEEu);
}

TEST(Vo16Test, LoadingKeepsLowBitsAndR0) {
    std::vector<uint8_t> data(36, 0xAB);  // every value 0xABABABAB
    CArchive in(data);
    CVo16 loaded;
    loaded.Serialize(in);
    EXPECT_EQ(loaded.GetRegister(0), 0);
    EXPECT_EQ(loaded.GetRegister(7), 0xABAB);
    EXPECT_EQ(loaded.GetPC(), 0xABABu);

    CArchive shortIn(std::span<const uint8_t>(data.data(), 35));
    CVo16().Serialize(shortIn);
    EXPECT_TRUE(shortIn.Failed());
}

// Fills 0x0000-0x00FF with alternating A55A / 5AA5 words, then stops in a
// branch to itself.
TEST(Vo16Test, ProgramFillsFrameMemory) {
    Vo16Machine m;
    m.Code(0x4000, {
                       0x2100,          // addi r1,r0,0000
                       0xDA55, 0x220A,  // addi r2,r0,A55A
                       0xD010, 0x2300,  // addi r3,r0,0100
                       0x8210,          // 400A: sw r2,0000(r1)
                       0x2112,          // addi r1,r1,0002
                       0x422F,          // xori r2,FFFF
                       0x1013,          // sub r0,r1,r3
                       0xBCFA,          // bltu 400A
                       0xB0FE,          // 4014: br 4014
                   });
    m.m_unit.SetPC(0x4000);
    for (int i = 0; i < 1000; ++i)
        m.m_unit.Step();

    EXPECT_EQ(m.m_unit.GetPC(), 0x4014u);
    for (uint16_t a = 0; a < 0x100; a += 4) {
        ASSERT_EQ(m.Byte(a), 0xA5) << a;
        ASSERT_EQ(m.Byte(a + 1), 0x5A) << a;
        ASSERT_EQ(m.Byte(a + 2), 0x5A) << a;
        ASSERT_EQ(m.Byte(a + 3), 0xA5) << a;
    }
    EXPECT_EQ(m.Byte(0x100), 0);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kStores), 128u);
    EXPECT_EQ(m.m_unit.GetStatistic(CMpu::kFetches), 1002u);  // 2 prefixes + 1000 steps
}

}  // namespace
