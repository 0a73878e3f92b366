// On a real X server: the standard Corvane system runs the picture example
// and "Vic Output" shows it. The window's client area is grabbed from the
// screen and compared with the frame `simq --frame` writes for the same run:
// the picture exactly, the border as one colour of the palette (the example
// shows its tick count there, which moves on with time).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/ProgramImage.h"
#include "devices/Vic.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "ui/DeviceUi.h"
#include "ui/DisplayWindow.h"

namespace {

// Timers on QTimers of the GUI thread; frames to the display windows.
class CScreenHost final : public CNullHost {
public:
    explicit CScreenHost(CComputer& computer) : m_computer(computer) {}
    void StartTimer(uint32_t id, uint32_t periodMs) override {
        QMetaObject::invokeMethod(qApp, [this, id, periodMs] {
            QTimer*& timer = m_timers[id];
            if (!timer) {
                timer = new QTimer(qApp);
                QObject::connect(timer, &QTimer::timeout, [this, id] { m_computer.OnTimer(id); });
            }
            timer->start(static_cast<int>(periodMs));
        });
    }
    void StopTimer(uint32_t id) override {
        QMetaObject::invokeMethod(qApp, [this, id] {
            if (QTimer* timer = m_timers[id]) timer->stop();
        });
    }
    void FrameReady(CDevice& device) override { DeviceUi::FrameReady(device); }

private:
    CComputer& m_computer;
    std::map<uint32_t, QTimer*> m_timers;
};

int Fail(const QString& why) {
    std::fprintf(stderr, "VicOutputOnScreen: %s\n", qPrintable(why));
    return 1;
}

bool Wait(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return Fail("no X server (DISPLAY is unset)");
    QApplication app(argc, argv);
    RegisterStandardClasses();
    const QString image = QString(SIMQ_SOURCE_DIR) + "/examples/corvane/picture.s19";

    // The reference: simq's frame after two seconds of the same program.
    QTemporaryDir folder;
    const QString reference = folder.filePath("picture.png");
    QProcess simq;
    simq.start(SIMQ_PATH, {"--system", "corvane", "--load", image, "--limit-seconds", "2",
                           "--run-all", "--frame", "VIC", reference});
    if (!simq.waitForFinished(60000) || simq.exitCode() > 1)
        return Fail("simq failed: " + QString::fromLocal8Bit(simq.readAllStandardError()));
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    if (expected.size() != QSize(424, 240)) return Fail("simq's frame is not 424 x 240");

    CComputer computer;
    CScreenHost host(computer);
    computer.SetHost(&host);
    computer.NewContents();
    std::string error;
    if (!BuildStandardSystem(computer, ESystemType::Corvane, &error))
        return Fail(QString::fromStdString(error));
    const SImageReport load = LoadProgramImage(computer, image.toStdString(), 0);
    if (!load.Clean()) return Fail(QString::fromStdString(DescribeLoad(load, image.toStdString())));
    auto* vic = dynamic_cast<CVic*>(computer.GetDevices()->FindByName("VIC"));
    if (!vic) return Fail("the Corvane system has no VIC");
    CDisplayWindow* window = DeviceUi::OpenDisplayWindow(computer, *vic, nullptr);
    if (!window) return Fail("the display window did not open");
    window->move(40, 40);
    computer.RunAll();

    // Run as simq did, then look at the screen.
    QElapsedTimer running;
    running.start();
    Wait([&] { return running.elapsed() > 2000 && window->PulledFrames() > 2; }, 30000);
    Wait([&] { return window->isVisible(); }, 5000);
    QApplication::processEvents();
    QThread::msleep(300);
    QApplication::processEvents();

    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    const QImage shown =
        window->screen()
            ->grabWindow(0, origin.x(), origin.y(), window->width(), window->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QString saved = qEnvironmentVariable("SIMQ_SCREENSHOT");
    if (!saved.isEmpty()) shown.save(saved);
    computer.StopAll();
    if (shown.size() != expected.size())
        return Fail(QString("the window shows %1 x %2, not 424 x 240")
                        .arg(shown.width())
                        .arg(shown.height()));

    int wrong = 0;
    const QRgb border = shown.pixel(0, 0);
    bool borderInPalette = false;
    for (uint32_t colour : CVic::kPalette)
        borderInPalette |= (0xFF000000u | colour) == border;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 424; ++x) {
            const bool picture = x >= 52 && x < 372 && y >= 24 && y < 216;
            const QRgb want = picture ? expected.pixel(x, y) : border;
            if (shown.pixel(x, y) != want && ++wrong <= 5)
                std::fprintf(stderr, "pixel %d,%d: %08X on screen, %08X expected\n", x, y,
                             shown.pixel(x, y), want);
        }
    }
    DeviceUi::CloseAllDeviceWindows();
    if (!borderInPalette) return Fail("the border is not a colour of the palette");
    if (wrong) return Fail(QString("%1 pixels differ from simq's frame").arg(wrong));
    std::printf("VicOutputOnScreen: the screen shows simq's picture\n");
    return 0;
}
