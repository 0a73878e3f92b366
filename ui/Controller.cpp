#include "ui/Controller.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>

#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/ViewHint.h"
#include "core/WorkspaceFile.h"
#include "system/StandardSystems.h"
#include "tools/Assembler.h"

CController::CController(QWidget* window, QObject* parent)
    : QObject(parent),
      m_ownPrompter(std::make_unique<CDialogPrompter>(window)),
      m_prompter(m_ownPrompter.get()),
      m_host(new CQtHost(window)),
      m_computer(std::make_unique<CComputer>(m_host)) {
    m_host->setParent(this);
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
    m_computer->SetModifiedFlag(false);
    CheckUnits(true);
    emit documentChanged();
    emit viewsUpdated(0);
    emit runStateChanged();
    return true;
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
