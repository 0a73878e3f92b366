#include "cpu/M6502.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"

namespace {

constexpr uint8_t kC = C6502::kCarry;
constexpr uint8_t kZ = C6502::kZero;
constexpr uint8_t kI = C6502::kInterruptDisable;
constexpr uint8_t kD = C6502::kDecimal;
constexpr uint8_t kB = C6502::kBreak;
constexpr uint8_t kV = C6502::kOverflow;
constexpr uint8_t kN = C6502::kNegative;

class M6502Test : public ::testing::Test {
protected:
    M6502Test() {
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        m_bus.AddTail(ram);
        m_unit.SetBus(&m_bus);
    }

    void Poke(uint16_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes)
            m_bus.Write(address++, b, 1, true);
    }
    void Poke(uint16_t address, const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes)
            m_bus.Write(address++, b, 1, true);
    }
    uint8_t Peek(uint16_t address) const { return static_cast<uint8_t>(m_bus.Read(address, 1)); }
    // Places a program at address and points PC, SP and Status at a known start.
    void Start(uint16_t address, std::initializer_list<uint8_t> program, uint8_t status = 0x20) {
        Poke(address, program);
        m_unit.SetPC(address);
        m_unit.SetSP(0xFF);
        m_unit.SetStatus(status);
    }
    uint32_t Stat(CMpu::EStatistic which) const { return m_unit.GetStatistic(which); }

    CDevices m_bus;
    C6502 m_unit;
};

TEST_F(M6502Test, ResetLoadsTheVectorAndKeepsTheRest) {
    Poke(0xFFFC, {0x34, 0x12});
    m_unit.SetA(0x11);
    m_unit.SetX(0x22);
    m_unit.SetY(0x33);
    m_unit.SetStepOutPending(true);
    m_unit.SetInterruptPrompt(true);
    m_unit.Interrupt(true, true, 0);
    m_unit.Reset();
    EXPECT_EQ(m_unit.GetPC(), 0x1234u);
    EXPECT_EQ(m_unit.GetSP(), 0xFF);
    EXPECT_EQ(m_unit.GetStatus(), 0x30);
    EXPECT_EQ(Stat(CMpu::kFetches), 2u);
    EXPECT_EQ(m_unit.GetA(), 0x11);
    EXPECT_EQ(m_unit.GetX(), 0x22);
    EXPECT_EQ(m_unit.GetY(), 0x33);
    EXPECT_TRUE(m_unit.IsNmiPending());
    EXPECT_TRUE(m_unit.IsIrqAsserted());
    EXPECT_TRUE(m_unit.IsStepOutPending());
    EXPECT_TRUE(m_unit.GetInterruptPrompt());
}

// What one instruction adds to the four counters. Pointers and vectors count
// as instruction fetches; cycles count only operand-address bytes.
struct SCountCase {
    const char* name;
    std::vector<uint8_t> program;
    uint32_t fetches, cycles, loads, stores;
};

class M6502CountTest : public M6502Test, public ::testing::WithParamInterface<SCountCase> {};

TEST_P(M6502CountTest, AdvancesTheCounters) {
    const SCountCase& c = GetParam();
    Poke(0x0400, c.program);
    m_unit.SetPC(0x0400);
    m_unit.SetSP(0xF0);
    m_unit.SetStatus(0x20);
    m_unit.Step();
    EXPECT_EQ(Stat(CMpu::kFetches), c.fetches);
    EXPECT_EQ(Stat(CMpu::kCycles), c.cycles);
    EXPECT_EQ(Stat(CMpu::kLoads), c.loads);
    EXPECT_EQ(Stat(CMpu::kStores), c.stores);
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, M6502CountTest,
    ::testing::Values(SCountCase{"LdaImmediate", {0xA9, 0x80}, 1, 1, 1, 0},
                      SCountCase{"LdxImmediate", {0xA2, 0x80}, 2, 0, 0, 0},
                      SCountCase{"LdyImmediate", {0xA0, 0x80}, 2, 0, 0, 0},
                      SCountCase{"CpxImmediate", {0xE0, 0x80}, 1, 1, 1, 0},
                      SCountCase{"LdaZeroPage", {0xA5, 0x10}, 2, 1, 1, 0},
                      SCountCase{"LdaAbsoluteX", {0xBD, 0x00, 0x20}, 3, 2, 1, 0},
                      SCountCase{"LdaIndirectX", {0xA1, 0x10}, 4, 2, 1, 0},
                      SCountCase{"StaIndirectY", {0x91, 0x10}, 4, 2, 0, 1},
                      SCountCase{"IncZeroPage", {0xE6, 0x10}, 2, 1, 1, 1},
                      SCountCase{"AsoZeroPage", {0x07, 0x10}, 2, 1, 2, 1},
                      SCountCase{"JmpAbsolute", {0x4C, 0x00, 0x20}, 3, 0, 0, 0},
                      SCountCase{"JmpIndirect", {0x6C, 0x00, 0x20}, 5, 0, 0, 0},
                      SCountCase{"Jsr", {0x20, 0x00, 0x20}, 3, 0, 0, 2},
                      SCountCase{"Rts", {0x60}, 1, 0, 2, 0}, SCountCase{"Brk", {0x00}, 3, 0, 0, 3},
                      SCountCase{"Pha", {0x48}, 1, 0, 0, 1}, SCountCase{"Plp", {0x28}, 1, 0, 1, 0},
                      SCountCase{"BranchTaken", {0xD0, 0x10}, 2, 0, 0, 0},
                      SCountCase{"SkipWord", {0x0C, 0x00, 0x20}, 3, 0, 0, 0},
                      SCountCase{"NoEntry", {0x02, 0xEA}, 2, 0, 0, 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(M6502Test, LdaImmediateSetsNegativeAndClearsZero) {
    Start(0x0400, {0xA9, 0x80}, 0x20 | kZ);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), 0x80);
    EXPECT_EQ(m_unit.GetStatus() & (kN | kZ), kN);
    EXPECT_EQ(m_unit.GetPC(), 0x0402u);
}

// ADC and SBC through the immediate mode, binary and decimal.
struct SArithmeticCase {
    uint8_t opcode;  // 0x69 ADC or 0xE9 SBC
    bool decimal;
    uint8_t a, m;
    bool carryIn;
    uint8_t result;
    uint8_t flags;  // expected N, V, Z and C
};

class M6502ArithmeticTest : public M6502Test,
                            public ::testing::WithParamInterface<SArithmeticCase> {};

TEST_P(M6502ArithmeticTest, ComputesResultAndFlags) {
    const SArithmeticCase& c = GetParam();
    uint8_t status = 0x20 | (c.decimal ? kD : 0) | (c.carryIn ? kC : 0);
    Start(0x0400, {c.opcode, c.m}, status);
    m_unit.SetA(c.a);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), c.result);
    EXPECT_EQ(m_unit.GetStatus() & (kN | kV | kZ | kC), c.flags);
    EXPECT_EQ(m_unit.GetStatus() & kD, c.decimal ? kD : 0);
}

INSTANTIATE_TEST_SUITE_P(AdcSbc, M6502ArithmeticTest,
                         ::testing::Values(
                             // Binary.
                             SArithmeticCase{0x69, false, 0x50, 0x50, false, 0xA0, kN | kV},
                             SArithmeticCase{0x69, false, 0xFF, 0x01, false, 0x00, kZ | kC},
                             SArithmeticCase{0x69, false, 0x7F, 0x00, true, 0x80, kN | kV},
                             SArithmeticCase{0xE9, false, 0x50, 0xB0, true, 0xA0, kN | kV},
                             SArithmeticCase{0xE9, false, 0x05, 0x05, false, 0xFF, kN},
                             SArithmeticCase{0xE9, false, 0x05, 0x04, false, 0x00, kZ | kC},
                             // Decimal.
                             SArithmeticCase{0x69, true, 0x58, 0x46, false, 0x04, kN | kV | kC},
                             SArithmeticCase{0x69, true, 0x12, 0x34, false, 0x46, 0},
                             SArithmeticCase{0x69, true, 0x99, 0x00, true, 0x00,
                                             kN | kC},  // Z from binary 0x9A
                             SArithmeticCase{0x69, true, 0x09, 0x01, false, 0x10, 0},
                             SArithmeticCase{0xE9, true, 0x46, 0x12, true, 0x34, kC},
                             SArithmeticCase{0xE9, true, 0x12, 0x21, true, 0x91, kN},
                             SArithmeticCase{0xE9, true, 0x00, 0x01, true, 0x99, kN},
                             SArithmeticCase{0xE9, true, 0x40, 0x40, true, 0x00, kZ | kC}));

TEST_F(M6502Test, IndirectPointerAtFFTakesHighByteFromPageOne) {
    Poke(0x00FF, {0x34});
    Poke(0x0100, {0x12});
    Poke(0x0000, {0x99});  // what a page-zero wrap would use
    Poke(0x1234, {0x5A});
    Start(0x0400, {0xA1, 0xFF, 0xB1, 0xFF});
    m_unit.SetX(0);
    m_unit.SetY(1);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), 0x5A);
    EXPECT_EQ(m_unit.GetEffectiveAddress(), 0x1234);
    Poke(0x1235, {0x6B});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), 0x6B);
}

TEST_F(M6502Test, JumpIndirectReadsHighByteFromNextPage) {
    Poke(0x10FF, {0x00});
    Poke(0x1100, {0x20});
    Poke(0x1000, {0x30});
    Start(0x0400, {0x6C, 0xFF, 0x10});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x2000u);
}

// A word that starts at 0xFFFF continues at 0x0000, for operands and pointers.
TEST_F(M6502Test, WordAtFFFFWrapsToPageZero) {
    Poke(0x0000, {0x12});
    Start(0xFFFE, {0x4C, 0x34});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x1234u);

    Poke(0xFFFF, {0x78});
    Poke(0x0000, {0x56});
    Start(0x0400, {0x6C, 0xFF, 0xFF});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x5678u);
}

TEST_F(M6502Test, BrkPushesTheByteAfterItAndRtiReturnsThere) {
    Poke(0xFFFE, {0x00, 0x30});
    Poke(0x3000, {0x40});
    Start(0x0200, {0x00, 0xEA}, 0x20 | kC);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x3000u);
    EXPECT_EQ(Peek(0x01FF), 0x02);
    EXPECT_EQ(Peek(0x01FE), 0x01);
    EXPECT_EQ(Peek(0x01FD), 0x20 | kC);  // status as it was, B not added
    EXPECT_EQ(m_unit.GetStatus(), 0x20 | kC | kB | kI);
    EXPECT_FALSE(m_unit.ReturnExecuted());
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x0201u);
    EXPECT_EQ(m_unit.GetStatus(), 0x20 | kC);
    EXPECT_EQ(m_unit.GetSP(), 0xFF);
    EXPECT_TRUE(m_unit.ReturnExecuted());
}

TEST_F(M6502Test, JsrAndRtsWithReturnExecuted) {
    Poke(0x2000, {0x60});
    Start(0x0300, {0x20, 0x00, 0x20, 0xEA});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x2000u);
    EXPECT_EQ(Peek(0x01FF), 0x03);
    EXPECT_EQ(Peek(0x01FE), 0x02);
    EXPECT_FALSE(m_unit.ReturnExecuted());
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x0303u);
    EXPECT_TRUE(m_unit.ReturnExecuted());
    m_unit.Step();
    EXPECT_FALSE(m_unit.ReturnExecuted());
}

TEST_F(M6502Test, NmiIsTakenWithISetAndExecutesNothingElse) {
    Poke(0xFFFA, {0x00, 0x50});
    Start(0x0400, {0xA9, 0x01}, 0x20 | kI | kB | kC);
    m_unit.Interrupt(true, false, 0);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x5000u);
    EXPECT_EQ(m_unit.GetA(), 0x00);
    EXPECT_EQ(Peek(0x01FF), 0x04);
    EXPECT_EQ(Peek(0x01FE), 0x00);
    EXPECT_EQ(Peek(0x01FD), 0x20 | kI | kB | kC);
    EXPECT_FALSE(m_unit.IsNmiPending());
    // ClearInterrupt does not withdraw an NMI.
    m_unit.Interrupt(true, false, 0);
    m_unit.ClearInterrupt(true, true, 0);
    EXPECT_TRUE(m_unit.IsNmiPending());
}

TEST_F(M6502Test, NmiComesBeforeAWaitingIrq) {
    Poke(0xFFFA, {0x00, 0x50});
    Poke(0xFFFE, {0x00, 0x60});
    Start(0x0400, {0xEA});
    m_unit.Interrupt(false, true, 3);
    m_unit.Interrupt(true, false, 0);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x5000u);
}

TEST_F(M6502Test, IrqIsALevelHeldOffByI) {
    Poke(0xFFFE, {0x00, 0x60});
    Poke(0x6000, {0x40});  // the handler returns at once
    Start(0x0400, {0xEA, 0x58, 0xEA}, 0x20 | kI | kB);
    m_unit.Interrupt(false, true, 2);
    m_unit.Step();  // NOP: I is set
    EXPECT_EQ(m_unit.GetPC(), 0x0401u);
    m_unit.Step();  // CLI
    EXPECT_EQ(m_unit.GetPC(), 0x0402u);
    m_unit.Step();  // enters the handler
    EXPECT_EQ(m_unit.GetPC(), 0x6000u);
    EXPECT_EQ(Peek(0x01FD), 0x20);  // B cleared in the pushed copy
    EXPECT_TRUE(m_unit.GetStatus() & kI);
    m_unit.Step();  // RTI clears I again: the asserted line is entered again
    EXPECT_EQ(m_unit.GetPC(), 0x0402u);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x6000u);
    m_unit.Step();
    m_unit.ClearInterrupt(false, true, 15);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x0403u);
}

// Which calls leave the IRQ line asserted.
struct SIrqCall {
    bool clear;  // ClearInterrupt instead of Interrupt
    bool nmi, irq;
    int code;
    bool asserted;
};

class M6502IrqLineTest : public M6502Test, public ::testing::WithParamInterface<SIrqCall> {};

TEST_P(M6502IrqLineTest, FollowsTheCall) {
    const SIrqCall& c = GetParam();
    m_unit.Interrupt(false, true, 1);
    if (c.clear)
        m_unit.ClearInterrupt(c.nmi, c.irq, c.code);
    else
        m_unit.Interrupt(c.nmi, c.irq, c.code);
    EXPECT_EQ(m_unit.IsIrqAsserted(), c.asserted);
}

INSTANTIATE_TEST_SUITE_P(Calls, M6502IrqLineTest,
                         ::testing::Values(SIrqCall{false, false, true, 15, false},
                                           SIrqCall{false, false, true, 0, true},
                                           SIrqCall{false, true, false, 15, true},
                                           SIrqCall{true, false, true, 4, false},
                                           SIrqCall{true, true, false, 15, true}));

// Bytes consumed by the codes that do nothing.
struct SLengthCase {
    uint8_t opcode;
    uint16_t length;
};

class M6502LengthTest : public M6502Test, public ::testing::WithParamInterface<SLengthCase> {};

TEST_P(M6502LengthTest, SkipsItsBytes) {
    const SLengthCase& c = GetParam();
    Start(0x0400, {c.opcode, 0xA9, 0x01, 0xA9});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x0400u + c.length);
    EXPECT_EQ(m_unit.GetA(), 0);
    EXPECT_EQ(m_unit.GetStatus(), 0x20);
}

INSTANTIATE_TEST_SUITE_P(Undocumented, M6502LengthTest,
                         ::testing::Values(SLengthCase{0x02, 2}, SLengthCase{0xFB, 2},
                                           SLengthCase{0x1A, 1}, SLengthCase{0xFA, 1},
                                           SLengthCase{0x04, 2}, SLengthCase{0x89, 2},
                                           SLengthCase{0xF4, 2}, SLengthCase{0x0C, 3},
                                           SLengthCase{0xFC, 3}));

TEST_F(M6502Test, NoEntryCodeFetchesTheNextByteIntoOpcode) {
    Start(0x0400, {0x02, 0xA9});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetOpcode(), 0xA9);
}

// 0B: bit 7 of the operand can set C and never clears it.
struct SAsoImmediateCase {
    bool carryIn;
    uint8_t m;
    bool carryOut;
};

class M6502AsoImmediateTest : public M6502Test,
                              public ::testing::WithParamInterface<SAsoImmediateCase> {};

TEST_P(M6502AsoImmediateTest, KeepsOrSetsCarry) {
    const SAsoImmediateCase& c = GetParam();
    Start(0x0400, {0x0B, c.m}, 0x20 | (c.carryIn ? kC : 0));
    m_unit.SetA(0x40);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), 0x42);
    EXPECT_EQ((m_unit.GetStatus() & kC) != 0, c.carryOut);
    EXPECT_EQ(Peek(0x0401), c.m);
}

INSTANTIATE_TEST_SUITE_P(Carry, M6502AsoImmediateTest,
                         ::testing::Values(SAsoImmediateCase{true, 0x01, true},
                                           SAsoImmediateCase{false, 0x81, true},
                                           SAsoImmediateCase{false, 0x01, false}));

// The undocumented operations with an effect: registers, status and the
// memory byte at 0x10 (or at the operand byte itself for 2B).
struct SUndocCase {
    const char* name;
    std::vector<uint8_t> program;
    uint8_t a, x, status, memory;
    uint8_t aOut, xOut, statusOut, memoryOut;
    uint16_t memoryAddress;
};

class M6502UndocTest : public M6502Test, public ::testing::WithParamInterface<SUndocCase> {};

TEST_P(M6502UndocTest, Executes) {
    const SUndocCase& c = GetParam();
    Poke(0x0400, c.program);
    if (c.memoryAddress != 0x0401) Poke(c.memoryAddress, {c.memory});
    m_unit.SetPC(0x0400);
    m_unit.SetSP(0xFF);
    m_unit.SetStatus(c.status);
    m_unit.SetA(c.a);
    m_unit.SetX(c.x);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetA(), c.aOut);
    EXPECT_EQ(m_unit.GetX(), c.xOut);
    EXPECT_EQ(m_unit.GetStatus(), c.statusOut);
    EXPECT_EQ(Peek(c.memoryAddress), c.memoryOut);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, M6502UndocTest,
    ::testing::Values(
        SUndocCase{
            "AsoZeroPage", {0x07, 0x10}, 0x01, 0, 0x20, 0x81, 0x03, 0, 0x20 | kC, 0x02, 0x10},
        SUndocCase{"AsoAbsoluteY",
                   {0x1B, 0x10, 0x00},
                   0x00,
                   0,
                   0x20,
                   0x40,
                   0x80,
                   0,
                   0x20 | kN,
                   0x80,
                   0x10},
        SUndocCase{
            "RlaZeroPage", {0x27, 0x10}, 0xFF, 0, 0x20 | kC, 0x80, 0x01, 0, 0x20 | kC, 0x01, 0x10},
        SUndocCase{"RlaImmediateRotatesInPlace",
                   {0x2B, 0x40},
                   0xFF,
                   0,
                   0x20,
                   0x40,
                   0x80,
                   0,
                   0x20 | kN,
                   0x80,
                   0x0401},
        SUndocCase{"Rra", {0x67, 0x10}, 0x10, 0, 0x20, 0x03, 0x12, 0, 0x20, 0x01, 0x10},
        SUndocCase{
            "Axs", {0x87, 0x10}, 0xF0, 0x3C, 0x20 | kZ, 0x00, 0xF0, 0x3C, 0x20 | kZ, 0x30, 0x10},
        SUndocCase{
            "Lax", {0xBF, 0x10, 0x00}, 0x00, 0x00, 0x20, 0x90, 0x90, 0x90, 0x20 | kN, 0x90, 0x10},
        SUndocCase{"Dcm", {0xC7, 0x10}, 0x05, 0, 0x20, 0x06, 0x05, 0, 0x20 | kZ | kC, 0x05, 0x10},
        SUndocCase{
            "Ins", {0xFF, 0x10, 0x00}, 0x10, 0, 0x20 | kC, 0x04, 0x0B, 0, 0x20 | kC, 0x05, 0x10}),
    [](const auto& info) { return info.param.name; });

TEST_F(M6502Test, PhaWrapsTheStackPointer) {
    Start(0x0400, {0x48});
    m_unit.SetSP(0x00);
    m_unit.SetA(0x77);
    m_unit.Step();
    EXPECT_EQ(Peek(0x0100), 0x77);
    EXPECT_EQ(m_unit.GetSP(), 0xFF);
}

TEST_F(M6502Test, BranchWrapsAt16Bits) {
    Start(0x0000, {0xF0, 0xF0}, 0x20 | kZ);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0xFFF2u);
    Start(0xFFF0, {0xD0, 0x20});
    m_unit.Step();
    EXPECT_EQ(m_unit.GetPC(), 0x0012u);
}

TEST_F(M6502Test, PlpAndRtiKeepThePulledByteWhole) {
    Poke(0x01FF, {0x00});
    Start(0x0400, {0x28}, 0x30);
    m_unit.SetSP(0xFE);
    m_unit.Step();
    EXPECT_EQ(m_unit.GetStatus(), 0x00);
}

TEST_F(M6502Test, WithoutABusStepChangesNothing) {
    C6502 unit;
    unit.SetPC(0x1234);
    unit.Step();
    EXPECT_EQ(unit.GetPC(), 0x1234u);
    unit.Reset();
    EXPECT_EQ(unit.GetPC(), 0xFFFFu);
}

TEST_F(M6502Test, StoredRecordIsTheSixRegistersInOrder) {
    m_unit.SetA(0x01);
    m_unit.SetX(0x02);
    m_unit.SetY(0x03);
    m_unit.SetSP(0x04);
    m_unit.SetPC(0xBEEF);
    m_unit.SetStatus(0xA5);
    m_unit.SetName("kept out of the record");
    CArchive out;
    m_unit.Serialize(out);
    const std::vector<uint8_t> expected = {1, 0, 0, 0, 2,    0,    0, 0, 3,    0, 0, 0,
                                           4, 0, 0, 0, 0xEF, 0xBE, 0, 0, 0xA5, 0, 0, 0};
    EXPECT_EQ(out.Data(), expected);

    C6502 loaded;
    CArchive in(out.Data());
    loaded.Serialize(in);
    EXPECT_FALSE(in.Failed());
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(loaded.GetA(), 0x01);
    EXPECT_EQ(loaded.GetX(), 0x02);
    EXPECT_EQ(loaded.GetY(), 0x03);
    EXPECT_EQ(loaded.GetSP(), 0x04);
    EXPECT_EQ(loaded.GetPC(), 0xBEEFu);
    EXPECT_EQ(loaded.GetStatus(), 0xA5);
    EXPECT_TRUE(loaded.GetName().empty());
}

TEST_F(M6502Test, LoadingTruncatesAndAShortRecordChangesNothing) {
    const std::vector<uint8_t> wide = {0x01, 0x01, 0, 0, 2,    0,    0,    0, 3,    0,    0, 0,
                                       4,    0,    0, 0, 0x34, 0x12, 0x01, 0, 0xFF, 0x01, 0, 0};
    CArchive in(wide);
    m_unit.Serialize(in);
    EXPECT_EQ(m_unit.GetA(), 0x01);
    EXPECT_EQ(m_unit.GetPC(), 0x1234u);
    EXPECT_EQ(m_unit.GetStatus(), 0xFF);

    const std::vector<uint8_t> shortRecord(wide.begin(), wide.begin() + 10);
    CArchive truncated(shortRecord);
    m_unit.SetA(0x55);
    m_unit.Serialize(truncated);
    EXPECT_TRUE(truncated.Failed());
    EXPECT_EQ(m_unit.GetA(), 0x55);
    EXPECT_EQ(m_unit.GetPC(), 0x1234u);
}

}  // namespace
