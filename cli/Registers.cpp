#include "cli/Registers.h"

#include <cstdio>

#include "core/Mpu.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"

namespace {

constexpr uint32_t kCorvaneMask = 0xFFFFFF;

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string NumberedName(int n) {
    char name[8];
    std::snprintf(name, sizeof name, "R%d", n);
    return name;
}

std::string CorvaneName(int n) {
    switch (n) {
        case CCorvaneMPU::kSp: return "SP";
        case CCorvaneMPU::kLr: return "LR";
        case CCorvaneMPU::kIpc: return "IPC";
        default: return NumberedName(n);
    }
}

bool Fits(uint32_t value, int digits) {
    return digits >= 8 || value >> (4 * digits) == 0;
}

}  // namespace

std::vector<SRegisterValue> ReadRegisters(const CMpu& unit) {
    std::vector<SRegisterValue> registers;
    if (const auto* m6502 = dynamic_cast<const C6502*>(&unit)) {
        registers = {{"A", 2, m6502->GetA()},   {"X", 2, m6502->GetX()},
                     {"Y", 2, m6502->GetY()},   {"SP", 2, m6502->GetSP()},
                     {"PC", 4, m6502->GetPC()}, {"STATUS", 2, m6502->GetStatus()}};
    } else if (const auto* vo16 = dynamic_cast<const CVo16*>(&unit)) {
        for (int n = 0; n < CVo16::kRegisterCount; ++n)
            registers.push_back({NumberedName(n), 4, vo16->GetRegister(n)});
        registers.push_back({"PC", 4, vo16->GetPC() & 0xFFFF});
    } else if (const auto* corvane = dynamic_cast<const CCorvaneMPU*>(&unit)) {
        for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
            registers.push_back({CorvaneName(n), 6, corvane->GetRegister(n) & kCorvaneMask});
        registers.push_back({"PC", 6, corvane->GetPC() & kCorvaneMask});
        registers.push_back({"SR", 6, corvane->GetSR() & kCorvaneMask});
        registers.push_back({"CR", 6, corvane->GetCR() & kCorvaneMask});
    }
    return registers;
}

std::string FormatRegisters(const std::vector<SRegisterValue>& registers) {
    std::string text;
    for (const SRegisterValue& r : registers) {
        char value[16];
        std::snprintf(value, sizeof value, "%0*X", r.digits, r.value);
        if (!text.empty()) text += ' ';
        text += r.name;
        text += '=';
        text += value;
    }
    return text;
}

bool WriteRegister(CMpu& unit, std::string_view name, uint32_t value, std::string& error) {
    std::string wanted = Upper(name);
    if (dynamic_cast<CCorvaneMPU*>(&unit)) {
        if (wanted == "R29") wanted = "SP";
        if (wanted == "R30") wanted = "LR";
        if (wanted == "R31") wanted = "IPC";
    }
    const std::vector<SRegisterValue> registers = ReadRegisters(unit);
    if (registers.empty()) {
        error = "the active unit has no registers";
        return false;
    }
    int index = -1;
    for (size_t i = 0; i < registers.size(); ++i) {
        if (registers[i].name == wanted) index = static_cast<int>(i);
    }
    if (index < 0) {
        std::string names;
        for (const SRegisterValue& r : registers)
            names += " " + r.name;
        error = "the active unit has no register " + std::string(name) + " (it has" + names + ")";
        return false;
    }
    const SRegisterValue& target = registers[static_cast<size_t>(index)];
    if (!Fits(value, target.digits)) {
        char text[64];
        std::snprintf(text, sizeof text, "%X does not fit register %s (%d hex digits)", value,
                      target.name.c_str(), target.digits);
        error = text;
        return false;
    }
    if (target.name == "R0" && value != 0) {
        error = "register R0 always reads 0";
        return false;
    }

    if (auto* m6502 = dynamic_cast<C6502*>(&unit)) {
        const auto byte = static_cast<uint8_t>(value);
        switch (index) {
            case 0: m6502->SetA(byte); break;
            case 1: m6502->SetX(byte); break;
            case 2: m6502->SetY(byte); break;
            case 3: m6502->SetSP(byte); break;
            case 4: m6502->SetPC(static_cast<uint16_t>(value)); break;
            default: m6502->SetStatus(byte); break;
        }
    } else if (auto* vo16 = dynamic_cast<CVo16*>(&unit)) {
        if (index < CVo16::kRegisterCount) {
            vo16->SetRegister(index, static_cast<uint16_t>(value));
        } else {
            vo16->SetPC(static_cast<uint16_t>(value));
        }
    } else if (auto* corvane = dynamic_cast<CCorvaneMPU*>(&unit)) {
        if (index < CCorvaneMPU::kRegisterCount) {
            corvane->SetRegister(index, value);
        } else if (target.name == "PC") {
            corvane->SetPC(value);
        } else if (target.name == "SR") {
            corvane->SetSR(value);
        } else {
            corvane->SetCR(value);
        }
    }
    return true;
}

std::vector<SCounterValue> ReadCounters(const CMpu& unit) {
    if (const auto* corvane = dynamic_cast<const CCorvaneMPU*>(&unit)) {
        // The Corvane keeps counters of its own; the common ones stay 0.
        return {{"fetches", corvane->GetCounter(CMpu::kFetches)},
                {"cycles", corvane->GetCounter(CMpu::kCycles)},
                {"loads", corvane->GetCounter(CMpu::kLoads)},
                {"stores", corvane->GetCounter(CMpu::kStores)},
                {"cache_attempts", corvane->Cache().GetAttempts()},
                {"cache_misses", corvane->Cache().GetMisses()}};
    }
    return {{"fetches", unit.GetStatistic(CMpu::kFetches)},
            {"cycles", unit.GetStatistic(CMpu::kCycles)},
            {"loads", unit.GetStatistic(CMpu::kLoads)},
            {"stores", unit.GetStatistic(CMpu::kStores)}};
}
