// "VIC Configuration" and "VO16VGA Configuration": the slider over the
// refresh table, Border, OK and Cancel, and Reopen Window.
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "core/Devices.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DisplayWindow.h"
#include "ui/VideoConfigDialog.h"

class VideoConfigDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SUiWorkspace> w;
    CVic* vic = nullptr;
    CVo16VGA* vga = nullptr;

private slots:
    void init() {
        w = std::make_unique<SUiWorkspace>();
        QVERIFY(w->computer.AddDevice(
            {.className = "CVic", .name = "VIC", .from = 0x300000, .to = 0x300FFF}));
        QVERIFY(w->computer.AddDevice(
            {.className = "CVo16VGA", .name = "VGA", .from = 0x400000, .to = 0x400000}));
        vic = dynamic_cast<CVic*>(w->computer.GetDevices()->FindByName("VIC"));
        vga = dynamic_cast<CVo16VGA*>(w->computer.GetDevices()->FindByName("VGA"));
    }
    void cleanup() { w.reset(); }

    // The slider starts at the first period not less than the device's.
    void titlesAndFields() {
        vic->SetRefreshPeriod(300);
        vga->SetRefreshPeriod(8193);
        const CVideoConfigDialog vicDialog(w->computer, *vic);
        const CVideoConfigDialog vgaDialog(w->computer, *vga);
        QCOMPARE(vicDialog.windowTitle(), QString("VIC Configuration"));
        QCOMPARE(vgaDialog.windowTitle(), QString("VO16VGA Configuration"));
        QVERIFY(vicDialog.BorderField() && vicDialog.BorderField()->isChecked());
        QVERIFY(!vgaDialog.BorderField());
        QCOMPARE(vicDialog.RateSlider()->maximum(), 10);
        QCOMPARE(vicDialog.RateSlider()->value(), 5);
        QCOMPARE(vgaDialog.RateSlider()->value(), 10);
    }

    void okAppliesAndCancelKeeps() {
        const struct {
            bool ok;
            int position;
            bool border;
            uint32_t period;
            bool shown;
        } cases[] = {
            {true, 0, false, 16, false},
            {false, 10, true, 16, false},
            {true, 10, true, 16384, true},
        };
        for (const auto& c : cases) {
            CVideoConfigDialog vicDialog(w->computer, *vic);
            CVideoConfigDialog vgaDialog(w->computer, *vga);
            for (CVideoConfigDialog* dialog : {&vicDialog, &vgaDialog}) {
                dialog->RateSlider()->setValue(c.position);
                if (dialog->BorderField()) dialog->BorderField()->setChecked(c.border);
                c.ok ? dialog->accept() : dialog->reject();
            }
            QCOMPARE(vic->GetRefreshPeriod(), c.period);
            QCOMPARE(vga->GetRefreshPeriod(), c.period);
            QCOMPARE(vic->IsBorderShown(), c.shown);
        }
    }

    void reopenWindowStartsTheDisplayWithTheCurrentSettings() {
        vic->SetBorderShown(false);
        for (CVideoDevice* device :
             {static_cast<CVideoDevice*>(vic), static_cast<CVideoDevice*>(vga)}) {
            QVERIFY(!device->IsDisplayRunning());
            CVideoConfigDialog dialog(w->computer, *device);
            QTest::mouseClick(dialog.ReopenButton(), Qt::LeftButton);
            QVERIFY(device->IsDisplayRunning());
            CDisplayWindow* window = DeviceUi::FindDisplayWindow(*device);
            QVERIFY(window && window->isVisible());
            QCOMPARE(window->size(), DisplayFrameSize(*device));
            // Pressed again, the one window stays.
            QTest::mouseClick(dialog.ReopenButton(), Qt::LeftButton);
            QCOMPARE(DeviceUi::FindDisplayWindow(*device), window);
        }
        QCOMPARE(DeviceUi::FindDisplayWindow(*vic)->size(), QSize(320, 192));
    }
};

QTEST_MAIN(VideoConfigDialogTest)
#include "VideoConfigDialogTest.moc"
