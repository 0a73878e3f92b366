// The Vo16 instruction set in the listing's syntax:
//   add r1,r2,r3   sub r1,r2,0   addi r1,r2,1235   and r1,r2   andi r1,00FF
//   lw r2,0012(r1)   lb r2,0003(r1)   sw / sb / jal likewise   beq FF04   call 1230
// A constant that the 4-bit field cannot hold gets an immediate prefix word
// (Dxxx) in front that supplies its bits 15..4. Words are big-endian.
#include <array>

#include "tools/InstructionSet.h"

namespace {

using namespace asmtext;

enum class EForm {
    kThree,         // op 0, 1: d,a,b
    kAddImmediate,  // op 2: d,a,imm16
    kTwo,           // op 3: d,b
    kImmediate,     // op 4: d,imm16
    kWordMemory,    // op 5, 8, 10: d,disp(a)
    kByteMemory,    // op 6, 9
    kBranch,        // op 11
    kCall,          // op 12
};

struct SInstruction {
    const char* mnemonic;
    EForm form;
    uint32_t op;
    uint32_t field;  // fn for ops 3 and 4, the condition for branches
};

constexpr SInstruction kInstructions[] = {
    {"ADD", EForm::kThree, 0x0, 0},
    {"SUB", EForm::kThree, 0x1, 0},
    {"ADDI", EForm::kAddImmediate, 0x2, 0},
    {"AND", EForm::kTwo, 0x3, 0},
    {"OR", EForm::kTwo, 0x3, 1},
    {"XOR", EForm::kTwo, 0x3, 2},
    {"ANDN", EForm::kTwo, 0x3, 3},
    {"ADC", EForm::kTwo, 0x3, 4},
    {"SBC", EForm::kTwo, 0x3, 5},
    {"ANDI", EForm::kImmediate, 0x4, 0},
    {"ORI", EForm::kImmediate, 0x4, 1},
    {"XORI", EForm::kImmediate, 0x4, 2},
    {"ANDNI", EForm::kImmediate, 0x4, 3},
    {"ADCI", EForm::kImmediate, 0x4, 4},
    {"SBCI", EForm::kImmediate, 0x4, 5},
    {"SRLI", EForm::kImmediate, 0x4, 6},
    {"SRAI", EForm::kImmediate, 0x4, 7},
    {"SLLI", EForm::kImmediate, 0x4, 8},
    {"SRXI", EForm::kImmediate, 0x4, 9},
    {"SLXI", EForm::kImmediate, 0x4, 10},
    {"LW", EForm::kWordMemory, 0x5, 0},
    {"LB", EForm::kByteMemory, 0x6, 0},
    {"SW", EForm::kWordMemory, 0x8, 0},
    {"SB", EForm::kByteMemory, 0x9, 0},
    {"JAL", EForm::kWordMemory, 0xA, 0},
    {"BR", EForm::kBranch, 0xB, 0},
    {"BRN", EForm::kBranch, 0xB, 1},
    {"BEQ", EForm::kBranch, 0xB, 2},
    {"BNE", EForm::kBranch, 0xB, 3},
    {"BC", EForm::kBranch, 0xB, 4},
    {"BNC", EForm::kBranch, 0xB, 5},
    {"BV", EForm::kBranch, 0xB, 6},
    {"BNV", EForm::kBranch, 0xB, 7},
    {"BLT", EForm::kBranch, 0xB, 8},
    {"BGE", EForm::kBranch, 0xB, 9},
    {"BLE", EForm::kBranch, 0xB, 10},
    {"BGT", EForm::kBranch, 0xB, 11},
    {"BLTU", EForm::kBranch, 0xB, 12},
    {"BGEU", EForm::kBranch, 0xB, 13},
    {"BLEU", EForm::kBranch, 0xB, 14},
    {"BGTU", EForm::kBranch, 0xB, 15},
    {"CALL", EForm::kCall, 0xC, 0},
};

const SInstruction* Find(std::string_view mnemonic) {
    const std::string upper = Upper(mnemonic);
    for (const SInstruction& instruction : kInstructions) {
        if (upper == instruction.mnemonic) return &instruction;
    }
    return nullptr;
}

// r0..r15 in any case; -1 otherwise.
int Register(std::string_view text) {
    text = Trim(text);
    if (text.size() < 2 || text.size() > 3 || (text[0] | 0x20) != 'r') return -1;
    int n = 0;
    for (char c : text.substr(1)) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    if (text.size() == 3 && text[1] == '0') return -1;
    return n <= 15 ? n : -1;
}

class CVo16Set final : public CInstructionSet {
public:
    bool IsMnemonic(std::string_view mnemonic) const override { return Find(mnemonic) != nullptr; }
    EProcessor Processor() const override { return EProcessor::kVo16; }
    int AddressDigits() const override { return 4; }
    uint32_t HighestAddress() const override { return 0xFFFF; }
    int WordBytes() const override { return 2; }
    bool BigEndian() const override { return true; }
    int DataWordBytes() const override { return 2; }

    void Encode(std::string_view mnemonic, std::string_view operand,
                CEncodeContext& context) const override {
        const SInstruction& in = *Find(mnemonic);
        const std::vector<std::string_view> parts = SplitOperands(operand);
        const std::string name = Upper(mnemonic);
        const auto count = [&](size_t wanted, const char* form) {
            if (parts.size() == wanted) return true;
            return context.Fail(operand.empty() ? mnemonic : operand, name + " takes " + form);
        };
        const auto reg = [&](std::string_view text, int& n) {
            n = Register(text);
            return n >= 0 || context.Fail(text, "a register r0 to r15 is expected, not '" +
                                                    std::string(text) + "'");
        };
        const uint32_t op = in.op << 12;
        int d = 0;
        int a = 0;
        int b = 0;
        switch (in.form) {
            case EForm::kThree:
                if (!count(3, "d,a,b") || !reg(parts[0], d) || !reg(parts[1], a)) return;
                // The listing writes register 0 as the source b as "0".
                b = parts[2] == "0" ? 0 : Register(parts[2]);
                if (b < 0 && !reg(parts[2], b)) return;
                context.Emit16Big(op | Field(d, 8) | Field(a, 4) | Field(b, 0));
                return;
            case EForm::kAddImmediate:
                if (!count(3, "d,a,value") || !reg(parts[0], d) || !reg(parts[1], a)) return;
                Constant(op | Field(d, 8) | Field(a, 4), parts[2], EConstant::kSigned, context);
                return;
            case EForm::kTwo:
                if (!count(2, "d,b") || !reg(parts[0], d)) return;
                b = parts[1] == "0" ? 0 : Register(parts[1]);
                if (b < 0 && !reg(parts[1], b)) return;
                context.Emit16Big(op | Field(d, 8) | in.field << 4 | Field(b, 0));
                return;
            case EForm::kImmediate:
                if (!count(2, "d,value") || !reg(parts[0], d)) return;
                Constant(op | Field(d, 8) | in.field << 4, parts[1], EConstant::kSigned, context);
                return;
            case EForm::kWordMemory:
            case EForm::kByteMemory: {
                if (!count(2, "d,displacement(a)") || !reg(parts[0], d)) return;
                std::string_view displacement = parts[1];
                // disp(rN); a bare displacement is from r0.
                if (displacement.ends_with(")")) {
                    const size_t open = displacement.rfind('(');
                    const int base = open == std::string_view::npos
                                         ? -1
                                         : Register(displacement.substr(
                                               open + 1, displacement.size() - open - 2));
                    if (base >= 0) {
                        a = base;
                        displacement = Trim(displacement.substr(0, open));
                    }
                }
                if (displacement.empty()) displacement = "0";
                Constant(op | Field(d, 8) | Field(a, 4), displacement,
                         in.form == EForm::kWordMemory ? EConstant::kWordDisplacement
                                                       : EConstant::kByteDisplacement,
                         context);
                return;
            }
            case EForm::kBranch: {
                if (!count(1, "a target address")) return;
                SExpressionValue value;
                if (!context.Value(parts[0], value)) return;
                // Target = the address after the branch + 2 + 2 x displacement.
                const uint32_t next = (context.Address() + 4) & 0xFFFF;
                const int distance = static_cast<int16_t>(
                    static_cast<uint16_t>(static_cast<uint64_t>(value.value) - next));
                if (!context.Check(
                        value.value >= 0 && value.value <= 0xFFFF, value, parts[0],
                        "the branch target " + Hex(value.value, 4) + " is outside 0000 to FFFF") ||
                    !context.Check(distance % 2 == 0, value, parts[0],
                                   "the branch target " + Hex(value.value, 4) +
                                       " is an odd number of bytes away") ||
                    !context.Check(distance >= -256 && distance <= 254, value, parts[0],
                                   "the branch target " + Hex(value.value, 4) + " is " +
                                       std::to_string(distance) +
                                       " bytes away; a branch reaches -256 to +254"))
                    return;
                context.Emit16Big(op | in.field << 8 |
                                  (static_cast<uint32_t>(distance / 2) & 0xFF));
                return;
            }
            case EForm::kCall: {
                if (!count(1, "a target address")) return;
                SExpressionValue value;
                if (!context.Value(parts[0], value) ||
                    !context.Check(
                        value.value >= 0 && value.value <= 0xFFF0 && value.value % 16 == 0, value,
                        parts[0],
                        "call reaches the multiples of $10 from 0000 to FFF0, not " +
                            Hex(value.value, 4)))
                    return;
                context.Emit16Big(op | static_cast<uint32_t>(value.value) >> 4);
                return;
            }
        }
    }

private:
    enum class EConstant { kSigned, kWordDisplacement, kByteDisplacement };

    static uint32_t Field(int value, int shift) { return static_cast<uint32_t>(value) << shift; }

    // The word with its 4-bit constant, and a prefix in front when the field
    // cannot hold the value.
    static void Constant(uint32_t word, std::string_view text, EConstant kind,
                         CEncodeContext& context) {
        SExpressionValue value;
        if (!context.Value(text, value) ||
            !context.Check(value.value >= -0x8000 && value.value <= 0xFFFF, value, text,
                           "the value " + Hex(value.value, 4) + " does not fit in 16 bits"))
            return;
        const uint32_t v = static_cast<uint32_t>(value.value) & 0xFFFF;
        uint32_t field = 0;
        bool fits = false;
        switch (kind) {
            case EConstant::kSigned:
                fits = v <= 7 || v >= 0xFFF8;
                field = v & 0xF;
                break;
            case EConstant::kWordDisplacement:
                // Even values to 1E: bit 4 travels in bit 0.
                fits = (v & ~0x1Eu) == 0;
                field = (v & 0xE) | (v >> 4 & 1);
                break;
            case EConstant::kByteDisplacement:
                fits = v <= 0xF;
                field = v;
                break;
        }
        if (fits && !context.ForceLong()) {
            context.Emit16Big(word | field);
            return;
        }
        context.SetNeedLong();
        context.Emit16Big(0xD000 | v >> 4);
        context.Emit16Big(word | (v & 0xF));
    }
};

}  // namespace

const CInstructionSet& Vo16InstructionSet() {
    static const CVo16Set set;
    return set;
}
