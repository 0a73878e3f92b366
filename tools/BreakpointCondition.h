#pragma once
// Breakpoint conditions in the assemblers' expression syntax, over a unit's
// registers (by name, any letter case), the flags of its status registers
// (1 when set) and memory bytes ([0200], [ptr+1]):
//
//   a == 10 && [0200] != 0        (numbers are hexadecimal, as in listings)
//
// Register and flag names win over hexadecimal words (the 6502's A and C).
// Memory is read as the memory pane reads it, without side effects: an
// address that no memory holds (a device register, nothing) fails the test,
// and a condition that fails to evaluate stops the unit.
#include <memory>
#include <string>
#include <string_view>

#include "core/Debugger.h"

class CMpu;

std::unique_ptr<CCondition> CompileCondition(std::string_view text, const CMpu& unit,
                                             std::string& error);
// Makes CompileCondition the compiler of every workspace's conditions.
void InstallBreakpointConditions();
