// The 6502 listing: one instruction at an address as address, bytes,
// mnemonic and operand texts (lower-case mnemonics, hexadecimal operands
// without symbols). Reads memory through the bus only.
#include <array>

#include "core/Devices.h"
#include "core/StringEx.h"
#include "cpu/M6502.h"

namespace {

enum class EMode : uint8_t {
    kImplied,  // also the accumulator forms, which show no operand
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
    kSkipByte,     // one byte consumed, not shown
    kSkipWord,     // two bytes consumed, not shown
    kInvalidStore  // 89: an immediate operand, then one byte consumed, not shown
};

struct SEntry {
    const char* mnemonic;
    EMode mode;
};

struct SCode {
    uint8_t opcode;
    SEntry entry;
};

// One-byte codes that execute as no operation, and the codes without a
// meaning of their own, which execute as two-byte no operations.
constexpr SEntry kOneByteNop{"nop; undoc", EMode::kImplied};
constexpr SEntry kNoEntry{"skb; undoc", EMode::kSkipByte};

constexpr SCode kCodes[] = {
    // Documented NMOS 6502 instruction set.
    {0x69, {"adc", EMode::kImmediate}},
    {0x65, {"adc", EMode::kZeroPage}},
    {0x75, {"adc", EMode::kZeroPageX}},
    {0x6D, {"adc", EMode::kAbsolute}},
    {0x7D, {"adc", EMode::kAbsoluteX}},
    {0x79, {"adc", EMode::kAbsoluteY}},
    {0x61, {"adc", EMode::kIndirectX}},
    {0x71, {"adc", EMode::kIndirectY}},
    {0x29, {"and", EMode::kImmediate}},
    {0x25, {"and", EMode::kZeroPage}},
    {0x35, {"and", EMode::kZeroPageX}},
    {0x2D, {"and", EMode::kAbsolute}},
    {0x3D, {"and", EMode::kAbsoluteX}},
    {0x39, {"and", EMode::kAbsoluteY}},
    {0x21, {"and", EMode::kIndirectX}},
    {0x31, {"and", EMode::kIndirectY}},
    {0x0A, {"asl", EMode::kImplied}},
    {0x06, {"asl", EMode::kZeroPage}},
    {0x16, {"asl", EMode::kZeroPageX}},
    {0x0E, {"asl", EMode::kAbsolute}},
    {0x1E, {"asl", EMode::kAbsoluteX}},
    {0x90, {"bcc", EMode::kRelative}},
    {0xB0, {"bcs", EMode::kRelative}},
    {0xF0, {"beq", EMode::kRelative}},
    {0x24, {"bit", EMode::kZeroPage}},
    {0x2C, {"bit", EMode::kAbsolute}},
    {0x30, {"bmi", EMode::kRelative}},
    {0xD0, {"bne", EMode::kRelative}},
    {0x10, {"bpl", EMode::kRelative}},
    {0x00, {"brk", EMode::kImplied}},
    {0x50, {"bvc", EMode::kRelative}},
    {0x70, {"bvs", EMode::kRelative}},
    {0x18, {"clc", EMode::kImplied}},
    {0xD8, {"cld", EMode::kImplied}},
    {0x58, {"cli", EMode::kImplied}},
    {0xB8, {"clv", EMode::kImplied}},
    {0xC9, {"cmp", EMode::kImmediate}},
    {0xC5, {"cmp", EMode::kZeroPage}},
    {0xD5, {"cmp", EMode::kZeroPageX}},
    {0xCD, {"cmp", EMode::kAbsolute}},
    {0xDD, {"cmp", EMode::kAbsoluteX}},
    {0xD9, {"cmp", EMode::kAbsoluteY}},
    {0xC1, {"cmp", EMode::kIndirectX}},
    {0xD1, {"cmp", EMode::kIndirectY}},
    {0xE0, {"cpx", EMode::kImmediate}},
    {0xE4, {"cpx", EMode::kZeroPage}},
    {0xEC, {"cpx", EMode::kAbsolute}},
    {0xC0, {"cpy", EMode::kImmediate}},
    {0xC4, {"cpy", EMode::kZeroPage}},
    {0xCC, {"cpy", EMode::kAbsolute}},
    {0xC6, {"dec", EMode::kZeroPage}},
    {0xD6, {"dec", EMode::kZeroPageX}},
    {0xCE, {"dec", EMode::kAbsolute}},
    {0xDE, {"dec", EMode::kAbsoluteX}},
    {0xCA, {"dex", EMode::kImplied}},
    {0x88, {"dey", EMode::kImplied}},
    {0x49, {"eor", EMode::kImmediate}},
    {0x45, {"eor", EMode::kZeroPage}},
    {0x55, {"eor", EMode::kZeroPageX}},
    {0x4D, {"eor", EMode::kAbsolute}},
    {0x5D, {"eor", EMode::kAbsoluteX}},
    {0x59, {"eor", EMode::kAbsoluteY}},
    {0x41, {"eor", EMode::kIndirectX}},
    {0x51, {"eor", EMode::kIndirectY}},
    {0xE6, {"inc", EMode::kZeroPage}},
    {0xF6, {"inc", EMode::kZeroPageX}},
    {0xEE, {"inc", EMode::kAbsolute}},
    {0xFE, {"inc", EMode::kAbsoluteX}},
    {0xE8, {"inx", EMode::kImplied}},
    {0xC8, {"iny", EMode::kImplied}},
    {0x4C, {"jmp", EMode::kAbsolute}},
    {0x6C, {"jmp", EMode::kIndirect}},
    {0x20, {"jsr", EMode::kAbsolute}},
    {0xA9, {"lda", EMode::kImmediate}},
    {0xA5, {"lda", EMode::kZeroPage}},
    {0xB5, {"lda", EMode::kZeroPageX}},
    {0xAD, {"lda", EMode::kAbsolute}},
    {0xBD, {"lda", EMode::kAbsoluteX}},
    {0xB9, {"lda", EMode::kAbsoluteY}},
    {0xA1, {"lda", EMode::kIndirectX}},
    {0xB1, {"lda", EMode::kIndirectY}},
    {0xA2, {"ldx", EMode::kImmediate}},
    {0xA6, {"ldx", EMode::kZeroPage}},
    {0xB6, {"ldx", EMode::kZeroPageY}},
    {0xAE, {"ldx", EMode::kAbsolute}},
    {0xBE, {"ldx", EMode::kAbsoluteY}},
    {0xA0, {"ldy", EMode::kImmediate}},
    {0xA4, {"ldy", EMode::kZeroPage}},
    {0xB4, {"ldy", EMode::kZeroPageX}},
    {0xAC, {"ldy", EMode::kAbsolute}},
    {0xBC, {"ldy", EMode::kAbsoluteX}},
    {0x4A, {"lsr", EMode::kImplied}},
    {0x46, {"lsr", EMode::kZeroPage}},
    {0x56, {"lsr", EMode::kZeroPageX}},
    {0x4E, {"lsr", EMode::kAbsolute}},
    {0x5E, {"lsr", EMode::kAbsoluteX}},
    {0xEA, {"nop", EMode::kImplied}},
    {0x09, {"ora", EMode::kImmediate}},
    {0x05, {"ora", EMode::kZeroPage}},
    {0x15, {"ora", EMode::kZeroPageX}},
    {0x0D, {"ora", EMode::kAbsolute}},
    {0x1D, {"ora", EMode::kAbsoluteX}},
    {0x19, {"ora", EMode::kAbsoluteY}},
    {0x01, {"ora", EMode::kIndirectX}},
    {0x11, {"ora", EMode::kIndirectY}},
    {0x48, {"pha", EMode::kImplied}},
    {0x08, {"php", EMode::kImplied}},
    {0x68, {"pla", EMode::kImplied}},
    {0x28, {"plp", EMode::kImplied}},
    {0x2A, {"rol", EMode::kImplied}},
    {0x26, {"rol", EMode::kZeroPage}},
    {0x36, {"rol", EMode::kZeroPageX}},
    {0x2E, {"rol", EMode::kAbsolute}},
    {0x3E, {"rol", EMode::kAbsoluteX}},
    {0x6A, {"ror", EMode::kImplied}},
    {0x66, {"ror", EMode::kZeroPage}},
    {0x76, {"ror", EMode::kZeroPageX}},
    {0x6E, {"ror", EMode::kAbsolute}},
    {0x7E, {"ror", EMode::kAbsoluteX}},
    {0x40, {"rti", EMode::kImplied}},
    {0x60, {"rts", EMode::kImplied}},
    {0xE9, {"sbc", EMode::kImmediate}},
    {0xE5, {"sbc", EMode::kZeroPage}},
    {0xF5, {"sbc", EMode::kZeroPageX}},
    {0xED, {"sbc", EMode::kAbsolute}},
    {0xFD, {"sbc", EMode::kAbsoluteX}},
    {0xF9, {"sbc", EMode::kAbsoluteY}},
    {0xE1, {"sbc", EMode::kIndirectX}},
    {0xF1, {"sbc", EMode::kIndirectY}},
    {0x38, {"sec", EMode::kImplied}},
    {0xF8, {"sed", EMode::kImplied}},
    {0x78, {"sei", EMode::kImplied}},
    {0x85, {"sta", EMode::kZeroPage}},
    {0x95, {"sta", EMode::kZeroPageX}},
    {0x8D, {"sta", EMode::kAbsolute}},
    {0x9D, {"sta", EMode::kAbsoluteX}},
    {0x99, {"sta", EMode::kAbsoluteY}},
    {0x81, {"sta", EMode::kIndirectX}},
    {0x91, {"sta", EMode::kIndirectY}},
    {0x86, {"stx", EMode::kZeroPage}},
    {0x96, {"stx", EMode::kZeroPageY}},
    {0x8E, {"stx", EMode::kAbsolute}},
    {0x84, {"sty", EMode::kZeroPage}},
    {0x94, {"sty", EMode::kZeroPageX}},
    {0x8C, {"sty", EMode::kAbsolute}},
    {0xAA, {"tax", EMode::kImplied}},
    {0xA8, {"tay", EMode::kImplied}},
    {0xBA, {"tsx", EMode::kImplied}},
    {0x8A, {"txa", EMode::kImplied}},
    {0x9A, {"txs", EMode::kImplied}},
    {0x98, {"tya", EMode::kImplied}},

    // Undocumented codes with an operation of their own.
    {0x03, {"aso; undoc", EMode::kIndirectX}},
    {0x07, {"aso; undoc", EMode::kZeroPage}},
    {0x0B, {"aso; undoc", EMode::kImmediate}},
    {0x0F, {"aso; undoc", EMode::kAbsolute}},
    {0x13, {"aso; undoc", EMode::kIndirectY}},
    {0x17, {"aso; undoc", EMode::kZeroPageX}},
    {0x1B, {"aso; undoc", EMode::kAbsoluteY}},
    {0x1F, {"aso; undoc", EMode::kAbsoluteX}},
    {0x23, {"rla; undoc", EMode::kIndirectX}},
    {0x27, {"rla; undoc", EMode::kZeroPage}},
    {0x2B, {"rla; undoc", EMode::kImmediate}},
    {0x2F, {"rla; undoc", EMode::kAbsolute}},
    {0x33, {"rla; undoc", EMode::kIndirectY}},
    {0x37, {"rla; undoc", EMode::kZeroPageX}},
    {0x3B, {"rla; undoc", EMode::kAbsoluteY}},
    {0x3F, {"rla; undoc", EMode::kAbsoluteX}},
    {0x67, {"rra; undoc", EMode::kZeroPage}},
    {0x87, {"axs; undoc", EMode::kZeroPage}},
    {0xBF, {"lax; undoc", EMode::kAbsoluteY}},
    {0xC3, {"dcm; undoc", EMode::kIndirectX}},
    {0xC7, {"dcm; undoc", EMode::kZeroPage}},
    {0xFF, {"ins; undoc", EMode::kAbsoluteX}},

    // Skip codes: their operand bytes are consumed and not shown.
    {0x04, {"skb; undoc", EMode::kSkipByte}},
    {0x14, {"skb; undoc", EMode::kSkipByte}},
    {0x34, {"skb; undoc", EMode::kSkipByte}},
    {0x44, {"skb; undoc", EMode::kSkipByte}},
    {0x54, {"skb; undoc", EMode::kSkipByte}},
    {0x64, {"skb; undoc", EMode::kSkipByte}},
    {0x74, {"skb; undoc", EMode::kSkipByte}},
    {0x80, {"skb; undoc", EMode::kSkipByte}},
    {0x82, {"skb; undoc", EMode::kSkipByte}},
    {0xC2, {"skb; undoc", EMode::kSkipByte}},
    {0xD4, {"skb; undoc", EMode::kSkipByte}},
    {0xE2, {"skb; undoc", EMode::kSkipByte}},
    {0xF4, {"skb; undoc", EMode::kSkipByte}},
    {0x0C, {"skw; undoc", EMode::kSkipWord}},
    {0x1C, {"skw; undoc", EMode::kSkipWord}},
    {0x3C, {"skw; undoc", EMode::kSkipWord}},
    {0x5C, {"skw; undoc", EMode::kSkipWord}},
    {0x7C, {"skw; undoc", EMode::kSkipWord}},
    {0xDC, {"skw; undoc", EMode::kSkipWord}},
    {0xFC, {"skw; undoc", EMode::kSkipWord}},
    {0x89, {"sta; invalid", EMode::kInvalidStore}},

    {0x1A, kOneByteNop},
    {0x3A, kOneByteNop},
    {0x5A, kOneByteNop},
    {0x7A, kOneByteNop},
    {0xDA, kOneByteNop},
    {0xFA, kOneByteNop},
};

// The operand text of each mode that shows an operand.
constexpr const char* OperandFormat(EMode mode) {
    switch (mode) {
        case EMode::kImmediate:
        case EMode::kInvalidStore: return "#%02X";
        case EMode::kZeroPage: return "$%02X";
        case EMode::kZeroPageX: return "$%02X,x";
        case EMode::kZeroPageY: return "$%02X,y";
        case EMode::kIndirectX: return "($%02X,x)";
        case EMode::kIndirectY: return "($%02X),y";
        case EMode::kAbsolute:
        case EMode::kRelative: return "$%04X";
        case EMode::kAbsoluteX: return "$%04X,x";
        case EMode::kAbsoluteY: return "$%04X,y";
        case EMode::kIndirect: return "($%04X)";
        case EMode::kImplied:
        case EMode::kSkipByte:
        case EMode::kSkipWord: return "";
    }
    return "";
}

constexpr std::array<SEntry, 256> BuildTable() {
    std::array<SEntry, 256> table{};
    for (SEntry& entry : table)
        entry = kNoEntry;
    for (const SCode& code : kCodes)
        table[code.opcode] = code.entry;
    return table;
}

constexpr std::array<SEntry, 256> kTable = BuildTable();

// The listing cursor over the bus: a fetch of one or two bytes, the cursor
// wrapping at 16 bits. A word at 0xFFFF takes its high byte from 0x0000, as
// the processor reads it.
class CCursor {
public:
    CCursor(const CDevices* bus, uint16_t address) : m_bus(bus), m_address(address) {}

    uint32_t Fetch() { return Read(m_address++); }
    uint32_t FetchWord() {
        uint32_t value;
        if (m_address == 0xFFFF) {
            value = (Read(0xFFFF) & 0xFF) | (Read(0) & 0xFF) << 8;
        } else {
            value = m_bus ? m_bus->Read(m_address, 2) & 0xFFFF : 0xFFFF;
        }
        m_address = static_cast<uint16_t>(m_address + 2);
        return value;
    }
    uint16_t Address() const { return m_address; }

private:
    uint32_t Read(uint16_t address) const { return m_bus ? m_bus->Read(address, 1) : 0xFFFFFFFF; }

    const CDevices* m_bus;
    uint16_t m_address;
};

}  // namespace

SDisassembly C6502::Disassemble(uint32_t address) const {
    SDisassembly listed;
    std::string& bytes = listed.bytes;
    std::string& operand = listed.operand;
    listed.address.clear();
    AppendFormat(listed.address, "%04X", address);

    CCursor cursor(m_bus, static_cast<uint16_t>(address));
    // Nothing on the bus reads as all ones: the opcode keeps 16 bits of that,
    // so it shows as FFFF and matches no entry.
    const uint32_t opcode = cursor.Fetch() & 0xFFFF;
    bytes.clear();
    AppendFormat(bytes, "%02X ", opcode);

    const SEntry& entry = opcode <= 0xFF ? kTable[opcode] : kNoEntry;
    operand.clear();
    switch (entry.mode) {
        case EMode::kImplied: break;
        case EMode::kImmediate:
        case EMode::kZeroPage:
        case EMode::kZeroPageX:
        case EMode::kZeroPageY:
        case EMode::kIndirectX:
        case EMode::kIndirectY: {
            const uint32_t value = cursor.Fetch() & 0xFF;
            AppendFormat(bytes, "%02X ", value);
            AppendFormat(operand, OperandFormat(entry.mode), value);
            break;
        }
        case EMode::kAbsolute:
        case EMode::kAbsoluteX:
        case EMode::kAbsoluteY:
        case EMode::kIndirect: {
            const uint32_t value = cursor.FetchWord();
            AppendFormat(bytes, "%02X %02X", value & 0xFF, value >> 8);
            AppendFormat(operand, OperandFormat(entry.mode), value);
            break;
        }
        case EMode::kRelative: {
            const uint32_t displacement = cursor.Fetch() & 0xFF;
            AppendFormat(bytes, "%02X ", displacement);
            // The target is not wrapped: near the ends of memory it reads as
            // five digits or as a 32-bit negative number.
            const uint32_t target =
                cursor.Address() + static_cast<uint32_t>(static_cast<int8_t>(displacement));
            AppendFormat(operand, OperandFormat(entry.mode), target);
            break;
        }
        case EMode::kSkipByte: cursor.Fetch(); break;
        case EMode::kSkipWord: cursor.FetchWord(); break;
        case EMode::kInvalidStore: {
            const uint32_t value = cursor.Fetch() & 0xFF;
            AppendFormat(bytes, "%02X ", value);
            AppendFormat(operand, OperandFormat(entry.mode), value);
            cursor.Fetch();
            break;
        }
    }
    listed.mnemonic = entry.mnemonic;

    const uint32_t consumed =
        static_cast<uint16_t>(cursor.Address() - static_cast<uint16_t>(address));
    listed.length = consumed;
    return listed;
}
