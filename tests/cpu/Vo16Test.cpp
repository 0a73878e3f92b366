// The Vo16 core and its listing: one table of single instructions (effects,
// counters and listing texts), the listing forms no step shows, the branch
// conditions, multi-word arithmetic, shifts through ShiftBit, reset, the
// stored record and a whole program on a 32 KB memory at address 0.
#include "cpu/Vo16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "core/StringEx.h"

namespace {

// A unit on a bus with RAM at 0x0000-0x7FFF (or the whole 64 KB).
struct SMachine {
    explicit SMachine(uint32_t ramSize = 0x8000) {
        ram->SetRange(0, ramSize - 1);
        ram->SetSize(ramSize);
        bus.AddTail(ram);
        unit.SetBus(&bus);
        Code(0x7000, {0x0123});  // a line with every text filled
    }
    void Code(uint32_t address, const std::vector<uint16_t>& words) {
        for (uint16_t word : words) {
            bus.Write(address, word, 2 | CDevices::kSwap, true);
            address += 2;
        }
    }
    void Run(int steps) {
        for (int i = 0; i < steps; ++i)
            unit.Step();
    }
    void ExpectListing(uint32_t address, uint32_t length, const std::string& bytes,
                       const char* mnemonic, const char* operand) {
        const SDisassembly d = unit.Disassemble(address);
        EXPECT_EQ(d.length, length);
        EXPECT_EQ(d.address, FormatText("%04X", address & 0xFFFF));
        EXPECT_EQ(d.bytes, bytes);
        EXPECT_EQ(d.mnemonic, mnemonic);
        EXPECT_EQ(d.operand, operand);
        EXPECT_EQ(d.comment, "");
    }

    CRam* ram = new CRam;
    CDevices bus;
    CVo16 unit;
};

using SRegs = std::vector<std::pair<int, uint16_t>>;
using SBytes = std::vector<std::pair<uint16_t, uint8_t>>;

struct SCase {
    const char* name;
    std::vector<uint16_t> code;  // at 0x0100
    SRegs in;
    SBytes memoryIn;
    SRegs out;
    SBytes memoryOut;
    uint16_t pc;
    std::vector<uint32_t> counts;  // fetches, cycles, loads, stores
    bool returned;
    const char *mnemonic, *operand;
};

class Vo16StepTest : public ::testing::TestWithParam<SCase> {};

TEST_P(Vo16StepTest, ListsAndExecutes) {
    const SCase& c = GetParam();
    SMachine m;
    m.Code(0x100, c.code);
    std::string bytes;
    for (uint16_t word : c.code)
        bytes += FormatText("%04X ", word);
    m.ExpectListing(0x100, 2 * static_cast<uint32_t>(c.code.size()), bytes, c.mnemonic, c.operand);
    for (auto [address, value] : c.memoryIn)
        m.bus.Write(address, value, 1, true);
    for (auto [n, value] : c.in)
        m.unit.SetRegister(n, value);
    m.unit.SetPC(0x100);
    m.unit.Step();
    for (auto [n, value] : c.out)
        EXPECT_EQ(m.unit.GetRegister(n), value) << "r" << n;
    for (auto [address, value] : c.memoryOut)
        EXPECT_EQ(m.ram->Data()[address], value) << address;
    EXPECT_EQ(m.unit.GetPC(), c.pc);
    EXPECT_EQ((std::vector<uint32_t>{
                  m.unit.GetStatistic(CMpu::kFetches), m.unit.GetStatistic(CMpu::kCycles),
                  m.unit.GetStatistic(CMpu::kLoads), m.unit.GetStatistic(CMpu::kStores)}),
              c.counts);
    EXPECT_EQ(m.unit.ReturnExecuted(), c.returned);
    EXPECT_EQ(m.unit.IsPrefixActive(), c.code.size() > 1);
    m.unit.Step();
    EXPECT_FALSE(m.unit.ReturnExecuted() || m.unit.IsPrefixActive()) << "both last one step";
}

// Registers not named in "in" start at 0; a one-word instruction ends at 0x102.
// clang-format off
const SCase kCases[] = {
    // name                     code              registers in                 memory in                         registers out   memory out                      PC      fetch cyc load store  return listing
    {"AddiPositive",             {0x2127},         {{2, 0x10}},                 {},                               {{1, 0x17}},    {},                             0x102,  {1, 1, 1, 0}, false, "addi", "r1,r2,0007"},
    {"AddiMinusOne",             {0x212F},         {{2, 0x10}},                 {},                               {{1, 0x0F}},    {},                             0x102,  {1, 1, 1, 0}, false, "addi", "r1,r2,FFFF"},
    {"AddiPrefixed",             {0xD123, 0x2125}, {{2, 1}},                    {},                               {{1, 0x1236}},  {},                             0x104,  {2, 2, 2, 0}, false, "addi", "r1,r2,1235"},
    {"LastOfThreePrefixes",      {0xD111, 0xD222, 0xD333, 0x2125}, {{2, 1}},    {},                               {{1, 0x3336}},  {},                             0x108,  {4, 4, 4, 0}, false, "addi", "r1,r2,3335"},
    {"AddRegisters",             {0x0123},         {{2, 0xFFFF}, {3, 2}},       {},                               {{1, 1}},       {},                             0x102,  {1, 1, 1, 0}, false, "add", "r1,r2,r3"},
    {"SubRegisters",             {0x1123},         {{2, 1}, {3, 2}},            {},                               {{1, 0xFFFF}},  {},                             0x102,  {1, 1, 1, 0}, false, "sub", "r1,r2,r3"},
    {"WriteToR0IsLost",          {0x0023},         {{2, 5}, {3, 6}},            {},                               {{0, 0}},       {},                             0x102,  {1, 1, 1, 0}, false, "add", "r0,r2,r3"},
    {"And",                      {0x3102},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                               {{1, 0x0C30}},  {},                             0x102,  {1, 1, 1, 0}, false, "and", "r1,r2"},
    {"Or",                       {0x3112},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                               {{1, 0x3FFC}},  {},                             0x102,  {1, 1, 1, 0}, false, "or", "r1,r2"},
    {"Xor",                      {0x3122},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                               {{1, 0x33CC}},  {},                             0x102,  {1, 1, 1, 0}, false, "xor", "r1,r2"},
    {"Andn",                     {0x3132},         {{1, 0x0FF0}, {2, 0x3C3C}},  {},                               {{1, 0x03C0}},  {},                             0x102,  {1, 1, 1, 0}, false, "andn", "r1,r2"},
    {"UnassignedFnOp3",          {0x3162},         {{1, 0x1234}},               {},                               {{1, 0x1234}},  {},                             0x102,  {1, 1, 1, 0}, false, "?unimp", ""},
    {"AndiSignExtended",         {0x410E},         {{1, 0x1234}},               {},                               {{1, 0x1234}},  {},                             0x102,  {1, 1, 1, 0}, false, "andi", "r1,FFFE"},
    {"OriPrefixed",              {0xDF00, 0x4110}, {{1, 0x0001}},               {},                               {{1, 0xF001}},  {},                             0x104,  {2, 2, 2, 0}, false, "ori", "r1,F000"},
    {"Andni",                    {0x4131},         {{1, 0x00FF}},               {},                               {{1, 0x00FE}},  {},                             0x102,  {1, 1, 1, 0}, false, "andni", "r1,0001"},
    {"ShiftIgnoresPrefix",       {0xDFFF, 0x416F}, {{1, 4}},                    {},                               {{1, 2}},       {},                             0x104,  {2, 2, 2, 0}, false, "srli", "r1,FFFF"},
    {"UnassignedFnOp4",          {0x41B1},         {{1, 0x1234}},               {},                               {{1, 0x1234}},  {},                             0x102,  {1, 1, 1, 0}, false, "?unimp", ""},
    {"LwWordDisplacement",       {0x5213},         {{1, 0x200}},                {{0x212, 0xAB}, {0x213, 0xCD}},   {{2, 0xABCD}},  {},                             0x102,  {1, 2, 2, 0}, false, "lw", "r2,0012(r1)"},
    {"LwEvenDisplacement",       {0x521E},         {{1, 0x200}},                {{0x20E, 0x12}, {0x20F, 0x34}},   {{2, 0x1234}},  {},                             0x102,  {1, 2, 2, 0}, false, "lw", "r2,000E(r1)"},
    {"LwPrefixedDisplacement",   {0xD001, 0x5213}, {{1, 0x200}},                {{0x213, 0x56}, {0x214, 0x78}},   {{2, 0x5678}},  {},                             0x104,  {2, 3, 3, 0}, false, "lw", "r2,0013(r1)"},
    {"LbByteDisplacement",       {0x6213},         {{1, 0x200}, {2, 0xFFFF}},   {{0x203, 0x9C}},                  {{2, 0x009C}},  {},                             0x102,  {1, 2, 2, 0}, false, "lb", "r2,0003(r1)"},
    {"LwAddressWraps",           {0x521E},         {{1, 0xFFF4}},               {{0x0002, 0x42}, {0x0003, 0x24}}, {{2, 0x4224}},  {},                             0x102,  {1, 2, 2, 0}, false, "lw", "r2,000E(r1)"},
    {"LwUnmappedReadsAllOnes",   {0x5210},         {{1, 0x9000}},               {},                               {{2, 0xFFFF}},  {},                             0x102,  {1, 2, 2, 0}, false, "lw", "r2,0000(r1)"},
    {"LbUnmappedReadsOneByte",   {0x6210},         {{1, 0x9000}},               {},                               {{2, 0x00FF}},  {},                             0x102,  {1, 2, 2, 0}, false, "lb", "r2,0000(r1)"},
    {"SwBigEndian",              {0x8213},         {{1, 0x200}, {2, 0xBEEF}},   {},                               {},             {{0x212, 0xBE}, {0x213, 0xEF}}, 0x102,  {1, 2, 1, 1}, false, "sw", "r2,0012(r1)"},
    {"SbLowByte",                {0x9215},         {{1, 0x200}, {2, 0xBEEF}},   {{0x206, 0x11}},                  {},             {{0x205, 0xEF}, {0x206, 0x11}}, 0x102,  {1, 2, 1, 1}, false, "sb", "r2,0005(r1)"},
    {"JalLinks",                 {0xA514},         {{1, 0x300}},                {},                               {{5, 0x102}},   {},                             0x304,  {1, 3, 1, 0}, false, "jal", "r5,0004(r1)"},
    {"JalLinkIntoItsBase",       {0xA113},         {{1, 0x300}},                {},                               {{1, 0x102}},   {},                             0x312,  {1, 3, 1, 0}, false, "jal", "r1,0012(r1)"},
    {"JalReturnThroughR15",      {0xA0F0},         {{15, 0x400}},               {},                               {},             {},                             0x400,  {1, 3, 1, 0}, true,  "jal", "r0,0000(r15)"},
    {"JalReturnThroughR14",      {0xA0E0},         {{14, 0x400}},               {},                               {},             {},                             0x400,  {1, 3, 1, 0}, true,  "jal", "r0,0000(r14)"},
    {"JalR0ThroughR13IsNoReturn",{0xA0D0},         {{13, 0x400}},               {},                               {},             {},                             0x400,  {1, 3, 1, 0}, false, "jal", "r0,0000(r13)"},
    {"JalLinkingIsNoReturn",     {0xA1F0},         {{15, 0x400}},               {},                               {{1, 0x102}},   {},                             0x400,  {1, 3, 1, 0}, false, "jal", "r1,0000(r15)"},
    {"Call",                     {0xC123},         {},                          {},                               {{15, 0x102}},  {},                             0x1230, {1, 3, 1, 0}, false, "call", "1230"},
    {"CallAfterPrefix",          {0xD777, 0xC123}, {},                          {},                               {{15, 0x104}},  {},                             0x1230, {2, 4, 2, 0}, false, "call", "1230"},
    {"BranchToItself",           {0xB0FE},         {},                          {},                               {},             {},                             0x100,  {1, 3, 1, 0}, false, "br", "0100"},
    {"BranchNeverFallsThrough",  {0xB1FE},         {},                          {},                               {},             {},                             0x102,  {1, 1, 1, 0}, false, "brn", "0100"},
    {"BranchForward",            {0xB07F},         {},                          {},                               {},             {},                             0x202,  {1, 3, 1, 0}, false, "br", "0202"},
    {"PrefixLeavesABranch",      {0xD555, 0xB8FE}, {},                          {},                               {},             {},                             0x104,  {2, 2, 2, 0}, false, "blt", "0102"},
    {"Op7DoesNothing",           {0x7123},         {{1, 9}},                    {},                               {{1, 9}},       {},                             0x102,  {1, 1, 1, 0}, false, "?unimp", ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Instructions, Vo16StepTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vo16Test, ListsTheOtherForms) {
    // clang-format off
    struct { uint32_t address; std::vector<uint16_t> words; uint32_t length; const char *bytes, *mnemonic, *operand; } const cases[] = {
        {0x0000, {0x0120}, 2, "0120 ", "add", "r1,r2,0"},
        {0x0000, {0x3145}, 2, "3145 ", "adc", "r1,r5"},
        {0x0000, {0x4F63}, 2, "4F63 ", "srli", "r15,0003"},
        {0x0000, {0x920F}, 2, "920F ", "sb", "r2,000F(r0)"},
        {0x0000, {0xBF80}, 2, "BF80 ", "bgtu", "FF04"},
        {0x9000, {}, 2, "FFFF ", "?unimp", ""},                          // nothing on the bus
        {0x10004, {0x0123}, 2, "0123 ", "add", "r1,r2,r3"},              // 16-bit addresses
        {0x7FFC, {0xD123, 0xD456}, 6, "D123 D456 FFFF ", "?unimp", ""},  // prefixes off the end
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatText("%04X", c.address));
        SMachine m;
        m.Code(c.address & 0xFFFF, c.words);
        m.ExpectListing(c.address, c.length, c.bytes, c.mnemonic, c.operand);
    }
}

// Each row executes sub or add into r0, then each of the sixteen branches;
// "holds" has the even conditions that must be taken (the odd ones are their
// opposites), condition 0 first.
TEST(Vo16Test, BranchConditionsFromTheLastAddends) {
    // clang-format off
    struct { uint16_t operation, r1, r2; const char* holds; } const cases[] = {  // sub or add r0,r1,r2
        {0x1012, 1, 2, "TFFFTTTT"},      {0x1012, 0xFFFF, 1, "TFTFTTFF"},
        {0x1012, 5, 5, "TTTFFTFT"},      {0x1012, 0x8000, 1, "TFTTTTFF"},
        {0x0012, 0x7FFF, 1, "TFFTFFTT"}, {0x0012, 0xFFFF, 1, "TTTFFTFT"},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (uint32_t cond = 0; cond < 16; ++cond) {
            SMachine m;
            // the operation; andi r3,0 (logic keeps the addends); branch +0x10
            m.Code(0, {c.operation, 0x4300, static_cast<uint16_t>(0xB010 | cond << 8)});
            m.unit.SetRegister(1, c.r1);
            m.unit.SetRegister(2, c.r2);
            m.Run(3);
            const bool taken = (c.holds[cond / 2] == 'T') != (cond & 1);
            EXPECT_EQ(m.unit.GetPC(), taken ? 0x28u : 0x6u)
                << FormatText("%04X %04X %04X, condition %u", c.operation, c.r1, c.r2, cond);
        }
    }
}

// 32-bit arithmetic over register pairs (r2:r1) and (r4:r3), with registers
// and with prefixed constants; a stale carry must not leak into the low word,
// and the carry (borrow) out of the high word is bit 32 of the result.
TEST(Vo16Test, MultiWordArithmetic) {
    const std::pair<uint32_t, uint32_t> operands[] = {
        {0x0000FFFF, 0x00000001}, {0xFFFFFFFF, 0x00000001}, {0x12345678, 0x9ABCDEF0},
        {0x00010000, 0x00000001}, {0x00000000, 0xFFFFFFFF}, {0x80008000, 0x80008000},
        {0x00000005, 0x00000005}, {0x0001FFFF, 0x0000FFFF}, {0x00010000, 0x00010001},
    };
    for (const auto& [x, y] : operands) {
        auto run = [&, x = x, y = y](const std::vector<uint16_t>& code) {
            SMachine m;
            m.Code(0, code);
            m.unit.SetCarry(1);
            const uint16_t values[] = {0, static_cast<uint16_t>(x), static_cast<uint16_t>(x >> 16),
                                       static_cast<uint16_t>(y), static_cast<uint16_t>(y >> 16)};
            for (int n = 1; n <= 4; ++n)
                m.unit.SetRegister(n, values[n]);
            m.Run(2);
            return uint64_t{m.unit.GetCarry()} << 32 | uint64_t{m.unit.GetRegister(2)} << 16 |
                   m.unit.GetRegister(1);
        };
        // A prefix word, then the instruction with the four low bits of y.
        auto prefixed = [](uint32_t value, uint16_t instruction) {
            return std::vector<uint16_t>{static_cast<uint16_t>(0xD000 | (value >> 4 & 0xFFF)),
                                         static_cast<uint16_t>(instruction | (value & 0xF))};
        };
        std::vector<uint16_t> addi = prefixed(y & 0xFFFF, 0x2110), adci = prefixed(y >> 16, 0x4240);
        std::vector<uint16_t> sbci = prefixed(y >> 16, 0x4250);
        addi.insert(addi.end(), adci.begin(), adci.end());
        sbci.insert(sbci.begin(), 0x1113);
        SCOPED_TRACE(FormatText("%08X, %08X", x, y));
        const uint64_t sum = uint64_t{x} + y, difference = (uint64_t{x} - y) & 0x1FFFFFFFF;
        EXPECT_EQ(run({0x0113, 0x3244}), sum);         // add r1,r1,r3; adc r2,r4
        EXPECT_EQ(run({0x1113, 0x3254}), difference);  // sub r1,r1,r3; sbc r2,r4
        EXPECT_EQ(run(addi), sum);                     // addi r1,r1,y; adci r2,y >> 16
        EXPECT_EQ(run(sbci), difference);              // sub r1,r1,r3; sbci r2,y >> 16
    }
}

// Single-place shifts of r1 through ShiftBit; each word is one step.
TEST(Vo16Test, ShiftsThroughShiftBit) {
    // clang-format off
    struct { std::vector<uint16_t> code; uint16_t value; uint32_t shiftIn; uint16_t result; uint32_t shiftOut; } const cases[] = {
        {{0x4160}, 0x8003, 1, 0x4001, 1},          // srli: 0 in
        {{0x4170}, 0x8002, 1, 0xC001, 0},          // srai keeps the sign
        {{0x4180}, 0x8001, 0, 0x0002, 1},          // slli
        {{0x4190}, 0x0002, 1, 0x8001, 0},          // srxi: ShiftBit in
        {{0x4190}, 0x0003, 0, 0x0001, 1},          //
        {{0x41A0}, 0x4000, 1, 0x8001, 0},          // slxi
        {{0x41A0}, 0x8000, 0, 0x0000, 1},          //
        {{0x4180, 0x4190}, 0x8000, 0, 0x8000, 0},  // srxi after slli of the top bit
    };
    // clang-format on
    for (const auto& c : cases) {
        SMachine m;
        m.Code(0, c.code);
        m.unit.SetRegister(1, c.value);
        m.unit.SetShiftBit(c.shiftIn);
        m.Run(static_cast<int>(c.code.size()));
        EXPECT_EQ(m.unit.GetRegister(1), c.result) << FormatText("%04X", c.code.back());
        EXPECT_EQ(m.unit.GetShiftBit(), c.shiftOut) << FormatText("%04X", c.code.back());
    }
}

// Reset clears the registers and PC only; ShiftBit and carry start at 0. A
// prefix chain over the whole address space ends the step and the listing.
TEST(Vo16Test, ResetAndEndlessPrefixes) {
    SMachine m(0x10000);
    EXPECT_EQ(m.unit.GetShiftBit() + m.unit.GetCarry(), 0u);
    m.unit.SetPC(0x1234);
    m.unit.SetRegister(3, 0x55);
    m.unit.SetShiftBit(1);
    m.unit.SetCarry(1);
    m.unit.Reset();
    EXPECT_EQ(m.unit.GetPC(), 0u);
    EXPECT_EQ(m.unit.GetRegister(3), 0);
    EXPECT_TRUE(m.unit.GetShiftBit() == 1 && m.unit.GetCarry() == 1);
    for (uint32_t address = 0; address < 0x10000; address += 2)
        m.Code(address, {0xD123});
    m.unit.SetPC(0x10);
    m.unit.Step();
    EXPECT_EQ(m.unit.GetPC(), 0x10u);
    EXPECT_EQ(m.unit.Disassemble(0x10).length, 0x10000u);
}

// Nine values: r0-r7, then PC; a loaded value keeps its low 16 bits, r0 stays
// 0, and a short record fails.
TEST(Vo16Test, StoredRecord) {
    CVo16 unit;
    for (int n = 1; n < 16; ++n)
        unit.SetRegister(n, static_cast<uint16_t>(0x1100 * n + n));
    unit.SetPC(0xBEEE);
    CArchive out;
    unit.Serialize(out);
    std::vector<uint8_t> data = out.Data();
    ASSERT_EQ(data.size(), 36u);
    EXPECT_EQ((std::vector<uint8_t>{data[4], data[5], data[28], data[29], data[32], data[33]}),
              (std::vector<uint8_t>{0x01, 0x11, 0x07, 0x77, 0xEE, 0xBE}));  // r1, r7, PC
    data[0] = data[30] = 0xAB;
    CVo16 loaded;
    CArchive in(data);
    loaded.Serialize(in);
    EXPECT_EQ(loaded.GetRegister(0), 0);
    EXPECT_EQ(loaded.GetRegister(7), 0x7707);
    EXPECT_EQ(loaded.GetPC(), 0xBEEEu);
    CArchive shortIn(std::span<const uint8_t>(data.data(), 35));
    CVo16().Serialize(shortIn);
    EXPECT_TRUE(shortIn.Failed());
}

// Fills 0x0000-0x00FF with alternating A55A / 5AA5 words, then stops in a
// branch to itself.
TEST(Vo16Test, ProgramFillsFrameMemory) {
    SMachine m;
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
    m.unit.SetPC(0x4000);
    m.Run(1000);
    EXPECT_EQ(m.unit.GetPC(), 0x4014u);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 0x40; ++i)
        expected.insert(expected.end(), {0xA5, 0x5A, 0x5A, 0xA5});
    expected.push_back(0);
    EXPECT_EQ(std::vector<uint8_t>(m.ram->Data(), m.ram->Data() + 0x101), expected);
    EXPECT_EQ(m.unit.GetStatistic(CMpu::kStores), 128u);
    EXPECT_EQ(m.unit.GetStatistic(CMpu::kFetches), 1002u);  // 2 prefixes + 1000 steps
}

}  // namespace
