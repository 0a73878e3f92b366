#pragma once
// CController: the one object between the desktop's widgets and the
// workspace. It owns the workspace and its host, asks the user the questions
// the commands need, turns the run thread's and renderers' notices into
// signals on the GUI thread, and paces the views: change notifications are
// passed on at once while no unit runs, and gathered into one notification
// every kRefreshPeriod while units run or animate, when the views are also
// told to show the live state (liveRefresh). Nothing is queued per
// instruction or per frame.
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Debugger.h"
#include "core/Device.h"
#include "ui/Prompter.h"
#include "ui/QtHost.h"

class CMpu;

class CController final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshPeriodMs = 33;
    static constexpr const char* kUntitled = "Untitled";

    explicit CController(QWidget* window, QObject* parent = nullptr);
    ~CController() override;

    CComputer& Workspace() { return *m_computer; }
    CQtHost& Host() { return *m_host; }
    // The prompter that asks and tells the user; tests install their own.
    CPrompter& Prompter() { return *m_prompter; }
    void SetPrompter(CPrompter* prompter);

    // Documents. Each returns false when nothing changed (cancelled or
    // failed; a failure has been reported).
    bool NewDocument();
    bool OpenDocument(const QString& path);
    bool SaveDocument(const QString& path);
    // The save-changes question before the workspace is replaced: true when
    // the caller may go on. saveAs is asked for a path when the workspace has
    // none yet (empty: cancelled).
    bool MaybeSave(const std::function<QString()>& saveAs);
    QString Path() const { return m_path; }
    QString DocumentName() const;
    bool IsModified() const { return m_computer->IsModified(); }

    // Units.
    CMpu* Unit(int slot) const;  // nullptr for an empty slot
    int UnitCount() const;
    CMpu* ActiveUnit() const;  // nullptr without one
    int ActiveSlot() const { return m_computer->GetActiveSlot(); }
    void SetActiveSlot(int slot);
    bool IsRunning(int slot) const;  // running or animating
    bool AnyBusy() const;

    // Run commands on the active unit (Run All, Stop All: every unit).
    // confirmed: the caution question has been answered (or is not asked).
    void Run(bool confirmed = false);
    void RunAll();
    void Stop();
    void StopAll();
    void StepInto();
    void BounceOver();
    void StepOut();
    void GenerateInterrupt();
    void ToggleBreakpoint();
    void Animate(int rate);
    // A breakpoint click in a code view: toggles address (in the unit's
    // breakpoint numbering) of the unit in slot.
    void ToggleBreakpointAt(int slot, uint32_t address);
    void SetRunLimits(const SRunLimits& limits);

    // Load and Dump; the report (if any) has been shown.
    void LoadImage(const QString& path, uint32_t loadAddress);
    bool DumpImage(const QString& path, uint32_t first, uint32_t last, uint32_t entry);
    // Assembles a source for the active unit's processor (unless it names
    // its own) and loads the image and its symbols; every error is shown.
    bool AssembleAndLoad(const QString& path);
    // Adds a symbol file (the assembler's or a linker's label file) to the
    // active unit's symbols.
    bool LoadSymbols(const QString& path);

    // Debugging aids of the workspace (watchpoints, breakpoint conditions,
    // history, profiles); kept beside the workspace file in its sidecar.
    CDebugger& Debugger() { return m_computer->Debugger(); }
    // Each returns false with the reason shown when nothing changed.
    bool AddWatchpoint(const QString& text, int slot);
    void RemoveWatchpoint(size_t index);
    bool SetBreakpointCondition(int slot, uint32_t address, const QString& condition,
                                uint32_t ignoreCount);
    void SetHistoryEnabled(bool enabled);
    void SetHistoryLimits(const SHistoryLimits& limits);
    void SetProfileEnabled(bool enabled);
    void ResetProfiles();
    bool SaveProfile(const QString& path);
    // Step Back and Run Back on the active unit, which must be stopped; the
    // instructions undone (0: none, and the user has been told why).
    uint64_t StepBack(uint64_t count = 1);
    uint64_t RunBack();
    // "MPU0 6502 stopped: ..." with what a watchpoint saw or a condition's hits.
    QString DescribeStop(int slot, EStopReason reason) const;

    // Passes on the change notifications gathered so far (tests; the timer
    // does it while units run).
    void FlushViews();
    // Moves on with every run-control action and run-stopped notice: the
    // register forms compare with the values of the previous stop.
    uint64_t StopCount() const { return m_stopCount; }

signals:
    // A change notification with its hint bits (0: redraw everything).
    void viewsUpdated(unsigned hint);
    // While units run: every kRefreshPeriodMs, views show the live state.
    void liveRefresh();
    // The unit set changed (new, open, or an edit of the machine).
    void unitsChanged();
    // Some unit started or stopped; enable states follow.
    void runStateChanged();
    void documentChanged();
    void activeUnitChanged(const QString& name);
    void runLimitsChanged();
    // Watchpoints, conditions, or the history and profile switches changed.
    void debugAidsChanged();
    // A line for the status bar's message pane.
    void statusText(const QString& text);
    // A run stopped (slot, or CComputer::kRunLimitSlot for a run limit), and why.
    void runStopped(int slot, EStopReason reason);
    // A display has a new frame (at most one per display waits at a time).
    void frameReady(CDevice* device);

protected:
    bool event(QEvent* event) override;

private:
    static constexpr QEvent::Type kRearmEvent = static_cast<QEvent::Type>(QEvent::User + 18);
    void OnHint(unsigned hint);
    void OnRunStopped(int slot, EStopReason reason);
    // Runs a command, asking the answers it reports as needed and calling
    // it again with them.
    void Drive(
        const std::function<ERunStart(bool confirmed, const SInterruptRequest* interrupt)>& command,
        bool confirmed = false);
    void AfterCommand();
    // Tells the views when the unit set changed (always with force).
    void CheckUnits(bool force = false);
    // The debugging aids changed: the sidecar needs saving with the workspace.
    void AidsChanged();
    void LoadSidecar();
    void LiveTick();

    std::unique_ptr<CPrompter> m_ownPrompter;
    CPrompter* m_prompter;
    CQtHost* m_host;
    std::unique_ptr<CComputer> m_computer;
    QString m_path;
    // Gathered hint bits, and whether a 0 (everything) was among them.
    unsigned m_pendingHint = 0;
    bool m_pendingAll = false;
    bool m_pending = false;
    QTimer m_liveTimer;
    std::vector<std::string> m_unitSignature;
    bool m_wasBusy = false;
    uint64_t m_stopCount = 0;
};
