#include "ui/UnitDebug.h"

// Until the library describes its units' registers, this file reads them from
// the three cores directly; it is the one place that changes when it does.
#include "core/Mpu.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"

namespace {

enum class ECore { kNone, k6502, kVo16, kCorvane };

ECore CoreOf(const CMpu& unit) {
    if (dynamic_cast<const C6502*>(&unit)) return ECore::k6502;
    if (dynamic_cast<const CVo16*>(&unit)) return ECore::kVo16;
    if (dynamic_cast<const CCorvaneMPU*>(&unit)) return ECore::kCorvane;
    return ECore::kNone;
}

QString CorvaneName(int n) {
    switch (n) {
        case CCorvaneMPU::kSp: return "SP";
        case CCorvaneMPU::kSp + 1: return "LR";
        case CCorvaneMPU::kSp + 2: return "IPC";
        default: return QString("R%1").arg(n);
    }
}

constexpr uint32_t k24 = 0xFFFFFF;

}  // namespace

std::vector<SUiRegister> UnitDebug::Registers(const CMpu& unit) {
    std::vector<SUiRegister> registers;
    switch (CoreOf(unit)) {
        case ECore::kNone: break;
        case ECore::k6502:
            for (const char* name : {"A", "X", "Y", "SP"})
                registers.push_back({name, 2, {}, true});
            registers.push_back({"PC", 4, {}, true});
            registers.push_back({"STATUS",
                                 2,
                                 {{"N", 0x80},
                                  {"V", 0x40},
                                  {"B", 0x10},
                                  {"D", 0x08},
                                  {"I", 0x04},
                                  {"Z", 0x02},
                                  {"C", 0x01}},
                                 true});
            break;
        case ECore::kVo16:
            for (int n = 0; n < CVo16::kRegisterCount; ++n)
                registers.push_back({QString("R%1").arg(n), 4, {}, n != 0});
            registers.push_back({"PC", 4, {}, true});
            break;
        case ECore::kCorvane:
            for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
                registers.push_back({CorvaneName(n), 6, {}, true});
            registers.push_back({"PC", 6, {}, true});
            registers.push_back({"SR",
                                 6,
                                 {{"S1", 0x200000},
                                  {"I1", 0x100000},
                                  {"V1", 0x20000},
                                  {"C1", 0x10000},
                                  {"S", 0x200},
                                  {"I", 0x100},
                                  {"V", 0x20},
                                  {"C", 0x10}},
                                 true});
            registers.push_back({"CR", 6, {}, true});
            break;
    }
    return registers;
}

std::vector<QString> UnitDebug::CounterLabels(const CMpu& unit) {
    switch (CoreOf(unit)) {
        case ECore::kNone: return {};
        case ECore::kCorvane:
            return {"Cache attempts", "Cache misses", "Instruction fetches",
                    "Data stores",    "Data loads",   "Clock cycles"};
        default: return {"Instruction fetches", "Data stores", "Data loads", "Clock cycles"};
    }
}

SUiSnapshot UnitDebug::Snapshot(const CMpu& unit) {
    SUiSnapshot snapshot;
    snapshot.running = unit.IsRunning();
    switch (CoreOf(unit)) {
        case ECore::kNone: return snapshot;
        case ECore::k6502: {
            const auto& core = static_cast<const C6502&>(unit);
            snapshot.registers = {core.GetA(),  core.GetX(),  core.GetY(),
                                  core.GetSP(), core.GetPC(), core.GetStatus()};
            break;
        }
        case ECore::kVo16: {
            const auto& core = static_cast<const CVo16&>(unit);
            for (int n = 0; n < CVo16::kRegisterCount; ++n)
                snapshot.registers.push_back(core.GetRegister(n));
            snapshot.registers.push_back(core.GetPC() & 0xFFFF);
            break;
        }
        case ECore::kCorvane: {
            const auto& core = static_cast<const CCorvaneMPU&>(unit);
            for (int n = 0; n < CCorvaneMPU::kRegisterCount; ++n)
                snapshot.registers.push_back(core.GetRegister(n) & k24);
            snapshot.registers.push_back(core.GetPC() & k24);
            snapshot.registers.push_back(core.GetSR() & k24);
            snapshot.registers.push_back(core.GetCR() & k24);
            snapshot.counters = {core.Cache().GetAttempts(),      core.Cache().GetMisses(),
                                 core.GetCounter(CMpu::kFetches), core.GetCounter(CMpu::kStores),
                                 core.GetCounter(CMpu::kLoads),   core.GetCounter(CMpu::kCycles)};
            return snapshot;
        }
    }
    snapshot.counters = {unit.GetStatistic(CMpu::kFetches), unit.GetStatistic(CMpu::kStores),
                         unit.GetStatistic(CMpu::kLoads), unit.GetStatistic(CMpu::kCycles)};
    return snapshot;
}

bool UnitDebug::SetRegister(CMpu& unit, size_t index, uint32_t value, QString* error) {
    const std::vector<SUiRegister> registers = Registers(unit);
    auto fail = [error](const QString& text) {
        if (error) *error = text;
        return false;
    };
    if (index >= registers.size()) return fail("no such register");
    if (unit.IsRunning()) return fail("the unit is running");
    const SUiRegister& r = registers[index];
    if (r.digits < 8 && value >> (4 * r.digits) != 0)
        return fail(r.name + ": the value is too wide");
    if (!r.writable) return fail(r.name + " cannot be written");
    const int n = static_cast<int>(index);
    switch (CoreOf(unit)) {
        case ECore::kNone: return fail("no registers");
        case ECore::k6502: {
            auto& core = static_cast<C6502&>(unit);
            const auto byte = static_cast<uint8_t>(value);
            switch (n) {
                case 0: core.SetA(byte); break;
                case 1: core.SetX(byte); break;
                case 2: core.SetY(byte); break;
                case 3: core.SetSP(byte); break;
                case 4: core.SetPC(static_cast<uint16_t>(value)); break;
                default: core.SetStatus(byte); break;
            }
            return true;
        }
        case ECore::kVo16: {
            auto& core = static_cast<CVo16&>(unit);
            if (n < CVo16::kRegisterCount)
                core.SetRegister(n, static_cast<uint16_t>(value));
            else
                core.SetPC(static_cast<uint16_t>(value));
            return true;
        }
        case ECore::kCorvane: {
            auto& core = static_cast<CCorvaneMPU&>(unit);
            if (n < CCorvaneMPU::kRegisterCount)
                core.SetRegister(n, value);
            else if (r.name == "PC")
                core.SetPC(value);
            else if (r.name == "SR")
                core.SetSR(value);
            else
                core.SetCR(value);
            return true;
        }
    }
    return false;
}

void UnitDebug::ResetCounters(CMpu& unit) {
    if (CoreOf(unit) == ECore::kCorvane) {
        static_cast<CCorvaneMPU&>(unit).ResetStatistics();
        return;
    }
    for (auto which : {CMpu::kFetches, CMpu::kCycles, CMpu::kLoads, CMpu::kStores})
        unit.SetStatistic(which, 0);
}
