#pragma once
// CVo16: the 16-bit Vo16 processing unit. Sixteen 16-bit registers (r0 reads
// as 0, r15 takes the return address of call), big-endian 16-bit instruction
// words, immediate-prefix words (op 13) that supply bits 15-4 of the next
// constant, branch conditions computed from the two addends of the last
// addition and single-place shifts through ShiftBit. No interrupts.
//
// Memory map: none of its own; every access is a 16-bit address on the bus,
// words read and written big-endian (the byte at the lower address is the
// high byte).
//
// Instruction word: op = bits 15-12, rd = 11-8 (branch condition for op 11),
// ra = 7-4 (function code fn for ops 3 and 4), rb / imm4 = 3-0,
// disp8 = 7-0, imm12 = 11-0.
//
// Registers live in relaxed atomics: the register pane reads them while the
// run thread steps.
#include <array>
#include <cstdint>

#include "core/Mpu.h"
#include "core/Relaxed.h"

class CDevices;

class CVo16 final : public CMpu {
public:
    static constexpr const char* kClassName = "CVo16";
    static constexpr int kRegisterCount = 16;
    // A prefix chain longer than the address space holds in words can only be
    // the same words again: a step stops fetching there.
    static constexpr uint32_t kMaxWordsPerInstruction = 0x8000;

    CVo16();

    const char* GetClassName() const override { return kClassName; }
    // r0-r7, then PC, each as a 32-bit value; r8-r15 and the rest of the
    // state are not part of the record.
    void Serialize(CArchive& ar) override;
    void SerializeSettings(CArchive& ar) override;

    uint32_t GetPC() const override { return m_pc; }
    void Reset() override;
    void Step() override;
    void StepPasses(SPassRun& run) override;
    SDisassembly Disassemble(uint32_t address) const override;
    bool ReturnExecuted() const override { return m_returned != 0; }

    // Register access for the register pane and the tests. r0 stays 0;
    // numbers outside 0-15 read as 0 and write nothing.
    // R0-R15, PC (4 digits each); R0 always reads 0.
    std::span<const SRegisterInfo> GetRegisterInfo() const override;
    uint32_t GetRegisterValue(size_t index) const override;

    // History's state words: r0-r15 and PC (16 bits), the four counters, then the
    // latches a step leaves for the next one (opcode, the addends, the
    // prefix, carry, ShiftBit and whether the step returned).
    static constexpr size_t kStateCounterWord = kRegisterCount + 1;
    static constexpr size_t kStateWords = kStateCounterWord + kStatisticCount + 8;
    static constexpr size_t kStateNarrowWords = kRegisterCount + 1;
    size_t GetStateWordCount() const override { return kStateWords; }
    size_t GetStateCounterWord() const override { return kStateCounterWord; }
    void ReadStateWords(uint64_t* words) const override {
        for (size_t n = 0; n < kRegisterCount; ++n)
            words[n] = m_r[n].Load();
        words[kRegisterCount] = m_pc.Load();
        for (size_t i = 0; i < kStatisticCount; ++i)
            words[kStateCounterWord + i] = m_statistics[i].Load();
        uint64_t* latches = words + kStateCounterWord + kStatisticCount;
        latches[0] = m_opcode.Load();
        latches[1] = m_addendA.Load();
        latches[2] = m_addendB.Load();
        latches[3] = m_prefixValue.Load();
        latches[4] = m_prefixActive.Load();
        latches[5] = m_carry.Load();
        latches[6] = m_shiftBit.Load();
        latches[7] = m_returned.Load();
    }
    void RestoreStateWords(const uint64_t* words) override;

    uint16_t GetRegister(int n) const;
    void SetRegister(int n, uint16_t value);
    void SetPC(uint16_t pc) { m_pc = pc; }
    uint16_t GetOpcode() const { return m_opcode; }
    void SetOpcode(uint16_t opcode) { m_opcode = opcode; }
    uint16_t GetPrefixValue() const { return m_prefixValue; }
    void SetPrefixValue(uint16_t value) { m_prefixValue = value; }
    bool IsPrefixActive() const { return m_prefixActive != 0; }
    uint16_t GetAddendA() const { return m_addendA; }
    uint16_t GetAddendB() const { return m_addendB; }
    void SetAddends(uint16_t a, uint16_t b) {
        m_addendA = a;
        m_addendB = b;
    }
    uint32_t GetCarry() const { return m_carry; }
    void SetCarry(uint32_t carry) { m_carry = carry; }
    uint32_t GetShiftBit() const { return m_shiftBit; }
    void SetShiftBit(uint32_t bit) { m_shiftBit = bit; }

    // Whether branch condition cond (0-15) holds for the addends a and b.
    static bool Condition(uint32_t cond, uint16_t a, uint16_t b);

    // The constants of an instruction, shared by execution and listing.
    // Without a prefix: imm4 sign-extended; word displacements move bit 0 of
    // imm4 to bit 4 (0, 0x10, 2, 0x12, ... 0x1E); byte displacements are imm4.
    // With a prefix P (its imm12 << 4) each is P OR imm4.
    static constexpr uint16_t Imm16(bool prefixed, uint16_t prefix, uint32_t imm4) {
        return static_cast<uint16_t>(prefixed ? (prefix | imm4)
                                              : (imm4 & 8 ? 0xFFF0 | imm4 : imm4));
    }
    static constexpr uint16_t WordDisplacement(bool prefixed, uint16_t prefix, uint32_t imm4) {
        return static_cast<uint16_t>(prefixed ? (prefix | imm4) : ((imm4 & 0xE) | (imm4 & 1) << 4));
    }
    static constexpr uint16_t ByteDisplacement(bool prefixed, uint16_t prefix, uint32_t imm4) {
        return static_cast<uint16_t>(prefixed ? (prefix | imm4) : imm4);
    }
    // Where a taken branch goes: next is the address after the branch word.
    static constexpr uint16_t BranchTarget(uint16_t next, uint32_t disp8) {
        return static_cast<uint16_t>(next + 2 * static_cast<int8_t>(disp8) + 2);
    }

protected:
    void StoreRegisterValue(size_t index, uint32_t value) override;

private:
    // What one step accumulates, and the bus it reads once.
    struct SCounts {
        CDevices* bus = nullptr;
        uint32_t fetches = 0;
        uint32_t loads = 0;
        uint32_t stores = 0;
    };

    uint16_t Load(uint32_t address, uint32_t size, SCounts& counts) const;
    void Store(uint32_t address, uint16_t value, uint32_t size, SCounts& counts);

    // Addition-type operations: record the addends, set carry (or borrow) and
    // return the 16-bit result.
    uint16_t Add(uint16_t a, uint16_t b, uint32_t carryIn);
    uint16_t Subtract(uint16_t minuend, uint16_t subtrahend, uint32_t borrowIn);
    // Single-place shifts; each sets ShiftBit to the bit shifted out.
    uint16_t ShiftRightLogical(uint16_t value);
    uint16_t ShiftRightArithmetic(uint16_t value);
    uint16_t ShiftLeft(uint16_t value);
    uint16_t ShiftRightExtended(uint16_t value);
    uint16_t ShiftLeftExtended(uint16_t value);
    // Op 3 (register source) and op 4 (constant source) by function code;
    // false for the unassigned codes, which change nothing.
    bool Logic(uint32_t fn, uint16_t d, uint16_t s, uint16_t& result);
    void ExecuteOp4(uint32_t rd, uint32_t fn, uint16_t imm16);

    std::array<Relaxed<uint16_t>, kRegisterCount> m_r{};
    Relaxed<uint16_t> m_pc{0};
    Relaxed<uint16_t> m_opcode{0};
    Relaxed<uint16_t> m_addendA{0};
    Relaxed<uint16_t> m_addendB{0};
    Relaxed<uint16_t> m_prefixValue{0};
    Relaxed<uint32_t> m_prefixActive{0};
    Relaxed<uint32_t> m_carry{0};
    Relaxed<uint32_t> m_shiftBit{0};
    Relaxed<uint32_t> m_returned{0};
};
