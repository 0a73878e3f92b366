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

// A core whose steps write their own history records (CHistory::OpenStep
// and CloseStep) and note the bytes they overwrite (CDevices::WriteRecorded).
template <class Core>
concept kRecordsItself = requires(Core& unit, CHistory& history) {
    unit.StepRecorded(history);
};

struct SStepAids {
    // Per slot; nullptr when the aid is off.
    std::array<CProfile*, 8> profile{};
    std::array<CHistory*, 8> history{};
    // Where each slot's step in hand began.
    std::array<uint32_t, 8>* stepPc = nullptr;

    // One slot's aids, taken once for a run of its steps.
    struct SSlot {
        CProfile* profile;
        CHistory* history;
        uint32_t* stepPc;

        // Around a run of the unit's steps.
        template <class Core>
        void BeginRun(Core& unit) const {
            if constexpr (kRecordsItself<Core>) {
                if (history) history->BeginRun(unit);
            }
        }
        template <class Core>
        void EndRun(Core& unit) const {
            if constexpr (kRecordsItself<Core>) {
                if (history) history->EndRun(unit);
            }
        }
        // One step of the unit with its aids.
        template <class Core>
        [[gnu::always_inline]] void Step(Core& unit) const {
            const uint32_t pc = unit.Core::GetPC();
            *stepPc = pc;
            if (profile) profile->Count(pc);
            if constexpr (kRecordsItself<Core>) {
                if (history)
                    unit.StepRecorded(*history);
                else
                    unit.Core::Step();
            } else {
                if (history) history->Before(unit);
                unit.Core::Step();
                if (history) history->After(unit);
            }
        }
    };
    SSlot ForSlot(int slot) const {
        const auto index = static_cast<size_t>(slot);
        return {profile[index], history[index], &(*stepPc)[index]};
    }
};
