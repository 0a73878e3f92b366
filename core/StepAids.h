#pragma once
// What the run thread's passes do around each step of a unit while
// debugging aids are in use (CDebugger sets it up): count the instruction in
// the unit's profile, record it in its history, and tell the bus whose step
// it is, so that watchpoints see the unit's accesses.
#include <array>
#include <cstdint>

#include "core/Devices.h"
#include "core/History.h"
#include "core/Profile.h"

struct SStepAids {
    // Per slot; nullptr when the aid is off.
    std::array<CProfile*, 8> profile{};
    std::array<CHistory*, 8> history{};
    // Where each slot's step in hand began.
    std::array<uint32_t, 8>* stepPc = nullptr;

    template <class Core>
    [[gnu::always_inline]] void Before(int slot, Core& unit) const {
        const uint32_t pc = unit.Core::GetPC();
        (*stepPc)[static_cast<size_t>(slot)] = pc;
        if (CProfile* counts = profile[static_cast<size_t>(slot)]) counts->Count(pc);
        if (CHistory* record = history[static_cast<size_t>(slot)]) record->Before(unit);
    }
    template <class Core>
    [[gnu::always_inline]] void After(int slot, Core& unit) const {
        if (CHistory* record = history[static_cast<size_t>(slot)]) record->After(unit);
    }
};
