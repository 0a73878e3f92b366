#include "ui/Controller.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <algorithm>

#include "core/DebugSidecar.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/ViewHint.h"
#include "core/WorkspaceFile.h"
#include "system/StandardSystems.h"
#include "tools/Assembler.h"
#include "tools/BreakpointCondition.h"

CController::CController(QWidget* window, QObject* parent)
    : QObject(parent),
      m_ownPrompter(std::make_unique<CDialogPrompter>(window)),
      m_prompter(m_ownPrompter.get()),
      m_host(new CQtHost(window)),
      m_computer(std::make_unique<CComputer>(m_host)) {
    m_host->setParent(this);
    if (!CDebugger::HasConditionCompiler()) InstallBreakpointConditions();
    m_host->Attach(m_computer.get());
    m_host->SetPrompter(m_prompter);
    connect(m_host, &CQtHost::viewsUpdated, this, &CController::OnHint);
    m_host->SetRunStoppedHandler(
        [this](int slot, EStopReason reason) { OnRunStopped(slot, reason); });
    connect(m_host, &CQtHost::modifiedChanged, this, &CController::documentChanged);
    connect(m_host, &CQtHost::activeUnitTextChanged, this, &CController::activeUnitChanged);
    connect(m_host, &CQtHost::frameReady, this, [this](CDevice* device) {
        // A display removed since its frame was posted is not passed on.
        const CDevices* devices = m_computer->GetDevices();
        if (!devices) return;
        for (int n = 0; n < devices->GetCount(); ++n)
            if (devices->GetAt(n) == device) return emit frameReady(device);
    });
    // Single shot, started again only once the refresh it caused has been
    // painted: however slow the painting, the event loop gets a full period
    // for everything else between two refreshes.
    m_liveTimer.setInterval(kRefreshPeriodMs);
    m_liveTimer.setSingleShot(true);
    connect(&m_liveTimer, &QTimer::timeout, this, &CController::LiveTick);
}

CController::~CController() {
    m_liveTimer.stop();
    // The workspace (and its run thread) goes before the host it reports to.
    m_computer.reset();
}

void CController::SetPrompter(CPrompter* prompter) {
    m_prompter = prompter ? prompter : m_ownPrompter.get();
    m_host->SetPrompter(m_prompter);
}

// --- Documents ----------------------------------------------------------------

QString CController::DocumentName() const {
    return m_path.isEmpty() ? QString(kUntitled) : QFileInfo(m_path).fileName();
}

bool CController::NewDocument() {
    std::optional<ESystemType> type;
    if (NewWorkspaceNeedsType()) {
        const std::optional<int> chosen = m_prompter->AskSystemType();
        if (!chosen) return false;
        type = static_cast<ESystemType>(*chosen);
    }
    std::string error;
    if (!NewWorkspace(*m_computer, type, &error)) {
        if (!error.empty())
            m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
        return false;
    }
    m_path.clear();
    m_computer->SetModifiedFlag(false);
    CheckUnits(true);
    emit documentChanged();
    emit viewsUpdated(0);
    emit runStateChanged();
    return true;
}

bool CController::OpenDocument(const QString& path) {
    std::string error;
    // The file is tried on a scratch workspace first: one that cannot be
    // read leaves the open workspace as it was.
    {
        CComputer scratch;
        if (!OpenWorkspaceFile(scratch, path.toStdString(), &error)) {
            m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
            return false;
        }
    }
    if (!OpenWorkspaceFile(*m_computer, path.toStdString(), &error)) {
        m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
        // The file changed in between: the window still shows a workspace.
        m_path.clear();
        if (m_computer->IsEmpty()) m_computer->NewContents();
        m_computer->StartRunThread();
        m_computer->SetModifiedFlag(false);
        CheckUnits(true);
        emit documentChanged();
        emit viewsUpdated(0);
        return false;
    }
    m_path = path;
    LoadSidecar();
    m_computer->SetModifiedFlag(false);
    CheckUnits(true);
    emit documentChanged();
    emit debugAidsChanged();
    emit viewsUpdated(0);
    emit runStateChanged();
    return true;
}

void CController::LoadSidecar() {
    // The debugging aids are an extra: a bad sidecar is reported, the
    // workspace stays open.
    std::string error;
    const bool read = LoadDebugSidecar(*m_computer, m_path.toStdString(), error);
    if (!error.empty()) {
        const QString name =
            QFileInfo(QString::fromStdString(DebugSidecarPath(m_path.toStdString()))).fileName();
        m_prompter->ShowMessage(
            read ? QString("Some debugging aids in %1 were skipped: %2")
                       .arg(name, QString::fromStdString(error))
                 : QString("The debugging aids in %1 could not be read and were left out: %2")
                       .arg(name, QString::fromStdString(error)),
            EMessageIcon::Exclamation);
    }
}

bool CController::SaveDocument(const QString& path) {
    std::string error;
    if (!SaveWorkspaceFile(*m_computer, path.toStdString(), &error)) {
        m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
        return false;
    }
    m_path = path;
    m_computer->SetModifiedFlag(false);
    emit documentChanged();
    if (!SaveDebugSidecar(*m_computer, path.toStdString(), error))
        m_prompter->ShowMessage(
            QString("The workspace was saved, but its debugging aids were not: %1")
                .arg(QString::fromStdString(error)),
            EMessageIcon::Exclamation);
    return true;
}

bool CController::MaybeSave(const std::function<QString()>& saveAs) {
    if (!m_computer->IsModified()) return true;
    switch (m_prompter->AskSaveChanges(m_path.isEmpty() ? QString(kUntitled) : m_path)) {
        case ESaveAnswer::kCancel: return false;
        case ESaveAnswer::kDiscard: return true;
        case ESaveAnswer::kSave: break;
    }
    const QString path = m_path.isEmpty() ? saveAs() : m_path;
    return !path.isEmpty() && SaveDocument(path);
}

// --- Units --------------------------------------------------------------------

CMpu* CController::Unit(int slot) const {
    const CMpus* units = m_computer->GetMpus();
    if (!units || slot < 0 || slot >= units->GetCount()) return nullptr;
    return units->GetAt(slot);
}

int CController::UnitCount() const {
    const CMpus* units = m_computer->GetMpus();
    return units ? units->GetCount() : 0;
}

CMpu* CController::ActiveUnit() const {
    return Unit(m_computer->GetActiveSlot());
}

void CController::SetActiveSlot(int slot) {
    if (!Unit(slot) || slot == ActiveSlot()) return;
    m_computer->SetActiveProcessor(static_cast<uint32_t>(slot));
    emit runStateChanged();
}

bool CController::IsRunning(int slot) const {
    const CMpu* unit = Unit(slot);
    return unit && (unit->IsRunning() || unit->GetAnimationRate() != 0);
}

bool CController::AnyBusy() const {
    for (int slot = 0; slot < UnitCount(); ++slot)
        if (IsRunning(slot)) return true;
    return false;
}

// --- Run commands -------------------------------------------------------------

void CController::Drive(const std::function<ERunStart(bool, const SInterruptRequest*)>& command,
                        bool confirmed) {
    ++m_stopCount;
    std::optional<SInterruptRequest> interrupt;
    // Each answer is asked for at most once: the caution prompt, then the
    // interrupt dialog.
    for (int round = 0; round < 3; ++round) {
        const ERunStart start = command(confirmed, interrupt ? &*interrupt : nullptr);
        if (start == ERunStart::kNeedsConfirmation && !confirmed) {
            if (!m_prompter->AskYesNo(CComputer::kCautionText)) break;
            confirmed = true;
        } else if (start == ERunStart::kNeedsInterrupt && !interrupt) {
            // A cancelled dialog is a request with nothing checked: the run goes on.
            interrupt = m_prompter->AskInterrupt().value_or(SInterruptRequest{});
        } else {
            break;
        }
    }
    AfterCommand();
}

void CController::Run(bool confirmed) {
    Drive([this](bool yes,
                 const SInterruptRequest* request) { return m_computer->Run(yes, request); },
          confirmed);
}

void CController::RunAll() {
    Drive([this](bool, const SInterruptRequest* request) { return m_computer->RunAll(request); });
}

void CController::Stop() {
    ++m_stopCount;
    m_computer->Stop();
    AfterCommand();
}

void CController::StopAll() {
    ++m_stopCount;
    m_computer->StopAll();
    AfterCommand();
}

void CController::StepInto() {
    Drive([this](bool, const SInterruptRequest* request) { return m_computer->StepInto(request); });
}

void CController::BounceOver() {
    Drive([this](bool yes, const SInterruptRequest* request) {
        return m_computer->BounceOver(yes, request);
    });
}

void CController::StepOut() {
    Drive([this](bool yes, const SInterruptRequest* request) {
        return m_computer->StepOut(yes, request);
    });
}

void CController::GenerateInterrupt() {
    if (!ActiveUnit()) return;
    ++m_stopCount;
    if (const auto request = m_prompter->AskInterrupt()) m_computer->GenerateInterrupt(*request);
    AfterCommand();
}

void CController::ToggleBreakpoint() {
    m_computer->ToggleBreakpoint();
    AfterCommand();
}

void CController::Animate(int rate) {
    ++m_stopCount;
    m_computer->Animate(rate);
    AfterCommand();
}

void CController::ToggleBreakpointAt(int slot, uint32_t address) {
    CMpu* unit = Unit(slot);
    if (!unit) return;
    CBreakpoints& breakpoints = unit->Breakpoints();
    if (breakpoints.Find(address) >= 0) {
        breakpoints.Remove(address);
    } else if (!breakpoints.Add(address)) {
        m_prompter->ShowMessage(CComputer::kNoMoreBreakpointsText, EMessageIcon::Exclamation);
    }
    m_computer->UpdateAllViews(kHintBreakpoints);
}

void CController::SetRunLimits(const SRunLimits& limits) {
    m_computer->SetRunLimits(limits);
    emit runLimitsChanged();
}

void CController::AfterCommand() {
    const bool busy = AnyBusy();
    if (busy && !m_liveTimer.isActive()) m_liveTimer.start();
    if (!busy) FlushViews();
    if (busy != m_wasBusy) m_wasBusy = busy;
    emit runStateChanged();
}

// --- Load and Dump -----------------------------------------------------------

void CController::LoadImage(const QString& path, uint32_t loadAddress) {
    ++m_stopCount;
    const SImageReport report = LoadProgramImage(*m_computer, path.toStdString(), loadAddress);
    AfterCommand();
    if (!report.error.empty()) {
        m_prompter->ShowMessage(QString::fromStdString(report.error), EMessageIcon::Stop);
        return;
    }
    const std::string description = DescribeLoad(report, path.toStdString());
    if (!description.empty())
        m_prompter->ShowMessage(QString::fromStdString(description), EMessageIcon::Exclamation);
    emit statusText(
        QString("Loaded %1 bytes from %2").arg(report.bytes).arg(QFileInfo(path).fileName()));
}

bool CController::DumpImage(const QString& path, uint32_t first, uint32_t last, uint32_t entry) {
    const SImageReport report =
        DumpProgramImage(*m_computer, path.toStdString(), first, last, entry);
    if (!report.error.empty()) {
        m_prompter->ShowMessage(QString::fromStdString(report.error), EMessageIcon::Stop);
        return false;
    }
    return true;
}

bool CController::AssembleAndLoad(const QString& path) {
    CMpu* unit = Unit(ActiveSlot());
    SAssemblyOptions options;
    if (unit) options.processor = ProcessorOfUnit(*unit);
    const SAssembly assembly = CAssembler::AssembleFile(path.toStdString(), options);
    const QString name = QFileInfo(path).fileName();
    if (!assembly.Ok()) {
        // The first errors, one a line; the count of the rest.
        constexpr size_t kShown = 20;
        QString text = QString("%1 could not be assembled; nothing was loaded.\n\n").arg(name);
        for (size_t i = 0; i < assembly.errors.size() && i < kShown; ++i)
            text += QString::fromStdString(assembly.errors[i].Text()) + "\n";
        if (assembly.errors.size() > kShown)
            text += QString("... and %1 more").arg(assembly.errors.size() - kShown);
        m_prompter->ShowMessage(text.trimmed(), EMessageIcon::Stop);
        return false;
    }
    ++m_stopCount;
    LoadAssembly(*m_computer, unit, assembly);
    AfterCommand();
    emit statusText(QString("Assembled %1: %2 bytes and %3 symbols loaded")
                        .arg(name)
                        .arg(assembly.ByteCount())
                        .arg(assembly.symbols.Size()));
    return true;
}

bool CController::LoadSymbols(const QString& path) {
    CMpu* unit = Unit(ActiveSlot());
    if (!unit) {
        m_prompter->ShowMessage(
            "The workspace has no active processing unit to give the symbols to.",
            EMessageIcon::Exclamation);
        return false;
    }
    const size_t before = unit->Symbols().Size();
    std::string error;
    if (!unit->Symbols().LoadFile(path.toStdString(), &error)) {
        m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
        return false;
    }
    m_computer->UpdateAllViews(kHintCodeMoved);
    emit statusText(QString("Loaded %1 symbols from %2")
                        .arg(unit->Symbols().Size() - before)
                        .arg(QFileInfo(path).fileName()));
    return true;
}

// --- Debugging aids -------------------------------------------------------------

void CController::AidsChanged() {
    // Kept in the sidecar, which is saved with the workspace.
    m_computer->SetModifiedFlag(true);
    emit debugAidsChanged();
    m_computer->UpdateAllViews(0);
}

bool CController::AddWatchpoint(const QString& text, int slot) {
    SWatchpoint watch;
    std::string error;
    if (!ParseWatchpoint(text.trimmed().toStdString(), watch, error)) {
        m_prompter->ShowMessage(
            QString("%1 is not a watchpoint: %2\n\nWrite r, w or rw, a colon, the first "
                    "address, optionally -last address and =value or !=value, in hexadecimal "
                    "(w:0200-02FF=05).")
                .arg(text.trimmed(), QString::fromStdString(error)),
            EMessageIcon::Exclamation);
        return false;
    }
    watch.slot = slot;
    if (std::find(Debugger().GetWatchpoints().begin(), Debugger().GetWatchpoints().end(), watch) !=
        Debugger().GetWatchpoints().end()) {
        m_prompter->ShowMessage("Watchpoint already defined.", EMessageIcon::Exclamation);
        return false;
    }
    Debugger().AddWatchpoint(watch);
    AidsChanged();
    return true;
}

void CController::RemoveWatchpoint(size_t index) {
    if (index >= Debugger().GetWatchpoints().size()) return;
    Debugger().RemoveWatchpoint(index);
    AidsChanged();
}

bool CController::SetBreakpointCondition(int slot, uint32_t address, const QString& condition,
                                         uint32_t ignoreCount) {
    std::string error;
    if (!Debugger().SetCondition(slot, address, condition.toStdString(), ignoreCount, &error)) {
        m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Exclamation);
        return false;
    }
    AidsChanged();
    return true;
}

void CController::SetHistoryEnabled(bool enabled) {
    if (enabled == Debugger().IsHistoryEnabled()) return;
    Debugger().SetHistoryEnabled(enabled);
    AidsChanged();
}

void CController::SetHistoryLimits(const SHistoryLimits& limits) {
    Debugger().SetHistoryLimits(limits);
    AidsChanged();
}

void CController::SetProfileEnabled(bool enabled) {
    if (enabled == Debugger().IsProfileEnabled()) return;
    Debugger().SetProfileEnabled(enabled);
    AidsChanged();
}

void CController::ResetProfiles() {
    Debugger().ResetProfiles();
    emit debugAidsChanged();
    m_computer->UpdateAllViews(0);
}

bool CController::SaveProfile(const QString& path) {
    std::string error;
    if (!Debugger().WriteProfileCsv(path.toStdString(), error)) {
        m_prompter->ShowMessage(QString::fromStdString(error), EMessageIcon::Stop);
        return false;
    }
    emit statusText(QString("Profile saved to %1").arg(QFileInfo(path).fileName()));
    return true;
}

uint64_t CController::StepBack(uint64_t count) {
    const int slot = ActiveSlot();
    CMpu* unit = ActiveUnit();
    if (!unit) return 0;
    if (IsRunning(slot)) {
        m_prompter->ShowMessage("Stop the processor before stepping back.",
                                EMessageIcon::Exclamation);
        return 0;
    }
    if (!Debugger().IsHistoryEnabled()) {
        m_prompter->ShowMessage(
            "History is off, so there is nothing to step back through. Turn on Run > Record "
            "History, then run or step the program.",
            EMessageIcon::Exclamation);
        return 0;
    }
    const uint64_t undone =
        count == 0 ? Debugger().RunBack(slot) : Debugger().StepBack(slot, count);
    ++m_stopCount;
    m_computer->RefreshUnit(slot);
    FlushViews();
    emit runStateChanged();
    if (undone == 0) {
        emit statusText("No history left to step back through");
        return 0;
    }
    const QString pc =
        QString("%1")
            .arg(unit->GetPC(), unit->GetAddressMask() > 0xFFFF ? 6 : 4, 16, QLatin1Char('0'))
            .toUpper();
    emit statusText(QString("Stepped back %1 instruction%2 to %3; device side effects (keys "
                            "taken, timers, displays) are not undone")
                        .arg(undone)
                        .arg(undone == 1 ? "" : "s")
                        .arg(pc));
    return undone;
}

uint64_t CController::RunBack() {
    return StepBack(0);
}

QString CController::DescribeStop(int slot, EStopReason reason) const {
    const CMpu* unit = Unit(slot);
    const QString who =
        slot == CComputer::kRunLimitSlot ? QString("All processors")
        : unit ? QString("MPU%1 %2").arg(slot).arg(QString::fromStdString(unit->GetName()))
               : QString("MPU%1").arg(slot);
    QString text = who + " stopped: " + StopReasonText(reason);
    if (!unit) return text;
    const auto hex = [unit](uint32_t value, int digits = 0) {
        if (digits == 0) digits = unit->GetAddressMask() > 0xFFFF ? 6 : 4;
        return QString("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
    };
    text += " at " + hex(unit->GetPC());
    const SStopDetail detail = m_computer->Debugger().GetStopDetail(slot);
    if (reason == EStopReason::kWatchpoint && detail.reason == reason) {
        text +=
            QString(": %1 %2 %3 %4 by the instruction at %5")
                .arg(detail.access == kWatchRead ? "read" : "wrote")
                .arg(hex(detail.value, static_cast<int>(2 * std::max<uint32_t>(1, detail.size))))
                .arg(detail.access == kWatchRead ? "from" : "to")
                .arg(hex(detail.address))
                .arg(hex(detail.instruction));
    } else if (reason == EStopReason::kCondition && detail.reason == reason) {
        text += QString(" (hit %1)").arg(detail.hits);
    }
    return text;
}

// --- Notices ------------------------------------------------------------------

void CController::OnHint(unsigned hint) {
    if (hint == 0) m_pendingAll = true;
    m_pendingHint |= hint;
    m_pending = true;
    if (!AnyBusy()) {
        FlushViews();
    } else if (!m_liveTimer.isActive()) {
        m_liveTimer.start();
    }
}

void CController::FlushViews() {
    CheckUnits();
    if (!m_pending) return;
    const unsigned hint = m_pendingAll ? 0 : m_pendingHint;
    m_pending = m_pendingAll = false;
    m_pendingHint = 0;
    emit viewsUpdated(hint);
}

void CController::OnRunStopped(int slot, EStopReason reason) {
    // Counted before the views hear of it: the register forms compare with
    // the values of the previous stop.
    ++m_stopCount;
    m_computer->OnRunStopped(slot, reason);
    emit runStopped(slot, reason);
    FlushViews();
    if (!AnyBusy()) m_liveTimer.stop();
    m_wasBusy = AnyBusy();
    emit runStateChanged();
}

void CController::LiveTick() {
    FlushViews();
    const bool busy = AnyBusy();
    if (busy) {
        // The views read memory for their listings: with the run thread held
        // between two passes they do not wait for the bus behind it.
        m_computer->PauseRunThread();
        emit liveRefresh();
        m_computer->ResumeRunThread();
        // Posted at low priority, after the views' paint requests, so that the
        // next period starts once they are done.
        QCoreApplication::postEvent(this, new QEvent(kRearmEvent), Qt::LowEventPriority);
    } else {
        m_liveTimer.stop();
    }
    if (busy != m_wasBusy) {
        m_wasBusy = busy;
        emit runStateChanged();
    }
}

bool CController::event(QEvent* event) {
    if (event->type() != kRearmEvent) return QObject::event(event);
    if (AnyBusy() && !m_liveTimer.isActive()) m_liveTimer.start();
    return true;
}

void CController::CheckUnits(bool force) {
    // A new unit set may be allocated where the old one was, with the same
    // generation: the units themselves are compared too.
    std::vector<std::string> signature;
    if (const CMpus* units = m_computer->GetMpus()) {
        signature.push_back(std::to_string(reinterpret_cast<uintptr_t>(units)) + "/" +
                            std::to_string(units->GetGeneration()));
        for (int slot = 0; slot < units->GetCount(); ++slot) {
            const CMpu* unit = units->GetAt(slot);
            signature.push_back(std::to_string(reinterpret_cast<uintptr_t>(unit)) +
                                unit->GetClassName() + "/" + unit->GetName());
        }
    }
    if (!force && signature == m_unitSignature) return;
    m_unitSignature = std::move(signature);
    emit unitsChanged();
}
