#include "ui/QtHost.h"

#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <algorithm>

#include "core/Computer.h"
#include "ui/Prompter.h"

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

static constexpr int kLimitBit = 8;

void CQtHost::PostRunStopped(int slot, EStopReason reason) {
    const int index = slot >= 0 && slot < kLimitBit ? slot : kLimitBit;
    const uint32_t bit = 1u << index;
    // The latest reason wins; the slot's bit is set after it, so the
    // delivery that clears the bit reads it.
    m_stopReasons[static_cast<size_t>(index)].store(reason, std::memory_order_relaxed);
    if (m_stoppedSlots.fetch_or(bit, std::memory_order_acq_rel) == 0)
        QMetaObject::invokeMethod(
            this, [this] { DeliverRunStopped(); }, Qt::QueuedConnection);
}

void CQtHost::DeliverRunStopped() {
    const uint32_t pending = m_stoppedSlots.exchange(0, std::memory_order_acq_rel);
    for (int bit = 0; bit <= kLimitBit; ++bit) {
        if ((pending >> bit & 1) == 0) continue;
        const int slot = bit == kLimitBit ? CComputer::kRunLimitSlot : bit;
        const EStopReason reason =
            m_stopReasons[static_cast<size_t>(bit)].load(std::memory_order_relaxed);
        if (m_runStoppedHandler)
            m_runStoppedHandler(slot, reason);
        else if (m_computer)
            m_computer->OnRunStopped(slot, reason);
    }
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
    if (m_prompter)
        m_prompter->ShowMessage(
            QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), icon);
}

void CQtHost::FrameReady(CDevice& device) {
    bool post = false;
    {
        std::lock_guard guard(m_frameLock);
        if (std::find(m_pendingFrames.begin(), m_pendingFrames.end(), &device) !=
            m_pendingFrames.end())
            return;
        post = m_pendingFrames.empty();
        m_pendingFrames.push_back(&device);
    }
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { DeliverFrames(); }, Qt::QueuedConnection);
}

void CQtHost::DeliverFrames() {
    std::vector<CDevice*> devices;
    {
        std::lock_guard guard(m_frameLock);
        devices.swap(m_pendingFrames);
    }
    for (CDevice* device : devices)
        emit frameReady(device);
}
