#include "ui/UnitDebug.h"

#include "core/Mpu.h"

std::vector<SUiRegister> UnitDebug::Registers(const CMpu& unit) {
    std::vector<SUiRegister> registers;
    for (const SRegisterInfo& info : unit.GetRegisterInfo()) {
        SUiRegister r{QString::fromLatin1(info.name), info.digits, {}, info.writable};
        for (const SFlagInfo& flag : info.flags)
            r.flags.push_back({QString::fromLatin1(flag.name), flag.mask, flag.inverted});
        registers.push_back(std::move(r));
    }
    return registers;
}

std::vector<QString> UnitDebug::CounterLabels(const CMpu& unit) {
    std::vector<QString> labels;
    for (const SCounterInfo& info : unit.GetCounterInfo())
        labels.push_back(QString::fromLatin1(info.label));
    return labels;
}

SUiSnapshot UnitDebug::Snapshot(const CMpu& unit) {
    SUnitSnapshot snapshot = unit.TakeSnapshot();
    return {std::move(snapshot.registers), std::move(snapshot.counters),
            snapshot.running || snapshot.animating};
}

bool UnitDebug::SetRegister(CMpu& unit, size_t index, uint32_t value, QString* error) {
    std::string why;
    if (unit.SetRegisterValue(index, value, &why)) return true;
    if (error) *error = QString::fromStdString(why);
    return false;
}

void UnitDebug::ResetCounters(CMpu& unit) {
    unit.ResetCounters();
}
