#pragma once
// What the register and statistics panes know of a unit: its registers (name,
// hex digits, flag bits, writable) and counters, read together as one
// snapshot that is safe to take while the unit runs, and the two edits
// (a register, the counters' reset), from the library's descriptors. The
// panes use nothing else of a unit's registers and counters.
#include <QString>
#include <cstdint>
#include <vector>

class CMpu;

struct SUiFlag {
    QString name;
    uint32_t mask = 0;
    bool inverted = false;  // shown checked while the bit is clear
};

struct SUiRegister {
    QString name;
    int digits = 0;
    std::vector<SUiFlag> flags;  // high bit first; empty for a plain register
    bool writable = true;
};

struct SUiSnapshot {
    std::vector<uint32_t> registers;
    std::vector<uint64_t> counters;
    bool running = false;
};

namespace UnitDebug {
std::vector<SUiRegister> Registers(const CMpu& unit);
std::vector<QString> CounterLabels(const CMpu& unit);
SUiSnapshot Snapshot(const CMpu& unit);
// Refused while the unit runs, for a value wider than the register or a
// register that cannot be written; error says why.
bool SetRegister(CMpu& unit, size_t index, uint32_t value, QString* error);
void ResetCounters(CMpu& unit);
}  // namespace UnitDebug
