// The 6502 instruction set: the documented NMOS instructions and the
// undocumented ones with an operand of their own, in the listing's syntax:
//   lda #05   lda $10   lda $10,x   ldx $10,y   lda ($10,x)   lda ($10),y
//   lda $1234   lda $1234,x   lda $1234,y   jmp ($1234)   bne $0400   asl
#include <array>

#include "tools/InstructionSet.h"

namespace {

using namespace asmtext;

enum EMode {
    kImplied,
    kImmediate,
    kZeroPage,
    kZeroPageX,
    kZeroPageY,
    kIndirectX,
    kIndirectY,
    kAbsolute,
    kAbsoluteX,
    kAbsoluteY,
    kIndirect,
    kRelative,
    kModeCount
};

struct SInstruction {
    const char* mnemonic;
    // Opcode by mode, -1 where the instruction has no such mode.
    std::array<int, kModeCount> codes;
};

constexpr int o = -1;
//                                imp   imm   zp    zpx   zpy   (zx)  (z)y  abs   absx  absy  (a)
//                                rel
constexpr SInstruction kInstructions[] = {
    {"ADC", {o, 0x69, 0x65, 0x75, o, 0x61, 0x71, 0x6D, 0x7D, 0x79, o, o}},
    {"AND", {o, 0x29, 0x25, 0x35, o, 0x21, 0x31, 0x2D, 0x3D, 0x39, o, o}},
    {"ASL", {0x0A, o, 0x06, 0x16, o, o, o, 0x0E, 0x1E, o, o, o}},
    {"BCC", {o, o, o, o, o, o, o, o, o, o, o, 0x90}},
    {"BCS", {o, o, o, o, o, o, o, o, o, o, o, 0xB0}},
    {"BEQ", {o, o, o, o, o, o, o, o, o, o, o, 0xF0}},
    {"BIT", {o, o, 0x24, o, o, o, o, 0x2C, o, o, o, o}},
    {"BMI", {o, o, o, o, o, o, o, o, o, o, o, 0x30}},
    {"BNE", {o, o, o, o, o, o, o, o, o, o, o, 0xD0}},
    {"BPL", {o, o, o, o, o, o, o, o, o, o, o, 0x10}},
    {"BRK", {0x00, o, o, o, o, o, o, o, o, o, o, o}},
    {"BVC", {o, o, o, o, o, o, o, o, o, o, o, 0x50}},
    {"BVS", {o, o, o, o, o, o, o, o, o, o, o, 0x70}},
    {"CLC", {0x18, o, o, o, o, o, o, o, o, o, o, o}},
    {"CLD", {0xD8, o, o, o, o, o, o, o, o, o, o, o}},
    {"CLI", {0x58, o, o, o, o, o, o, o, o, o, o, o}},
    {"CLV", {0xB8, o, o, o, o, o, o, o, o, o, o, o}},
    {"CMP", {o, 0xC9, 0xC5, 0xD5, o, 0xC1, 0xD1, 0xCD, 0xDD, 0xD9, o, o}},
    {"CPX", {o, 0xE0, 0xE4, o, o, o, o, 0xEC, o, o, o, o}},
    {"CPY", {o, 0xC0, 0xC4, o, o, o, o, 0xCC, o, o, o, o}},
    {"DEC", {o, o, 0xC6, 0xD6, o, o, o, 0xCE, 0xDE, o, o, o}},
    {"DEX", {0xCA, o, o, o, o, o, o, o, o, o, o, o}},
    {"DEY", {0x88, o, o, o, o, o, o, o, o, o, o, o}},
    {"EOR", {o, 0x49, 0x45, 0x55, o, 0x41, 0x51, 0x4D, 0x5D, 0x59, o, o}},
    {"INC", {o, o, 0xE6, 0xF6, o, o, o, 0xEE, 0xFE, o, o, o}},
    {"INX", {0xE8, o, o, o, o, o, o, o, o, o, o, o}},
    {"INY", {0xC8, o, o, o, o, o, o, o, o, o, o, o}},
    {"JMP", {o, o, o, o, o, o, o, 0x4C, o, o, 0x6C, o}},
    {"JSR", {o, o, o, o, o, o, o, 0x20, o, o, o, o}},
    {"LDA", {o, 0xA9, 0xA5, 0xB5, o, 0xA1, 0xB1, 0xAD, 0xBD, 0xB9, o, o}},
    {"LDX", {o, 0xA2, 0xA6, o, 0xB6, o, o, 0xAE, o, 0xBE, o, o}},
    {"LDY", {o, 0xA0, 0xA4, 0xB4, o, o, o, 0xAC, 0xBC, o, o, o}},
    {"LSR", {0x4A, o, 0x46, 0x56, o, o, o, 0x4E, 0x5E, o, o, o}},
    {"NOP", {0xEA, o, o, o, o, o, o, o, o, o, o, o}},
    {"ORA", {o, 0x09, 0x05, 0x15, o, 0x01, 0x11, 0x0D, 0x1D, 0x19, o, o}},
    {"PHA", {0x48, o, o, o, o, o, o, o, o, o, o, o}},
    {"PHP", {0x08, o, o, o, o, o, o, o, o, o, o, o}},
    {"PLA", {0x68, o, o, o, o, o, o, o, o, o, o, o}},
    {"PLP", {0x28, o, o, o, o, o, o, o, o, o, o, o}},
    {"ROL", {0x2A, o, 0x26, 0x36, o, o, o, 0x2E, 0x3E, o, o, o}},
    {"ROR", {0x6A, o, 0x66, 0x76, o, o, o, 0x6E, 0x7E, o, o, o}},
    {"RTI", {0x40, o, o, o, o, o, o, o, o, o, o, o}},
    {"RTS", {0x60, o, o, o, o, o, o, o, o, o, o, o}},
    {"SBC", {o, 0xE9, 0xE5, 0xF5, o, 0xE1, 0xF1, 0xED, 0xFD, 0xF9, o, o}},
    {"SEC", {0x38, o, o, o, o, o, o, o, o, o, o, o}},
    {"SED", {0xF8, o, o, o, o, o, o, o, o, o, o, o}},
    {"SEI", {0x78, o, o, o, o, o, o, o, o, o, o, o}},
    {"STA", {o, o, 0x85, 0x95, o, 0x81, 0x91, 0x8D, 0x9D, 0x99, o, o}},
    {"STX", {o, o, 0x86, o, 0x96, o, o, 0x8E, o, o, o, o}},
    {"STY", {o, o, 0x84, 0x94, o, o, o, 0x8C, o, o, o, o}},
    {"TAX", {0xAA, o, o, o, o, o, o, o, o, o, o, o}},
    {"TAY", {0xA8, o, o, o, o, o, o, o, o, o, o, o}},
    {"TSX", {0xBA, o, o, o, o, o, o, o, o, o, o, o}},
    {"TXA", {0x8A, o, o, o, o, o, o, o, o, o, o, o}},
    {"TXS", {0x9A, o, o, o, o, o, o, o, o, o, o, o}},
    {"TYA", {0x98, o, o, o, o, o, o, o, o, o, o, o}},
    // Undocumented codes that the processor runs with an operand of their own.
    {"ASO", {o, 0x0B, 0x07, 0x17, o, 0x03, 0x13, 0x0F, 0x1F, 0x1B, o, o}},
    {"RLA", {o, 0x2B, 0x27, 0x37, o, 0x23, 0x33, 0x2F, 0x3F, 0x3B, o, o}},
    {"RRA", {o, o, 0x67, o, o, o, o, o, o, o, o, o}},
    {"AXS", {o, o, 0x87, o, o, o, o, o, o, o, o, o}},
    {"LAX", {o, o, o, o, o, o, o, o, o, 0xBF, o, o}},
    {"DCM", {o, o, 0xC7, o, o, 0xC3, o, o, o, o, o, o}},
    {"INS", {o, o, o, o, o, o, o, o, 0xFF, o, o, o}},
};

const SInstruction* Find(std::string_view mnemonic) {
    if (mnemonic.size() != 3) return nullptr;
    const std::string upper = Upper(mnemonic);
    for (const SInstruction& instruction : kInstructions) {
        if (upper == instruction.mnemonic) return &instruction;
    }
    return nullptr;
}

// ",x" or ",y" at the end of text (blanks allowed); the index letter or 0.
char IndexSuffix(std::string_view text, std::string_view& rest) {
    std::string_view t = Trim(text);
    if (t.size() < 2) return 0;
    const char last = static_cast<char>(t.back() | 0x20);
    if (last != 'x' && last != 'y') return 0;
    std::string_view before = Trim(t.substr(0, t.size() - 1));
    if (before.empty() || before.back() != ',') return 0;
    rest = Trim(before.substr(0, before.size() - 1));
    return last;
}

// The index of the ')' that closes the '(' at text[0], or npos.
size_t ClosingParen(std::string_view text) {
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0) return i;
    }
    return std::string_view::npos;
}

class C6502Set final : public CInstructionSet {
public:
    bool IsMnemonic(std::string_view mnemonic) const override { return Find(mnemonic) != nullptr; }
    EProcessor Processor() const override { return EProcessor::k6502; }
    int AddressDigits() const override { return 4; }
    uint32_t HighestAddress() const override { return 0xFFFF; }
    int WordBytes() const override { return 1; }
    bool BigEndian() const override { return false; }
    int DataWordBytes() const override { return 2; }

    void Encode(std::string_view mnemonic, std::string_view operand,
                CEncodeContext& context) const override {
        const SInstruction& in = *Find(mnemonic);
        const auto has = [&](EMode mode) { return in.codes[mode] >= 0; };
        const std::string name = Upper(mnemonic);

        if (operand.empty() || EqualNoCase(operand, "a")) {
            if (!has(kImplied)) {
                context.Fail(operand.empty() ? mnemonic : operand, name + " needs an operand");
                return;
            }
            context.Emit8(static_cast<uint32_t>(in.codes[kImplied]));
            return;
        }
        if (has(kImplied) && !has(kZeroPage)) {
            context.Fail(operand, name + " takes no operand");
            return;
        }
        SExpressionValue value;
        if (operand.front() == '#') {
            const std::string_view text = Trim(operand.substr(1));
            if (!has(kImmediate)) {
                context.Fail(operand, name + " has no immediate operand");
                return;
            }
            if (!context.Value(text, value) ||
                !context.Check(value.value >= -128 && value.value <= 0xFF, value, text,
                               "the value " + Hex(value.value, 2) + " does not fit in a byte"))
                return;
            context.Emit8(static_cast<uint32_t>(in.codes[kImmediate]));
            context.Emit8(static_cast<uint32_t>(value.value));
            return;
        }
        if (has(kRelative)) {
            Branch(in, operand, context);
            return;
        }

        std::string_view inner;
        char index = IndexSuffix(operand, inner);
        if (operand.front() == '(') {
            const size_t close = ClosingParen(operand);
            // (zp),y   (zp,x)   (abs)
            if (index == 'y' && close != std::string_view::npos &&
                Trim(operand.substr(close + 1)).front() == ',') {
                Indirect(in, kIndirectY, operand.substr(1, close - 1), name, context);
                return;
            }
            if (close == operand.size() - 1) {
                std::string_view inside;
                if (IndexSuffix(operand.substr(1, close - 1), inside) == 'x') {
                    Indirect(in, kIndirectX, inside, name, context);
                    return;
                }
                if (has(kIndirect)) {
                    Indirect(in, kIndirect, operand.substr(1, close - 1), name, context);
                    return;
                }
            }
        }
        if (!index) inner = operand;
        const EMode zero = index == 'x' ? kZeroPageX : index == 'y' ? kZeroPageY : kZeroPage;
        const EMode absolute = index == 'x' ? kAbsoluteX : index == 'y' ? kAbsoluteY : kAbsolute;
        if (!has(zero) && !has(absolute)) {
            context.Fail(operand, name + " has no " +
                                      (index ? std::string("indexed ,") + index + " form"
                                             : std::string("address operand")));
            return;
        }
        if (!context.Value(inner, value)) return;
        // Two digits or a small value take the zero page, unless the long
        // form was written ($0010) or settled on by an earlier pass.
        const bool fitsZero = value.value >= 0 && value.value <= 0xFF && value.literalBytes <= 1;
        if (has(zero) && (fitsZero || !has(absolute)) && !context.ForceLong()) {
            if (!context.Check(
                    value.value >= 0 && value.value <= 0xFF, value, inner,
                    "the address " + Hex(value.value, 2) + " is not in the zero page (00 to FF)"))
                return;
            context.Emit8(static_cast<uint32_t>(in.codes[zero]));
            context.Emit8(static_cast<uint32_t>(value.value));
            return;
        }
        if (has(zero)) context.SetNeedLong();
        if (!context.Check(value.value >= 0 && value.value <= 0xFFFF, value, inner,
                           "the address " + Hex(value.value, 4) + " is outside 0000 to FFFF"))
            return;
        context.Emit8(static_cast<uint32_t>(in.codes[absolute]));
        context.Emit8(static_cast<uint32_t>(value.value));
        context.Emit8(static_cast<uint32_t>(value.value >> 8));
    }

private:
    static void Indirect(const SInstruction& in, EMode mode, std::string_view text,
                         const std::string& name, CEncodeContext& context) {
        if (in.codes[mode] < 0) {
            context.Fail(text, name + " has no " +
                                   (mode == kIndirectX   ? "(zp,x)"
                                    : mode == kIndirectY ? "(zp),y"
                                                         : "(indirect)") +
                                   " form");
            return;
        }
        SExpressionValue value;
        if (!context.Value(Trim(text), value)) return;
        const uint32_t highest = mode == kIndirect ? 0xFFFF : 0xFF;
        if (!context.Check(value.value >= 0 && value.value <= highest, value, text,
                           "the address " + Hex(value.value, 2) + " is outside " +
                               (mode == kIndirect ? "0000 to FFFF" : "the zero page (00 to FF)")))
            return;
        context.Emit8(static_cast<uint32_t>(in.codes[mode]));
        context.Emit8(static_cast<uint32_t>(value.value));
        if (mode == kIndirect) context.Emit8(static_cast<uint32_t>(value.value >> 8));
    }

    static void Branch(const SInstruction& in, std::string_view operand, CEncodeContext& context) {
        SExpressionValue value;
        if (!context.Value(operand, value)) return;
        // The listing prints targets past the ends of memory unwrapped
        // ($10012, $FFFFFFF2); the processor wraps them at 16 bits.
        const int64_t target = value.value;
        const bool inRange = (target >= 0 && target <= 0x1FFFF) ||
                             (target >= 0xFFFF0000 && target <= 0xFFFFFFFF) ||
                             (target < 0 && target >= -0x10000);
        const int64_t next = (context.Address() + 2) & 0xFFFF;
        const int64_t distance =
            static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(target) - next));
        if (!context.Check(inRange, value, operand,
                           "the branch target " + Hex(target, 4) + " is outside memory") ||
            !context.Check(distance >= -128 && distance <= 127, value, operand,
                           "the branch target " + Hex(target, 4) + " is " +
                               std::to_string(distance) +
                               " bytes away; a branch reaches -128 to +127"))
            return;
        context.Emit8(static_cast<uint32_t>(in.codes[kRelative]));
        context.Emit8(static_cast<uint32_t>(distance));
    }
};

}  // namespace

const CInstructionSet& M6502InstructionSet() {
    static const C6502Set set;
    return set;
}
