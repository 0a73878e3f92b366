#include "cli/Registers.h"

#include "core/Mpu.h"
#include "core/StringEx.h"

std::string FormatRegisters(const CMpu& unit) {
    const SUnitSnapshot snapshot = unit.TakeSnapshot();
    const std::span<const SRegisterInfo> registers = unit.GetRegisterInfo();
    std::string text;
    for (size_t i = 0; i < registers.size(); ++i) {
        if (!text.empty()) text += ' ';
        AppendFormat(text, "%s=%0*X", registers[i].name, registers[i].digits,
                     snapshot.registers[i]);
    }
    return text;
}

std::string FormatCounters(const CMpu& unit) {
    const SUnitSnapshot snapshot = unit.TakeSnapshot();
    const std::span<const SCounterInfo> counters = unit.GetCounterInfo();
    std::string text;
    for (size_t i = 0; i < counters.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += std::string(counters[i].key) + '=' + std::to_string(snapshot.counters[i]);
    }
    return text;
}

bool WriteRegister(CMpu& unit, std::string_view name, uint32_t value, std::string& error) {
    const std::span<const SRegisterInfo> registers = unit.GetRegisterInfo();
    if (registers.empty()) {
        error = "the active unit has no registers";
        return false;
    }
    const int index = unit.FindRegister(name);
    if (index < 0) {
        std::string names;
        for (const SRegisterInfo& r : registers)
            names += std::string(" ") + r.name;
        error = "the active unit has no register " + std::string(name) + " (it has" + names + ")";
        return false;
    }
    return unit.SetRegisterValue(static_cast<size_t>(index), value, &error);
}
