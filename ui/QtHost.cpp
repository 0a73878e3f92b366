#include "ui/QtHost.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QSpinBox>
#include <QThread>
#include <QWidget>

#include "core/Computer.h"

static const char* const kCaption = "simQuorvex";

CQtHost::CQtHost(QWidget* window) : QObject(window), m_window(window) {}

CQtHost::~CQtHost() {
    for (auto& [id, timer] : m_timers)
        delete timer;
}

void CQtHost::StartTimer(uint32_t id, uint32_t periodMs) {
    // A running program starts device timers from the run thread; QTimer lives
    // on the GUI thread, so such calls wait for it there.
    if (QThread::currentThread() != thread()) {
        QueueTimerRequest(id, periodMs);
        return;
    }
    DropTimerRequest(id);
    ApplyTimerRequest(id, periodMs);
}

void CQtHost::StopTimer(uint32_t id) {
    if (QThread::currentThread() != thread()) {
        QueueTimerRequest(id, std::nullopt);
        return;
    }
    DropTimerRequest(id);
    ApplyTimerRequest(id, std::nullopt);
}

size_t CQtHost::PendingTimerRequests() const {
    std::lock_guard guard(m_pendingLock);
    return m_pendingTimers.size();
}

void CQtHost::QueueTimerRequest(uint32_t id, std::optional<uint32_t> periodMs) {
    bool post = false;
    {
        std::lock_guard guard(m_pendingLock);
        post = m_pendingTimers.empty();
        m_pendingTimers[id] = periodMs;
    }
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { ApplyTimerRequests(); }, Qt::QueuedConnection);
}

void CQtHost::ApplyTimerRequests() {
    std::map<uint32_t, std::optional<uint32_t>> pending;
    {
        std::lock_guard guard(m_pendingLock);
        pending.swap(m_pendingTimers);
    }
    for (const auto& [id, periodMs] : pending)
        ApplyTimerRequest(id, periodMs);
}

// A request made on the GUI thread is later than any still waiting for the
// same timer, which it replaces.
void CQtHost::DropTimerRequest(uint32_t id) {
    std::lock_guard guard(m_pendingLock);
    m_pendingTimers.erase(id);
}

void CQtHost::ApplyTimerRequest(uint32_t id, std::optional<uint32_t> periodMs) {
    if (!periodMs) {
        auto found = m_timers.find(id);
        if (found != m_timers.end()) found->second->stop();
        return;
    }
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_computer) m_computer->OnTimer(id);
        });
    }
    timer->start(static_cast<int>(*periodMs));
}

void CQtHost::PostRunStopped(int slot, EStopReason reason) {
    QMetaObject::invokeMethod(
        this,
        [this, slot, reason] {
            if (m_computer) m_computer->OnRunStopped(slot, reason);
        },
        Qt::QueuedConnection);
}

void CQtHost::UpdateAllViews(uint32_t hint) {
    emit viewsUpdated(hint);
}

void CQtHost::SetModified(bool modified) {
    emit modifiedChanged(modified);
}

void CQtHost::SetActiveUnitText(std::string_view text) {
    emit activeUnitTextChanged(
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void CQtHost::ShowMessage(std::string_view text, EMessageIcon icon) {
    const QString message = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    switch (icon) {
        case EMessageIcon::Information:
            QMessageBox::information(m_window, kCaption, message);
            break;
        case EMessageIcon::Exclamation: QMessageBox::warning(m_window, kCaption, message); break;
        case EMessageIcon::Stop: QMessageBox::critical(m_window, kCaption, message); break;
    }
}

bool CQtHost::AskYesNo(std::string_view text) {
    const QString message = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return QMessageBox::question(m_window, kCaption, message, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool CQtHost::AskInterrupt(SInterruptRequest& request) {
    QDialog dialog(m_window);
    dialog.setWindowTitle("Generate Interrupt");
    auto* code = new QSpinBox(&dialog);
    code->setRange(-1, 15);
    code->setValue(request.code);
    auto* irq = new QCheckBox("IRQ", &dialog);
    auto* nmi = new QCheckBox("NMI", &dialog);
    auto* reset = new QCheckBox("Reset", &dialog);
    irq->setChecked(request.irq);
    nmi->setChecked(request.nmi);
    reset->setChecked(request.reset);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow("IRQ code:", code);
    form->addRow(irq);
    form->addRow(nmi);
    form->addRow(reset);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    request.code = code->value();
    request.irq = irq->isChecked();
    request.nmi = nmi->isChecked();
    request.reset = reset->isChecked();
    return true;
}

std::optional<int> CQtHost::AskSystemType() {
    const QStringList types = {"Default Corvane Architecture", "Default RARA Architecture",
                               "Blank System"};
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_window, "Select New System Type",
                                                 "System type:", types, 0, false, &ok);
    if (!ok) return std::nullopt;
    return static_cast<int>(types.indexOf(chosen));
}

void CQtHost::FrameReady(CDevice& device) {
    CDevice* target = &device;
    QMetaObject::invokeMethod(
        this, [this, target] { emit frameReady(target); }, Qt::QueuedConnection);
}
