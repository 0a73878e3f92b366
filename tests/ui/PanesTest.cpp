// The processor panes, the code view, the command window and the dialogs'
// logic, each on a blank workspace with the units it needs.
#include <QCheckBox>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "ScriptedPrompter.h"
#include "core/Computer.h"
#include "core/Mpu.h"
#include "system/StandardClasses.h"
#include "ui/CodeView.h"
#include "ui/CommandWindow.h"
#include "ui/Controller.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

class PanesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<CController> m_controller;
    CScriptedPrompter m_prompter;

    // A blank workspace: one unit of class and 64 KiB of RAM from 0.
    CMpu& Machine(const char* unitClass) {
        m_controller = BlankMachine(unitClass, m_prompter);
        return *m_controller->Unit(0);
    }
    static uint32_t Register(const CMpu& unit, const char* name) {
        return unit.GetRegisterValue(static_cast<size_t>(unit.FindRegister(name)));
    }

private slots:
    void initTestCase() { RegisterStandardClasses(); }
    void cleanup() { m_controller.reset(); }

    void registerFieldsWriteTheUnit() {
        struct SCase {
            const char* unitClass;
            const char* first;
            const char* firstText;
            uint32_t firstValue;
            const char* second;
            const char* secondText;
            uint32_t secondValue;
        };
        const SCase cases[] = {
            {"C6502", "A", "7f", 0x7F, "PC", "0302", 0x302},
            {"CVo16", "R3", "1234", 0x1234, "PC", "00FE", 0xFE},
            {"CCorvaneMPU", "R5", "abcdef", 0xABCDEF, "SP", "100", 0x100},
        };
        for (const SCase& c : cases) {
            CMpu& unit = Machine(c.unitClass);
            CRegisterForm form(*m_controller, 0);
            form.Field(c.first)->setText(c.firstText);
            form.Field(c.second)->setText(c.secondText);
            form.Field(c.first)->setModified(true);
            // Leaving one field writes every field of the form.
            form.WriteBack();
            QCOMPARE(Register(unit, c.first), c.firstValue);
            QCOMPARE(Register(unit, c.second), c.secondValue);
            QCOMPARE(form.Field(c.first)->text(),
                     QString(c.firstText)
                         .toUpper()
                         .rightJustified(form.Field(c.first)->maxLength(), '0'));
        }
        // Flags are check boxes on their status register; the 6502's C is bit 0.
        CMpu& unit = Machine("C6502");
        CRegisterForm form(*m_controller, 0);
        const uint32_t status = Register(unit, "STATUS");
        form.Flag("STATUS", "C")->toggle();
        QCOMPARE(Register(unit, "STATUS"), status ^ 1u);
        QCOMPARE(form.Field("STATUS")->text(),
                 QString("%1").arg(status ^ 1u, 2, 16, QLatin1Char('0')).toUpper());
        // Vo16 R0 always reads 0: its field cannot be edited.
        Machine("CVo16");
        CRegisterForm vo16(*m_controller, 0);
        QVERIFY(vo16.Field("R0")->isReadOnly());
    }

    void registersAreReadOnlyWhileRunningAndChangesShowAfterAStop() {
        CMpu& unit = Machine("C6502");
        // INX; BNE 0000; JMP 0003: X counts up to 0, then the unit spins at 0003.
        const uint8_t program[] = {0xE8, 0xD0, 0xFD, 0x4C, 0x03, 0x00};
        for (uint32_t n = 0; n < sizeof program; ++n)
            m_controller->Workspace().Write(n, program[n], 1, true);
        QVERIFY(unit.SetRegisterValue(static_cast<size_t>(unit.FindRegister("PC")), 0));
        CRegisterForm form(*m_controller, 0);
        connect(m_controller.get(), &CController::viewsUpdated, &form,
                &CRegisterForm::OnViewsUpdated);
        m_controller->StepInto();
        QVERIFY(form.IsHighlighted("X") && form.IsHighlighted("PC"));
        QVERIFY(!form.IsHighlighted("A"));
        m_controller->Run(true);
        form.OnLiveRefresh();
        QVERIFY(form.Field("X")->isReadOnly());
        QVERIFY(!form.Flag("STATUS", "C")->isEnabled());
        QTRY_COMPARE(Register(unit, "PC"), 3u);
        form.OnLiveRefresh();
        m_controller->Stop();
        QVERIFY(!form.Field("X")->isReadOnly());
        // Changed since the previous stop, whatever was shown while it ran.
        QVERIFY(form.IsHighlighted("X"));
        QCOMPARE(form.Field("X")->text().toUInt(nullptr, 16), Register(unit, "X"));
    }

    void statisticsShowAndReset() {
        for (const char* unitClass : {"C6502", "CCorvaneMPU"}) {
            CMpu& unit = Machine(unitClass);
            m_controller->StepInto();
            m_controller->StepInto();
            CStatisticsForm form(*m_controller, 0);
            QCOMPARE(form.Value(0), QString::number(unit.GetCounterValue(0)));
            QVERIFY(form.Value(0).toULongLong() >= 2);
            form.Reset();
            for (size_t i = 0; i < unit.GetCounterInfo().size(); ++i) {
                QCOMPARE(unit.GetCounterValue(i), uint64_t{0});
                QCOMPARE(form.Value(static_cast<int>(i)), QString("0"));
            }
        }
    }

    void breakpointFormAddsRemovesAndRefuses() {
        CMpu& unit = Machine("C6502");
        CBreakpointForm form(*m_controller, 0);
        auto add = [&form](const QString& text) {
            form.address->setText(text);
            form.add->click();
        };
        add("0");   // ignored
        add("zz");  // ignored
        add("400");
        add("0x400");  // the same address
        QCOMPARE(m_prompter.messages, QStringList{"Breakpoint already defined."});
        QCOMPARE(form.list->item(0)->text(), QString("000400"));
        QVERIFY(unit.IsBreakpoint(0x400));
        for (int n = 1; n < 30; ++n)
            add(QString::number(0x1000 + n, 16));
        QCOMPARE(form.list->count(), 30);
        add("9999");
        QCOMPARE(m_prompter.messages.last(), QString("Too many breakpoints."));
        form.list->setCurrentRow(0);
        form.remove->click();
        QVERIFY(!unit.IsBreakpoint(0x400));
        QCOMPARE(form.list->count(), 29);
        // The run limits of the workspace.
        form.instructionsField->setText("1000");
        form.instructions->setChecked(true);
        QVERIFY(m_controller->Workspace().IsInstructionLimitEnabled());
        QCOMPARE(m_controller->Workspace().GetInstructionLimit(), uint64_t{1000});
    }

    void codeViewPaintsTheProgramCounterAndBreakpoints() {
        CMpu& unit = Machine("C6502");
        const uint8_t program[] = {0xA9, 0x05, 0x8D, 0x00, 0xD0, 0xEA};
        for (uint32_t n = 0; n < sizeof program; ++n)
            m_controller->Workspace().Write(0x300 + n, program[n], 1, true);
        QVERIFY(unit.SetRegisterValue(static_cast<size_t>(unit.FindRegister("PC")), 0x302));
        unit.Breakpoints().Add(0x300);
        unit.Breakpoints().Add(0x302);  // the program counter's line stays green
        CCodeView view(*m_controller, 0);
        QFont font("DejaVu Sans Mono");
        font.setPixelSize(14);
        view.SetListingFont(font, Qt::black);
        view.resize(420, 200);
        view.Listing().SetTopAddress(0x300);
        view.OnViewsUpdated(0);
        const QImage image = view.viewport()->grab().toImage();
        const int h = view.LineHeight();
        const int cw = view.CharWidth();
        const int margin = CCodeView::kMarginColumns * cw;
        auto colourAt = [&](int line, int x) { return image.pixelColor(x, line * h + 1); };
        QCOMPARE(colourAt(0, image.width() - 2), CCodeView::kBreakpointColour);
        QCOMPARE(colourAt(1, image.width() - 2), CCodeView::kProgramCounterColour);
        QCOMPARE(colourAt(2, image.width() - 2), view.palette().color(QPalette::Button));
        // Whether a grab has ink on a line between two columns, a pixel of
        // slack each side for glyphs that overhang their cell.
        auto inkIn = [&](const QImage& grab, int line, int fromColumn, int toColumn) {
            for (int x = margin + fromColumn * cw + 1; x < margin + toColumn * cw - 1; ++x)
                for (int y = line * h; y < (line + 1) * h; ++y)
                    if (grab.pixelColor(x, y).lightness() < 80) return true;
            return false;
        };
        // Line 1: "0302", the mnemonic at column 6, the operand at column 15.
        QVERIFY(inkIn(image, 1, 0, 4) && !inkIn(image, 1, 4, 6) && inkIn(image, 1, 6, 9) &&
                !inkIn(image, 1, 9, 15) && inkIn(image, 1, 15, 20));
        // Machine code shifts the mnemonic to column 21.
        view.SetShowMachineCode(true);
        const QImage wide = view.viewport()->grab().toImage();
        QVERIFY(inkIn(wide, 1, 5, 13) && !inkIn(wide, 1, 14, 21) && inkIn(wide, 1, 21, 24));
        // Printing draws the same listing on paper.
        QTemporaryDir folder;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(folder.filePath("listing.pdf"));
        view.Print(printer);
        QVERIFY(QFileInfo(folder.filePath("listing.pdf")).size() > 1000);
        // A click in the margin toggles the line's breakpoint.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(2, 2 * h + h / 2));
        QVERIFY(unit.IsBreakpoint(0x305));
    }

    void commandWindowRunsTheCaretsLine() {
        Machine("C6502");
        CCommandWindow window(*m_controller);
        window.setPlainText("D 10 2\n:10 41 42");
        window.moveCursor(QTextCursor::End);
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(m_controller->Workspace().Read(0x10, 1), 0x41u);
        QCOMPARE(window.toPlainText(), QString("D 10 2\n:10 41 42\n"));
        // An earlier line: the output lands after it, the break after the output.
        window.moveCursor(QTextCursor::Start);
        window.moveCursor(QTextCursor::EndOfLine);
        QTest::keyClick(&window, Qt::Key_Return);
        const QStringList lines = window.toPlainText().split('\n');
        QCOMPARE(lines.at(0), QString("D 10 2"));
        QVERIFY(lines.at(1).startsWith(":000010 41 42 "));
        QVERIFY(lines.at(1).trimmed().endsWith("AB"));
        QCOMPARE(lines.at(5), QString(":10 41 42"));
        // History: Up on the last line brings the commands back, newest first.
        window.moveCursor(QTextCursor::End);
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(window.textCursor().block().text(), QString("D 10 2"));
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(window.textCursor().block().text(), QString(":10 41 42"));
        QTest::keyClick(&window, Qt::Key_Down);
        QTest::keyClick(&window, Qt::Key_Down);
        QCOMPARE(window.textCursor().block().text(), QString());
    }

    void dialogsCheckTheirFields() {
        struct SHex {
            const char* text;
            std::optional<uint32_t> value;
        };
        for (const SHex& c :
             {SHex{"1f", 0x1F}, SHex{" 0x2000 ", 0x2000}, SHex{"FFFFFFFF", 0xFFFFFFFF},
              SHex{"100000000", {}}, SHex{"12g", {}}, SHex{"", {}}})
            QCOMPARE(ParseHexField(c.text), c.value);

        CLoadDialog load;
        for (const SHex& c : {SHex{"", 0}, SHex{"2000", 0x2000}, SHex{"x1", {}}}) {
            load.address->setText(c.text);
            QCOMPARE(load.LoadAddress(), c.value);
        }

        struct SDump {
            const char* path;
            const char* first;
            const char* last;
            const char* problemStart;  // nullptr: accepted
        };
        CDumpDialog dump;
        for (const SDump& c :
             {SDump{"", "0", "F", "Choose"}, SDump{"a", "10", "F", "The to address is below"},
              SDump{"a", "0", "zz", "The to address must"},
              SDump{"a", "0", "1000000", "A dump holds at most"},
              SDump{"out.hex", "100", "1FF", nullptr}}) {
            dump.path->setText(c.path);
            dump.first->setText(c.first);
            dump.last->setText(c.last);
            QString problem;
            const auto result = dump.Dump(&problem);
            QCOMPARE(result.has_value(), c.problemStart == nullptr);
            if (c.problemStart) QVERIFY2(problem.startsWith(c.problemStart), qPrintable(problem));
        }
        dump.path->setText("memory");
        QCOMPARE(dump.Dump(nullptr)->path, QString("memory.s19"));

        CRunLimitsDialog limits(SRunLimits{true, 5, false, 77});
        QCOMPARE(limits.seconds->text(), QString("5"));
        limits.instructionCount->setText("-1");
        QVERIFY(!limits.Problem().isEmpty());
        limits.instructionCount->setText("1000");
        limits.instructionsCheck->setChecked(true);
        QVERIFY(limits.Problem().isEmpty());
        const SRunLimits taken = limits.Limits();
        QVERIFY(taken.timeEnabled && taken.instructionsEnabled && taken.seconds == 5 &&
                taken.instructions == 1000);
    }

    void loadReportsWhatItCouldNotRead() {
        Machine("C6502");
        m_controller->LoadImage(QString(SIMQ_SOURCE_DIR) + "/examples/6502/sieve.hex", 0);
        QCOMPARE(m_controller->Workspace().Read(0x400, 1), 0xA2u);
        QTemporaryDir folder;
        m_controller->LoadImage(folder.filePath("missing.s19"), 0);
        QCOMPARE(m_prompter.messages.size(), 1);
        QVERIFY(m_controller->DumpImage(folder.filePath("out.s19"), 0x400, 0x40F, 0x400));
        QVERIFY(QFile::exists(folder.filePath("out.s19")));
    }

    // Assemble and Load puts the code and the symbols in: the listing shows a
    // label on a row of its own (the click below it hits the labelled line),
    // the breakpoint form takes a name; a source with errors loads nothing.
    void assembleAndLoadGivesCodeAndSymbols() {
        CMpu& unit = Machine("C6502");
        QTemporaryDir folder;
        auto write = [&](const char* name, const char* text) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(text);
            return folder.filePath(name);
        };
        QVERIFY(m_controller->AssembleAndLoad(
            write("good.s", "  org 300\nstart: lda #5\nloop: inx\n  jmp loop\n")));
        QCOMPARE(m_controller->Workspace().Read(0x302, 1), 0xE8u);
        QVERIFY(!m_controller->AssembleAndLoad(write("bad.s", "  lda #100\n  jmp nowhere\n")));
        QCOMPARE(m_prompter.messages.size(), 1);
        QVERIFY(m_prompter.messages[0].contains("bad.s:2:"));
        QCOMPARE(m_controller->Workspace().Read(0x302, 1), 0xE8u);

        CCodeView view(*m_controller, 0);
        view.SetListingFont(QFont("DejaVu Sans Mono"), Qt::black);
        view.resize(420, 200);
        view.Listing().SetTopAddress(0x300);
        view.OnViewsUpdated(0);
        // Rows: "start:", 0300, "loop:", 0302.
        const int h = view.LineHeight();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(2, 3 * h + h / 2));
        QVERIFY(unit.IsBreakpoint(0x302));
        CBreakpointForm form(*m_controller, 0);
        form.address->setText("start");
        form.add->click();
        QVERIFY(unit.IsBreakpoint(0x300));
    }
};

QTEST_MAIN(PanesTest)
#include "PanesTest.moc"
