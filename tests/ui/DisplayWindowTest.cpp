// "Vic Output" and "Vo16VGA Output": the window shows the renderer's frame
// pixel for pixel at each scale, follows the frame's size, pulls frames
// coalesced, saves them, names the address under the pointer, and stops
// the display when closed.
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "core/Devices.h"
#include "devices/Keyboard.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DisplayWindow.h"
#include "ui/VideoConfigDialog.h"

class DisplayWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SUiWorkspace> w;

    template <class T>
    T* Add(const char* className, const char* name, uint32_t from, uint32_t to, uint32_t stride) {
        SDeviceSettings settings{.className = className, .name = name, .from = from, .to = to};
        settings.stride = stride;
        if (!w->computer.AddDevice(settings)) return nullptr;
        return dynamic_cast<T*>(w->computer.GetDevices()->FindByName(name));
    }
    CDisplayWindow* Open(CVideoDevice& device) {
        CDisplayWindow* window = DeviceUi::OpenDisplayWindow(w->computer, device, nullptr);
        if (window && !QTest::qWaitFor([&] { return window->PulledFrames() > 0; }, 10000))
            return nullptr;
        return window;
    }
    // The window's grab against the device's latest frame, at the scale.
    static int WrongPixels(CDisplayWindow& window) {
        SVideoFrame frame;
        if (!window.Device().CopyFrame(frame)) return -1;
        const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int scale = window.Scale();
        if (shown.size() != QSize(frame.width, frame.height) * scale) return -2;
        int wrong = 0;
        for (uint32_t y = 0; y < frame.height; ++y)
            for (uint32_t x = 0; x < frame.width; ++x)
                for (int d : {0, scale - 1})
                    wrong +=
                        (shown.pixel(x * scale + d, y * scale + d) & 0xFFFFFF) != frame.RgbAt(x, y);
        return wrong;
    }

private slots:
    void init() {
        w = std::make_unique<SUiWorkspace>();
        QVERIFY(
            w->computer.AddDevice({.className = "CRam", .name = "RAM", .from = 0, .to = 0x3FFFF}));
        for (uint32_t a = 0, seed = 7; a < 0x40000; ++a) {
            seed = seed * 1103515245 + 12345;
            w->computer.Write(a, seed >> 16, 1, true);
        }
    }
    void cleanup() { w.reset(); }

    void vicOutputShowsTheFrameAtEveryScale() {
        auto* vic = Add<CVic>("CVic", "VIC", 0x300000, 0x300FFF, 3);
        // Video base 012340, memory rather than the test pattern, border 11.
        for (auto [offset, value] : {std::pair{0u, 0x2340u}, {1, 0x01}, {5, 0x01}, {7, 0x0B}})
            w->computer.Write(0x300000 + 3 * offset, value, 2, false);
        CDisplayWindow* window = Open(*vic);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QString("Vic Output"));
        QTRY_COMPARE(window->FrameImage().pixel(60, 0) & 0xFFFFFF, CVic::kPalette[11]);
        QCOMPARE(window->size(), QSize(424, 240));
        // The first picture pixel is the high nibble of the byte at the base.
        const uint32_t first = w->computer.Read(0x12340, 1);
        QCOMPARE(window->FrameImage().pixel(52, 24) & 0xFFFFFF, CVic::kPalette[first >> 4]);
        for (int scale : {1, 2, 3}) {
            window->SetScale(scale);
            QCOMPARE(window->size(), QSize(424, 240) * scale);
            QCOMPARE(WrongPixels(*window), 0);
        }

        // The hover text and the click's dump address, border and picture.
        QList<uint32_t> dumped;
        DeviceUi::SetDumpHandler([&](uint32_t address) { dumped << address; });
        QCOMPARE(window->DescribePixel(QPoint(5, 5)),
                 QString("1,1: border colour register (7) at 300015 = 0B"));
        QCOMPARE(window->DescribePixel(QPoint(53 * 3, 24 * 3)),
                 QString::asprintf("53,24: byte at 012340 = %02X (bits 0F)", first));
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(56 * 3, 25 * 3));
        QCOMPARE(dumped, QList<uint32_t>{0x12340 + 160 + 2});
        DeviceUi::SetDumpHandler({});

        // A border change in the configuration dialog reaches the window.
        window->SetScale(2);
        CVideoConfigDialog dialog(w->computer, *vic);
        dialog.BorderField()->setChecked(false);
        dialog.accept();
        QTRY_COMPARE(window->size(), QSize(640, 384));
        QTRY_COMPARE(WrongPixels(*window), 0);

        QTemporaryDir folder;
        const QString png = folder.filePath("frame.png");
        QVERIFY(window->SaveFrame(png));
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), window->FrameImage());

        // Closing stops the display; the device keeps running without it.
        window->close();
        QVERIFY(!vic->IsDisplayRunning());
        QVERIFY(!DeviceUi::FindDisplayWindow(*vic));
    }

    void manyNoticesMakeFewPulls() {
        auto* vic = Add<CVic>("CVic", "VIC", 0x300000, 0x300FFF, 3);
        vic->SetRefreshPeriod(64);
        CDisplayWindow* window = Open(*vic);
        QVERIFY(window);
        const int before = window->PulledFrames();
        std::thread flood([vic] {
            for (int i = 0; i < 20000; ++i)
                DeviceUi::FrameReady(*vic);
        });
        flood.join();
        QTest::qWait(200);
        // One pull per period at most: the renderer's own frames and the
        // flood together make a handful, not thousands.
        QVERIFY2(window->PulledFrames() - before <= 6,
                 qPrintable(QString::number(window->PulledFrames() - before)));
        QVERIFY(window->PulledFrames() > before);
    }

    void vo16VgaOutputShowsItsFixedFrame() {
        auto* vga = Add<CVo16VGA>("CVo16VGA", "VGA", 0x400000, 0x400000, 1);
        CDisplayWindow* window = Open(*vga);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QString("Vo16VGA Output"));
        QCOMPARE(window->size(), QSize(576, 455));
        QCOMPARE(WrongPixels(*window), 0);
        window->SetScale(2);
        QCOMPARE(WrongPixels(*window), 0);
        QCOMPARE(window->DescribePixel(QPoint(2 * 575, 2 * 454)),
                 QString::asprintf("575,454: byte at 007FF7 = %02X (bits 01)",
                                   w->computer.Read(0x7FF7, 1)));
        QCOMPARE(window->DescribePixel(QPoint(2 * 576, 0)), QString());

        // Keys typed into the window reach the workspace's keyboard.
        auto* keyboard = Add<CKeyboard>("CKeyboard", "Keyboard", 0x301100, 0x3011FF, 1);
        QTest::keyPress(window, Qt::Key_A);
        QCOMPARE(keyboard->PeekScanCode(), 0x1Eu);
        QTest::keyRelease(window, Qt::Key_A);
        QCOMPARE(keyboard->PeekScanCode(), 0x9Eu);
    }
};

QTEST_MAIN(DisplayWindowTest)
#include "DisplayWindowTest.moc"
