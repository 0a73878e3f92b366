#pragma once
// simq's assembler actions: --assemble (to files, or into the workspace) and
// --load-symbols; the address of --break and --list given as a symbol.
#include <iosfwd>
#include <string>

#include "cli/Arguments.h"

class CComputer;
class CMpu;

// Runs --assemble; false with a one-line reason (the assembler's errors go to
// err first, one a line).
bool RunAssemble(const SAction& action, CComputer& computer, CMpu* activeUnit, std::ostream& err,
                 std::string& error);
// --load-symbols into the active unit.
bool LoadUnitSymbols(const std::string& path, CMpu& unit, std::string& error);
// The action's address, or the value of its symbol in the unit's symbols.
bool ActionAddress(const SAction& action, const CMpu& unit, uint32_t& address, std::string& error);
