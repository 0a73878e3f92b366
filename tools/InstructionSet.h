#pragma once
// What the assembler engine asks of a processor's instruction set, and the
// context an instruction is encoded in. Internal to the assemblers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/Assembler.h"
#include "tools/Expression.h"

class CEncodeContext {
public:
    CEncodeContext(std::string_view line, uint32_t address, bool forceLong,
                   const NameResolver& resolver)
        : m_line(line), m_address(address), m_forceLong(forceLong), m_resolver(resolver) {}

    uint32_t Address() const { return m_address; }
    // An earlier pass needed the long form here: keep it, so that addresses settle.
    bool ForceLong() const { return m_forceLong; }
    // The encoder chose a long form for a value that did not fit the short one.
    void SetNeedLong() { m_needLong = true; }
    bool NeedLong() const { return m_needLong; }

    // Evaluates text, a part of the line; a pending value reads as 0.
    bool Value(std::string_view text, SExpressionValue& value);
    // Records the first error, at the column where text starts; returns false.
    bool Fail(std::string_view at, std::string message);
    // A value that is not final yet skips the range checks.
    bool Check(bool fits, const SExpressionValue& value, std::string_view at, std::string message) {
        return fits || value.pending || Fail(at, std::move(message));
    }

    void Emit8(uint32_t value) { m_bytes.push_back(static_cast<uint8_t>(value)); }
    void Emit16Big(uint32_t value) {
        Emit8(value >> 8);
        Emit8(value);
    }
    void Emit24Little(uint32_t value) {
        Emit8(value);
        Emit8(value >> 8);
        Emit8(value >> 16);
    }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    size_t ErrorOffset() const { return m_errorOffset; }

private:
    std::string_view m_line;
    uint32_t m_address;
    bool m_forceLong;
    bool m_needLong = false;
    const NameResolver& m_resolver;
    std::vector<uint8_t> m_bytes;
    std::string m_error;
    size_t m_errorOffset = 0;
};

class CInstructionSet {
public:
    virtual ~CInstructionSet() = default;
    // mnemonic as written (any case); operand trimmed, empty when there is none.
    virtual bool IsMnemonic(std::string_view mnemonic) const = 0;
    virtual void Encode(std::string_view mnemonic, std::string_view operand,
                        CEncodeContext& context) const = 0;
    virtual EProcessor Processor() const = 0;
    // Hexadecimal digits of an address in the listing.
    virtual int AddressDigits() const = 0;
    virtual uint32_t HighestAddress() const = 0;
    // Bytes of one instruction word, as the listing groups them (1, 2 or 3).
    virtual int WordBytes() const = 0;
    virtual bool BigEndian() const = 0;
    // Bytes of the data directive "word".
    virtual int DataWordBytes() const = 0;
};

const CInstructionSet& M6502InstructionSet();
const CInstructionSet& Vo16InstructionSet();
const CInstructionSet& CorvaneInstructionSet();
const CInstructionSet& InstructionSetFor(EProcessor processor);

// Helpers the instruction sets share.
namespace asmtext {
std::string Upper(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);
// Splits at commas outside parentheses, braces and quotes; parts trimmed.
std::vector<std::string_view> SplitOperands(std::string_view operand);
// "$%0*X" of the value, for messages.
std::string Hex(int64_t value, int digits);
}  // namespace asmtext
