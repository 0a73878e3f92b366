// The debugging aids in the desktop: the breakpoint form's conditions and
// watchpoints, Step Back, the heat column and hot spots, and the sidecar
// file opened and saved with the workspace.
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedPrompter.h"
#include "core/DebugSidecar.h"
#include "core/Mpu.h"
#include "system/StandardClasses.h"
#include "ui/CodeView.h"
#include "ui/Forms.h"
#include "ui/HotSpots.h"

namespace {

// LDX #0; INX; TXA; STA 0200,X; JMP 0402: stores 1, 2, 3... at 0201, 0202...
const uint8_t kProgram[] = {0xA2, 0x00, 0xE8, 0x8A, 0x9D, 0x00, 0x02, 0x4C, 0x02, 0x04};

uint32_t Register(const CMpu& unit, const char* name) {
    return unit.GetRegisterValue(static_cast<size_t>(unit.FindRegister(name)));
}

}  // namespace

class DebugAidsPanesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<CController> m_controller;
    CScriptedPrompter m_prompter;

    CMpu& Machine() {
        m_controller = BlankMachine("C6502", m_prompter);
        for (uint32_t n = 0; n < sizeof kProgram; ++n)
            m_controller->Workspace().Write(0x400 + n, kProgram[n], 1, true);
        CMpu& unit = *m_controller->Unit(0);
        unit.SetRegisterValue(static_cast<size_t>(unit.FindRegister("PC")), 0x400);
        return unit;
    }
    // Runs the active unit until it stops; its stop text.
    QString RunToStop() {
        QString text;
        QElapsedTimer clock;
        clock.start();
        connect(m_controller.get(), &CController::runStopped, this,
                [this, &text](int slot, EStopReason reason) {
                    text = m_controller->DescribeStop(slot, reason);
                });
        m_controller->Run(true);
        while (text.isEmpty() && clock.elapsed() < 10000)
            QTest::qWait(5);
        disconnect(m_controller.get(), &CController::runStopped, this, nullptr);
        return text;
    }

private slots:
    void initTestCase() { RegisterStandardClasses(); }
    void cleanup() { m_controller.reset(); }

    void breakpointFormEditsConditionsAndWatchpoints() {
        CMpu& unit = Machine();
        CBreakpointForm form(*m_controller, 0);
        connect(m_controller.get(), &CController::viewsUpdated, &form,
                &CBreakpointForm::OnViewsUpdated);
        form.address->setText("407");
        form.add->click();
        form.list->setCurrentRow(0);
        // A condition that does not compile is refused with the reason; the
        // breakpoint keeps stopping always.
        form.condition->setText("x ==");
        form.apply->click();
        QCOMPARE(m_prompter.messages.size(), 1);
        QVERIFY(!m_controller->Debugger().GetCondition(0, 0x407));
        form.condition->setText("x == 0A");
        form.ignore->setValue(0);
        form.apply->click();
        QVERIFY(form.list->item(0)->text().contains("if x == 0A"));
        QVERIFY(m_controller->IsModified());
        QVERIFY(RunToStop().contains("condition"));
        QCOMPARE(Register(unit, "X"), 0x0Au);
        QCOMPARE(form.hits->text(), QString("Hits: 1"));

        form.condition->clear();
        form.apply->click();
        QVERIFY(!m_controller->Debugger().GetCondition(0, 0x407));
        form.list->setCurrentRow(0);
        form.remove->click();
        // Watchpoints: a bad one is explained, a good one stops the run on
        // the store with what it saw.
        for (const char* text : {"x:0200", "w:0200-01FF", "w:0203-0203=05"}) {
            form.watch->setText(text);
            form.addWatch->click();
        }
        QCOMPARE(m_prompter.messages.size(), 3);
        QCOMPARE(form.watches->count(), 1);
        QCOMPARE(m_controller->Debugger().GetWatchpoints().at(0).slot, 0);
        form.watch->setText("w:0205");
        form.addWatch->click();
        QCOMPARE(form.watches->count(), 2);
        const QString stop = RunToStop();
        QVERIFY2(stop.contains("wrote 05 to 0205 by the instruction at 0404"), qPrintable(stop));
        form.watches->setCurrentRow(1);
        form.removeWatch->click();
        QCOMPARE(form.watches->count(), 1);
        QCOMPARE(m_controller->Debugger().GetWatchpoints().at(0).from, 0x203u);
    }

    void stepBackRestoresTheUnitAndSaysWhyWhenItCannot() {
        CMpu& unit = Machine();
        QCOMPARE(m_controller->StepBack(), 0u);
        QVERIFY(m_prompter.messages.value(0).contains("History is off"));
        m_controller->SetHistoryEnabled(true);
        for (int n = 0; n < 8; ++n)
            m_controller->StepInto();
        QCOMPARE(m_controller->Workspace().Read(0x202, 1), 2u);
        QCOMPARE(m_controller->StepBack(2), 2u);
        QCOMPARE(Register(unit, "PC"), 0x403u);
        QCOMPARE(m_controller->Workspace().Read(0x202, 1), 0u);
        QCOMPARE(Register(unit, "X"), 2u);
        QCOMPARE(m_controller->RunBack(), 6u);
        QCOMPARE(Register(unit, "PC"), 0x400u);
        QCOMPARE(m_controller->StepBack(), 0u);
    }

    void profileShowsHeatAndHotSpots() {
        Machine();
        m_controller->SetProfileEnabled(true);
        for (int n = 0; n < 17; ++n)
            m_controller->StepInto();
        CHotSpots spots(*m_controller, {});
        // INX, TXA, STA, JMP four times each, the rest once.
        QCOMPARE(spots.Table()->rowCount(), 5);
        QCOMPARE(spots.Table()->item(0, 0)->text(), QString("0402"));
        QCOMPARE(spots.Table()->item(0, 1)->text(), QString("4"));
        QCOMPARE(spots.Table()->item(4, 0)->text(), QString("0400"));

        CCodeView view(*m_controller, 0);
        view.resize(600, 300);
        view.Listing().ViewAddress("400");
        const QImage image = view.viewport()->grab().toImage();
        const int x = view.viewport()->width() - view.CharWidth();
        const auto at = [&](int line) { return image.pixelColor(x, line * view.LineHeight() + 1); };
        // The first line ran once, the second four times: hotter, redder.
        QCOMPARE(at(0).rgb(), CCodeView::HeatColour(1, 17).rgb());
        QCOMPARE(at(1).rgb(), CCodeView::HeatColour(4, 17).rgb());
        QVERIFY(at(1).hueF() < at(0).hueF());
        QCOMPARE(CCodeView::CompactCount(123'456'789), QString("123M"));
    }

    void sidecarFollowsOpenAndSave() {
        QTemporaryDir dir;
        const QString path = dir.filePath("work.sqx");
        Machine();
        m_controller->AddWatchpoint("rw:0300-030F", 0);
        m_controller->SetHistoryEnabled(true);
        QVERIFY(m_controller->SaveDocument(path));
        QVERIFY(QFile::exists(path + ".debug.json"));

        Machine();
        QVERIFY(m_controller->OpenDocument(path));
        QCOMPARE(m_controller->Debugger().GetWatchpoints().size(), 1u);
        QVERIFY(m_controller->Debugger().IsHistoryEnabled());
        QVERIFY(m_prompter.messages.isEmpty());
        // A damaged sidecar is reported; the workspace opens without it.
        QFile sidecar(path + ".debug.json");
        QVERIFY(sidecar.open(QIODevice::WriteOnly | QIODevice::Truncate));
        sidecar.write("{\"version\": 1, \"watchpoints\": [");
        sidecar.close();
        Machine();
        QVERIFY(m_controller->OpenDocument(path));
        QCOMPARE(m_prompter.messages.size(), 1);
        QVERIFY(m_controller->Debugger().GetWatchpoints().empty());
    }
};

QTEST_MAIN(DebugAidsPanesTest)
#include "DebugAidsPanesTest.moc"
