// The Keyboard Input panel: key buttons deliver the device's codes with an
// interrupt, Record, Play, Rewind and the indicators follow the model, and
// keys typed on the host keyboard arrive as make and break codes.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "core/Devices.h"
#include "devices/Keyboard.h"
#include "devices/KeyboardPanel.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KeyScanCodes.h"
#include "ui/KeyboardPanelWidget.h"

using Log = std::vector<std::string>;

class KeyboardPanelWidgetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SUiWorkspace> w;
    CKeyboard* keyboard = nullptr;
    CKeyboardPanelWidget* panel = nullptr;

    void Click(int code) {
        QPushButton* key = panel->KeyButton(CKeyboardPanel::kFirstKeyId + code);
        QVERIFY2(key, qPrintable(QString::number(code, 16)));
        QTest::mouseClick(key, Qt::LeftButton);
    }
    // Reads the register as a program would: the code, then 0.
    uint32_t ReadCode() { return w->computer.Read(0x301100, 1); }

private slots:
    void init() {
        w = std::make_unique<SUiWorkspace>();
        QVERIFY(w->computer.AddDevice({.className = "CKeyboard",
                                       .name = "Keyboard",
                                       .from = 0x301100,
                                       .to = 0x3011FF,
                                       .irqCode = 1}));
        keyboard = dynamic_cast<CKeyboard*>(w->computer.GetDevices()->FindByName("Keyboard"));
        panel = DeviceUi::OpenKeyboardPanel(w->computer, *keyboard, nullptr);
        QCOMPARE(panel->windowTitle(), QString("Keyboard Input"));
    }
    void cleanup() { w.reset(); }

    void keyButtonsDeliverCodesWithAnInterrupt() {
        const struct {
            int button;
            uint32_t code;
        } clicks[] = {
            {0x1E, 0x9E},                // A: the first click sets the button, the break code
            {0x1E, 0x1E},                // and the second clears it
            {0x01, 0x81}, {0x6C, 0xEC},  // keypad Enter, outside set 1
            {0x6D, 0x1D},                // the right Ctrl sends the left Ctrl's code and state
            {0x1D, 0x9D}, {0x6E, 0x38},
        };
        for (const auto& click : clicks) {
            Click(click.button);
            QCOMPARE(w->unit->TakeLog(), Log{"I1"});
            QCOMPARE(ReadCode(), click.code);
            w->unit->TakeLog();
        }
        QVERIFY(panel->KeyButton(1200 + 0x1D)->isChecked());
        QVERIFY(!panel->KeyButton(1200 + 0x1E)->isChecked());
    }

    void locksLightTheirIndicators() {
        const struct {
            int button;
            QLabel* lamp;
        } locks[] = {
            {0x3A, panel->CapsLamp()}, {0x45, panel->NumLamp()}, {0x46, panel->ScrollLamp()}};
        for (const auto& lock : locks) {
            QVERIFY(!CKeyboardPanelWidget::IsLit(lock.lamp));
            Click(lock.button);
            QVERIFY(CKeyboardPanelWidget::IsLit(lock.lamp));
            Click(lock.button);
            QVERIFY(!CKeyboardPanelWidget::IsLit(lock.lamp));
        }
    }

    void recordPlayAndRewind() {
        QTest::mouseClick(panel->RecordField(), Qt::LeftButton);
        QVERIFY(panel->Panel().IsRecording());
        Click(0x10);
        Click(0x10);
        QCOMPARE(panel->TextField()->text(), QString("90 10 "));
        QCOMPARE(w->unit->TakeLog(), Log{});  // recording delivers nothing

        panel->RepeatField()->setValue(0);
        panel->RateSlider()->setValue(100);
        QTest::mouseClick(panel->PlayButton(), Qt::LeftButton);
        QVERIFY(panel->PlayButton()->isChecked());
        QVERIFY(!panel->RecordField()->isChecked());
        const uint32_t timer = keyboard->GetTimerBase();
        QCOMPARE(w->host.timers.at(timer), 55u);
        std::vector<uint32_t> played;
        while (w->host.FireTimer(timer) && played.size() < 10) {
            if (w->unit->TakeLog() == Log{"I1"}) played.push_back(ReadCode());
            w->unit->TakeLog();
        }
        // The text's end gives a 0 code, then the wrap delivers its first
        // code once more before playback stops.
        QCOMPARE(played, (std::vector<uint32_t>{0x90, 0x10, 0, 0x90}));
        QVERIFY(!panel->PlayButton()->isChecked());

        // Edited text plays from where playback stopped, or from its start
        // after Rewind.
        panel->TextField()->clear();
        QTest::keyClicks(panel->TextField(), "1E 9E");
        QCOMPARE(panel->Panel().GetText(), std::string("1E 9E"));
        QTest::mouseClick(panel->PlayButton(), Qt::LeftButton);
        QVERIFY(w->host.FireTimer(timer));
        QCOMPARE(ReadCode(), 0x9Eu);
        QTest::mouseClick(panel->RewindButton(), Qt::LeftButton);
        QTest::mouseClick(panel->PlayButton(), Qt::LeftButton);
        QVERIFY(w->host.FireTimer(timer));
        QCOMPARE(ReadCode(), 0x1Eu);
        QTest::mouseClick(panel->RewindButton(), Qt::LeftButton);
        QVERIFY(!panel->PlayButton()->isChecked());
        QVERIFY(!w->host.IsTimerActive(timer));
        QCOMPARE(keyboard->GetTextPosition(), size_t{0});

        // Closing the panel leaves its text with the keyboard.
        panel->close();
        QCOMPARE(keyboard->GetKeyCodeText(), std::string("1E 9E"));
        QVERIFY(!keyboard->GetPanel());
    }

    void hostKeysSendMakeAndBreakCodes() {
        panel->setFocus();
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            uint32_t code;
        } keys[] = {
            {Qt::Key_A, Qt::NoModifier, 0x1E},         {Qt::Key_Exclam, Qt::NoModifier, 0x02},
            {Qt::Key_Tab, Qt::NoModifier, 0x0F},       {Qt::Key_7, Qt::KeypadModifier, 0x47},
            {Qt::Key_Enter, Qt::KeypadModifier, 0x6C}, {Qt::Key_Up, Qt::NoModifier, 0x68},
            {Qt::Key_F12, Qt::NoModifier, 0x58},       {Qt::Key_CapsLock, Qt::NoModifier, 0x3A},
        };
        for (const auto& k : keys) {
            QTest::keyPress(panel, k.key, k.modifiers);
            QCOMPARE(ReadCode(), k.code);
            QTest::keyRelease(panel, k.key, k.modifiers);
            QCOMPARE(ReadCode(), k.code | 0x80);
        }
        QCOMPARE(w->unit->TakeLog().size(), std::size(keys) * 4);
        // A shifted key: Shift's make code, the key's, then their break codes.
        QTest::keyClick(panel, Qt::Key_Exclam, Qt::ShiftModifier);
        QCOMPARE(ReadCode(), 0xAAu);
        // Keys the panel has no button for send nothing.
        QTest::keyClick(panel, Qt::Key_VolumeUp);
        QCOMPARE(ReadCode(), 0u);
        // While recording, typed keys go into the text.
        QTest::mouseClick(panel->RecordField(), Qt::LeftButton);
        QTest::keyClick(panel, Qt::Key_Z);
        QCOMPARE(panel->TextField()->text(), QString("2C AC "));
    }
};

QTEST_MAIN(KeyboardPanelWidgetTest)
#include "KeyboardPanelWidgetTest.moc"
