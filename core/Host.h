#pragma once
// The library's only window on the outside world. The desktop shell, the
// command-line runner and the tests each implement it.
//
// The library never asks the user: commands that need an answer (the caution
// prompt, the interrupt dialog, the system type) say so, and the front end
// asks and calls again with the answer.
//
// Threads: messages and view updates come from the event thread.
// PostRunStopped comes from the run thread, FrameReady from renderer threads,
// and StartTimer/StopTimer from any thread (device registers written by a
// running program start timers); these must not block. Timer expiry and posted
// notices come back as CComputer::OnTimer and CComputer::OnRunStopped on the
// event thread.
#include <cstdint>
#include <string_view>

class CDevice;

enum class EMessageIcon { Information, Exclamation, Stop };

// Why a run stopped, as the run-stopped notice reports it.
enum class EStopReason {
    kNone,
    kBreakpoint,
    kRunTo,
    kStepOut,
    kInterruptPrompt,
    kInstructionLimit,
    kTimeLimit,
    kStopCommand,
    kError,
    // A watchpoint saw the unit's access (the workspace's last-stop detail
    // gives the address, the access and the value).
    kWatchpoint,
    // A breakpoint whose condition held (past its ignore count).
    kCondition,
};

// "breakpoint", "run-to", "step-out", "interrupt-prompt", "instruction-limit",
// "time-limit", "stopped", "error", "watchpoint", "condition"; "none".
const char* StopReasonText(EStopReason reason);

// What the Generate Interrupt dialog asks for. A cancelled dialog is a
// request with nothing checked.
struct SInterruptRequest {
    int code = 0;
    bool irq = false;
    bool nmi = false;
    bool reset = false;
};

class CHost {
public:
    virtual ~CHost() = default;

    // Periodic timers identified by an integer id; expiry calls
    // CComputer::OnTimer(id) on the event thread. Starting a running id
    // restarts it with the new period.
    virtual void StartTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void StopTimer(uint32_t id) = 0;

    // Run thread: a unit stopped (slot), or a run limit stopped all (10000),
    // and why. The host calls CComputer::OnRunStopped(slot, reason) on the
    // event thread.
    virtual void PostRunStopped(int slot, EStopReason reason) = 0;

    // Views: a change notification with its hint bits (see ViewHint.h).
    virtual void UpdateAllViews(uint32_t hint) = 0;
    virtual void SetModified(bool modified) = 0;
    // The status bar's pane that names the active unit.
    virtual void SetActiveUnitText(std::string_view text) = 0;

    // Messages, captioned "simQuorvex".
    virtual void ShowMessage(std::string_view text, EMessageIcon icon) = 0;

    // Renderer threads: a finished frame of this device can be shown.
    virtual void FrameReady(CDevice& device) = 0;

    // Calendar time in whole seconds (the run start time).
    virtual int64_t NowSeconds();
    // A steady clock in milliseconds from any origin: the time limit of a run
    // is measured with it, on the run thread.
    virtual int64_t NowMilliseconds();
};

// A host that shows nothing. A host that needs only a few calls derives
// from it.
class CNullHost : public CHost {
public:
    void StartTimer(uint32_t, uint32_t) override {}
    void StopTimer(uint32_t) override {}
    void PostRunStopped(int, EStopReason) override {}
    void UpdateAllViews(uint32_t) override {}
    void SetModified(bool) override {}
    void SetActiveUnitText(std::string_view) override {}
    void ShowMessage(std::string_view, EMessageIcon) override {}
    void FrameReady(CDevice&) override {}

    static CNullHost& Instance();
};
