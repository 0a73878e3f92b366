// The memory pane: what it shows without disturbing devices, editing, going
// to addresses and registers, following a register, the bytes a step
// changed, and the context-menu entries that open it.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "ScriptedPrompter.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "devices/Keyboard.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "ui/CodeView.h"
#include "ui/CommandWindow.h"
#include "ui/Controller.h"
#include "ui/MainFrm.h"
#include "ui/MemoryView.h"

namespace {

void Poke(CComputer& computer, uint32_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes)
        computer.Write(address++, byte, 1, true);
}

uint32_t Peek(CComputer& computer, uint32_t address) {
    return computer.Read(address, 1);
}

// Opens target's context menu at point and triggers the entry whose text
// starts with prefix; returns the entry's text (empty: none).
QString ChooseFromContextMenu(QWidget* target, QPoint point, const QString& prefix) {
    QString chosen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions())
            if (chosen.isEmpty() && action->isEnabled() && action->text().startsWith(prefix)) {
                chosen = action->text();
                action->trigger();
            }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, target->mapToGlobal(point));
    QApplication::sendEvent(target, &event);
    return chosen;
}

}  // namespace

class MemoryViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<CController> m_controller;
    std::unique_ptr<CMemoryView> m_view;
    CScriptedPrompter m_prompter;

    // A workspace with one unit of class and 64 KiB of RAM from 0 (or a
    // standard system), and a memory pane of that unit in view.
    CMpu& Machine(const char* unitClass, bool corvaneSystem = false) {
        m_view.reset();
        m_controller = std::make_unique<CController>(nullptr);
        m_prompter = CScriptedPrompter();
        m_controller->SetPrompter(&m_prompter);
        CComputer& computer = m_controller->Workspace();
        computer.NewContents();
        std::string error;
        bool built = false;
        if (corvaneSystem) {
            built = BuildStandardSystem(computer, ESystemType::Corvane, &error);
        } else {
            SDeviceSettings ram{"CRam", "RAM", 0, 0xFFFF};
            built =
                computer.AddDevice(ram, &error) && computer.AddUnit(unitClass, "cpu", 0, &error);
        }
        if (!built) qFatal("%s", error.c_str());
        computer.StartRunThread();
        computer.SetActiveProcessor(0);
        m_view = std::make_unique<CMemoryView>(*m_controller, 0);
        connect(m_controller.get(), &CController::viewsUpdated, m_view.get(),
                &CMemoryView::OnViewsUpdated);
        m_view->resize(700, 400);
        m_view->show();
        return *m_controller->Unit(0);
    }
    static void SetRegister(CMpu& unit, const char* name, uint32_t value) {
        QVERIFY(unit.SetRegisterValue(static_cast<size_t>(unit.FindRegister(name)), value));
    }

private slots:
    void initTestCase() { RegisterStandardClasses(); }
    void cleanup() {
        m_view.reset();
        m_controller.reset();
    }

    void showsMemoryAndLeavesDevicesAlone() {
        Machine("CCorvaneMPU", true);
        CComputer& computer = m_controller->Workspace();
        auto* keyboard = static_cast<CKeyboard*>(computer.GetDevices()->FindByName("Keyboard"));
        QVERIFY(keyboard);
        keyboard->DeliverCode(0x41);
        Poke(computer, 0x000123, {0x5A});
        Poke(computer, 0xFF0010, {0xC3});
        struct SCase {
            uint32_t address;
            int shown;
        };
        const SCase cases[] = {
            {0x000123, 0x5A},  // RAM
            {0xFF0010, 0xC3},  // ROM
            {0x301100, -1},    // the keyboard's register: a read would take the code
            {0x301000, -1},    // the time slicer
            {0x500000, -1},    // nothing
        };
        for (const SCase& c : cases) {
            QVERIFY(m_view->GoToAddress(c.address));
            QCOMPARE(m_view->ShownByte(c.address), c.shown);
        }
        QCOMPARE(keyboard->PeekScanCode(), 0x41u);
        // Nothing to type over where no memory is.
        QTest::keyClicks(m_view.get(), "7");
        QVERIFY(m_view->StatusText().contains("No memory"));
        QCOMPARE(keyboard->PeekScanCode(), 0x41u);
    }

    void typingWritesMemoryWhileStopped() {
        struct SCase {
            const char* keys;
            bool characters;
            std::initializer_list<uint8_t> expected;  // from 0200
            uint32_t caret;
        };
        const SCase cases[] = {
            {"41", false, {0x41, 0x0D}, 0x201},
            {"aBc", false, {0xAB, 0xCD}, 0x201},  // the low nibble of 0201 kept
            {"Hi", true, {0x48, 0x69}, 0x202},
            {"g-", false, {0x00, 0x0D}, 0x200},  // not hex digits: nothing
        };
        for (const SCase& c : cases) {
            Machine("C6502");
            CComputer& computer = m_controller->Workspace();
            Poke(computer, 0x201, {0x0D});
            QVERIFY(m_view->GoTo("200"));
            if (c.characters) QTest::keyClick(m_view.get(), Qt::Key_Tab);
            QTest::keyClicks(m_view.get(), c.keys);
            uint32_t address = 0x200;
            for (uint8_t byte : c.expected)
                QCOMPARE(Peek(computer, address++), uint32_t{byte});
            QCOMPARE(m_view->CaretAddress(), c.caret);
            QCOMPARE(m_view->ShownByte(0x200), int(c.expected.begin()[0]));
        }
        // While the unit runs, typing is refused.
        CMpu& unit = Machine("C6502");
        Poke(m_controller->Workspace(), 0, {0x4C, 0x00, 0x00});  // JMP 0000
        SetRegister(unit, "PC", 0);
        m_controller->Run(true);
        QVERIFY(m_controller->IsRunning(0));
        QVERIFY(m_view->GoTo("300"));
        QTest::keyClicks(m_view.get(), "77");
        m_controller->Stop();
        QCOMPARE(Peek(m_controller->Workspace(), 0x300), 0u);
        QVERIFY(m_view->StatusText().contains("Stop MPU0"));
    }

    void goesToAddressesAndRegisters() {
        struct SCase {
            const char* unitClass;
            const char* text;
            bool ok;
            uint32_t caret;
        };
        const SCase cases[] = {
            {"C6502", "1F0", true, 0x1F0},
            {"C6502", "$2A0", true, 0x2A0},
            {"C6502", "0x0321", true, 0x321},
            {"C6502", "A", true, 0x33},  // a name first
            {"C6502", "pc", true, 0x1234},
            {"C6502", "10000", false, 0},
            {"C6502", "zz", false, 0},
            {"CCorvaneMPU", "R5", true, 0x123456},
            {"CCorvaneMPU", "800000", true, 0x800000},
        };
        for (const SCase& c : cases) {
            CMpu& unit = Machine(c.unitClass);
            SetRegister(unit, unit.FindRegister("A") >= 0 ? "A" : "R5",
                        unit.FindRegister("A") >= 0 ? 0x33 : 0x123456);
            SetRegister(unit, "PC", unit.FindRegister("A") >= 0 ? 0x1234 : 0);
            QCOMPARE(m_view->GoTo(c.text), c.ok);
            QCOMPARE(m_view->CaretAddress(), c.caret);
            if (c.ok) QCOMPARE(m_view->TopAddress(), c.caret & ~0xFu);
            QCOMPARE(m_view->StatusText().isEmpty(), c.ok);
        }
    }

    void followsARegisterAndMarksWhatAStepChanged() {
        CMpu& unit = Machine("C6502");
        CComputer& computer = m_controller->Workspace();
        // 0000: JMP 1234; 1234: LDA #55; STA 1240; NOP
        Poke(computer, 0, {0x4C, 0x34, 0x12});
        Poke(computer, 0x1234, {0xA9, 0x55, 0x8D, 0x40, 0x12, 0xEA});
        SetRegister(unit, "PC", 0);
        QVERIFY(m_view->SetFollow("PC"));
        QCOMPARE(m_view->TopAddress(), 0u);
        m_controller->StepInto();
        QCOMPARE(m_view->TopAddress(), 0x1230u);
        m_controller->StepInto();  // LDA: no memory changes
        QVERIFY(!m_view->IsChanged(0x1240));
        m_controller->StepInto();  // STA
        QCOMPARE(m_view->ShownByte(0x1240), 0x55);
        QVERIFY(m_view->IsChanged(0x1240));
        QVERIFY(!m_view->IsChanged(0x1241) && !m_view->IsChanged(0x1234));
        m_controller->StepInto();  // NOP: the store was before the previous stop
        QVERIFY(!m_view->IsChanged(0x1240));
        // Going elsewhere ends following.
        QVERIFY(m_view->GoTo("200"));
        QVERIFY(m_view->Follow().isEmpty());
    }

    void contextMenusOpenThePaneAtTheirAddress() {
        QTemporaryDir folder;
        CSettings settings(folder.filePath("settings.ini"));
        ResetFirstWorkspaceRule();
        CMainFrame window(&settings);
        window.Controller().SetPrompter(&m_prompter);
        CComputer& computer = window.Workspace();
        computer.NewContents();
        computer.StartRunThread();
        SDeviceSettings ram{"CRam", "RAM", 0, 0xFFFF};
        QVERIFY(computer.AddDevice(ram) && computer.AddUnit("C6502", "cpu", 0));
        computer.SetActiveProcessor(0);
        window.Controller().FlushViews();
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        CCodeView* code = window.CodeView(0);
        QVERIFY(code && code->Listing().Lines().size() > 3);
        const uint32_t lineAddress = code->Listing().Lines()[2].address;
        const QPoint third(40, code->LineHeight() * 5 / 2);
        QVERIFY(!ChooseFromContextMenu(code->viewport(), third, "Show").isEmpty());
        QVERIFY(window.VisibleMask(0) & CMainFrame::kMemory);
        QVERIFY(window.MemoryView(0));
        QCOMPARE(window.MemoryView(0)->CaretAddress(), lineAddress);

        // The command window: the hex number under the pointer, or none.
        CCommandWindow& command = window.CommandWindow();
        struct SCase {
            const char* text;
            int column;
            std::optional<uint32_t> number;
        };
        const SCase cases[] = {
            {"D 0345 10", 3, 0x345},   {":00F000 FF", 2, 0xF000}, {"clear", 2, std::nullopt},
            {"F $1A0 4 FF", 4, 0x1A0}, {"D 0345 10", 6, 0x345},  // just after the word
        };
        for (const SCase& c : cases) {
            command.setPlainText(c.text);
            QTextCursor at(command.document()->firstBlock());
            at.setPosition(c.column);
            QCOMPARE(command.NumberAt(command.cursorRect(at).center()), c.number);
        }
        command.setPlainText("D 0345 10");
        QTextCursor at(command.document()->firstBlock());
        at.setPosition(3);
        QCOMPARE(ChooseFromContextMenu(command.viewport(), command.cursorRect(at).center(), "Show"),
                 QString("Show 0345 in &Memory"));
        QCOMPARE(window.MemoryView(0)->CaretAddress(), 0x345u);
    }
};

QTEST_MAIN(MemoryViewTest)
#include "MemoryViewTest.moc"
