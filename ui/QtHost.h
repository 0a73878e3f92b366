#pragma once
// The desktop host: QTimer per timer id, queued calls for notices from other
// threads (coalesced: at most one call waits per kind of notice, and per
// display for frames), messages and questions through the prompter.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/Host.h"

class CComputer;
class CPrompter;
class QWidget;

class CQtHost final : public QObject, public CHost {
    Q_OBJECT
public:
    explicit CQtHost(QWidget* window);
    ~CQtHost() override;

    void Attach(CComputer* computer) { m_computer = computer; }
    // Messages and questions go to the prompter; without one they are not
    // shown and questions get their cautious answer.
    void SetPrompter(CPrompter* prompter) { m_prompter = prompter; }
    // Delivers run-stopped notices on the GUI thread; without a handler they
    // go to CComputer::OnRunStopped.
    void SetRunStoppedHandler(std::function<void(int, EStopReason)> handler) {
        m_runStoppedHandler = std::move(handler);
    }

    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void StopTimer(uint32_t id) override;
    void PostRunStopped(int slot, EStopReason reason) override;
    void UpdateAllViews(uint32_t hint) override;
    void SetModified(bool modified) override;
    void SetActiveUnitText(std::string_view text) override;
    void ShowMessage(std::string_view text, EMessageIcon icon) override;
    void FrameReady(CDevice& device) override;

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

    void DeliverRunStopped();
    void DeliverFrames();

    QPointer<QWidget> m_window;
    CPrompter* m_prompter = nullptr;
    std::function<void(int, EStopReason)> m_runStoppedHandler;
    // Slots whose run-stopped notice waits for the GUI thread (bit 8: the
    // run-limit notice); one queued call delivers them all.
    std::atomic<uint32_t> m_stoppedSlots{0};
    std::array<std::atomic<EStopReason>, 9> m_stopReasons{};
    // Displays with a frame waiting; one queued call delivers them all.
    std::mutex m_frameLock;
    std::vector<CDevice*> m_pendingFrames;
    CComputer* m_computer = nullptr;
    std::map<uint32_t, QTimer*> m_timers;
    mutable std::mutex m_pendingLock;
    std::map<uint32_t, std::optional<uint32_t>> m_pendingTimers;
};
