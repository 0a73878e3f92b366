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

    void titlesAndFields() {
        const CVideoConfigDialog vicDialog(w->computer, *vic);
        const CVideoConfigDialog vgaDialog(w->computer, *vga);
        QCOMPARE(vicDialog.windowTitle(), QString("VIC Configuration"));
        QCOMPARE(vgaDialog.windowTitle(), QString("VO16VGA Configuration"));
        QVERIFY(vicDialog.BorderField() && vicDialog.BorderField()->isChecked());
        QVERIFY(!vgaDialog.BorderField());
        QCOMPARE(vicDialog.RateSlider()->maximum(), 10);
    }

    void theSliderStartsAtTheFirstPeriodNotLess_data() {
        QTest::addColumn<uint32_t>("period");
        QTest::addColumn<int>("position");
        const std::pair<uint32_t, int> rows[] = {{0, 0},      {16, 0},    {17, 1},    {256, 4},
                                                 {300, 5},    {8192, 9},  {8193, 10}, {16384, 10},
                                                 {32768, 10}, {99999, 10}};
        for (auto [period, position] : rows)
            QTest::addRow("%u ms", period) << period << position;
    }
    void theSliderStartsAtTheFirstPeriodNotLess() {
        QFETCH(uint32_t, period);
        QFETCH(int, position);
        for (CVideoDevice* device :
             {static_cast<CVideoDevice*>(vic), static_cast<CVideoDevice*>(vga)}) {
            device->SetRefreshPeriod(period);
            QCOMPARE(CVideoConfigDialog(w->computer, *device).RateSlider()->value(), position);
        }
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
