// The Corvane listing: one instruction, with the immediate prefix that may
// precede it, per call. A prefixed instruction is one line of length 6.
#include "core/Devices.h"
#include "core/StringEx.h"
#include "cpu/CorvaneMPU.h"

namespace {
constexpr uint32_t kMask24 = 0xFFFFFF;
constexpr uint32_t kImmediate = 1u << 18;

constexpr const char* kRegisterNames[32] = {"r0",  "r1",  "r2",  "r3",  "r4",  "r5",  "r6",  "r7",
                                            "r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15",
                                            "r16", "r17", "r18", "r19", "r20", "r21", "r22", "r23",
                                            "r24", "r25", "r26", "r27", "r28", "sp",  "lr",  "ipc"};

constexpr const char* kBranchNames[16] = {"beq", "bne", "bmi",  "bpl",  "blt",  "bge",
                                          "ble", "bgt", "bltu", "bgeu", "bleu", "bgtu",
                                          "bvs", "bvc", "br",   "???"};

constexpr const char* kMemoryNames[8] = {"ld???", "lb", "ldb", "lw", "st???", "sb", "sdb", "sw"};

const char* Name(uint32_t n) {
    return kRegisterNames[n & 31];
}

// One word in the context of the prefix before it.
class CWordLister {
public:
    CWordLister(uint32_t word, bool prefixed, uint32_t prefix, uint32_t next, std::string& mnemonic,
                std::string& operand)
        : m_word(word),
          m_prefixed(prefixed),
          m_prefix(prefix),
          m_next(next),
          m_mnemonic(mnemonic),
          m_operand(operand),
          m_d(word >> 13 & 31),
          m_a(word >> 8 & 31),
          m_imm8(word & 0xFF) {}

    void List() {
        const uint32_t major = m_word >> 19 & 31;
        if ((m_word >> 20 & 15) == 1) {
            m_mnemonic = "call";
            m_operand = FormatText("%06X", (m_word & 0xFFFFF) << 4);
        } else if (major == 1) {
            ListControl();
        } else if (major == 0) {
            m_mnemonic = (m_word & 0x100) ? "stop" : "nop";
        } else if ((m_word >> 22 & 3) == 3) {
            ListMemory();
        } else {
            ListAlu(major);
        }
    }

private:
    void ListControl() {
        const uint32_t displacement = CCorvaneMPU::Displacement(m_prefixed, m_prefix, m_word);
        const std::string k = FormatText("%06X", displacement);
        const uint32_t sub = m_word >> 16 & 7;
        if (sub <= 1) {
            const uint32_t cond = m_word >> 13 & 15;
            const bool plain = cond == 0 && m_a == 0;
            m_mnemonic = plain ? "br" : kBranchNames[cond];
            const uint32_t target = (m_next + displacement + 3) & kMask24;
            // beq r0 always branches: it lists as br without the register.
            m_operand =
                plain ? FormatText("%06X", target) : FormatText("%s,%06X", Name(m_a), target);
            return;
        }
        if (sub == 5 && !m_prefixed) {
            if (m_a == CCorvaneMPU::kLr || m_a == CCorvaneMPU::kIpc) {
                m_mnemonic = m_a == CCorvaneMPU::kLr ? "ret" : "iret";
            } else {
                m_mnemonic = "jmp";
                if (m_a == 0)
                    m_operand = k;
                else if (k == "000000")
                    m_operand = FormatText("(%s)", Name(m_a));
                else
                    m_operand = FormatText("%s(%s)", k.c_str(), Name(m_a));
            }
            return;
        }
        switch (sub) {
            case 4: m_mnemonic = "call"; break;
            case 5: m_mnemonic = "jmp"; break;
            case 6: m_mnemonic = "icall"; break;
            default: m_mnemonic = "?unimp"; break;
        }
        m_operand = m_a == 0 ? k : FormatText("%s(%s)", k.c_str(), Name(m_a));
    }

    void ListMemory() {
        m_mnemonic = kMemoryNames[m_word >> 19 & 7];
        std::string address;
        if ((m_word & kImmediate) == 0) {
            address = "?unimp";
        } else if (m_prefixed) {
            address = FormatText("%06X", m_prefix | m_imm8);
            if (m_a != 0) AppendFormat(address, "(%s)", Name(m_a));
        } else {
            address = FormatText("%02X", m_imm8);
            if (m_a != 0) AppendFormat(address, "(%s)", Name(m_a));
        }
        m_operand = FormatText("%s,%s", Name(m_d), address.c_str());
    }

    std::string AluConstant() const {
        const bool immediate = (m_word & kImmediate) != 0;
        const uint32_t b = m_word & 31;
        if (m_prefixed) {
            if (immediate) return FormatText("#%06X", m_prefix | m_imm8);
            return FormatText("#%06X+%s{7:0}", m_prefix, Name(b));
        }
        if (immediate) return FormatText("#%06X", CCorvaneMPU::SignExtend8(m_imm8));
        return b == 0 ? "#0" : Name(b);
    }

    void Three(const char* mnemonic, const std::string& k) {
        m_mnemonic = mnemonic;
        m_operand = FormatText("%s,%s,%s", Name(m_d), Name(m_a), k.c_str());
    }
    void Two(const char* mnemonic, uint32_t first, const std::string& k) {
        m_mnemonic = mnemonic;
        m_operand = FormatText("%s,%s", Name(first), k.c_str());
    }

    // The special register moves use the numbering the core executes: bits
    // 10-8 = 4 loads SR, 5 stores it.
    void ListSpecialMove(const std::string& k) {
        const uint32_t select = m_word >> 8 & 7;
        if (select != 4 && select != 5) return;
        m_mnemonic = select == 4 ? "lw" : "sw";
        if (m_d == 0)
            m_operand =
                FormatText(select == 4 ? "ver,%s  (ignored)" : "ver,%s (unimplemented)", k.c_str());
        else if (m_d == 27)
            m_operand = FormatText("sr,%s", k.c_str());
    }

    void ListAlu(uint32_t major) {
        const std::string k = AluConstant();
        switch (major) {
            case 4: ListSpecialMove(k); break;
            case 5: Three(k == "#000081" ? "rol" : "shl", k); break;
            case 6: Three("ashr", k); break;
            case 7: Three(k == "#000081" ? "ror" : "shr", k); break;
            case 8:
                if (m_d != 0)
                    Three("and", k);
                else
                    Two("test", m_a, k);
                break;
            case 9: Three("or", k); break;
            case 10:
                if (k == "#FFFFFF") {
                    m_mnemonic = "not";
                    m_operand = FormatText("%s,%s", Name(m_d), Name(m_a));
                } else {
                    Three("xor", k);
                }
                break;
            case 11: Three("cmov", k); break;
            case 12:
                if (m_a == 0)
                    Two("lw", m_d, k);
                else
                    Three("add", k);
                break;
            case 13: Three("addc", k); break;
            case 14:
                if (m_d != 0 && m_a != 0) {
                    Three("sub", k);
                } else if (m_d != 0) {
                    Two("neg", m_d, k);
                } else if ((m_word & 31) != 0) {
                    Two("cmp", m_a, k);
                } else {
                    m_mnemonic = "cmpz";
                    m_operand = Name(m_a);
                }
                break;
            case 15:
                if (m_d == 0)
                    Two("cmpc", m_a, k);
                else if (m_a != 0)
                    Three("subc", k);
                else
                    Two("negc", m_d, k);
                break;
            default: break;  // majors 16-23 are unassigned
        }
    }

    const uint32_t m_word;
    const bool m_prefixed;
    const uint32_t m_prefix;
    const uint32_t m_next;  // the address after this word
    std::string& m_mnemonic;
    std::string& m_operand;
    const uint32_t m_d;
    const uint32_t m_a;
    const uint32_t m_imm8;
};
}  // namespace

// Every text starts empty, so no line shows a previous call's text; where an
// encoding names no mnemonic (unassigned majors, other special moves, two
// prefixes in a row) the line says "?unimp".
SDisassembly CCorvaneMPU::Disassemble(uint32_t address) const {
    SDisassembly listed;
    std::string& mnemonic = listed.mnemonic;
    std::string& operand = listed.operand;
    listed.address = FormatText("%06X", address & kMask24);

    // The cursor wraps at 24 bits as the fetch does.
    uint32_t cursor = address & kMask24;
    uint32_t size = 0;
    bool prefixed = false;
    uint32_t prefix = 0;
    do {
        // Unanswered reads give all ones; the listing shows the 24-bit word.
        const uint32_t word = BusRead(cursor, 3) & kMask24;
        cursor = (cursor + 3) & kMask24;
        size += 3;
        AppendFormat(listed.bytes, "%06X ", word);
        if (IsPrefixWord(word)) {
            prefix = PrefixOf(word);
            prefixed = true;
        } else {
            CWordLister(word, prefixed, prefix, cursor, mnemonic, operand).List();
        }
    } while (prefixed && size < 6);

    if (mnemonic.empty()) {
        mnemonic = "?unimp";
        operand.clear();
    }
    listed.length = size;
    return listed;
}
