// The Corvane instruction set in the listing's syntax. Words are 24 bits,
// stored low byte first:
//   major (23..19) | I (18) | D (17..13) | A (12..8) | imm8 or B (7..0)
// An ALU constant K is a register, "#0" (register 0), #value, or
// #value+rN{7:0} (prefixed, the low byte from rN). A value that the 8-bit
// field cannot hold gets an immediate prefix word (BCxxxx) in front that
// supplies its bits 23..8.
//   add r1,r2,#123456   lw r1,#300000   not r1,r2   cmp r1,r5   cmpz r1
//   lw r13,10   sb r6,00(r3)   lw sr,#000300   br FF006C   bne r9,FF0042
//   call FF0000   call 000005(r3)   jmp FF0080   jmp (r5)   ret   iret   nop
#include "tools/InstructionSet.h"

namespace {

using namespace asmtext;

constexpr uint32_t kMask24 = 0xFFFFFF;
constexpr uint32_t kImmediateBit = 1u << 18;
constexpr int kSr = 27;
constexpr int kLr = 30;
constexpr int kIpc = 31;

enum class EForm {
    kThree,     // d,a,K
    kDestK,     // d,K with A = 0 (lw, neg, negc)
    kSourceK,   // a,K with D = 0 (test, cmp, cmpc)
    kNot,       // d,a
    kCmpz,      // a
    kRotate,    // d,a,#000081
    kMemory,    // d,M
    kBranch,    // [a,]target
    kCall,      // target or K(a)
    kJump,      // K, (a) or K(a)
    kControlK,  // icall: K or K(a)
    kReturn,    // ret, iret
    kPlain,     // nop, stop
};

struct SInstruction {
    const char* mnemonic;
    EForm form;
    uint32_t major;
    uint32_t field;  // branch condition, memory operation, control sub-operation
};

constexpr SInstruction kInstructions[] = {
    {"SHL", EForm::kThree, 5, 0},     {"ROL", EForm::kRotate, 5, 0},
    {"ASHR", EForm::kThree, 6, 0},    {"SHR", EForm::kThree, 7, 0},
    {"ROR", EForm::kRotate, 7, 0},    {"AND", EForm::kThree, 8, 0},
    {"TEST", EForm::kSourceK, 8, 0},  {"OR", EForm::kThree, 9, 0},
    {"XOR", EForm::kThree, 10, 0},    {"NOT", EForm::kNot, 10, 0},
    {"CMOV", EForm::kThree, 11, 0},   {"ADD", EForm::kThree, 12, 0},
    {"ADDC", EForm::kThree, 13, 0},   {"SUB", EForm::kThree, 14, 0},
    {"NEG", EForm::kDestK, 14, 0},    {"CMP", EForm::kSourceK, 14, 0},
    {"CMPZ", EForm::kCmpz, 14, 0},    {"SUBC", EForm::kThree, 15, 0},
    {"NEGC", EForm::kDestK, 15, 0},   {"CMPC", EForm::kSourceK, 15, 0},
    {"LW", EForm::kMemory, 0x18, 3},  {"LB", EForm::kMemory, 0x18, 1},
    {"LDB", EForm::kMemory, 0x18, 2}, {"SB", EForm::kMemory, 0x18, 5},
    {"SDB", EForm::kMemory, 0x18, 6}, {"SW", EForm::kMemory, 0x18, 7},
    {"BEQ", EForm::kBranch, 1, 0},    {"BNE", EForm::kBranch, 1, 1},
    {"BMI", EForm::kBranch, 1, 2},    {"BPL", EForm::kBranch, 1, 3},
    {"BLT", EForm::kBranch, 1, 4},    {"BGE", EForm::kBranch, 1, 5},
    {"BLE", EForm::kBranch, 1, 6},    {"BGT", EForm::kBranch, 1, 7},
    {"BLTU", EForm::kBranch, 1, 8},   {"BGEU", EForm::kBranch, 1, 9},
    {"BLEU", EForm::kBranch, 1, 10},  {"BGTU", EForm::kBranch, 1, 11},
    {"BVS", EForm::kBranch, 1, 12},   {"BVC", EForm::kBranch, 1, 13},
    {"BR", EForm::kBranch, 1, 14},    {"CALL", EForm::kCall, 1, 4},
    {"JMP", EForm::kJump, 1, 5},      {"ICALL", EForm::kControlK, 1, 6},
    {"RET", EForm::kReturn, 1, kLr},  {"IRET", EForm::kReturn, 1, kIpc},
    {"NOP", EForm::kPlain, 0, 0},     {"STOP", EForm::kPlain, 0, 0x100},
};

const SInstruction* Find(std::string_view mnemonic) {
    const std::string upper = Upper(mnemonic);
    for (const SInstruction& instruction : kInstructions) {
        if (upper == instruction.mnemonic) return &instruction;
    }
    return nullptr;
}

// r0..r31, sp, lr, ipc in any case; -1 otherwise.
int Register(std::string_view text) {
    text = Trim(text);
    if (EqualNoCase(text, "sp")) return 29;
    if (EqualNoCase(text, "lr")) return kLr;
    if (EqualNoCase(text, "ipc")) return kIpc;
    if (text.size() < 2 || text.size() > 3 || (text[0] | 0x20) != 'r') return -1;
    int n = 0;
    for (char c : text.substr(1)) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    if (text.size() == 3 && text[1] == '0') return -1;
    return n <= 31 ? n : -1;
}

uint32_t Word(uint32_t major, bool immediate, int d, int a, uint32_t low) {
    return major << 19 | (immediate ? kImmediateBit : 0) | static_cast<uint32_t>(d) << 13 |
           static_cast<uint32_t>(a) << 8 | (low & 0xFF);
}

bool FitsShort(uint32_t v) {
    return v <= 0x7F || v >= 0xFFFF80;
}

class CCorvaneSet final : public CInstructionSet {
public:
    bool IsMnemonic(std::string_view mnemonic) const override { return Find(mnemonic) != nullptr; }
    EProcessor Processor() const override { return EProcessor::kCorvane; }
    int AddressDigits() const override { return 6; }
    uint32_t HighestAddress() const override { return kMask24; }
    int WordBytes() const override { return 3; }
    bool BigEndian() const override { return false; }
    int DataWordBytes() const override { return 3; }

    void Encode(std::string_view mnemonic, std::string_view operand,
                CEncodeContext& context) const override {
        const SInstruction& in = *Find(mnemonic);
        std::vector<std::string_view> parts = SplitOperands(operand);
        const std::string name = Upper(mnemonic);
        const auto count = [&](size_t wanted, const char* form) {
            if (parts.size() == wanted) return true;
            return context.Fail(operand.empty() ? mnemonic : operand, name + " takes " + form);
        };
        const auto reg = [&](std::string_view text, int& n) {
            n = Register(text);
            return n >= 0 || context.Fail(text,
                                          "a register (r0 to r28, sp, lr, ipc) is expected, "
                                          "not '" +
                                              std::string(text) + "'");
        };
        int d = 0;
        int a = 0;
        switch (in.form) {
            case EForm::kThree:
                if (!count(3, "d,a,K") || !reg(parts[0], d) || !reg(parts[1], a)) return;
                AluK(in.major, d, a, parts[2], context);
                return;
            case EForm::kRotate: {
                if (!count(3, "d,a,#000081") || !reg(parts[0], d) || !reg(parts[1], a)) return;
                SExpressionValue value;
                if (!parts[2].starts_with("#") || !context.Value(Trim(parts[2].substr(1)), value))
                    return (void)context.Fail(parts[2], name + " takes the constant #000081");
                if (!context.Check(value.value == 0x81, value, parts[2],
                                   name + " takes the constant #000081"))
                    return;
                context.SetNeedLong();
                context.Emit24Little(0xBC0000);
                context.Emit24Little(Word(in.major, true, d, a, 0x81));
                return;
            }
            case EForm::kDestK:
                if (!count(2, "d,K") || !reg(parts[0], d)) return;
                AluK(in.major, d, 0, parts[1], context);
                return;
            case EForm::kSourceK:
                if (!count(2, "a,K") || !reg(parts[0], a)) return;
                AluK(in.major, 0, a, parts[1], context);
                return;
            case EForm::kNot:
                if (!count(2, "d,a") || !reg(parts[0], d) || !reg(parts[1], a)) return;
                context.Emit24Little(Word(in.major, true, d, a, 0xFF));
                return;
            case EForm::kCmpz:
                if (!count(1, "a") || !reg(parts[0], a)) return;
                context.Emit24Little(Word(in.major, false, 0, a, 0));
                return;
            case EForm::kMemory: Memory(in, name, parts, operand, context); return;
            case EForm::kBranch: Branch(in, name, parts, operand, context); return;
            case EForm::kCall:
                if (!count(1, "a target address or K(a)")) return;
                Call(in, parts[0], context);
                return;
            case EForm::kJump:
            case EForm::kControlK:
                if (!count(1, in.form == EForm::kJump ? "K, (a) or K(a)" : "K or K(a)")) return;
                ControlK(in, parts[0], context);
                return;
            case EForm::kReturn:
                if (!operand.empty())
                    return (void)context.Fail(operand, name + " takes no operand");
                context.Emit24Little(Word(1, false, 0, static_cast<int>(in.field), 0) | 5u << 16);
                return;
            case EForm::kPlain:
                if (!operand.empty())
                    return (void)context.Fail(operand, name + " takes no operand");
                context.Emit24Little(in.field);
                return;
        }
    }

private:
    // A constant word in context: short when imm8 sign-extends to the value.
    static void EmitWithConstant(uint32_t word, uint32_t value, bool allowShort,
                                 CEncodeContext& context) {
        value &= kMask24;
        if (allowShort && FitsShort(value) && !context.ForceLong()) {
            context.Emit24Little(word | (value & 0xFF));
            return;
        }
        context.SetNeedLong();
        context.Emit24Little(0xBC0000 | value >> 8);
        context.Emit24Little(word | (value & 0xFF));
    }

    static bool Value24(std::string_view text, SExpressionValue& value, CEncodeContext& context) {
        return context.Value(text, value) &&
               context.Check(value.value >= -0x800000 && value.value <= kMask24, value, text,
                             "the value " + Hex(value.value, 6) + " does not fit in 24 bits");
    }

    // The special register moves: lw sr,K / sw sr,K, and ver (D 0).
    static bool SpecialMove(const SInstruction& in, std::vector<std::string_view>& parts,
                            CEncodeContext& context) {
        const bool sr = EqualNoCase(parts[0], "sr");
        const bool ver = EqualNoCase(parts[0], "ver");
        if (!sr && !ver) return false;
        // The listing adds a remark to the ver forms.
        std::string_view k = parts[1];
        for (std::string_view remark : {"(ignored)", "(unimplemented)"}) {
            if (k.size() > remark.size() && EqualNoCase(k.substr(k.size() - remark.size()), remark))
                k = Trim(k.substr(0, k.size() - remark.size()));
        }
        const int select = in.field == 3 ? 4 : 5;
        AluK(4, sr ? kSr : 0, select, k, context);
        return true;
    }

    static void AluK(uint32_t major, int d, int a, std::string_view k, CEncodeContext& context) {
        const int b = Register(k);
        if (b >= 0) {
            context.Emit24Little(Word(major, false, d, a, static_cast<uint32_t>(b)));
            return;
        }
        if (!k.starts_with("#")) {
            context.Fail(
                k, "a constant #value or a register is expected, not '" + std::string(k) + "'");
            return;
        }
        std::string_view text = Trim(k.substr(1));
        // #P+rN{7:0}: a prefix with the low byte from a register.
        if (text.ends_with("{7:0}")) {
            const std::string_view body = text.substr(0, text.size() - 5);
            const size_t plus = body.rfind('+');
            const int source =
                plus == std::string_view::npos ? -1 : Register(body.substr(plus + 1));
            if (source < 0) {
                context.Fail(k, "#value+register{7:0} is expected");
                return;
            }
            SExpressionValue value;
            const std::string_view high = Trim(body.substr(0, plus));
            if (!Value24(high, value, context) ||
                !context.Check((value.value & 0xFF) == 0, value, high,
                               "the value before +register{7:0} must end in 00"))
                return;
            context.SetNeedLong();
            context.Emit24Little(0xBC0000 | (static_cast<uint32_t>(value.value) & kMask24) >> 8);
            context.Emit24Little(Word(major, false, d, a, static_cast<uint32_t>(source)));
            return;
        }
        SExpressionValue value;
        if (!Value24(text, value, context)) return;
        // "#0" as the listing writes register 0.
        if (value.plainZero) {
            context.Emit24Little(Word(major, false, d, a, 0));
            return;
        }
        EmitWithConstant(Word(major, true, d, a, 0), static_cast<uint32_t>(value.value), true,
                         context);
    }

    static void Memory(const SInstruction& in, const std::string& name,
                       std::vector<std::string_view>& parts, std::string_view operand,
                       CEncodeContext& context) {
        if (parts.size() != 2) {
            context.Fail(operand.empty() ? std::string_view(name) : operand,
                         name + " takes d,address or d,address(a)");
            return;
        }
        if ((in.field == 3 || in.field == 7) && SpecialMove(in, parts, context)) return;
        int d = Register(parts[0]);
        if (d < 0) {
            context.Fail(parts[0], "a register (r0 to r28, sp, lr, ipc) is expected, not '" +
                                       std::string(parts[0]) + "'");
            return;
        }
        std::string_view address = parts[1];
        // lw d,K is add d,r0,K.
        if (in.field == 3 && (address.starts_with("#") || Register(address) >= 0)) {
            AluK(12, d, 0, address, context);
            return;
        }
        int a = 0;
        if (address.ends_with(")")) {
            const size_t open = address.rfind('(');
            const int base = open == std::string_view::npos
                                 ? -1
                                 : Register(address.substr(open + 1, address.size() - open - 2));
            if (base >= 0) {
                a = base;
                address = Trim(address.substr(0, open));
            }
        }
        if (address.empty()) address = "00";
        SExpressionValue value;
        if (!context.Value(address, value) ||
            !context.Check(value.value >= 0 && value.value <= kMask24, value, address,
                           "the address " + Hex(value.value, 6) + " is outside 000000 to FFFFFF"))
            return;
        const uint32_t v = static_cast<uint32_t>(value.value);
        const uint32_t word = Word(in.major | in.field, true, d, a, 0);
        // Two digits take the short form; 000010 keeps the prefix, as listed.
        if (v <= 0xFF && value.literalBytes <= 1 && !context.ForceLong()) {
            context.Emit24Little(word | v);
            return;
        }
        context.SetNeedLong();
        context.Emit24Little(0xBC0000 | v >> 8);
        context.Emit24Little(word | (v & 0xFF));
    }

    static void Branch(const SInstruction& in, const std::string& name,
                       std::vector<std::string_view>& parts, std::string_view operand,
                       CEncodeContext& context) {
        int a = 0;
        uint32_t cond = in.field;
        std::string_view target;
        if (parts.size() == 2) {
            a = Register(parts[0]);
            if (a < 0) {
                context.Fail(parts[0],
                             "a register is expected, not '" + std::string(parts[0]) + "'");
                return;
            }
            target = parts[1];
        } else if (parts.size() == 1 && cond == 14) {
            cond = 0;  // br without a register: beq r0, which always branches
            target = parts[0];
        } else {
            context.Fail(operand.empty() ? std::string_view(name) : operand,
                         name + (cond == 14 ? " takes [a,]target" : " takes a,target"));
            return;
        }
        SExpressionValue value;
        if (!context.Value(target, value) ||
            !context.Check(
                value.value >= 0 && value.value <= kMask24, value, target,
                "the branch target " + Hex(value.value, 6) + " is outside 000000 to FFFFFF"))
            return;
        // Target = the address after the branch word + displacement + 3.
        const uint32_t word = Word(1, false, 0, a, 0) | cond << 13;
        const uint32_t v = static_cast<uint32_t>(value.value);
        const uint32_t shortDisplacement = (v - context.Address() - 6) & kMask24;
        if (FitsShort(shortDisplacement) && !context.ForceLong()) {
            context.Emit24Little(word | (shortDisplacement & 0xFF));
            return;
        }
        context.SetNeedLong();
        const uint32_t longDisplacement = (v - context.Address() - 9) & kMask24;
        context.Emit24Little(0xBC0000 | longDisplacement >> 8);
        context.Emit24Little(word | (longDisplacement & 0xFF));
    }

    static void Call(const SInstruction& in, std::string_view target, CEncodeContext& context) {
        if (!target.ends_with(")")) {
            SExpressionValue value;
            if (!Value24(target, value, context)) return;
            const uint32_t v = static_cast<uint32_t>(value.value) & kMask24;
            // The absolute call holds a multiple of 16.
            if (v % 16 == 0 && !context.ForceLong()) {
                context.Emit24Little(0x100000 | v >> 4);
                return;
            }
        }
        ControlK(in, target, context);
    }

    // K, K(a) or (a) of call, jmp and icall.
    static void ControlK(const SInstruction& in, std::string_view text, CEncodeContext& context) {
        int a = 0;
        std::string_view k = text;
        if (text.ends_with(")")) {
            const size_t open = text.rfind('(');
            const int base = open == std::string_view::npos
                                 ? -1
                                 : Register(text.substr(open + 1, text.size() - open - 2));
            if (base >= 0) {
                a = base;
                k = Trim(text.substr(0, open));
            }
        }
        SExpressionValue value;
        if (k.empty()) {
            value.value = 0;
        } else if (!Value24(k, value, context)) {
            return;
        }
        const uint32_t word = Word(1, false, 0, a, 0) | in.field << 16;
        // Without a prefix, jmp through lr and ipc reads as ret and iret.
        const bool allowShort = !(in.field == 5 && (a == kLr || a == kIpc));
        EmitWithConstant(word, static_cast<uint32_t>(value.value), allowShort, context);
    }
};

}  // namespace

const CInstructionSet& CorvaneInstructionSet() {
    static const CCorvaneSet set;
    return set;
}
