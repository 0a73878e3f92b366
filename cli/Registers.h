#pragma once
// The registers and counters of a processing unit as its panes show them:
// names in register-pane order, each with its width in hex digits.
//   6502     A X Y SP (2 digits) PC (4) STATUS (2)
//   Vo16     R0-R15 PC (4)
//   Corvane  R0-R28 SP LR IPC PC SR CR (6, the low 24 bits)
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CMpu;

struct SRegisterValue {
    std::string name;
    int digits = 0;
    uint32_t value = 0;
};

struct SCounterValue {
    const char* name = "";
    uint32_t value = 0;
};

// Empty for a unit without registers (the null unit of an empty slot).
std::vector<SRegisterValue> ReadRegisters(const CMpu& unit);

// "NAME=HEX" pairs separated by single blanks.
std::string FormatRegisters(const std::vector<SRegisterValue>& registers);

// Sets the register named name (any letter case; Corvane r29-r31 stand for sp,
// lr and ipc). False, with the reason, for a name the unit does not have, a
// value wider than the register, or a nonzero value for the register that
// always reads 0.
bool WriteRegister(CMpu& unit, std::string_view name, uint32_t value, std::string& error);

// fetches, cycles, loads, stores; the Corvane adds cache_attempts and
// cache_misses.
std::vector<SCounterValue> ReadCounters(const CMpu& unit);
