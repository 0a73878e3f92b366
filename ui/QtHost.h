#pragma once
// The desktop host: QTimer per timer id, queued calls for notices from other
// threads, message boxes for messages and questions.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <map>
#include <mutex>
#include <optional>

#include "core/Host.h"

class CComputer;
class QWidget;

class CQtHost final : public QObject, public CHost {
    Q_OBJECT
public:
    explicit CQtHost(QWidget* window);
    ~CQtHost() override;

    void Attach(CComputer* computer) { m_computer = computer; }

    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void StopTimer(uint32_t id) override;
    void PostRunStopped(int slot, EStopReason reason) override;
    void UpdateAllViews(uint32_t hint) override;
    void SetModified(bool modified) override;
    void SetActiveUnitText(std::string_view text) override;
    void ShowMessage(std::string_view text, EMessageIcon icon) override;
    void FrameReady(CDevice& device) override;

    // The questions the commands report as needed, asked with the
    // application's dialogs.
    bool AskYesNo(std::string_view text);
    // The Generate Interrupt dialog; false when cancelled.
    bool AskInterrupt(SInterruptRequest& request);
    // The "Select New System Type" dialog: 0, 1 or 2, nothing when cancelled.
    std::optional<int> AskSystemType();

    // Timer requests from other threads waiting for the GUI thread (for
    // tests of the coalescing).
    size_t PendingTimerRequests() const;

signals:
    void viewsUpdated(unsigned hint);
    void modifiedChanged(bool modified);
    void activeUnitTextChanged(const QString& text);
    void frameReady(CDevice* device);

private:
    // Keeps the latest request for id (a period, or none to stop) and posts
    // one call to apply them all when none was waiting: a program that
    // reprograms a timer in a tight loop costs the event loop one call, not
    // one per write.
    void QueueTimerRequest(uint32_t id, std::optional<uint32_t> periodMs);
    void ApplyTimerRequests();
    void DropTimerRequest(uint32_t id);
    void ApplyTimerRequest(uint32_t id, std::optional<uint32_t> periodMs);

    QPointer<QWidget> m_window;
    CComputer* m_computer = nullptr;
    std::map<uint32_t, QTimer*> m_timers;
    mutable std::mutex m_pendingLock;
    std::map<uint32_t, std::optional<uint32_t>> m_pendingTimers;
};
