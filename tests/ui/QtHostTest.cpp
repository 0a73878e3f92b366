// The desktop host's timers asked for from another thread (a running program
// reprogramming a timer device): however many requests, the GUI thread gets
// one call, and the timer ends as the last request left it.
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <thread>

#include "ui/QtHost.h"

class QtHostTest : public QObject {
    Q_OBJECT
private slots:
    void timerRequestsFromAnotherThreadAreCoalesced() {
        struct SCase {
            bool endStopped;
            int lastPeriod;
        };
        for (const SCase c : {SCase{false, 700}, SCase{true, 0}}) {
            CQtHost host(nullptr);
            std::thread program([&] {
                for (int i = 0; i < 100000; ++i) {
                    host.StartTimer(0x10, 100 + i % 7);
                    host.StartTimer(0x11, 900);
                    if (i % 3 == 0) host.StopTimer(0x10);
                }
                if (c.endStopped)
                    host.StopTimer(0x10);
                else
                    host.StartTimer(0x10, static_cast<uint32_t>(c.lastPeriod));
            });
            program.join();
            QCOMPARE(host.PendingTimerRequests(), size_t{2});
            QCoreApplication::processEvents();
            QCOMPARE(host.PendingTimerRequests(), size_t{0});
            // Timer 0x10 exists only when its last request started it.
            const auto timers = host.findChildren<QTimer*>();
            QCOMPARE(timers.size(), c.endStopped ? 1 : 2);
            for (QTimer* timer : timers) {
                QVERIFY(timer->isActive());
                if (timer->interval() != 900) QCOMPARE(timer->interval(), c.lastPeriod);
            }
        }
    }

    void runStoppedNoticesAreGatheredPerSlot() {
        CQtHost host(nullptr);
        std::vector<std::pair<int, EStopReason>> delivered;
        host.SetRunStoppedHandler(
            [&](int slot, EStopReason reason) { delivered.emplace_back(slot, reason); });
        std::thread runThread([&] {
            for (int i = 0; i < 1000; ++i)
                host.PostRunStopped(10000, EStopReason::kInstructionLimit);
            host.PostRunStopped(3, EStopReason::kRunTo);
            host.PostRunStopped(3, EStopReason::kBreakpoint);
        });
        runThread.join();
        QCoreApplication::processEvents();
        const std::vector<std::pair<int, EStopReason>> expected = {
            {3, EStopReason::kBreakpoint}, {10000, EStopReason::kInstructionLimit}};
        QVERIFY(delivered == expected);
    }

    void aRequestOnTheGuiThreadReplacesOneStillWaiting() {
        CQtHost host(nullptr);
        std::thread([&] { host.StartTimer(0x10, 50); }).join();
        host.StopTimer(0x10);
        QCoreApplication::processEvents();
        const auto timers = host.findChildren<QTimer*>();
        QVERIFY(timers.isEmpty() || !timers.front()->isActive());
    }
};

QTEST_MAIN(QtHostTest)
#include "QtHostTest.moc"
