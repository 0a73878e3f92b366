#include "tools/CommandInterpreter.h"

#include <algorithm>
#include <cstring>

#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/StringEx.h"
#include "core/ViewHint.h"
#include "tools/Assembler.h"
#include "tools/Expression.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    return HexDigitValue(c);
}

const char* SkipSpace(const char* p) {
    while (IsSpace(*p))
        ++p;
    return p;
}

constexpr uint32_t kLastAddress = 0xFFFFFFFF;

// What a command says about the bytes it did not write past the end.
std::string BeyondEndText(uint32_t bytes) {
    return FormatText("\n%X %s past FFFFFFFF, the end of the address space, not written.\n", bytes,
                      bytes == 1 ? "byte" : "bytes");
}

}  // namespace

SCommandOutcome CCommandInterpreter::Execute(std::string_view line) const {
    // A zero-filled copy: stepping over "one character" after a number that
    // ends the line lands on the padding, never outside the buffer.
    char buffer[kMaxLine + 9] = {};
    const size_t length = std::min(line.size(), kMaxLine);
    // An empty view may carry no pointer at all, which memcpy must not get.
    if (length != 0) std::memcpy(buffer, line.data(), length);

    const char* p = SkipSpace(buffer);
    switch (UpperCase(*p)) {
        case ':': return EnterMemory(p + 1);
        case 'D': return Dump(p + 1);
        case 'F': return Fill(p + 1);
        case 'A':
            if (!IsSpace(p[1])) return {};
            return AssembleLine(p + 1);
        case 'C':
            for (size_t i = 0; i < 5; ++i) {
                if (UpperCase(p[i]) != "CLEAR"[i]) return {};
            }
            if (IsLetter(p[5])) return {};
            return {SCommandOutcome::EAction::kClear, {}};
        default: return {};
    }
}

uint8_t CCommandInterpreter::ReadByte(uint32_t address) const {
    return static_cast<uint8_t>(m_computer.Read(address, 1));
}

SCommandOutcome CCommandInterpreter::EnterMemory(const char* p) const {
    // The address follows the colon directly.
    if (HexValue(*p) < 0) return {};
    const char* end = p;
    uint64_t address = ParseHexNumber(p, &end);
    uint32_t beyond = 0;
    p = end;
    while (*p != '\0') {
        p = SkipSpace(p + 1);
        if (HexValue(*p) < 0) break;
        const uint32_t value = ParseHexNumber(p, &end);
        if (address > kLastAddress)
            ++beyond;
        else
            m_computer.Write(static_cast<uint32_t>(address++), value, 1, true);
        p = end;
    }
    m_computer.UpdateAllViews(kHintMemory);
    if (beyond != 0) return {SCommandOutcome::EAction::kInsert, BeyondEndText(beyond)};
    return {};
}

uint32_t CCommandInterpreter::ReadAddress(const char* p, const char** end) const {
    const char* start = SkipSpace(p);
    const char* stop = start;
    while (CExpression::IsNameChar(*stop))
        ++stop;
    const std::string_view word(start, static_cast<size_t>(stop - start));
    const CMpu* unit = m_computer.GetActiveProcessor();
    if (unit && !word.empty() && CExpression::IsNameStart(word.front()) &&
        !CExpression::IsHexWord(word)) {
        if (const auto address = unit->Symbols().Find(word)) {
            *end = stop;
            return *address;
        }
    }
    return ParseHexNumber(p, end);
}

SCommandOutcome CCommandInterpreter::AssembleLine(const char* p) const {
    CMpu* unit = m_computer.GetActiveProcessor();
    if (!unit) return {};
    const char* end = p;
    const uint32_t address = ReadAddress(p, &end);
    // A line that does not go on with an address is not an A command.
    if (end == p || !IsSpace(*end)) return {};
    const auto processor = ProcessorOfUnit(*unit);
    if (!processor) {
        return {SCommandOutcome::EAction::kInsert,
                "\nThe active unit's processor has no assembler.\n"};
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!CAssembler::AssembleLine(*processor, SkipSpace(end), address, &unit->Symbols(), bytes,
                                  error)) {
        return {SCommandOutcome::EAction::kInsert, "\n" + error + "\n"};
    }
    std::string text = FormatText("\n:%06X", address);
    const size_t room =
        static_cast<size_t>(std::min<uint64_t>(bytes.size(), uint64_t{kLastAddress} - address + 1));
    for (size_t i = 0; i < room; ++i) {
        m_computer.Write(address + static_cast<uint32_t>(i), bytes[i], 1, true);
        AppendFormat(text, " %02X", bytes[i]);
    }
    m_computer.UpdateAllViews(kHintMemory);
    if (room < bytes.size())
        return {SCommandOutcome::EAction::kInsert,
                text + BeyondEndText(static_cast<uint32_t>(bytes.size() - room))};
    return {SCommandOutcome::EAction::kInsert, text + "\n"};
}

SCommandOutcome CCommandInterpreter::Dump(const char* p) const {
    p = SkipSpace(p);
    if (*p == 'R' || *p == 'r') return {};
    const char* end = p;
    const uint32_t start = ReadAddress(p, &end);
    const uint32_t requested = ParseHexNumber(end + 1);
    // Never past FFFFFFFF: the dump does not wrap round to 0.
    const uint32_t room = static_cast<uint32_t>(
        std::min<uint64_t>(kMaxDumpCount, uint64_t{kLastAddress} - start + 1));
    const uint32_t count = std::min(requested, room);

    SCommandOutcome outcome{SCommandOutcome::EAction::kInsert, "\n"};
    std::string& text = outcome.text;
    text.reserve(static_cast<size_t>(count / 16 + 2) * 80);
    for (uint32_t offset = 0; offset < count; offset += 16) {
        const uint32_t present = std::min<uint32_t>(16, count - offset);
        AppendFormat(text, ":%06X ", start + offset);
        char column[17] = "                ";
        for (uint32_t k = 0; k < present; ++k) {
            if (k == 8) text.push_back(' ');
            const uint8_t value = ReadByte(start + offset + k);
            AppendFormat(text, "%02X ", value);
            const char c = static_cast<char>(value);
            if (IsLetter(c) || IsDigit(c)) column[k] = c;
        }
        if (count - offset > 16) {
            text.push_back(' ');
        } else {
            text.append(3 * (16 - present), ' ');
        }
        text += "   ";
        text += column;
        text.push_back('\n');
    }
    if (requested > count && count == room && room < kMaxDumpCount) {
        AppendFormat(
            text, "Dump stopped at FFFFFFFF, the end of the address space, after %X of %X bytes.\n",
            count, requested);
    } else if (requested > count) {
        AppendFormat(text, "Dump cut to the first %X of %X bytes.\n", count, requested);
    }
    text.push_back('\n');
    return outcome;
}

SCommandOutcome CCommandInterpreter::Fill(const char* p) const {
    const char* end = p;
    const uint32_t start = ReadAddress(p, &end);
    const uint32_t requested = ParseHexNumber(end + 1, &end);
    const uint32_t value = ParseHexNumber(end + 1);
    const uint64_t room = uint64_t{kLastAddress} - start + 1;
    const uint32_t count = std::min(requested, kMaxFillCount);
    // Never past FFFFFFFF: the fill does not wrap round to 0.
    const uint32_t written = static_cast<uint32_t>(std::min<uint64_t>(count, room));
    for (uint32_t i = 0; i < written; ++i)
        m_computer.Write(start + i, value, 1, true);
    m_computer.UpdateAllViews(kHintMemory);
    if (written < count) return {SCommandOutcome::EAction::kInsert, BeyondEndText(count - written)};
    if (requested > count) {
        return {SCommandOutcome::EAction::kInsert,
                FormatText("\nFill cut to the first %X of %X bytes.\n", count, requested)};
    }
    return {};
}
