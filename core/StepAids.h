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

// Steps (a unit's own, or a core's registers held in locals, see SUnitSteps)
// that record themselves in a history (CHistory::OpenStep and CloseStep),
// with the bytes they overwrite (CDevices::WriteRecorded).
template <class Steps>
concept kRecordsItself = requires {
    requires Steps::kRecords;
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

        // Around a run of the unit's steps, made by Steps (the unit holds its
        // state again at the end).
        template <class Steps, class Core>
        void BeginRun(Core& unit) const {
            if constexpr (kRecordsItself<Steps>) {
                if (history) history->BeginRun(unit);
            }
        }
        template <class Steps, class Core>
        void EndRun(Core& unit) const {
            if constexpr (kRecordsItself<Steps>) {
                if (history) history->EndRun(unit);
            }
        }
        // One step with its aids.
        template <class Steps>
        [[gnu::always_inline]] void Step(Steps& steps) const {
            const uint32_t pc = steps.GetPC();
            *stepPc = pc;
            if (profile) profile->Count(pc);
            if constexpr (kRecordsItself<Steps>) {
                steps.Step();
            } else {
                if (history) history->Before(*steps.unit);
                steps.Step();
                if (history) history->After(*steps.unit);
            }
        }
    };
    SSlot ForSlot(int slot) const {
        const auto index = static_cast<size_t>(slot);
        return {profile[index], history[index], &(*stepPc)[index]};
    }
};
