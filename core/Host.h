#pragma once
// The library's only window on the outside world. The desktop shell, the
// command-line runner and the tests each implement it.
//
// Threads: questions, messages and view updates come from the event thread.
// PostRunStopped comes from the run thread, FrameReady from renderer threads,
// and StartTimer/StopTimer from any thread (device registers written by a
// running program start timers); these must not block. Timer expiry and posted
// notices come back as CComputer::OnTimer and CComputer::OnRunStopped on the
// event thread.
#include <cstdint>
#include <optional>
#include <string_view>

class CDevice;

enum class EMessageIcon { Information, Exclamation, Stop };

// What the Generate Interrupt dialog asks for.
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

    // Run thread: a unit stopped (slot), or a run limit stopped all (10000).
    // The host calls CComputer::OnRunStopped(slot) on the event thread.
    virtual void PostRunStopped(int slot) = 0;

    // Views: a change notification with its hint bits (see ViewHint.h).
    virtual void UpdateAllViews(uint32_t hint) = 0;
    virtual void SetModified(bool modified) = 0;
    // The status bar's pane that names the active unit.
    virtual void SetActiveUnitText(std::string_view text) = 0;

    // Messages and questions, captioned "simQuorvex".
    virtual void ShowMessage(std::string_view text, EMessageIcon icon) = 0;
    virtual bool AskYesNo(std::string_view text) = 0;
    // The Generate Interrupt dialog; false when cancelled.
    virtual bool AskInterrupt(SInterruptRequest& request) = 0;
    // The "Select New System Type" dialog: 0, 1 or 2, nothing when cancelled.
    virtual std::optional<int> AskSystemType() = 0;

    // Renderer threads: a finished frame of this device can be shown.
    virtual void FrameReady(CDevice& device) = 0;

    // Calendar time in whole seconds (run start time and time limits).
    virtual int64_t NowSeconds();
};

// A host that shows nothing and answers every question with its default:
// Yes, the first system type, no interrupt. A host that needs only a few
// calls derives from it.
class CNullHost : public CHost {
public:
    void StartTimer(uint32_t, uint32_t) override {}
    void StopTimer(uint32_t) override {}
    void PostRunStopped(int) override {}
    void UpdateAllViews(uint32_t) override {}
    void SetModified(bool) override {}
    void SetActiveUnitText(std::string_view) override {}
    void ShowMessage(std::string_view, EMessageIcon) override {}
    bool AskYesNo(std::string_view) override { return true; }
    bool AskInterrupt(SInterruptRequest&) override { return false; }
    std::optional<int> AskSystemType() override { return 0; }
    void FrameReady(CDevice&) override {}

    static CNullHost& Instance();
};
