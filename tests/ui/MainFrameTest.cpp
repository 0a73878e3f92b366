// The main window: menus and shortcuts, the pane groups, enable states, the
// save-changes question and the settings kept between sessions.
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QTextBrowser>
#include "ScriptedPrompter.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "ui/CodeView.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/MainFrm.h"

class MainFrameTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_folder;
    std::unique_ptr<CSettings> m_settings;
    CScriptedPrompter m_prompter;

    // Every window here is the first of its program: no system-type question.
    std::unique_ptr<CMainFrame> MakeWindow() {
        ResetFirstWorkspaceRule();
        auto window = std::make_unique<CMainFrame>(m_settings.get());
        window->Controller().SetPrompter(&m_prompter);
        return window;
    }

    // A blank workspace with count units of class.
    static void Populate(CMainFrame& window, int count, const char* unitClass = "C6502") {
        window.Workspace().NewContents();
        window.Workspace().StartRunThread();
        for (int n = 0; n < count; ++n)
            window.Workspace().AddUnit(unitClass, "unit " + std::to_string(n), 0);
        window.Controller().FlushViews();
    }

private slots:
    void initTestCase() { RegisterStandardClasses(); }
    void init() {
        m_settings = std::make_unique<CSettings>(m_folder.filePath("settings.ini"));
        m_prompter = CScriptedPrompter();
    }
    void cleanup() {
        m_settings.reset();
        QFile::remove(m_folder.filePath("settings.ini"));
    }

    void menusCarryTheirLabelsAndShortcuts() {
        auto window = MakeWindow();
        // Each item with its shortcuts.
        const QStringList expected = {
            "&File|&New Ctrl+N|&Open... Ctrl+O|&Save Ctrl+S|Save &As...|&Load|&Dump|"
            "Assemble and Load... Ctrl+L|Load S&ymbols...|&Print... Ctrl+P|Print Pre&view|"
            "P&rint Setup...|Recent File|E&xit",
            "&Edit|&Undo Ctrl+Z|Cu&t Ctrl+X|&Copy Ctrl+C|&Paste Ctrl+V",
            "&Device|Edit &Configuration|&Processing Units",
            "&Run|&Run F5|Run All|&Stop Ctrl+Pause Ctrl+F2|Stop All|St&ep Into F8|"
            "&Bounce Over Shift+F8|Step &Out Ctrl+Shift+F8|Generate &Interrupt|"
            "&Toggle Breakpoint F9|&Animate 1/1|Animate 1/10|Animate 1/100",
            "De&bug|Step &Back Ctrl+F8|Run Bac&k Ctrl+F5|Record &History|History &Limits...|"
            "&Profile Execution|Hot &Spots|&Reset Profile|Save Profile &As...",
            "&View|&Code Window|&Breakpoints|&Register Window|&Statistics|M&emory|"
            "&Command Window|&Address|Global Run Limits|&Machine Code|&Font|&Toolbar|&Status Bar",
            "&Help|&Help Topics F1|&About simQuorvex..."};
        QStringList menus;
        for (QAction* top : window->menuBar()->actions()) {
            QStringList labels = {top->text()};
            for (QAction* item : top->menu()->actions()) {
                QStringList label = {item->text()};
                for (const QKeySequence& key : item->shortcuts())
                    label << key.toString();
                if (!item->isSeparator()) labels << label.join(' ');
            }
            menus << labels.join('|');
        }
        QCOMPARE(menus, expected);
        QCOMPARE(window->Action("&Run")->statusTip(),
                 QString("Runs or continues the program from the current program counter"));
        QCOMPARE(window->Action("St&ep Into")->toolTip(), QString("Step Into"));
    }

    void panesAreBuiltOnceAndFollowTheirGroup() {
        auto window = MakeWindow();  // the Vo16 system, its first unit's panes open
        Populate(*window, 2);
        // A new unit set, even one allocated where the old one was, gets new views.
        auto* registers =
            qobject_cast<CRegisterForm*>(window->Pane(0, CMainFrame::kRegisters)->widget());
        QVERIFY(registers && registers->Field("A") && !registers->Field("R1"));
        QCOMPARE(window->CreatedMask(1), 0u);
        window->TogglePane(1, CMainFrame::kStatistics);
        QDockWidget* pane = window->Pane(1, CMainFrame::kStatistics);
        QVERIFY(pane);
        QCOMPARE(pane->windowTitle(), QString("MPU1 unit 1 Statistics"));
        QCOMPARE(window->dockWidgetArea(pane), Qt::LeftDockWidgetArea);
        window->TogglePane(1, CMainFrame::kStatistics);
        QVERIFY(pane->isHidden());
        window->TogglePane(1, CMainFrame::kStatistics);
        QCOMPARE(window->Pane(1, CMainFrame::kStatistics), pane);  // reused
        window->TogglePane(1, CMainFrame::kCode);
        QCOMPARE(window->dockWidgetArea(window->Pane(1, CMainFrame::kCode)), Qt::TopDockWidgetArea);
        window->TogglePane(1, CMainFrame::kCode);  // built, then hidden
        QCOMPARE(window->CreatedMask(1), uint32_t{CMainFrame::kStatistics | CMainFrame::kCode});
        QCOMPARE(window->VisibleMask(1), uint32_t{CMainFrame::kStatistics});

        window->show();
        window->ProcessorButton(1)->trigger();
        QVERIFY(!window->GroupFlag(1));
        QVERIFY(pane->isHidden());
        window->ProcessorButton(1)->trigger();
        QVERIFY(window->GroupFlag(1) && window->ProcessorButton(1)->isChecked());
        QVERIFY(!pane->isHidden());
        QVERIFY(window->Pane(1, CMainFrame::kCode)->isHidden());  // its visible bit is clear
    }

    void onlyTheFirstEightUnitsGetPanes() {
        auto window = MakeWindow();
        Populate(*window, 9);
        QCOMPARE(window->Workspace().GetMpus()->GetCount(), 8);
        for (auto pane : CMainFrame::kPanes) {
            const auto entries = window->PaneMenu(pane)->actions();
            QCOMPARE(entries.size(), 8);
            QCOMPARE(entries.at(7)->text(), QString("&7 unit 7"));
        }
        // Units removed: their panes go, the menus shrink.
        window->TogglePane(7, CMainFrame::kRegisters);
        QVERIFY(window->Pane(7, CMainFrame::kRegisters));
        QVERIFY(window->Workspace().RemoveUnit(7));
        window->Controller().FlushViews();
        QVERIFY(!window->Pane(7, CMainFrame::kRegisters));
        QCOMPARE(window->PaneMenu(CMainFrame::kCode)->actions().size(), 7);
    }

    void commandsFollowTheWorkspace() {
        auto window = MakeWindow();
        Populate(*window, 0);
        for (const char* label :
             {"&Run", "St&ep Into", "&Stop", "Run All", "&Toggle Breakpoint", "&Address"})
            QVERIFY2(!window->Action(label)->isEnabled(), label);
        Populate(*window, 1);
        QVERIFY(window->Action("&Run")->isEnabled());
        QVERIFY(!window->Action("&Stop")->isEnabled());
        window->Controller().Run(true);
        QVERIFY(!window->Action("St&ep Into")->isEnabled());
        QVERIFY(window->Action("&Stop")->isEnabled());
        window->Controller().Stop();
        QVERIFY(window->Action("St&ep Into")->isEnabled());
        // The caution question: No leaves the unit idle.
        m_prompter.yesNo = {false};
        window->Action("&Run")->trigger();
        QCOMPARE(m_prompter.questions, QStringList{CComputer::kCautionText});
        QVERIFY(!window->Controller().AnyBusy());
    }

    void theSaveQuestionGuardsTheWorkspace() {
        struct SCase {
            ESaveAnswer answer;
            bool savedAs;  // a path is chosen for the untitled workspace
            bool replaced;
        };
        for (const SCase c :
             {SCase{ESaveAnswer::kCancel, false, false}, SCase{ESaveAnswer::kDiscard, false, true},
              SCase{ESaveAnswer::kSave, true, true}, SCase{ESaveAnswer::kSave, false, false}}) {
            auto window = MakeWindow();
            const QString path = m_folder.filePath("saved.sqw");
            QFile::remove(path);
            window->Workspace().SetModifiedFlag(true);
            m_prompter.saves = {c.answer};
            m_prompter.questions.clear();
            const bool goOn =
                window->Controller().MaybeSave([&] { return c.savedAs ? path : QString(); });
            QCOMPARE(m_prompter.questions, QStringList{"save Untitled"});
            QCOMPARE(goOn, c.replaced);
            QCOMPARE(QFile::exists(path), c.savedAs);
            QCOMPARE(window->Controller().IsModified(), !c.savedAs);
            window->Workspace().SetModifiedFlag(false);
        }
    }

    void settingsAreKeptBetweenSessions() {
        {
            auto window = MakeWindow();
            QFont font("DejaVu Sans Mono");
            font.setPixelSize(17);
            window->SetListingFont(font, QColor(0, 0, 200));
            window->SetShowMachineCode(true);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            window->TogglePane(0, CMainFrame::kStatistics);
            QVERIFY(window->SaveDocument(m_folder.filePath("one.sqw")));
            window->SaveSettings();
        }
        const SListingFontSettings stored = m_settings->ReadFont();
        QCOMPARE(stored.height, -17);
        QCOMPARE(stored.colour, 200 << 16);
        QCOMPARE(m_settings->RecentFiles(), QStringList{m_folder.filePath("one.sqw")});
        auto window = MakeWindow();
        QVERIFY(window->ShowMachineCode());
        QCOMPARE(window->ListingColour(), QColor(0, 0, 200));
        QCOMPARE(window->ListingFont().pixelSize(), 17);
        QVERIFY(window->VisibleMask(0) & CMainFrame::kStatistics);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Panes built before the window was shown come back too.
        for (CMainFrame::EPane pane : {CMainFrame::kStatistics, CMainFrame::kCode})
            QVERIFY(window->Pane(0, pane)->isVisible());
        QVERIFY(window->CodeView(0)->Listing().GetShowMachineCode());
        // A face that is not installed falls back to a fixed-width font.
        SListingFontSettings missing;
        missing.faceName = "No Such Face Anywhere";
        QVERIFY(QFontInfo(CSettings::ToQFont(missing)).fixedPitch());
    }

    void viewAddressMovesTheActiveUnitsListing() {
        auto window = MakeWindow();  // the Vo16 system: RAM from 0 to 7FFF
        window->ViewAddress("100");
        QCOMPARE(window->CodeView(0)->Listing().GetTopAddress(), 0x100u);
        window->ViewAddress("9000");
        QCOMPARE(m_prompter.messages, QStringList{"The address is not in any valid range."});
        QCOMPARE(window->CodeView(0)->Listing().GetTopAddress(), 0x100u);
    }

    void aFileThatCannotBeOpenedKeepsTheWorkspace() {
        auto window = MakeWindow();
        window->Workspace().Write(0x100, 0x42, 1, false);
        QFile junk(m_folder.filePath("junk.sqw"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a workspace");
        junk.close();
        QVERIFY(!window->OpenDocument(junk.fileName()));
        QCOMPARE(m_prompter.messages.size(), 1);
        QCOMPARE(window->Workspace().Read(0x100, 1), 0x42u);
        QVERIFY(m_settings->RecentFiles().isEmpty());
    }

    void helpShowsTheUserGuide() {
        auto window = MakeWindow();
        window->ShowHelp();
        auto* help = window->findChild<CHelpWindow*>();
        QVERIFY(help && help->isVisible());
        QVERIFY(help->Browser()->toPlainText().contains("simQuorvex user guide"));
    }

    void viewsRefreshAtTheControllersPaceWhileUnitsRun() {
        auto window = MakeWindow();
        Populate(*window, 1);
        QSignalSpy views(&window->Controller(), &CController::viewsUpdated);
        window->Controller().Run(true);
        views.clear();
        for (int n = 0; n < 100; ++n)
            window->Workspace().UpdateAllViews(8);
        QCOMPARE(views.count(), 0);
        QTRY_COMPARE(views.count(), 1);
        QCOMPARE(views.at(0).at(0).toUInt(), 8u);
        window->Controller().Stop();
        window->Workspace().UpdateAllViews(4);
        QCOMPARE(views.last().at(0).toUInt(), 4u);  // at once when no unit runs
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
