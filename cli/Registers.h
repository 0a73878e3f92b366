#pragma once
// The registers and counters of a unit as the runner prints them, read
// through the unit's descriptors.
#include <string>
#include <string_view>

class CMpu;

// "NAME=HEX" pairs separated by single blanks, each zero-padded to its width;
// empty for a unit without registers.
std::string FormatRegisters(const CMpu& unit);

// "key=DECIMAL" pairs separated by single blanks.
std::string FormatCounters(const CMpu& unit);

// Sets the register named name (any letter case, and the core's other names
// for a register). False, with the reason, for a name the unit does not
// have and for a value the register refuses.
bool WriteRegister(CMpu& unit, std::string_view name, uint32_t value, std::string& error);
