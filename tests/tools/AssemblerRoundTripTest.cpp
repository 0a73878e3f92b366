// Disassemble -> assemble round trips for the three processors: every
// encoding a listing shows uniquely assembles back to its own bytes, and
// random programs listed line by line assemble to the identical image.
// Listings that lose bits (unassigned codes, ignored fields, a prefix the
// value did not need) are checked to list the same after assembly.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "tools/Assembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

class CRig {
public:
    CRig(EProcessor processor, std::unique_ptr<CMpu> unit)
        : m_processor(processor), m_unit(std::move(unit)) {
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        m_bus.AddTail(ram);
        m_unit->SetBus(&m_bus);
    }

    void Put(uint32_t address, const Bytes& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i)
            m_bus.Write((address + static_cast<uint32_t>(i)) & 0xFFFF, bytes[i], 1, true);
    }
    // "mnemonic operand" as the listing shows it.
    std::string List(uint32_t address, uint32_t& length) {
        const SDisassembly listed = m_unit->Disassemble(address);
        length = listed.length;
        return listed.operand.empty() ? listed.mnemonic : listed.mnemonic + " " + listed.operand;
    }
    bool Assemble(const std::string& line, uint32_t address, Bytes& bytes, std::string& error) {
        return CAssembler::AssembleLine(m_processor, line, address, nullptr, bytes, error);
    }
    EProcessor Processor() const { return m_processor; }

private:
    EProcessor m_processor;
    CDevices m_bus;
    std::unique_ptr<CMpu> m_unit;
};

// Listings the assembler refuses: no mnemonic of their own, or bits not shown.
bool Lossy(const std::string& text) {
    for (const char* mark :
         {"?unimp", "???", "skb", "skw", "nop; undoc", "sta; invalid", "ld???", "st???"}) {
        if (text.find(mark) != std::string::npos) return true;
    }
    return text == "lw" || text == "sw" || text.starts_with("nop ");
}

// The source line of a listing: the "; undoc" remark is a comment.
std::string Source(std::string text) {
    if (const size_t remark = text.find("; undoc"); remark != std::string::npos)
        text.erase(remark, 7);
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Lists bytes at address and assembles the listing back; exact says whether
// the bytes must come back unchanged or only list the same.
void RoundTrip(CRig& rig, uint32_t address, const Bytes& bytes, bool exact) {
    rig.Put(address, bytes);
    uint32_t length = 0;
    const std::string text = rig.List(address, length);
    Bytes assembled;
    std::string error;
    // The listing is upper case on screen: both cases assemble alike.
    const std::string line = bytes[0] % 2 ? Upper(Source(text)) : Source(text);
    const bool ok = rig.Assemble(line, address, assembled, error);
    if (Lossy(text)) {
        // An annotated one reads as its plain mnemonic ("nop; undoc" as nop).
        if (text.find(';') == std::string::npos) {
            EXPECT_FALSE(ok) << text;
        }
        return;
    }
    ASSERT_TRUE(ok) << "'" << line << "' at " << std::hex << address << ": " << error;
    const Bytes original(bytes.begin(), bytes.begin() + length);
    if (exact) {
        EXPECT_EQ(assembled, original) << "'" << text << "' at " << std::hex << address;
        return;
    }
    rig.Put(address, assembled);
    uint32_t relength = 0;
    EXPECT_EQ(rig.List(address, relength), text);
    EXPECT_LE(relength, length) << text;
}

Bytes Little(uint32_t word, int size) {
    Bytes bytes;
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
    return bytes;
}

// --- 6502: every opcode with extreme operands, branches near the ends -------

TEST(AssemblerRoundTripTest, M6502EveryOpcode) {
    CRig rig(EProcessor::k6502, std::make_unique<C6502>());
    const Bytes operands[] = {{0x00, 0x00}, {0x7F, 0x12}, {0x80, 0xFF}, {0xFF, 0x00}, {0x12, 0x00}};
    for (uint32_t address : {0x1000u, 0xFFF0u, 0x0000u}) {
        for (int opcode = 0; opcode < 256; ++opcode) {
            for (const Bytes& operand : operands)
                RoundTrip(rig, address, {static_cast<uint8_t>(opcode), operand[0], operand[1]},
                          true);
        }
    }
}

// --- Vo16: every single word, prefixed constants, prefix chains --------------

TEST(AssemblerRoundTripTest, Vo16EveryWordAndPrefix) {
    CRig rig(EProcessor::kVo16, std::make_unique<CVo16>());
    for (uint32_t word = 0; word < 0x10000; ++word) {
        if (word >> 12 == 0xD) continue;
        RoundTrip(rig, 0x2000, {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)}, true);
    }
    // Prefixes whose constants the 4-bit field cannot hold.
    for (uint32_t prefix : {0x002u, 0x123u, 0x7FFu, 0x800u, 0xABCu, 0xFFEu}) {
        for (uint32_t op : {2u, 4u, 5u, 6u, 8u, 9u, 10u}) {
            for (uint32_t low : {0x00u, 0x5Au, 0x3Fu, 0xF1u}) {
                if (op == 4 && (low >> 4) > 10) continue;
                const uint32_t word = op << 12 | 0x300 | low;
                RoundTrip(rig, 0x2000,
                          {static_cast<uint8_t>(0xD0 | prefix >> 8), static_cast<uint8_t>(prefix),
                           static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)},
                          true);
            }
        }
    }
    // Chains, needless prefixes, prefixes before words without a constant.
    const Bytes loose[] = {{0xD1, 0x23, 0xD4, 0x56, 0x21, 0x25},
                           {0xD0, 0x00, 0x21, 0x23},
                           {0xDF, 0xFF, 0x21, 0x2F},
                           {0xD1, 0x23, 0x01, 0x23},
                           {0xD1, 0x23, 0xB0, 0xFE},
                           {0xD0, 0x01, 0x52, 0x12}};
    for (const Bytes& bytes : loose)
        RoundTrip(rig, 0x2000, bytes, false);
}

// --- Corvane: a grid over every field, prefixed constants --------------------

// Words whose listing leaves out bits or has a shorter spelling.
bool CorvaneAmbiguous(uint32_t word) {
    const uint32_t major = word >> 19;
    const bool immediate = word >> 18 & 1;
    const uint32_t d = word >> 13 & 31;
    const uint32_t a = word >> 8 & 31;
    const uint32_t low = word & 0xFF;
    if (major == 0) return word != 0 && word != 0x100;
    if (major == 1) {
        const uint32_t sub = word >> 16 & 7;
        if (sub <= 1) return false;
        if ((word >> 13 & 7) != 0) return true;                // bits 15..13 are not used
        if (sub == 4 && a == 0 && low % 16 == 0) return true;  // lists as the absolute call
        return sub == 5 && (a == 30 || a == 31) && low != 0;   // ret, iret
    }
    if (major >= 4 && major <= 15) {
        if (!immediate && (low & 0xE0) != 0) return true;              // bits 7..5 unused
        if (major == 4 && a >= 8) return true;                         // bits 12..11 unused
        return major == 14 && d == 0 && immediate && (low & 31) == 0;  // lists as cmpz
    }
    return false;
}

TEST(AssemblerRoundTripTest, CorvaneFieldGrid) {
    CRig rig(EProcessor::kCorvane, std::make_unique<CCorvaneMPU>());
    for (uint32_t major = 0; major < 32; ++major) {
        for (uint32_t immediate : {0u, 1u}) {
            for (uint32_t d : {0u, 1u, 7u, 27u, 29u, 31u}) {
                for (uint32_t a : {0u, 1u, 4u, 5u, 12u, 30u, 31u}) {
                    for (uint32_t low :
                         {0x00u, 0x01u, 0x1Fu, 0x20u, 0x7Fu, 0x80u, 0x81u, 0xF0u, 0xFFu}) {
                        const uint32_t word =
                            major << 19 | immediate << 18 | d << 13 | a << 8 | low;
                        if (CCorvaneMPU::IsPrefixWord(word)) continue;
                        RoundTrip(rig, 0x3000, Little(word, 3), !CorvaneAmbiguous(word));
                        // The same word behind a prefix that its constant needs.
                        Bytes prefixed = Little(0xBC1234, 3);
                        const Bytes tail = Little(word, 3);
                        prefixed.insert(prefixed.end(), tail.begin(), tail.end());
                        // Words without a constant (nop, the absolute call, cmpz) ignore it.
                        const bool used = major != 0 && major != 2 && major != 3 &&
                                          !(major == 14 && d == 0 && (low & 31) == 0);
                        RoundTrip(rig, 0x3000, prefixed, used && !CorvaneAmbiguous(word));
                    }
                }
            }
        }
    }
}

// --- Random programs -----------------------------------------------------------

struct SProgramCase {
    EProcessor processor;
    std::function<std::unique_ptr<CMpu>()> make;
    // One random instruction that lists uniquely.
    std::function<Bytes(std::mt19937&)> instruction;
};

TEST(AssemblerRoundTripTest, RandomProgramsListAndAssembleToTheSameImage) {
    const SProgramCase cases[] = {
        {EProcessor::k6502, [] { return std::make_unique<C6502>(); },
         [](std::mt19937& random) {
             return Bytes{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                          static_cast<uint8_t>(random())};
         }},
        {EProcessor::kVo16, [] { return std::make_unique<CVo16>(); },
         [](std::mt19937& random) {
             const uint32_t word = random() & 0xFFFF;
             if (word >> 12 == 0xD) return Bytes{0x21, 0x23};
             return Bytes{static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
         }},
        {EProcessor::kCorvane, [] { return std::make_unique<CCorvaneMPU>(); },
         [](std::mt19937& random) {
             uint32_t word = random() & 0xFFFFFF;
             if (CCorvaneMPU::IsPrefixWord(word) || CorvaneAmbiguous(word)) word = 0x642256;
             return Little(word, 3);
         }},
    };
    std::mt19937 random(20);
    for (const SProgramCase& test : cases) {
        CRig rig(test.processor, test.make());
        const uint32_t origin = 0x4000;
        std::string source = std::string("cpu ") + ProcessorName(test.processor) + "\norg " +
                             std::to_string(0) + "x4000\n";
        Bytes image;
        uint32_t address = origin;
        while (image.size() < 3000) {
            const Bytes bytes = test.instruction(random);
            rig.Put(address, bytes);
            uint32_t length = 0;
            const std::string text = rig.List(address, length);
            if (Lossy(text)) continue;
            source += "  " + Source(text) + "\n";
            image.insert(image.end(), bytes.begin(), bytes.begin() + length);
            address += length;
        }
        const SAssembly assembly = CAssembler::AssembleText(source, "random.s", {});
        ASSERT_TRUE(assembly.Ok()) << assembly.errors.front().Text();
        ASSERT_EQ(assembly.segments.size(), 1u);
        EXPECT_EQ(assembly.segments[0].address, origin);
        EXPECT_EQ(assembly.segments[0].bytes, image) << ProcessorName(test.processor);
    }
}

}  // namespace
