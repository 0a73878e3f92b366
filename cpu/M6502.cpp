#include "cpu/M6502.h"

#include <type_traits>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/History.h"
#include "core/Mpus.h"

namespace {

constexpr uint8_t kC = C6502::kCarry;
constexpr uint8_t kZ = C6502::kZero;
constexpr uint8_t kI = C6502::kInterruptDisable;
constexpr uint8_t kD = C6502::kDecimal;
constexpr uint8_t kB = C6502::kBreak;
constexpr uint8_t kV = C6502::kOverflow;
constexpr uint8_t kN = C6502::kNegative;

// A 16-bit word at address: one 2-byte bus read, except at 0xFFFF, where the
// high byte comes from 0x0000 because addresses wrap at 16 bits.
inline uint16_t ReadWordAt(const CDevices& bus, uint16_t address) {
    if (address == 0xFFFF) {
        return static_cast<uint16_t>((bus.Read(0xFFFF, 1) & 0xFF) | (bus.Read(0, 1) & 0xFF) << 8);
    }
    return static_cast<uint16_t>(bus.Read(address, 2));
}

// The steps of the processor. Unless held, the registers stay in the unit's
// relaxed atomics and each helper reads and writes the ones it uses, once
// each; only PC, the opcode and the counts live in locals, and the step
// publishes them once. The register pane may thus see an instruction half
// done, as it always could see the registers of different instructions.
// Held (C6502::SHeld), every register lives in locals for a run of steps.
// A recorded step notes the bytes it overwrites in history.
template <bool kHeld, bool kRecord>
struct SCore {
    // Held, a register is a whole machine word, so that a byte stored to
    // the stack (where the compiler may keep it) is loaded back at the
    // width it was stored: a wider load of a narrow store waits for the
    // store to complete. Every value assigned to it is of its own width.
    template <class T>
    using Register =
        std::conditional_t<kHeld, std::conditional_t<std::is_same_v<T, bool>, bool, uint32_t>,
                           Relaxed<T>&>;
    // The counts of a step, one byte each (a step counts at most five of
    // any), or of a run of held steps, 16 bits each (see kMostPasses):
    // fetches, clock cycles, loads, stores.
    using Counts = std::conditional_t<kHeld, uint64_t, uint32_t>;
    static constexpr int kCountBits = kHeld ? 16 : 8;
    static constexpr Counts kFetch = 1;
    static constexpr Counts kCycle = Counts{1} << kCountBits;
    static constexpr Counts kLoad = Counts{1} << (2 * kCountBits);
    static constexpr Counts kStore = Counts{1} << (3 * kCountBits);
    static constexpr Counts kCountMask = (Counts{1} << kCountBits) - 1;

    CDevices* bus;
    Register<uint8_t> a;
    Register<uint8_t> x;
    Register<uint8_t> y;
    Register<uint8_t> sp;
    Register<uint8_t> p;
    Register<uint16_t> ea;
    Register<bool> returned;
    uint16_t pc;
    uint8_t opcode;
    Counts counts;
    CHistory* history;

    // Enters a pending NMI, else an asserted IRQ when I is clear, else
    // executes one instruction. The NMI latch is taken with an exchange: a
    // request raised while this step runs is kept for the next one. The IRQ
    // line is a level: it stays asserted until the device withdraws it.
    [[gnu::always_inline]] void Step(Relaxed<uint8_t>& requests) {
        const uint8_t pending = requests.Load();
        if (pending != 0 && EnterRequested(pending, requests)) [[unlikely]]
            return;
        opcode = Fetch();
        Execute();
    }
    // Whether a request was taken, the NMI first (an IRQ with I set waits).
    bool EnterRequested(uint8_t pending, Relaxed<uint8_t>& requests) {
        if ((pending & C6502::kNmiLatched) &&
            (requests.FetchAnd(static_cast<uint8_t>(~C6502::kNmiLatched)) & C6502::kNmiLatched)) {
            EnterInterrupt(C6502::kNmiVector, p);
            return true;
        }
        if ((pending & C6502::kIrqAsserted) && !(p & kI)) {
            EnterInterrupt(C6502::kIrqVector, static_cast<uint8_t>(p & ~kB));
            return true;
        }
        return false;
    }

    // Memory primitives, each advancing its counter.
    uint8_t Fetch() {
        counts += kFetch;
        return static_cast<uint8_t>(bus->Read(pc++, 1));
    }
    uint16_t FetchWord() {
        counts += 2 * kFetch;
        const uint16_t value = ReadWordAt(*bus, pc);
        pc = static_cast<uint16_t>(pc + 2);
        return value;
    }
    uint16_t ReadWord(uint16_t address) {
        counts += 2 * kFetch;
        return ReadWordAt(*bus, address);
    }
    uint8_t Load(uint16_t address) {
        counts += kLoad;
        return static_cast<uint8_t>(bus->Read(address, 1));
    }
    void BusWrite(uint32_t address, uint8_t value) {
        if constexpr (kRecord)
            bus->WriteRecorded(address, value, 1, false, *history);
        else
            bus->Write(address, value, 1, false);
    }
    void Store(uint16_t address, uint8_t value) {
        counts += kStore;
        BusWrite(address, value);
    }
    void Push(uint8_t value) {
        counts += kStore;
        const uint8_t s = sp;
        BusWrite(0x0100u + s, value);
        sp = static_cast<uint8_t>(s - 1);
    }
    uint8_t Pull() {
        const uint8_t s = static_cast<uint8_t>(sp + 1);
        sp = s;
        counts += kLoad;
        return static_cast<uint8_t>(bus->Read(0x0100u + s, 1));
    }
    void PushWord(uint16_t value) {
        Push(static_cast<uint8_t>(value >> 8));
        Push(static_cast<uint8_t>(value));
    }
    uint16_t PullWord() {
        const uint8_t low = Pull();
        return static_cast<uint16_t>(low | Pull() << 8);
    }

    // Addressing modes: each sets and returns the effective address and
    // counts the operand-address bytes as clock cycles.
    uint16_t Effective(uint16_t address) {
        ea = address;
        return address;
    }
    uint16_t Immediate() {
        counts += kCycle;
        return Effective(pc++);
    }
    uint16_t ZeroPage() {
        counts += kCycle;
        return Effective(Fetch());
    }
    uint16_t ZeroPageX() {
        counts += kCycle;
        return Effective(static_cast<uint8_t>(Fetch() + x));
    }
    uint16_t ZeroPageY() {
        counts += kCycle;
        return Effective(static_cast<uint8_t>(Fetch() + y));
    }
    uint16_t Absolute() {
        counts += 2 * kCycle;
        return Effective(FetchWord());
    }
    uint16_t AbsoluteX() {
        counts += 2 * kCycle;
        return Effective(static_cast<uint16_t>(FetchWord() + x));
    }
    uint16_t AbsoluteY() {
        counts += 2 * kCycle;
        return Effective(static_cast<uint16_t>(FetchWord() + y));
    }
    // A pointer at 0xFF takes its high byte from 0x0100: one word read.
    uint16_t IndirectX() {
        counts += 2 * kCycle;
        return Effective(ReadWord(static_cast<uint8_t>(Fetch() + x)));
    }
    uint16_t IndirectY() {
        counts += 2 * kCycle;
        return Effective(static_cast<uint16_t>(ReadWord(Fetch()) + y));
    }

    // Flag and ALU helpers, shared by every addressing mode. Each changes the
    // status register with one read and one write.
    static uint8_t NZ(uint8_t value) { return (value & kN) | (value == 0 ? kZ : 0); }
    void SetNZ(uint8_t value) { p = static_cast<uint8_t>((p & ~(kN | kZ)) | NZ(value)); }
    void SetNZC(uint8_t value, bool carry) {
        p = static_cast<uint8_t>((p & ~(kN | kZ | kC)) | NZ(value) | (carry ? kC : 0));
    }
    uint8_t LoadRegister(uint8_t value) {
        SetNZ(value);
        return value;
    }
    void Ora(uint8_t m) { a = LoadRegister(a | m); }
    void And(uint8_t m) { a = LoadRegister(a & m); }
    void Eor(uint8_t m) { a = LoadRegister(a ^ m); }
    void Compare(uint8_t reg, uint8_t m) { SetNZC(static_cast<uint8_t>(reg - m), reg >= m); }
    void Bit(uint8_t m) {
        p = static_cast<uint8_t>((p & ~(kN | kV | kZ)) | (m & (kN | kV)) | ((a & m) == 0 ? kZ : 0));
    }
    void Adc(uint8_t m) {
        const unsigned av = a;
        uint8_t f = p;
        const unsigned k = f & kC;
        unsigned t;
        f &= static_cast<uint8_t>(~(kN | kV | kZ | kC));
        if (f & kD) {
            // The low digit is adjusted first; N and V come from the sum
            // before the high digit is adjusted, Z from the binary sum.
            t = (av & 0x0Fu) + (m & 0x0Fu) + k;
            if (t >= 10) t += 6;
            if (t >= 0x20) t -= 0x10;
            t += (av & 0xF0u) + (m & 0xF0u);
            if (t & 0x80) f |= kN;
            if (((av + m + k) & 0xFF) == 0) f |= kZ;
            if (~(av ^ m) & (av ^ t) & 0x80) f |= kV;
            if (t >= 0xA0) {
                f |= kC;
                t += 0x60;
            }
        } else {
            t = av + m + k;
            if (t & 0x80) f |= kN;
            if ((t & 0xFF) == 0) f |= kZ;
            if (~(av ^ m) & (av ^ t) & 0x80) f |= kV;
            if (t & 0xFF00) f |= kC;
        }
        p = f;
        a = static_cast<uint8_t>(t);
    }
    void Sbc(uint8_t m) {
        const unsigned av = a;
        uint8_t f = p;
        const unsigned b = (f & kC) ? 0 : 1;
        unsigned t;
        f &= static_cast<uint8_t>(~(kN | kV | kZ | kC));
        if (f & kD) {
            t = (av & 0x0Fu) + 0x100 - ((m & 0x0Fu) + b);
            if (t < 0x100) t -= 6;
            if (t < 0xF0) t += 0x10;
            t += av & 0xF0u;
            t -= m & 0xF0u;
            if (t & 0x80) f |= kN;
            if (((av - m - b) & 0xFF) == 0) f |= kZ;
            if (~((t & 0xFF) ^ m) & (av ^ m) & 0x80) f |= kV;
            if (t & 0xFF00) {
                f |= kC;
            } else {
                t -= 0x60;
            }
        } else {
            t = av + 0x100 - (m + b);
            if (t & 0x80) f |= kN;
            if ((t & 0xFF) == 0) f |= kZ;
            if (~((t & 0xFF) ^ m) & (av ^ m) & 0x80) f |= kV;
            if (t & 0xFF00) f |= kC;
        }
        p = f;
        a = static_cast<uint8_t>(t);
    }
    uint8_t Asl(uint8_t v) {
        const auto result = static_cast<uint8_t>(v << 1);
        SetNZC(result, v & 0x80);
        return result;
    }
    uint8_t Lsr(uint8_t v) {
        const auto result = static_cast<uint8_t>(v >> 1);
        SetNZC(result, v & 0x01);
        return result;
    }
    uint8_t Rol(uint8_t v) {
        const auto result = static_cast<uint8_t>(v << 1 | (p & kC));
        SetNZC(result, v & 0x80);
        return result;
    }
    uint8_t Ror(uint8_t v) {
        const auto result = static_cast<uint8_t>(v >> 1 | ((p & kC) ? 0x80 : 0));
        SetNZC(result, v & 0x01);
        return result;
    }
    uint8_t Inc(uint8_t v) { return LoadRegister(static_cast<uint8_t>(v + 1)); }
    uint8_t Dec(uint8_t v) { return LoadRegister(static_cast<uint8_t>(v - 1)); }
    // Read-modify-write on memory.
    template <uint8_t (SCore::*Op)(uint8_t)>
    void Modify(uint16_t address) {
        Store(address, (this->*Op)(Load(address)));
    }

    void Branch(bool taken) {
        const auto offset = static_cast<int8_t>(Fetch());
        if (taken) pc = static_cast<uint16_t>(pc + offset);
    }
    void Jsr() {
        // The pushed address is that of the JSR's last byte.
        PushWord(static_cast<uint16_t>(pc + 1));
        pc = FetchWord();
    }
    void Rts() {
        pc = static_cast<uint16_t>(PullWord() + 1);
        returned = true;
    }
    void Rti() {
        returned = true;
        p = Pull();
        pc = PullWord();
    }
    // BRK returns to the byte after its opcode and pushes the status as it is.
    void Brk() {
        PushWord(pc);
        const uint8_t status = p;
        Push(status);
        p = status | kB | kI;
        pc = ReadWord(C6502::kIrqVector);
    }
    void EnterInterrupt(uint16_t vector, uint8_t pushedStatus) {
        PushWord(pc);
        Push(pushedStatus);
        pc = ReadWord(vector);
        p |= kI;
    }

    // Undocumented operations. The read-modify-write ones load the operand a
    // second time for their second operation.
    void Skip() { Fetch(); }
    void SkipWord() { FetchWord(); }
    // The byte after the opcode replaces it and is not executed.
    void SkipIntoOpcode() { opcode = Fetch(); }
    void Aso(uint16_t address) {
        Modify<&SCore::Asl>(address);
        Ora(Load(address));
    }
    void Rla(uint16_t address) {
        Modify<&SCore::Rol>(address);
        And(Load(address));
    }
    void Rra(uint16_t address) {
        Modify<&SCore::Ror>(address);
        Adc(Load(address));
    }
    void Dcm(uint16_t address) {
        Modify<&SCore::Dec>(address);
        Compare(a, Load(address));
    }
    void Ins(uint16_t address) {
        Modify<&SCore::Inc>(address);
        Sbc(Load(address));
    }
    // 0B: the shifted-out bit can set C but never clears it; memory is untouched.
    void AsoImmediate(uint16_t address) {
        const uint8_t m = Load(address);
        if (m & 0x80) p |= kC;
        a = LoadRegister(a | static_cast<uint8_t>(m << 1));
    }
    void Lax(uint16_t address) {
        const uint8_t value = LoadRegister(Load(address));
        a = value;
        x = value;
    }

    void Execute();
};

template <bool kHeld, bool kRecord>
void SCore<kHeld, kRecord>::Execute() {
    returned = false;
    switch (opcode) {
        case 0x00: Brk(); break;
        case 0x01: Ora(Load(IndirectX())); break;
        case 0x02: SkipIntoOpcode(); break;
        case 0x03: Aso(IndirectX()); break;
        case 0x04: Skip(); break;
        case 0x05: Ora(Load(ZeroPage())); break;
        case 0x06: Modify<&SCore::Asl>(ZeroPage()); break;
        case 0x07: Aso(ZeroPage()); break;
        case 0x08: Push(p); break;
        case 0x09: Ora(Load(Immediate())); break;
        case 0x0A: a = Asl(a); break;
        case 0x0B: AsoImmediate(Immediate()); break;
        case 0x0C: SkipWord(); break;
        case 0x0D: Ora(Load(Absolute())); break;
        case 0x0E: Modify<&SCore::Asl>(Absolute()); break;
        case 0x0F: Aso(Absolute()); break;
        case 0x10: Branch(!(p & kN)); break;
        case 0x11: Ora(Load(IndirectY())); break;
        case 0x12: SkipIntoOpcode(); break;
        case 0x13: Aso(IndirectY()); break;
        case 0x14: Skip(); break;
        case 0x15: Ora(Load(ZeroPageX())); break;
        case 0x16: Modify<&SCore::Asl>(ZeroPageX()); break;
        case 0x17: Aso(ZeroPageX()); break;
        case 0x18: p &= ~kC; break;
        case 0x19: Ora(Load(AbsoluteY())); break;
        case 0x1A: break;
        case 0x1B: Aso(AbsoluteY()); break;
        case 0x1C: SkipWord(); break;
        case 0x1D: Ora(Load(AbsoluteX())); break;
        case 0x1E: Modify<&SCore::Asl>(AbsoluteX()); break;
        case 0x1F: Aso(AbsoluteX()); break;
        case 0x20: Jsr(); break;
        case 0x21: And(Load(IndirectX())); break;
        case 0x22: SkipIntoOpcode(); break;
        case 0x23: Rla(IndirectX()); break;
        case 0x24: Bit(Load(ZeroPage())); break;
        case 0x25: And(Load(ZeroPage())); break;
        case 0x26: Modify<&SCore::Rol>(ZeroPage()); break;
        case 0x27: Rla(ZeroPage()); break;
        case 0x28: p = Pull(); break;
        case 0x29: And(Load(Immediate())); break;
        case 0x2A: a = Rol(a); break;
        case 0x2B: Rla(Immediate()); break;
        case 0x2C: Bit(Load(Absolute())); break;
        case 0x2D: And(Load(Absolute())); break;
        case 0x2E: Modify<&SCore::Rol>(Absolute()); break;
        case 0x2F: Rla(Absolute()); break;
        case 0x30: Branch(p & kN); break;
        case 0x31: And(Load(IndirectY())); break;
        case 0x32: SkipIntoOpcode(); break;
        case 0x33: Rla(IndirectY()); break;
        case 0x34: Skip(); break;
        case 0x35: And(Load(ZeroPageX())); break;
        case 0x36: Modify<&SCore::Rol>(ZeroPageX()); break;
        case 0x37: Rla(ZeroPageX()); break;
        case 0x38: p |= kC; break;
        case 0x39: And(Load(AbsoluteY())); break;
        case 0x3A: break;
        case 0x3B: Rla(AbsoluteY()); break;
        case 0x3C: SkipWord(); break;
        case 0x3D: And(Load(AbsoluteX())); break;
        case 0x3E: Modify<&SCore::Rol>(AbsoluteX()); break;
        case 0x3F: Rla(AbsoluteX()); break;
        case 0x40: Rti(); break;
        case 0x41: Eor(Load(IndirectX())); break;
        case 0x42: SkipIntoOpcode(); break;
        case 0x43: SkipIntoOpcode(); break;
        case 0x44: Skip(); break;
        case 0x45: Eor(Load(ZeroPage())); break;
        case 0x46: Modify<&SCore::Lsr>(ZeroPage()); break;
        case 0x47: SkipIntoOpcode(); break;
        case 0x48: Push(a); break;
        case 0x49: Eor(Load(Immediate())); break;
        case 0x4A: a = Lsr(a); break;
        case 0x4B: SkipIntoOpcode(); break;
        case 0x4C: pc = FetchWord(); break;
        case 0x4D: Eor(Load(Absolute())); break;
        case 0x4E: Modify<&SCore::Lsr>(Absolute()); break;
        case 0x4F: SkipIntoOpcode(); break;
        case 0x50: Branch(!(p & kV)); break;
        case 0x51: Eor(Load(IndirectY())); break;
        case 0x52: SkipIntoOpcode(); break;
        case 0x53: SkipIntoOpcode(); break;
        case 0x54: Skip(); break;
        case 0x55: Eor(Load(ZeroPageX())); break;
        case 0x56: Modify<&SCore::Lsr>(ZeroPageX()); break;
        case 0x57: SkipIntoOpcode(); break;
        case 0x58: p &= ~kI; break;
        case 0x59: Eor(Load(AbsoluteY())); break;
        case 0x5A: break;
        case 0x5B: SkipIntoOpcode(); break;
        case 0x5C: SkipWord(); break;
        case 0x5D: Eor(Load(AbsoluteX())); break;
        case 0x5E: Modify<&SCore::Lsr>(AbsoluteX()); break;
        case 0x5F: SkipIntoOpcode(); break;
        case 0x60: Rts(); break;
        case 0x61: Adc(Load(IndirectX())); break;
        case 0x62: SkipIntoOpcode(); break;
        case 0x63: SkipIntoOpcode(); break;
        case 0x64: Skip(); break;
        case 0x65: Adc(Load(ZeroPage())); break;
        case 0x66: Modify<&SCore::Ror>(ZeroPage()); break;
        case 0x67: Rra(ZeroPage()); break;
        case 0x68: a = LoadRegister(Pull()); break;
        case 0x69: Adc(Load(Immediate())); break;
        case 0x6A: a = Ror(a); break;
        case 0x6B: SkipIntoOpcode(); break;
        case 0x6C: pc = ReadWord(FetchWord()); break;
        case 0x6D: Adc(Load(Absolute())); break;
        case 0x6E: Modify<&SCore::Ror>(Absolute()); break;
        case 0x6F: SkipIntoOpcode(); break;
        case 0x70: Branch(p & kV); break;
        case 0x71: Adc(Load(IndirectY())); break;
        case 0x72: SkipIntoOpcode(); break;
        case 0x73: SkipIntoOpcode(); break;
        case 0x74: Skip(); break;
        case 0x75: Adc(Load(ZeroPageX())); break;
        case 0x76: Modify<&SCore::Ror>(ZeroPageX()); break;
        case 0x77: SkipIntoOpcode(); break;
        case 0x78: p |= kI; break;
        case 0x79: Adc(Load(AbsoluteY())); break;
        case 0x7A: break;
        case 0x7B: SkipIntoOpcode(); break;
        case 0x7C: SkipWord(); break;
        case 0x7D: Adc(Load(AbsoluteX())); break;
        case 0x7E: Modify<&SCore::Ror>(AbsoluteX()); break;
        case 0x7F: SkipIntoOpcode(); break;
        case 0x80: Skip(); break;
        case 0x81: Store(IndirectX(), a); break;
        case 0x82: Skip(); break;
        case 0x83: SkipIntoOpcode(); break;
        case 0x84: Store(ZeroPage(), y); break;
        case 0x85: Store(ZeroPage(), a); break;
        case 0x86: Store(ZeroPage(), x); break;
        case 0x87: Store(ZeroPage(), a & x); break;
        case 0x88: y = LoadRegister(static_cast<uint8_t>(y - 1)); break;
        case 0x89: Skip(); break;
        case 0x8A: a = LoadRegister(x); break;
        case 0x8B: SkipIntoOpcode(); break;
        case 0x8C: Store(Absolute(), y); break;
        case 0x8D: Store(Absolute(), a); break;
        case 0x8E: Store(Absolute(), x); break;
        case 0x8F: SkipIntoOpcode(); break;
        case 0x90: Branch(!(p & kC)); break;
        case 0x91: Store(IndirectY(), a); break;
        case 0x92: SkipIntoOpcode(); break;
        case 0x93: SkipIntoOpcode(); break;
        case 0x94: Store(ZeroPageX(), y); break;
        case 0x95: Store(ZeroPageX(), a); break;
        case 0x96: Store(ZeroPageY(), x); break;
        case 0x97: SkipIntoOpcode(); break;
        case 0x98: a = LoadRegister(y); break;
        case 0x99: Store(AbsoluteY(), a); break;
        case 0x9A: sp = x; break;
        case 0x9B: SkipIntoOpcode(); break;
        case 0x9C: SkipIntoOpcode(); break;
        case 0x9D: Store(AbsoluteX(), a); break;
        case 0x9E: SkipIntoOpcode(); break;
        case 0x9F: SkipIntoOpcode(); break;
        case 0xA0: y = LoadRegister(Fetch()); break;
        case 0xA1: a = LoadRegister(Load(IndirectX())); break;
        case 0xA2: x = LoadRegister(Fetch()); break;
        case 0xA3: SkipIntoOpcode(); break;
        case 0xA4: y = LoadRegister(Load(ZeroPage())); break;
        case 0xA5: a = LoadRegister(Load(ZeroPage())); break;
        case 0xA6: x = LoadRegister(Load(ZeroPage())); break;
        case 0xA7: SkipIntoOpcode(); break;
        case 0xA8: y = LoadRegister(a); break;
        case 0xA9: a = LoadRegister(Load(Immediate())); break;
        case 0xAA: x = LoadRegister(a); break;
        case 0xAB: SkipIntoOpcode(); break;
        case 0xAC: y = LoadRegister(Load(Absolute())); break;
        case 0xAD: a = LoadRegister(Load(Absolute())); break;
        case 0xAE: x = LoadRegister(Load(Absolute())); break;
        case 0xAF: SkipIntoOpcode(); break;
        case 0xB0: Branch(p & kC); break;
        case 0xB1: a = LoadRegister(Load(IndirectY())); break;
        case 0xB2: SkipIntoOpcode(); break;
        case 0xB3: SkipIntoOpcode(); break;
        case 0xB4: y = LoadRegister(Load(ZeroPageX())); break;
        case 0xB5: a = LoadRegister(Load(ZeroPageX())); break;
        case 0xB6: x = LoadRegister(Load(ZeroPageY())); break;
        case 0xB7: SkipIntoOpcode(); break;
        case 0xB8: p &= ~kV; break;
        case 0xB9: a = LoadRegister(Load(AbsoluteY())); break;
        case 0xBA: x = LoadRegister(sp); break;
        case 0xBB: SkipIntoOpcode(); break;
        case 0xBC: y = LoadRegister(Load(AbsoluteX())); break;
        case 0xBD: a = LoadRegister(Load(AbsoluteX())); break;
        case 0xBE: x = LoadRegister(Load(AbsoluteY())); break;
        case 0xBF: Lax(AbsoluteY()); break;
        case 0xC0: Compare(y, Load(Immediate())); break;
        case 0xC1: Compare(a, Load(IndirectX())); break;
        case 0xC2: Skip(); break;
        case 0xC3: Dcm(IndirectX()); break;
        case 0xC4: Compare(y, Load(ZeroPage())); break;
        case 0xC5: Compare(a, Load(ZeroPage())); break;
        case 0xC6: Modify<&SCore::Dec>(ZeroPage()); break;
        case 0xC7: Dcm(ZeroPage()); break;
        case 0xC8: y = LoadRegister(static_cast<uint8_t>(y + 1)); break;
        case 0xC9: Compare(a, Load(Immediate())); break;
        case 0xCA: x = LoadRegister(static_cast<uint8_t>(x - 1)); break;
        case 0xCB: SkipIntoOpcode(); break;
        case 0xCC: Compare(y, Load(Absolute())); break;
        case 0xCD: Compare(a, Load(Absolute())); break;
        case 0xCE: Modify<&SCore::Dec>(Absolute()); break;
        case 0xCF: SkipIntoOpcode(); break;
        case 0xD0: Branch(!(p & kZ)); break;
        case 0xD1: Compare(a, Load(IndirectY())); break;
        case 0xD2: SkipIntoOpcode(); break;
        case 0xD3: SkipIntoOpcode(); break;
        case 0xD4: Skip(); break;
        case 0xD5: Compare(a, Load(ZeroPageX())); break;
        case 0xD6: Modify<&SCore::Dec>(ZeroPageX()); break;
        case 0xD7: SkipIntoOpcode(); break;
        case 0xD8: p &= ~kD; break;
        case 0xD9: Compare(a, Load(AbsoluteY())); break;
        case 0xDA: break;
        case 0xDB: SkipIntoOpcode(); break;
        case 0xDC: SkipWord(); break;
        case 0xDD: Compare(a, Load(AbsoluteX())); break;
        case 0xDE: Modify<&SCore::Dec>(AbsoluteX()); break;
        case 0xDF: SkipIntoOpcode(); break;
        case 0xE0: Compare(x, Load(Immediate())); break;
        case 0xE1: Sbc(Load(IndirectX())); break;
        case 0xE2: Skip(); break;
        case 0xE3: SkipIntoOpcode(); break;
        case 0xE4: Compare(x, Load(ZeroPage())); break;
        case 0xE5: Sbc(Load(ZeroPage())); break;
        case 0xE6: Modify<&SCore::Inc>(ZeroPage()); break;
        case 0xE7: SkipIntoOpcode(); break;
        case 0xE8: x = LoadRegister(static_cast<uint8_t>(x + 1)); break;
        case 0xE9: Sbc(Load(Immediate())); break;
        case 0xEA: break;
        case 0xEB: SkipIntoOpcode(); break;
        case 0xEC: Compare(x, Load(Absolute())); break;
        case 0xED: Sbc(Load(Absolute())); break;
        case 0xEE: Modify<&SCore::Inc>(Absolute()); break;
        case 0xEF: SkipIntoOpcode(); break;
        case 0xF0: Branch(p & kZ); break;
        case 0xF1: Sbc(Load(IndirectY())); break;
        case 0xF2: SkipIntoOpcode(); break;
        case 0xF3: SkipIntoOpcode(); break;
        case 0xF4: Skip(); break;
        case 0xF5: Sbc(Load(ZeroPageX())); break;
        case 0xF6: Modify<&SCore::Inc>(ZeroPageX()); break;
        case 0xF7: SkipIntoOpcode(); break;
        case 0xF8: p |= kD; break;
        case 0xF9: Sbc(Load(AbsoluteY())); break;
        case 0xFA: break;
        case 0xFB: SkipIntoOpcode(); break;
        case 0xFC: SkipWord(); break;
        case 0xFD: Sbc(Load(AbsoluteX())); break;
        case 0xFE: Modify<&SCore::Inc>(AbsoluteX()); break;
        case 0xFF: Ins(AbsoluteX()); break;
    }
}

}  // namespace

namespace {

constexpr SFlagInfo kStatusFlags[] = {
    {"N", C6502::kNegative}, {"V", C6502::kOverflow},         {"B", C6502::kBreak},
    {"D", C6502::kDecimal},  {"I", C6502::kInterruptDisable}, {"Z", C6502::kZero},
    {"C", C6502::kCarry},
};

constexpr SRegisterInfo kRegisters[] = {
    {"A", 2}, {"X", 2}, {"Y", 2}, {"SP", 2}, {"PC", 4}, {"STATUS", 2, kStatusFlags},
};

}  // namespace

std::span<const SRegisterInfo> C6502::GetRegisterInfo() const {
    return kRegisters;
}

uint32_t C6502::GetRegisterValue(size_t index) const {
    switch (index) {
        case 0: return m_a;
        case 1: return m_x;
        case 2: return m_y;
        case 3: return m_sp;
        case 4: return m_pc;
        case 5: return m_status;
        default: return 0;
    }
}

void C6502::RestoreStateWords(const uint64_t* words) {
    m_a = static_cast<uint8_t>(words[0]);
    m_status = static_cast<uint8_t>(words[0] >> 8);
    m_opcode = static_cast<uint8_t>(words[0] >> 16);
    m_x = static_cast<uint8_t>(words[1]);
    m_y = static_cast<uint8_t>(words[1] >> 8);
    m_sp = static_cast<uint8_t>(words[1] >> 16);
    m_returned = (words[1] >> 24 & 1) != 0;
    m_pc = static_cast<uint16_t>(words[2]);
    m_effectiveAddress = static_cast<uint16_t>(words[2] >> 16);
    for (size_t i = 0; i < kStatisticCount; ++i)
        m_statistics[i] = static_cast<uint32_t>(words[kStateCounterWord + i]);
}

void C6502::StoreRegisterValue(size_t index, uint32_t value) {
    const auto byte = static_cast<uint8_t>(value);
    switch (index) {
        case 0: m_a = byte; break;
        case 1: m_x = byte; break;
        case 2: m_y = byte; break;
        case 3: m_sp = byte; break;
        case 4: m_pc = static_cast<uint16_t>(value); break;
        case 5: m_status = byte; break;
        default: break;
    }
}

C6502::C6502() {
    m_codeUnit = 1;
    m_addressScale = 1;
    m_addressMask = 0xFFFF;
}

void C6502::Reset() {
    // Without a bus the vector reads as nothing there, all ones.
    m_pc = m_bus ? ReadWordAt(*m_bus, kResetVector) : uint16_t{0xFFFF};
    m_statistics[kFetches] += 2;
    m_sp = 0xFF;
    m_status = 0x30;
}

// The registers held in locals for a run of steps: taken from the unit,
// stepped, and written back to it (registers and counters) by Publish.
template <bool kRecord>
struct C6502::SHeldAs {
    // Every step is recorded in the history RecordIn names.
    static constexpr bool kRecords = kRecord;
    // The most passes a run may make on held registers: a step counts at
    // most five of anything (JMP through a pointer fetches five bytes), and
    // a held run's counts are 16 bits each.
    static constexpr uint32_t kMostPasses = 8192;
    C6502* unit = nullptr;
    SCore<true, kRecord> core{};

    SHeldAs() = default;
    explicit SHeldAs(C6502& from) { Take(from); }
    void Take(C6502& from) {
        unit = &from;
        core = {from.m_bus,
                from.m_a,
                from.m_x,
                from.m_y,
                from.m_sp,
                from.m_status,
                from.m_effectiveAddress,
                from.m_returned,
                from.m_pc,
                from.m_opcode,
                0,
                core.history};
    }
    void RecordIn(CHistory& history) { core.history = &history; }
    void Publish() {
        C6502& to = *unit;
        to.m_a = core.a;
        to.m_x = core.x;
        to.m_y = core.y;
        to.m_sp = core.sp;
        to.m_status = core.p;
        to.m_effectiveAddress = core.ea;
        to.m_returned = core.returned;
        to.m_pc = core.pc;
        to.m_opcode = core.opcode;
        using Held = decltype(core);
        for (size_t i = 0; i < kStatisticCount; ++i) {
            to.m_statistics[i] +=
                static_cast<uint32_t>(core.counts >> (Held::kCountBits * i) & Held::kCountMask);
        }
        core.counts = 0;
    }
    // A recorded step keeps the registers as they were and the step's counts
    // (6 bits each), with the bytes its writes overwrite, which reach the
    // bus's direct path although history keeps ordinary writes off it.
    [[gnu::always_inline]] void Step() {
        if (!core.bus) return;
        if constexpr (kRecord) {
            CHistory& history = *core.history;
            const auto& c = core;
            const std::array<uint32_t, kStateCounterWord> before =
                PackNarrow(c.a, c.p, c.opcode, c.x, c.y, c.sp, c.pc, c.returned, c.ea);
            const uint64_t counted = core.counts;
            // At most three bytes written (BRK and the interrupts push three).
            history.OpenStep(2 * 3 + kStateCounterWord + 2);
            core.Step(unit->m_requests);
            const uint64_t counts = core.counts - counted;
            history.CloseStep(before, static_cast<uint32_t>(
                                          (counts & 0x3F) | (counts >> 10 & 0xFC0) |
                                          (counts >> 20 & 0x3F000) | (counts >> 30 & 0xFC0000)));
        } else {
            core.Step(unit->m_requests);
        }
    }
    uint32_t GetPC() const { return core.pc; }
    bool ReturnExecuted() const { return core.returned; }
    bool AtBreakpoint() const { return unit->CMpu::IsBreakpoint(core.pc); }
};

// Flattened: every helper of the step is inlined, so that the step's state
// lives in machine registers rather than in memory.
[[gnu::flatten]] void C6502::Step() {
    if (!m_bus) return;
    SCore<false, false> c{m_bus,
                          m_a,
                          m_x,
                          m_y,
                          m_sp,
                          m_status,
                          m_effectiveAddress,
                          m_returned,
                          m_pc.Load(),
                          m_opcode.Load(),
                          0,
                          nullptr};
    c.Step(m_requests);
    m_opcode = c.opcode;
    m_pc = c.pc;
    // Implied-mode steps and branches count fetches only.
    m_statistics[kFetches] += c.counts & 0xFF;
    if (c.counts > 0xFF) {
        m_statistics[kCycles] += c.counts >> 8 & 0xFF;
        m_statistics[kLoads] += c.counts >> 16 & 0xFF;
        m_statistics[kStores] += c.counts >> 24;
    }
}

[[SIMQ_FLATTEN_PASSES]] void C6502::StepPasses(SPassRun& run) {
    StepPassesOf<C6502>(run);
}

void C6502::Interrupt(bool nmi, bool irq, int irqCode) {
    if (nmi) m_requests.FetchOr(kNmiLatched);
    if (irq) {
        if (irqCode != kNoRequestCode)
            m_requests.FetchOr(kIrqAsserted);
        else
            m_requests.FetchAnd(static_cast<uint8_t>(~kIrqAsserted));
    }
}

void C6502::ClearInterrupt(bool /*nmi*/, bool irq, int /*irqCode*/) {
    if (irq) m_requests.FetchAnd(static_cast<uint8_t>(~kIrqAsserted));
}

// Beyond the common fields: the last opcode and effective address, which the
// register pane shows.
void C6502::SerializeSettings(CArchive& ar) {
    CMpu::SerializeSettings(ar);
    uint32_t opcode = m_opcode, effective = m_effectiveAddress;
    ar.Transfer(opcode);
    ar.Transfer(effective);
    if (ar.IsStoring()) return;
    m_opcode = static_cast<uint8_t>(opcode);
    m_effectiveAddress = static_cast<uint16_t>(effective);
}

void C6502::Serialize(CArchive& ar) {
    uint32_t values[6] = {m_a, m_x, m_y, m_sp, m_pc, m_status};
    for (uint32_t& value : values)
        ar.Transfer(value);
    if (ar.IsStoring() || ar.Failed()) return;
    m_a = static_cast<uint8_t>(values[0]);
    m_x = static_cast<uint8_t>(values[1]);
    m_y = static_cast<uint8_t>(values[2]);
    m_sp = static_cast<uint8_t>(values[3]);
    m_pc = static_cast<uint16_t>(values[4]);
    m_status = static_cast<uint8_t>(values[5]);
}
