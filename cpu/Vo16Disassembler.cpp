// The Vo16 listing: one instruction, with all the prefix words in front of it,
// read big-endian through the bus at 16-bit addresses.
#include <cstdint>
#include <string>

#include "core/Devices.h"
#include "core/StringEx.h"
#include "cpu/Vo16.h"

namespace {

constexpr const char* kRegisterNames[16] = {"r0", "r1", "r2",  "r3",  "r4",  "r5",  "r6",  "r7",
                                            "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15"};
constexpr const char* kBranchNames[16] = {"br",   "brn",  "beq",  "bne", "bc",  "bnc",
                                          "bv",   "bnv",  "blt",  "bge", "ble", "bgt",
                                          "bltu", "bgeu", "bleu", "bgtu"};
constexpr const char* kRegisterOpNames[6] = {"and", "or", "xor", "andn", "adc", "sbc"};
constexpr const char* kConstantOpNames[11] = {"andi", "ori",  "xori", "andni", "adci", "sbci",
                                              "srli", "srai", "slli", "srxi",  "slxi"};
constexpr const char* kUnimplemented = "?unimp";

// The second source of the register forms: register 0 is written "0".
const char* SourceName(uint32_t rb) {
    return rb == 0 ? "0" : kRegisterNames[rb];
}

}  // namespace

SDisassembly CVo16::Disassemble(uint32_t address) const {
    SDisassembly listed;
    std::string& bytes = listed.bytes;
    std::string& mnemonic = listed.mnemonic;
    std::string& operand = listed.operand;

    AppendFormat(listed.address, "%04X", address & 0xFFFF);

    uint32_t cursor = address & 0xFFFF;
    uint32_t count = 0;
    auto readWord = [&]() {
        const uint32_t value = m_bus ? m_bus->Read(cursor, 2 | CDevices::kSwap) : 0xFFFFFFFF;
        cursor = (cursor + 2) & 0xFFFF;
        count += 2;
        return static_cast<uint16_t>(value);
    };

    uint16_t word = readWord();
    bool prefixed = false;
    uint16_t prefix = 0;
    // A chain that fills the whole address space would repeat itself forever.
    while (word >> 12 == 0xD && count < 2 * kMaxWordsPerInstruction) {
        prefix = static_cast<uint16_t>(word << 4);
        prefixed = true;
        AppendFormat(bytes, "%04X ", word);
        word = readWord();
    }
    AppendFormat(bytes, "%04X ", word);

    const uint32_t op = word >> 12;
    const uint32_t rd = word >> 8 & 0xF;
    const uint32_t ra = word >> 4 & 0xF;
    const uint32_t low = word & 0xF;
    const char* d = kRegisterNames[rd];
    const char* a = kRegisterNames[ra];

    switch (op) {
        case 0x0:
        case 0x1:
            mnemonic = op == 0 ? "add" : "sub";
            AppendFormat(operand, "%s,%s,%s", d, a, SourceName(low));
            break;
        case 0x2:
            mnemonic = "addi";
            AppendFormat(operand, "%s,%s,%04X", d, a, Imm16(prefixed, prefix, low));
            break;
        case 0x3:
            if (ra < 6) {
                mnemonic = kRegisterOpNames[ra];
                AppendFormat(operand, "%s,%s", d, SourceName(low));
            } else {
                mnemonic = kUnimplemented;
            }
            break;
        case 0x4:
            if (ra < 11) {
                mnemonic = kConstantOpNames[ra];
                AppendFormat(operand, "%s,%04X", d, Imm16(prefixed, prefix, low));
            } else {
                mnemonic = kUnimplemented;
            }
            break;
        case 0x5:
        case 0x8:
        case 0xA:
            mnemonic = op == 0x5 ? "lw" : op == 0x8 ? "sw" : "jal";
            AppendFormat(operand, "%s,%04X(%s)", d, WordDisplacement(prefixed, prefix, low), a);
            break;
        case 0x6:
        case 0x9:
            mnemonic = op == 0x6 ? "lb" : "sb";
            AppendFormat(operand, "%s,%04X(%s)", d, ByteDisplacement(prefixed, prefix, low), a);
            break;
        case 0xB:
            mnemonic = kBranchNames[rd];
            AppendFormat(operand, "%04X", BranchTarget(static_cast<uint16_t>(cursor), word & 0xFF));
            break;
        case 0xC:
            mnemonic = "call";
            AppendFormat(operand, "%04X", (word & 0xFFFu) << 4);
            break;
        case 0x7:
        case 0xD:
        case 0xE:
        case 0xF: mnemonic = kUnimplemented; break;
    }

    listed.length = count;
    return listed;
}
