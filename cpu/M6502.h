#pragma once
// C6502: the NMOS 6502 processing unit. Executes the 151 documented opcodes
// (binary and decimal ADC/SBC), a fixed set of undocumented ones, and takes
// NMI and IRQ requests between instructions.
//
// Memory map: none of its own; every access is a 16-bit address on the bus,
// bytes little-endian. The stack is page 1 (0x0100-0x01FF); the vectors are
// NMI 0xFFFA, reset 0xFFFC, IRQ/BRK 0xFFFE.
//
// Statistics: instruction fetches count opcode and operand bytes and every
// word read through a pointer or vector; clock cycles count operand-address
// bytes of the addressing modes only; loads and stores count data bytes,
// stack included.
//
// Registers live in relaxed atomics: the register pane reads them while the
// run thread steps. Step works on them in place; a run of passes steps on a
// copy held in locals (SHeld) and writes it back when the run looks at the
// units again or ends, so the pane sees them as they were a few thousand
// instructions before.
#include <array>
#include <cstdint>

#include "core/Mpu.h"
#include "core/Relaxed.h"

class C6502 final : public CMpu {
public:
    static constexpr const char* kClassName = "C6502";

    // Status bits. Bit 5 has no flag; it is whatever was last written.
    static constexpr uint8_t kCarry = 0x01;
    static constexpr uint8_t kZero = 0x02;
    static constexpr uint8_t kInterruptDisable = 0x04;
    static constexpr uint8_t kDecimal = 0x08;
    static constexpr uint8_t kBreak = 0x10;
    static constexpr uint8_t kUnused = 0x20;
    static constexpr uint8_t kOverflow = 0x40;
    static constexpr uint8_t kNegative = 0x80;

    static constexpr uint16_t kNmiVector = 0xFFFA;
    static constexpr uint16_t kResetVector = 0xFFFC;
    static constexpr uint16_t kIrqVector = 0xFFFE;
    // The IRQ code devices use to withdraw their request.
    static constexpr int kNoRequestCode = 15;

    C6502();

    const char* GetClassName() const override { return kClassName; }
    // Six values, each 4 bytes: A, X, Y, SP, PC, Status. Nothing of the common
    // unit record is stored. A load that runs short changes no register.
    void Serialize(CArchive& ar) override;
    void SerializeSettings(CArchive& ar) override;

    uint32_t GetPC() const override { return m_pc; }
    // PC from the reset vector, SP = 0xFF, Status = 0x30. A, X, Y, the
    // interrupt latches and the run-control flags keep their values.
    void Reset() override;
    // Enters a pending NMI, else an asserted IRQ when I is clear, else
    // executes one instruction.
    void Step() override;
    void StepPasses(SPassRun& run) override;
    // nmi latches an NMI; irq asserts the IRQ line, or withdraws it when the
    // code is the no-request code 15.
    void Interrupt(bool nmi, bool irq, int irqCode) override;
    // irq withdraws the IRQ line; a latched NMI is cleared only by taking it.
    void ClearInterrupt(bool nmi, bool irq, int irqCode) override;
    SDisassembly Disassemble(uint32_t address) const override;
    bool ReturnExecuted() const override { return m_returned; }
    EPendingEntry GetPendingEntry() const override {
        const uint8_t requests = m_requests;
        if (requests & kNmiLatched) return EPendingEntry::kNmi;
        if ((requests & kIrqAsserted) && (m_status & kInterruptDisable) == 0)
            return EPendingEntry::kIrq;
        return EPendingEntry::kNone;
    }
    // A X Y SP (2 digits) PC (4) STATUS (2, flags N V B D I Z C).
    std::span<const SRegisterInfo> GetRegisterInfo() const override;
    uint32_t GetRegisterValue(size_t index) const override;

    // History's state words: A, Status and the opcode (under 24 bits, so
    // that any change of it is small); X, Y, SP and whether the step
    // returned; PC and the effective address; then the four counters.
    static constexpr size_t kStateCounterWord = 3;
    static constexpr size_t kStateWords = kStateCounterWord + kStatisticCount;
    static constexpr size_t kStateNarrowWords = 1;
    size_t GetStateWordCount() const override { return kStateWords; }
    size_t GetStateCounterWord() const override { return kStateCounterWord; }
    void ReadStateWords(uint64_t* words) const override {
        const std::array<uint32_t, kStateCounterWord> narrow = PackNarrow(
            m_a, m_status, m_opcode, m_x, m_y, m_sp, m_pc, m_returned, m_effectiveAddress);
        for (size_t i = 0; i < kStateCounterWord; ++i)
            words[i] = narrow[i];
        for (size_t i = 0; i < kStatisticCount; ++i)
            words[kStateCounterWord + i] = m_statistics[i].Load();
    }
    void RestoreStateWords(const uint64_t* words) override;

    // Register access for the register pane and the tests.
    uint8_t GetA() const { return m_a; }
    void SetA(uint8_t value) { m_a = value; }
    uint8_t GetX() const { return m_x; }
    void SetX(uint8_t value) { m_x = value; }
    uint8_t GetY() const { return m_y; }
    void SetY(uint8_t value) { m_y = value; }
    uint8_t GetSP() const { return m_sp; }
    void SetSP(uint8_t value) { m_sp = value; }
    void SetPC(uint16_t value) { m_pc = value; }
    uint8_t GetStatus() const { return m_status; }
    void SetStatus(uint8_t value) { m_status = value; }
    uint8_t GetOpcode() const { return m_opcode; }
    uint16_t GetEffectiveAddress() const { return m_effectiveAddress; }
    bool IsNmiPending() const { return (m_requests & kNmiLatched) != 0; }
    bool IsIrqAsserted() const { return (m_requests & kIrqAsserted) != 0; }

    // The interrupt requests, one word so that a step tests both with one
    // load: a latched NMI and the IRQ line.
    static constexpr uint8_t kNmiLatched = 0x01;
    static constexpr uint8_t kIrqAsserted = 0x02;

    // The registers held in locals while the run thread steps a run of
    // passes (defined with the core, where the passes are instantiated),
    // each step recorded in history or not.
    template <bool kRecord>
    struct SHeldAs;
    using SHeld = SHeldAs<false>;
    using SHeldRecorded = SHeldAs<true>;

protected:
    void StoreRegisterValue(size_t index, uint32_t value) override;

private:
    // The state words before the counters.
    static std::array<uint32_t, kStateCounterWord> PackNarrow(uint8_t a, uint8_t status,
                                                              uint8_t opcode, uint8_t x, uint8_t y,
                                                              uint8_t sp, uint16_t pc,
                                                              bool returned, uint16_t effective) {
        return {uint32_t{a} | uint32_t{status} << 8 | uint32_t{opcode} << 16,
                uint32_t{x} | uint32_t{y} << 8 | uint32_t{sp} << 16 | uint32_t{returned} << 24,
                uint32_t{pc} | uint32_t{effective} << 16};
    }

    Relaxed<uint8_t> m_a{0};
    Relaxed<uint8_t> m_x{0};
    Relaxed<uint8_t> m_y{0};
    Relaxed<uint8_t> m_sp{0};
    Relaxed<uint16_t> m_pc{0};
    Relaxed<uint8_t> m_status{0};
    Relaxed<uint8_t> m_opcode{0};
    Relaxed<uint16_t> m_effectiveAddress{0};
    Relaxed<bool> m_returned{false};
    // Written by the event thread (devices, the interrupt command), taken by
    // the stepping thread.
    Relaxed<uint8_t> m_requests{0};
};
