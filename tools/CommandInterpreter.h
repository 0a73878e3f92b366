#pragma once
// The monitor of the command window. One typed line is one command:
//
//   :addr bb bb ..    memory entry (any one character, then blanks, between numbers)
//   clear             empties the pane ("clear" in any case, not followed by a letter)
//   D start count     dump, 16 bytes a line with a character column
//   F start count v   fill
//   A addr instr      assembles one instruction for the active unit's processor
//
// Where D, F and A take an address they also take a symbol of the active unit.
// Numbers are hexadecimal. Memory is read and written through the bus, one
// byte at a time, writes with force. Nothing is kept between commands.
#include <cstdint>
#include <string>
#include <string_view>

class CComputer;

#include "core/StringEx.h"  // ParseHexNumber, the monitor's number reading

struct SCommandOutcome {
    enum class EAction {
        kNone,    // leave the pane as it is
        kInsert,  // insert text at the caret, replacing the selection
        kClear,   // replace the whole text of the pane with nothing
    };
    EAction action = EAction::kNone;
    std::string text;  // lines end in '\n'
};

class CCommandInterpreter {
public:
    // The longest line looked at; the rest is ignored.
    static constexpr size_t kMaxLine = 199;
    // A dump lists at most this many bytes and then says it was cut.
    static constexpr uint32_t kMaxDumpCount = 0x10000;
    // A fill writes at most this many bytes.
    static constexpr uint32_t kMaxFillCount = 0x1000000;

    explicit CCommandInterpreter(CComputer& computer) : m_computer(computer) {}

    // Runs line as a command; text that is not a command does nothing.
    SCommandOutcome Execute(std::string_view line) const;

private:
    SCommandOutcome EnterMemory(const char* p) const;
    SCommandOutcome Dump(const char* p) const;
    SCommandOutcome Fill(const char* p) const;
    SCommandOutcome AssembleLine(const char* p) const;
    // A symbol of the active unit at p, else a hex number.
    uint32_t ReadAddress(const char* p, const char** end) const;
    uint8_t ReadByte(uint32_t address) const;

    CComputer& m_computer;
};
