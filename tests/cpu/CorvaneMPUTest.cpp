// The Corvane core: one table of single instructions (ALU and flags, prefixes,
// branches, calls and returns, loads and stores), the branch conditions, page
// translation, interrupts, the cache in the fetch path, the stored record, and
// a whole program run with the cache off and on.
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
#include "cpu/CorvaneMPU.h"

namespace {

// Instruction words.
// clang-format off
constexpr auto Alu = [](uint32_t major, uint32_t d, uint32_t a, uint32_t b) { return major << 19 | d << 13 | a << 8 | b; };
constexpr auto AluI = [](uint32_t major, uint32_t d, uint32_t a, uint32_t imm8) { return Alu(major, d, a, imm8) | 1u << 18; };
constexpr auto Prefix = [](uint32_t value) { return 0xBC0000 | (value >> 8 & 0xFFFF); };
constexpr auto Branch = [](uint32_t cond, uint32_t a, uint32_t imm8) { return 1u << 19 | cond << 13 | a << 8 | imm8; };
constexpr auto Control = [](uint32_t sub, uint32_t a, uint32_t imm8) { return 1u << 19 | sub << 16 | a << 8 | imm8; };
constexpr auto Memory = [](uint32_t kind, uint32_t d, uint32_t a, uint32_t imm8) { return 0xC00000 | kind << 19 | 1u << 18 | d << 13 | a << 8 | imm8; };
constexpr auto CallTo = [](uint32_t target) { return 0x100000 | target >> 4; };
// clang-format on
constexpr uint32_t kNop = 0x000000, kStop = 0x000100, kRet = 0x0D1E00, kIret = 0x0D1F00;
enum { kLb = 1, kLdb = 2, kLw = 3, kSb = 5, kSdb = 6, kSw = 7 };
constexpr uint32_t kC = CCorvaneMPU::kSrC, kV = CCorvaneMPU::kSrV;

using SRegs = std::vector<std::pair<int, uint32_t>>;

// RAM at 0-0x3FFFF with the word 0xA1B2C3 at 0x2000, ROM at 0xFF0000-0xFFFFFF.
class CorvaneTest : public ::testing::Test {
protected:
    CorvaneTest() {
        m_ram->SetRange(0, 0x3FFFF);
        m_ram->SetSize(0x40000);
        m_bus.AddTail(m_ram);
        auto* rom = new CRam;
        rom->SetRange(0xFF0000, 0xFFFFFF);
        rom->SetSize(0x10000);
        rom->SetWritable(false);
        m_bus.AddTail(rom);
        m_unit.SetBus(&m_bus);
        Put(0x2000, {0xA1B2C3});
    }
    void Put(uint32_t address, const std::vector<uint32_t>& words) {
        for (uint32_t word : words) {
            m_bus.Write(address, word, 3, true);
            address += 3;
        }
    }
    uint32_t Peek(uint32_t address, uint32_t size = 3) { return m_bus.Read(address, size); }
    uint32_t Counter(CMpu::EStatistic which) const {
        return static_cast<uint32_t>(m_unit.GetStatistic(which));
    }
    // The bytes text has the words listed (at most two), all ones where
    // nothing answers.
    void ExpectListing(uint32_t address, const std::vector<uint32_t>& words, const char* mnemonic,
                       const char* operand) {
        std::string expectedBytes = words.empty() ? "FFFFFF " : "";
        for (size_t i = 0; i < words.size() && i < 2; ++i)
            expectedBytes += FormatText("%06X ", words[i]);
        const SDisassembly d = m_unit.Disassemble(address);
        const uint32_t length = d.length;
        EXPECT_EQ(d.address, FormatText("%06X", address & 0xFFFFFF));
        EXPECT_EQ(d.bytes, expectedBytes);
        EXPECT_EQ(d.mnemonic, mnemonic);
        EXPECT_EQ(d.operand, operand);
        EXPECT_EQ(d.comment, "");
        EXPECT_EQ(length, words.size() > 1 ? 6u : 3u);
    }

    CRam* m_ram = new CRam;
    CDevices m_bus;
    CCorvaneMPU m_unit;
};

enum { kWarns = 1, kReturns = 2, kStops = 4 };

struct SCase {
    const char* name;
    std::vector<uint32_t> words;  // at 0x100
    SRegs in;
    uint32_t sr;  // SR before and after, S (0x200) added to both
    SRegs out;
    uint32_t srOut;
    uint32_t pc;
    uint32_t cycles;
    std::pair<const char*, const char*> listing;          // mnemonic, operand at 0x100
    int flags = 0;                                        // warning, Returned, stopped
    std::vector<std::pair<uint32_t, uint32_t>> memory{};  // 4-byte reads after
};

class CorvaneStepTest : public CorvaneTest, public ::testing::WithParamInterface<SCase> {};

TEST_P(CorvaneStepTest, OneInstruction) {
    const SCase& c = GetParam();
    Put(0x100, c.words);
    ExpectListing(0x100, c.words, c.listing.first, c.listing.second);
    for (const auto& [n, value] : c.in)
        m_unit.SetRegister(n, value);
    m_unit.SetSR(0x200 | c.sr);
    m_unit.SetPC(0x100);
    m_unit.Step();
    for (const auto& [n, value] : c.out)
        EXPECT_EQ(m_unit.GetRegister(n), value) << "r" << n;
    EXPECT_EQ(m_unit.GetSR(), 0x200 | c.srOut);
    EXPECT_EQ(m_unit.GetPC(), c.pc);
    EXPECT_EQ(Counter(CMpu::kFetches), 1u) << "a prefixed instruction is one fetch";
    EXPECT_EQ(Counter(CMpu::kCycles), c.cycles);
    EXPECT_EQ(*m_unit.GetWarningText() != 0, (c.flags & kWarns) != 0);
    EXPECT_EQ(m_unit.ReturnExecuted(), (c.flags & kReturns) != 0);
    EXPECT_EQ(m_unit.IsStopped(), (c.flags & kStops) != 0);
    for (const auto& [address, value] : c.memory)
        EXPECT_EQ(Peek(address, 4), value) << std::hex << address;
    m_unit.Step();
    EXPECT_FALSE(m_unit.ReturnExecuted()) << "Returned lasts one step";
}

// D = r1, A = r2, B = r3 unless the word says otherwise.
// clang-format off
const SCase kCases[] = {
    // name                       words                                        registers in                  SR in    registers out            SR out   PC        cycles  listing
    {"AddSignExtendedImmediate",  {AluI(12, 1, 2, 0x80)},                      {{2, 1}},                      0,       {{1, 0xFFFF81}},         0,       0x103,    1, {"add", "r1,r2,#FFFF80"}},
    {"AddCarryOut",               {Alu(12, 1, 2, 3)},                          {{2, 0xFFFFFF}, {3, 1}},       kV,      {{1, 0}},                kC,      0x103,    1, {"add", "r1,r2,r3"}},
    {"AddOverflow",               {Alu(12, 1, 2, 3)},                          {{2, 0x7FFFFF}, {3, 1}},       kC,      {{1, 0x800000}},         kV,      0x103,    1, {"add", "r1,r2,r3"}},
    {"AddcTakesCarry",            {Alu(13, 1, 2, 3)},                          {{2, 1}, {3, 1}},              kC,      {{1, 3}},                0,       0x103,    1, {"addc", "r1,r2,r3"}},
    {"SubBorrow",                 {Alu(14, 1, 2, 3)},                          {{2, 1}, {3, 2}},              0,       {{1, 0xFFFFFF}},         kC,      0x103,    1, {"sub", "r1,r2,r3"}},
    {"SubOverflow",               {Alu(14, 1, 2, 3)},                          {{2, 0x800000}, {3, 1}},       0,       {{1, 0x7FFFFF}},         kV,      0x103,    1, {"sub", "r1,r2,r3"}},
    {"SubcTakesBorrow",           {Alu(15, 1, 2, 3)},                          {{2, 5}, {3, 2}},              kC,      {{1, 2}},                0,       0x103,    1, {"subc", "r1,r2,r3"}},
    {"AndKeepsFlags",             {Alu(8, 1, 2, 3)},                           {{2, 0xF0F0F0}, {3, 0x3C3C3C}}, kC | kV, {{1, 0x303030}},        kC | kV, 0x103,    1, {"and", "r1,r2,r3"}},
    {"Or",                        {Alu(9, 1, 2, 3)},                           {{2, 0xF00000}, {3, 0xF}},     0,       {{1, 0xF0000F}},         0,       0x103,    1, {"or", "r1,r2,r3"}},
    {"NotIsXorWithAllOnes",       {AluI(10, 1, 2, 0xFF)},                      {{2, 0x0F0F0F}},               kV,      {{1, 0xF0F0F0}},         kV,      0x103,    1, {"not", "r1,r2"}},
    {"CmovBitClear",              {Alu(11, 1, 2, 3)},                          {{1, 5}, {2, 2}, {3, 0x123456}}, 0,     {{1, 0}},                0,       0x103,    1, {"cmov", "r1,r2,r3"}},
    {"CmovBitSet",                {Alu(11, 1, 2, 3)},                          {{2, 3}, {3, 0x123456}},       0,       {{1, 0x123456}},         0,       0x103,    1, {"cmov", "r1,r2,r3"}},
    {"PrefixedAdd",               {0xBC1234, 0x642256},                        {{2, 0x100000}},               0,       {{1, 0x223456}},         0,       0x106,    1, {"add", "r1,r2,#123456"}},
    {"LastOfTwoPrefixes",         {Prefix(0x111100), Prefix(0x222200), AluI(12, 3, 0, 0x33)}, {},           0,       {{3, 0x222233}},         0,       0x109,    1, {"?unimp", ""}},
    {"PrefixOrRegisterLowByte",   {Prefix(0x123400), Alu(9, 1, 0, 3)},         {{3, 0xABCDEF}},               0,       {{1, 0x1234EF}},         0,       0x106,    1, {"or", "r1,r0,#123400+r3{7:0}"}},
    {"LoadToR0IsLost",            {Prefix(0x2000), Memory(kLw, 0, 0, 0)},      {},                            0,       {{0, 0}},                0,       0x106,    2, {"lw", "r0,002000"}},
    // Shifts move b AND 3 places, flags from a; b = 0x81 after a prefix rotates through C.
    {"ShlByTwo",                  {AluI(5, 1, 2, 2)},                          {{2, 0x400001}},               0,       {{1, 0x000004}},         kV,      0x103,    1, {"shl", "r1,r2,#000002"}},
    {"ShlFlagsFromTopBits",       {AluI(5, 1, 2, 1)},                          {{2, 0xC00000}},               0,       {{1, 0x800000}},         kC,      0x103,    1, {"shl", "r1,r2,#000001"}},
    {"ShlByFiveShiftsOnce",       {AluI(5, 1, 2, 5)},                          {{2, 3}},                      0,       {{1, 6}},                0,       0x103,    1, {"shl", "r1,r2,#000005"}, kWarns},
    {"ShlByFourShiftsNone",       {AluI(5, 1, 2, 4)},                          {{2, 3}},                      0,       {{1, 3}},                0,       0x103,    1, {"shl", "r1,r2,#000004"}, kWarns},
    {"Rol",                       {Prefix(0), AluI(5, 1, 2, 0x81)},            {{2, 0x400001}},               kC,      {{1, 0x800003}},         kV,      0x106,    1, {"rol", "r1,r2,#000081"}, kWarns},
    {"AshrFillsSign",             {AluI(6, 1, 2, 3)},                          {{2, 0x800010}},               kV,      {{1, 0xF00002}},         0,       0x103,    1, {"ashr", "r1,r2,#000003"}},
    {"Shr",                       {AluI(7, 1, 2, 1)},                          {{2, 0x800001}},               kV,      {{1, 0x400000}},         kC,      0x103,    1, {"shr", "r1,r2,#000001"}},
    {"Ror",                       {Prefix(0), AluI(7, 1, 2, 0x81)},            {{2, 2}},                      kC,      {{1, 0x800001}},         0,       0x106,    1, {"ror", "r1,r2,#000081"}, kWarns},
    {"ShrByRegisterMod4",         {Alu(7, 1, 2, 3)},                           {{2, 0x80}, {3, 6}},           0,       {{1, 0x20}},             0,       0x103,    1, {"shr", "r1,r2,r3"}, kWarns},
    // Special moves: SR = b exactly, register B = SR (with the interrupt code).
    {"LoadSR",                    {Prefix(0x300), AluI(4, 27, 4 | 2 << 3, 0x30)}, {{20, 0x7FFFFF}},           0,       {},                      0x130,   0x106,    1, {"lw", "sr,#000330"}},
    {"CopySR",                    {Alu(4, 27, 5, 7)},                          {},                            kC | 6,  {{7, 0x216}},            kC | 6,  0x103,    1, {"sw", "sr,r7"}},
    // Words that do nothing: major 16, control sub 2, special moves other than the two.
    {"UnassignedMajor",           {0x800000 | 1 << 13 | 0xFF},                 {{1, 0x55}},                   kC,      {{1, 0x55}},             kC,      0x103,    1, {"?unimp", ""}},
    {"UnassignedControl2",        {Control(2, 0, 5)},                          {{1, 0x55}},                   kC,      {{1, 0x55}},             kC,      0x103,    1, {"?unimp", "000005"}},
    {"SpecialMoveOtherKind",      {Alu(4, 27, 6, 3)},                          {{1, 0x55}},                   kC,      {{1, 0x55}},             kC,      0x103,    1, {"?unimp", ""}},
    // Branches go to the branch word + 6 + displacement (the word after any prefix).
    {"BranchToItself",            {Branch(14, 0, 0xFA)},                       {},                            0,       {},                      0,       0x100,    3, {"br", "r0,000100"}},
    {"BranchPrefixed",            {Prefix(0x001000), Branch(14, 0, 0)},        {},                            0,       {},                      0,       0x1109,   3, {"br", "r0,001109"}},
    {"BranchWraps",               {Prefix(0xFFFF00), Branch(14, 0, 0)},        {},                            0,       {},                      0,       0x000009, 3, {"br", "r0,000009"}},
    {"BranchNotTaken",            {Branch(15, 0, 0x10)},                       {},                            0,       {},                      0,       0x103,    1, {"???", "r0,000116"}},
    // Calls link in lr first, so a call through lr uses the new link.
    {"Call",                      {CallTo(0x012340)},                          {},                            0,       {{30, 0x103}},           0,       0x012340, 3, {"call", "012340"}},
    {"CallThroughLr",             {Control(4, 30, 0x10)},                      {{30, 0x500}},                 0,       {{30, 0x103}},           0,       0x113,    3, {"call", "000010(lr)"}},
    {"JmpPrefixed",               {Prefix(0x004000), Control(5, 5, 0x21)},     {{5, 0x2000}},                 0,       {},                      0,       0x6021,   3, {"jmp", "004021(r5)"}},
    {"JmpThroughR5IsNoReturn",    {Control(5, 5, 0)},                          {{5, 0x300}},                  0,       {},                      0,       0x300,    3, {"jmp", "(r5)"}},
    {"JmpLrPlus3IsNoReturn",      {Control(5, 30, 3)},                         {{30, 0x300}},                 0,       {},                      0,       0x303,    3, {"ret", ""}},
    {"Ret",                       {kRet},                                      {{30, 0x300}},                 0,       {},                      0,       0x300,    3, {"ret", ""}, kReturns},
    // icall saves PC in ipc and SR bits 0-11 in SR1 and sets S; iret restores them.
    {"Icall",                     {Control(6, 6, 0x10)},                       {{6, 0x2000}},                 0x115,   {{31, 0x103}},           0x315115, 0x2010, 3, {"icall", "000010(r6)"}},
    {"Iret",                      {kIret},                                     {{31, 0x300}},                 0x315000, {},                     0x315315, 0x300,  3, {"iret", ""}, kReturns},
    {"Stop",                      {kStop},                                     {},                            0,       {},                      0,       0x103,    1, {"stop", ""}, kStops},
    // Loads take the bus value as it comes (all ones from nothing); r2 = 0x2010.
    {"Lw",                        {Memory(kLw, 1, 2, 0xF0)},                   {{2, 0x2010}},                 0,       {{1, 0xA1B2C3}},         0,       0x103,    2, {"lw", "r1,F0(r2)"}},
    {"Lb",                        {Memory(kLb, 1, 2, 0xF1)},                   {{2, 0x2010}},                 0,       {{1, 0xB2}},             0,       0x103,    2, {"lb", "r1,F1(r2)"}},
    {"Ldb",                       {Memory(kLdb, 1, 2, 0xF1)},                  {{2, 0x2010}},                 0,       {{1, 0xA1B2}},           0,       0x103,    2, {"ldb", "r1,F1(r2)"}},
    {"LoadFromNothing",           {Prefix(0x050000), Memory(kLw, 1, 0, 0)},    {},                            0,       {{1, 0xFFFFFFFF}},       0,       0x106,    2, {"lw", "r1,050000"}},
    // Stores write their size.
    {"Sw",                        {Memory(kSw, 1, 2, 0)},                      {{1, 0x123456}, {2, 0x3000}},  0,       {},                      0,       0x103,    2, {"sw", "r1,00(r2)"}, 0, {{0x3000, 0x123456}}},
    {"Sb",                        {Memory(kSb, 1, 2, 0x10)},                   {{1, 0x123456}, {2, 0x3000}},  0,       {},                      0,       0x103,    2, {"sb", "r1,10(r2)"}, 0, {{0x3010, 0x56}}},
    {"Sdb",                       {Memory(kSdb, 1, 2, 0x20)},                  {{1, 0x123456}, {2, 0x3000}},  0,       {},                      0,       0x103,    2, {"sdb", "r1,20(r2)"}, 0, {{0x3020, 0x3456}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Words, CorvaneStepTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Each row is a value of register A and the flags, with the sixteen
// conditions that must hold (T) or not (F), cond 0 first.
TEST_F(CorvaneTest, BranchConditions) {
    // clang-format off
    struct { uint32_t r, flags; const char* holds; } const cases[] = {
        {0, 0, "TFFTFTTFFTTFFTTF"},         {1, kC, "FTFTFTFTTFTFFTTF"},
        {0x800000, kV, "FTTFFTFTFTFTTFTF"}, {0x800000, 0, "FTTFTFTFFTFTFTTF"},
        {5, kC | kV, "FTFTTFTFTFTFTFTF"},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (uint32_t cond = 0; cond < 16; ++cond) {
            m_unit.SetRegister(4, c.r);
            m_unit.SetSR(0x200 | c.flags);
            Put(0x100, {Branch(cond, 4, 0x10)});
            m_unit.SetPC(0x100);
            m_unit.Step();
            EXPECT_EQ(m_unit.GetPC(), c.holds[cond] == 'T' ? 0x116u : 0x103u)
                << FormatText("cond %u, r %06X, flags %02X", cond, c.r, c.flags);
        }
    }
}

// A store through the page table: entry (v >> 13) & 63 gives the frame and
// the write permission, translated or not.
TEST_F(CorvaneTest, StoresAreTranslatedAndProtected) {
    constexpr uint32_t kNone = ~0u;  // nothing written
    // clang-format off
    struct { uint32_t cr; int entry; uint32_t entryValue, virtualAddress, physical; } const cases[] = {
        {0, 2, 4, 0x004000, 0x000000},         {0, 2, 0, 0x004000, kNone},
        {0, 2, 0x18 | 4, 0x004010, 0x006010},  {0, 2, 0xFFFFF01C, 0x004000, 0x006000},
        {0, 34, 0x18 | 4, 0x0C4000, 0x006000}, {0, 34, 0, 0x0C4000, kNone},
        {2, 2, 4, 0x004000, 0x004000},         {2, 2, 0, 0x004000, kNone},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatText("CR %u, entry %d = %X, store at %06X", c.cr, c.entry, c.entryValue,
                                c.virtualAddress));
        for (uint32_t probe : {0x000000u, 0x004000u, 0x006000u, 0x006010u})
            m_bus.Write(probe, 0, 3, true);
        m_unit.SetCR(c.cr);
        m_unit.Reset();
        m_unit.SetPageTableEntry(c.entry, c.entryValue);
        m_unit.SetRegister(1, 0x5A5A5A);
        // The code runs from the untranslated top of memory.
        Put(0xFFF000,
            {Prefix(c.virtualAddress & 0xFFFF00), Memory(kSw, 1, 0, c.virtualAddress & 0xFF)});
        m_unit.SetPC(0xFFF000);
        m_unit.Step();
        for (uint32_t probe : {0x000000u, 0x004000u, 0x006000u, 0x006010u})
            EXPECT_EQ(Peek(probe), probe == c.physical ? 0x5A5A5Au : 0u) << probe;
    }
}

TEST_F(CorvaneTest, ResetAndTheFirstFetch) {
    EXPECT_EQ(m_unit.GetCR(), 2u) << "a new unit neither translates nor caches";
    m_unit.SetCR(1);  // translation and cache: the entry words are never translated
    m_unit.SetRegister(5, 7);
    m_unit.SetPageTableEntry(63, 0);
    m_unit.SetSR(0x12345);
    m_unit.Reset();
    EXPECT_EQ(m_unit.GetCR(), 1u);
    EXPECT_EQ(m_unit.GetRegister(5), 0u);
    EXPECT_EQ(m_unit.GetPageTableEntry(63), 4u);
    EXPECT_EQ(m_unit.GetSR(), 0x200u);
    Put(0xFFFFF8, {AluI(12, 1, 0, 0x11)});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x11u);
    m_unit.SetPC(0xFFFFFE);  // PC wraps at 24 bits
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x000001u);
}

TEST_F(CorvaneTest, EndlessPrefixesEndTheStep) {
    for (uint32_t address = 0; address < 0x40000; address += 3)
        m_bus.Write(address, 0xBC0001, 3, true);
    m_unit.SetPC(0);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 3u * (CCorvaneMPU::kMaxPrefixChain + 1));
}

// Interrupt and ClearInterrupt latch the code in SR at once: codes 0-14 make a
// request, others withdraw it; ClearInterrupt without irq does nothing. An IRQ
// is taken with I set from the third step after reset and stays requested; an
// NMI is taken at once. Entry saves SR bits 0-11 in SR1, clears I and sets S.
TEST_F(CorvaneTest, Interrupts) {
    m_unit.Interrupt(false, true, 15);
    EXPECT_FALSE(m_unit.IsIrqPending());
    m_unit.Interrupt(false, false, 3);
    m_unit.ClearInterrupt(false, false, 2);
    EXPECT_TRUE(m_unit.IsIrqPending());
    m_unit.SetSR(0x303);
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFFEu) << "the first two steps run instructions";
    m_unit.SetPC(0x100);
    m_unit.SetSR(0x203);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x103u) << "I clear holds the request off";
    m_unit.SetSR(0x303);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFE8u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kIpc), 0x103u);
    EXPECT_EQ(m_unit.GetSR(), 0x303203u);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFEBu) << "the request stays, I is clear: the handler runs";
    m_unit.Interrupt(true, false, -1);
    EXPECT_FALSE(m_unit.IsIrqPending());
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF0u);
    EXPECT_EQ(m_unit.GetRegister(CCorvaneMPU::kIpc), 0xFFFFEBu);
    EXPECT_EQ(m_unit.GetSR(), 0x20F20Fu);
    EXPECT_FALSE(m_unit.IsNmiPending());
}

TEST_F(CorvaneTest, FetchesGoThroughTheCacheWhenEnabled) {
    m_unit.SetCR(3);
    Put(0x100, {AluI(12, 1, 1, 1), Branch(14, 0, 0xF7)});  // r1 += 1; back
    m_unit.SetPC(0x100);
    for (int i = 0; i < 10; ++i)
        m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 5u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 10u);
    EXPECT_EQ(m_unit.Cache().GetMisses(), 2u);
    // A store leaves the cached word: code that changes itself needs the cache off.
    Put(0x100, {AluI(12, 1, 1, 0x10)});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 6u);
    m_unit.SetCR(2);
    m_unit.Step();
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x16u);
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 11u);
    m_unit.ResetCounters();  // the statistics pane's reset takes the cache's counters too
    EXPECT_EQ(m_unit.Cache().GetAttempts() + m_unit.Cache().GetMisses(), 0u);
    // Tags come from the translated address: page 0 in frame 1.
    m_unit.SetCR(1);
    m_unit.SetPageTableEntry(0, 0x08 | 4);
    Put(0x2100, {AluI(12, 1, 0, 0x42)});
    m_unit.SetPC(0x100);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetRegister(1), 0x42u);
    EXPECT_EQ(m_unit.Cache().GetTag(0x2100 & 31), 0x2100u >> 5);
}

// After the unit record and the cache's 32 groups: the 64 page-table entries,
// the 32 registers, then SR, PC, Opcode, reserved, PrefixValue, reserved, CR,
// StepsSinceReset, Stopped, step-out, PrefixActive, InterruptEntry, fetches,
// cycles. A loaded r0 reads 0 whatever the file says.
TEST_F(CorvaneTest, StoredRecordHasItsFieldsInOrder) {
    m_unit.SetPageTableEntry(1, 0x1C);
    Put(0x100, {0xBC1234, 0x642256});
    m_unit.SetPC(0x100);
    m_unit.Step();
    m_unit.SetRegister(31, 0x313131);
    m_unit.SetSR(0x123456);
    m_unit.SetCR(1);
    m_unit.SetStepOutPending(true);
    CArchive out;
    m_unit.Serialize(out);
    std::vector<uint8_t> data = out.Data();
    const size_t at = data.size() - (64 + 32 + 14) * 4;
    CArchive peek(std::span<const uint8_t>(data.data() + at, data.size() - at));
    std::vector<uint32_t> fields;
    while (peek.Remaining() > 0)
        fields.push_back(peek.ReadU32());
    EXPECT_EQ(fields[1], 0x1Cu);
    EXPECT_EQ(fields[64 + 31], 0x313131u);
    EXPECT_EQ(
        std::vector<uint32_t>(fields.begin() + 96, fields.end()),
        (std::vector<uint32_t>{0x123456, 0x106, 0x642256, 0, 0x123400, 0, 1, 1, 0, 1, 1, 0, 1, 1}));
    data[at + 64 * 4] = 0x77;
    CCorvaneMPU loaded;
    CArchive in(data);
    loaded.Serialize(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(loaded.GetRegister(0), 0u);
    EXPECT_EQ(loaded.GetRegister(31), 0x313131u);
}

// A short program: a loop with prefixed constants, a call and ret, loads and
// stores, and an interrupt taken in the middle of the loop and left with iret.
// Run from reset until stop; the device behind the interrupt raises it after
// step 12 and withdraws it when the handler acknowledges at kAck.
class CorvaneProgramTest : public CorvaneTest {
protected:
    static constexpr uint32_t kAck = 0x03F000;

    int Run(uint32_t cr) {
        m_ram->SetSize(0x40000);  // cleared
        m_unit.SetCR(cr);
        m_unit.Reset();
        m_unit.ResetCounters();
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
    // SR, PC, the registers, all of RAM, the four counters.
    std::vector<uint32_t> State() const {
        std::vector<uint32_t> state{m_unit.GetSR(), m_unit.GetPC()};
        for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
            state.push_back(m_unit.GetRegister(n));
        state.insert(state.end(), m_ram->Data(), m_ram->Data() + m_ram->GetSize());
        for (int i = 0; i < CMpu::kStatisticCount; ++i)
            state.push_back(Counter(static_cast<CMpu::EStatistic>(i)));
        return state;
    }
};

TEST_F(CorvaneProgramTest, RunsToItsFinalStateWithTheCacheOffAndOn) {
    EXPECT_EQ(Run(2), 34);
    EXPECT_EQ(m_unit.GetPC(), 0x130u);
    EXPECT_EQ(m_unit.GetSR(), 0x303303u);
    const std::pair<int, uint32_t> registers[] = {{1, 0x012345},  {2, 0},        {3, 0x05B059},
                                                  {4, 0x0B60B2},  {5, 0x05B059}, {9, 3},
                                                  {30, 0x00011E}, {31, 0x000115}};
    for (const auto& [n, value] : registers)
        EXPECT_EQ(m_unit.GetRegister(n), value) << "r" << n;
    EXPECT_EQ(Peek(0x20, 1), 0xB2u);
    EXPECT_EQ(Peek(0x1000), 0x05B059u);
    EXPECT_FALSE(m_unit.IsIrqPending());
    const std::vector<uint32_t> without = State();
    EXPECT_EQ(std::vector<uint32_t>(without.end() - 4, without.end()),
              (std::vector<uint32_t>{34, 58, 1, 3}));
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 0u);

    EXPECT_EQ(Run(3), 34);
    EXPECT_EQ(State(), without);
    // 33 instruction words and 7 prefixes; the three loop words hit from the
    // second pass on, the handler's lines do not meet them.
    EXPECT_EQ(m_unit.Cache().GetAttempts(), 40u);
    EXPECT_EQ(m_unit.Cache().GetMisses(), 28u);
}

// The listing forms no row of the step table shows.
TEST_F(CorvaneTest, ListsTheOtherForms) {
    // clang-format off
    struct { std::vector<uint32_t> words; const char *mnemonic, *operand; uint32_t address = 0x000100; } const cases[] = {
        {{0x000000}, "nop", ""},
        {{0x602000}, "lw", "r1,#0"},
        {{0x080000}, "br", "000106"},
        {{0x0822F4}, "bne", "r2,0000FA"},
        {{0x081D00}, "beq", "sp,000106"},
        {{0x0D0080}, "jmp", "FFFF80"},
        {{0xBC0000, 0x0D1E00}, "jmp", "000000(lr)"},
        {{0xDC2010}, "lw", "r1,10"},
        {{0xD43F80}, "ldb", "r1,80(ipc)"},
        {{0xC42210}, "ld???", "r1,10(r2)"},
        {{0xE42210}, "st???", "r1,10(r2)"},
        {{0xBC1234, 0xFC2256}, "sw", "r1,123456(r2)"},
        {{0xF82210}, "sw", "r1,?unimp"},
        {{0x602200}, "add", "r1,r2,#0"},
        {{0x2C2281}, "shl", "r1,r2,#FFFF81"},
        {{0x44020F}, "test", "r2,#00000F"},
        {{0x542203}, "xor", "r1,r2,#000003"},
        {{0xBC0000, 0x5422FF}, "xor", "r1,r2,#0000FF"},
        {{0x702003}, "neg", "r1,r3"},
        {{0x700203}, "cmp", "r2,r3"},
        {{0x700200}, "cmpz", "r2"},
        {{0x740220}, "cmpz", "r2"},
        {{0x740221}, "cmp", "r2,#000021"},
        {{0x780203}, "cmpc", "r2,r3"},
        // special register moves, numbered as the core executes them
        {{0x200403}, "lw", "ver,r3  (ignored)"},
        {{0x200507}, "sw", "ver,r7 (unimplemented)"},
        {{0x20A403}, "lw", ""},
        {{0xBFFFFF, 0xB8FFFF}, "?unimp", ""},
        {{}, "sw", "ipc,FF(ipc)", 0x1050000},  // nothing answers
    };
    // clang-format on
    m_unit.SetCR(1);
    for (const auto& c : cases) {
        Put(c.address, c.words);
        ExpectListing(c.address, c.words, c.mnemonic, c.operand);
    }
    // Listing neither steps, nor fetches through the cache, nor counts.
    EXPECT_EQ(m_unit.GetPC(), 0xFFFFF8u);
    EXPECT_EQ(m_unit.Cache().GetAttempts() + Counter(CMpu::kFetches), 0u);
}

}  // namespace
