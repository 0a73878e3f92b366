#include "ui/MainFrm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "ui/CodeView.h"
#include "ui/CommandWindow.h"
#include "ui/DeviceUi.h"
#include "ui/Dialogs.h"
#include "ui/DisplayWindow.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/HotSpots.h"
#include "ui/Icons.h"
#include "ui/KeyState.h"
#include "ui/MemoryView.h"

#ifndef SIMQ_VERSION
#define SIMQ_VERSION "0"
#endif

namespace {

const char* PaneName(CMainFrame::EPane pane) {
    switch (pane) {
        case CMainFrame::kRegisters: return "Registers";
        case CMainFrame::kBreakpoints: return "Breakpoints";
        case CMainFrame::kCode: return "Code";
        case CMainFrame::kStatistics: return "Statistics";
        case CMainFrame::kMemory: return "Memory";
    }
    return "";
}

// First command identifier of each View submenu, by pane.
int PaneCommandBase(CMainFrame::EPane pane) {
    switch (pane) {
        case CMainFrame::kRegisters: return 32840;
        case CMainFrame::kCode: return 32850;
        case CMainFrame::kBreakpoints: return 32860;
        case CMainFrame::kStatistics: return 32870;
        case CMainFrame::kMemory: return 32880;
    }
    return 0;
}

}  // namespace

CMainFrame::CMainFrame(CSettings* settings, QWidget* parent)
    : QMainWindow(parent),
      m_ownSettings(settings ? nullptr : std::make_unique<CSettings>()),
      m_settings(settings ? settings : m_ownSettings.get()),
      m_controller(new CController(this, this)),
      m_printer(QPrinter::HighResolution) {
    setObjectName("MainFrame");
    setDockOptions(AnimatedDocks | AllowNestedDocks | AllowTabbedDocks);
    setDockNestingEnabled(true);
    // The forms' column runs the full height on the left; the code panes and
    // the command window share the rest.
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    // The central view draws nothing: everything lies in the panes. It is
    // there all the same, as small as the panes leave it: without one the
    // window gives the panes' column a few more pixels at every new layout.
    auto* central = new QWidget(this);
    central->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setCentralWidget(central);
    m_font = CSettings::ToQFont(m_settings->ReadFont());
    m_colour = CSettings::ToColour(m_settings->ReadFont().colour);
    m_showMachineCode = m_settings->ShowMachineCode();

    BuildActions();
    BuildMenus();
    BuildToolbars();
    BuildStatusBar();
    BuildCommandWindow();

    connect(m_controller, &CController::viewsUpdated, this, [this](unsigned hint) {
        ForEachView([hint](QWidget* view) {
            if (auto* code = qobject_cast<CCodeView*>(view)) code->OnViewsUpdated(hint);
            if (auto* form = qobject_cast<CUnitForm*>(view)) form->OnViewsUpdated(hint);
            if (auto* memory = qobject_cast<CMemoryView*>(view)) memory->OnViewsUpdated(hint);
        });
    });
    connect(m_controller, &CController::liveRefresh, this, &CMainFrame::OnLiveRefresh);
    connect(m_controller, &CController::runStopped, this, [this](int slot, EStopReason reason) {
        statusBar()->showMessage(m_controller->DescribeStop(slot, reason));
    });
    connect(m_controller, &CController::debugAidsChanged, this, &CMainFrame::UpdateDebugActions);
    connect(m_controller, &CController::documentChanged, this, &CMainFrame::UpdateDebugActions);
    connect(m_controller, &CController::frameReady, this,
            [](CDevice* device) { DeviceUi::FrameReady(*device); });
    // A click on a display window's pixel dumps the memory behind it.
    DeviceUi::SetDumpHandler([this](uint32_t address) {
        m_commandDock->show();
        m_command->RunCommand(QString("D %1 40").arg(address, 6, 16, QLatin1Char('0')).toUpper());
    });
    connect(m_controller, &CController::statusText, this,
            [this](const QString& text) { statusBar()->showMessage(text, 10000); });
    connect(m_controller, &CController::unitsChanged, this, &CMainFrame::OnUnitsChanged);
    connect(m_controller, &CController::runStateChanged, this, &CMainFrame::UpdateActions);
    connect(m_controller, &CController::documentChanged, this, &CMainFrame::UpdateTitle);
    connect(m_controller, &CController::activeUnitChanged, this, [this](const QString& name) {
        m_unitName->setText(name);
        UpdateActions();
    });

    resize(1280, 820);
    if (!m_settings->WindowGeometry().isEmpty()) restoreGeometry(m_settings->WindowGeometry());
    if (!m_controller->NewDocument()) Workspace().NewContents();
    m_layoutRestored = restoreState(m_settings->BarState());
    ApplySavedPanes();
    UpdateTitle();
    UpdateActions();
    UpdateDebugActions();
    qApp->installEventFilter(this);
    auto* keys = new QTimer(this);
    connect(keys, &QTimer::timeout, this, &CMainFrame::UpdateKeyIndicators);
    keys->start(250);
    UpdateKeyIndicators();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    DeviceUi::SetDumpHandler(nullptr);
    DeviceUi::CloseAllDeviceWindows();
    // Panes go before the workspace they show.
    for (SPaneGroup& group : m_groups)
        for (QDockWidget*& dock : group.docks) {
            delete dock;
            dock = nullptr;
        }
    delete m_commandDock;
    m_commandDock = nullptr;
}

// --- Actions and menus ------------------------------------------------------------

QAction* CMainFrame::MakeAction(const QString& label, const QString& prompt,
                                const QList<QKeySequence>& keys) {
    auto* action = new QAction(label, this);
    // The prompt: the status line, then after a line break the tooltip.
    const QStringList parts = prompt.split('\n');
    action->setStatusTip(parts.value(0));
    if (parts.size() > 1) action->setToolTip(parts.value(1));
    if (!keys.isEmpty()) action->setShortcuts(keys);
    m_actions.insert(label, action);
    return action;
}

QAction* CMainFrame::Action(const QString& label) const {
    return m_actions.value(label, nullptr);
}

void CMainFrame::BuildActions() {
    QStyle* s = style();
    auto file = [this, s](const QString& label, const QString& prompt, QKeySequence key,
                          QStyle::StandardPixmap icon, auto slot) {
        QAction* action = MakeAction(
            label, prompt, key.isEmpty() ? QList<QKeySequence>{} : QList<QKeySequence>{key});
        if (icon != QStyle::SP_CustomBase) action->setIcon(s->standardIcon(icon));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const auto none = QStyle::SP_CustomBase;
    file("&New", "Create a new document\nNew", QKeySequence(Qt::CTRL | Qt::Key_N),
         QStyle::SP_FileIcon, [this] { NewDocument(); });
    file("&Open...", "Open an existing document\nOpen", QKeySequence(Qt::CTRL | Qt::Key_O),
         QStyle::SP_DialogOpenButton, [this] { OnOpen(); });
    file("&Save", "Save the active document\nSave", QKeySequence(Qt::CTRL | Qt::Key_S),
         QStyle::SP_DialogSaveButton, [this] {
             if (m_controller->Path().isEmpty()) {
                 const QString path = AskSaveAs();
                 if (!path.isEmpty()) SaveDocument(path);
             } else {
                 SaveDocument(m_controller->Path());
             }
         });
    file("Save &As...", "Save the active document with a new name\nSave As", QKeySequence(), none,
         [this] {
             const QString path = AskSaveAs();
             if (!path.isEmpty()) SaveDocument(path);
         });
    file("&Load", "Load data or code into the workspace\nLoad", QKeySequence(), QStyle::SP_ArrowUp,
         [this] { OnLoad(); });
    file("&Dump", "Save data or code from the workspace to a file\nDump", QKeySequence(),
         QStyle::SP_ArrowDown, [this] { OnDump(); });
    file("Assemble and Load...",
         "Assemble a source file for the active processor and load its code and symbols\n"
         "Assemble and Load",
         QKeySequence(Qt::CTRL | Qt::Key_L), none, [this] {
             const QString path =
                 QFileDialog::getOpenFileName(this, "Assemble and Load", QString(),
                                              "Assembler sources (*.s *.asm *.a65);;All files (*)");
             if (!path.isEmpty()) m_controller->AssembleAndLoad(path);
         });
    file("Load S&ymbols...",
         "Give the active processor the names of a symbol or label file\nLoad Symbols",
         QKeySequence(), none, [this] {
             const QString path =
                 QFileDialog::getOpenFileName(this, "Load Symbols", QString(),
                                              "Symbol files (*.sym *.lbl *.txt);;All files (*)");
             if (!path.isEmpty()) m_controller->LoadSymbols(path);
         });
    file("&Print...", "Print the active document\nPrint", QKeySequence(Qt::CTRL | Qt::Key_P), none,
         [this] { OnPrint(); });
    file("Print Pre&view", "Display full pages\nPrint Preview", QKeySequence(), none,
         [this] { OnPrintPreview(); });
    file("P&rint Setup...", "Change the printer and printing options\nPrint Setup", QKeySequence(),
         none, [this] { OnPrintSetup(); });
    file("E&xit", "Quit the application; prompts to save documents\nExit", QKeySequence(), none,
         [this] { close(); });

    // Edit acts on the command window.
    auto edit = [this](const QString& label, const QString& prompt, QKeySequence key, auto slot) {
        QAction* action = MakeAction(label, prompt, {key});
        connect(action, &QAction::triggered, this, slot);
    };
    edit("&Undo", "Undo the last action\nUndo", QKeySequence(Qt::CTRL | Qt::Key_Z),
         [this] { m_command->undo(); });
    edit("Cu&t", "Cut the selection and put it on the Clipboard\nCut",
         QKeySequence(Qt::CTRL | Qt::Key_X), [this] { m_command->cut(); });
    edit("&Copy", "Copy the selection and put it on the Clipboard\nCopy",
         QKeySequence(Qt::CTRL | Qt::Key_C), [this] { m_command->copy(); });
    edit("&Paste", "Insert Clipboard contents\nPaste", QKeySequence(Qt::CTRL | Qt::Key_V),
         [this] { m_command->paste(); });

    connect(MakeAction("Edit &Configuration", "Edit the devices of the system\nDevices"),
            &QAction::triggered, this, [this] {
                DeviceUi::EditDeviceConfiguration(Workspace(), this);
                AfterMachineEdit();
            });
    connect(MakeAction("&Processing Units", "Edit the processing units of the system\nUnits"),
            &QAction::triggered, this, [this] {
                DeviceUi::EditProcessingUnits(Workspace(), this);
                AfterMachineEdit();
            });

    auto run = [this](const QString& label, const QString& prompt, QList<QKeySequence> keys,
                      ERunIcon icon, auto slot) {
        QAction* action = MakeAction(label, prompt, keys);
        action->setIcon(RunIcon(icon));
        connect(action, &QAction::triggered, this, slot);
    };
    CController* c = m_controller;
    run("&Run", "Runs or continues the program from the current program counter\nRun",
        {QKeySequence(Qt::Key_F5)}, ERunIcon::kRun, [c] { c->Run(); });
    run("Run All", "Start all processors running\nRun All", {}, ERunIcon::kRunAll,
        [c] { c->RunAll(); });
    // Ctrl-Brk is Ctrl+Pause here; Ctrl+F2 serves keyboards without a Pause key.
    run("&Stop", "Stop the program from running\nStop",
        {QKeySequence(Qt::CTRL | Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_F2)},
        ERunIcon::kStop, [c] { c->Stop(); });
    run("Stop All", "Stop all processors from running\nStop All", {}, ERunIcon::kStopAll,
        [c] { c->StopAll(); });
    run("St&ep Into", "Executes the next instruction, tracing into subroutines\nStep Into",
        {QKeySequence(Qt::Key_F8)}, ERunIcon::kStepInto, [c] { c->StepInto(); });
    run("&Bounce Over", "Execute the subroutine and return\nBounce Over",
        {QKeySequence(Qt::SHIFT | Qt::Key_F8)}, ERunIcon::kBounceOver, [c] { c->BounceOver(); });
    run("Step &Out", "Finish executing subroutine and return to the caller\nStep Out",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8)}, ERunIcon::kStepOut,
        [c] { c->StepOut(); });
    run("Generate &Interrupt", "Generate an interrupt signal to the processor\nGenerate Interrupt",
        {}, ERunIcon::kInterrupt, [c] { c->GenerateInterrupt(); });
    run("&Toggle Breakpoint",
        "Toggles a breakpoint at the current execution line\nToggle Breakpoint",
        {QKeySequence(Qt::Key_F9)}, ERunIcon::kBreakpoint, [c] { c->ToggleBreakpoint(); });
    for (const auto& [label, rate] : {std::pair{"&Animate 1/1", 1}, std::pair{"Animate 1/10", 10},
                                      std::pair{"Animate 1/100", 100}}) {
        QAction* action =
            MakeAction(label, QString("Step the processor every %1 ms, showing each step\nAnimate")
                                  .arg(CComputer::AnimationPeriod(rate)));
        action->setCheckable(true);
        action->setData(rate);
        connect(action, &QAction::triggered, this, [c, rate] { c->Animate(rate); });
    }

    run("Step &Back",
        "Undo the last instruction from the history (device side effects are not undone)\n"
        "Step Back",
        {QKeySequence(Qt::CTRL | Qt::Key_F8)}, ERunIcon::kStepBack, [c] { c->StepBack(); });
    run("Run Bac&k",
        "Undo instructions from the history back to the previous breakpoint (device side "
        "effects are not undone)\nRun Back",
        {QKeySequence(Qt::CTRL | Qt::Key_F5)}, ERunIcon::kRunBack, [c] { c->RunBack(); });
    QAction* history = MakeAction(
        "Record &History",
        "Record each instruction's changes so that it can be undone with Step Back\nHistory");
    history->setCheckable(true);
    connect(history, &QAction::triggered, this, [c](bool on) { c->SetHistoryEnabled(on); });
    connect(MakeAction("History &Limits...",
                       "Set how many instructions and how much memory the history keeps\n"
                       "History Limits"),
            &QAction::triggered, this, &CMainFrame::OnHistoryLimits);
    QAction* profile =
        MakeAction("&Profile Execution", "Count how often each address is executed\nProfile");
    profile->setCheckable(true);
    connect(profile, &QAction::triggered, this, [c](bool on) { c->SetProfileEnabled(on); });
    connect(MakeAction("Hot &Spots", "Show the most executed addresses of the profile\nHot Spots"),
            &QAction::triggered, this, &CMainFrame::ShowHotSpots);
    connect(MakeAction("&Reset Profile", "Clear every unit's execution counts\nReset Profile"),
            &QAction::triggered, c, &CController::ResetProfiles);
    connect(MakeAction("Save Profile &As...",
                       "Save every unit's execution counts as a CSV file\nSave Profile"),
            &QAction::triggered, this, [this] {
                const QString path = QFileDialog::getSaveFileName(
                    this, "Save Profile As", "profile.csv", "CSV files (*.csv);;All files (*)");
                if (!path.isEmpty()) m_controller->SaveProfile(path);
            });

    QAction* command =
        MakeAction("&Command Window", "Show or hide the command window\nCommand Window");
    command->setCheckable(true);
    connect(command, &QAction::triggered, this, [this](bool on) { m_commandDock->setVisible(on); });
    connect(MakeAction("&Address", "Move the code window to an address\nAddress"),
            &QAction::triggered, this, &CMainFrame::OnViewAddress);
    connect(MakeAction("Global Run Limits",
                       "Set a time or cycle limit for the simulation.\nRun Limits"),
            &QAction::triggered, this, &CMainFrame::OnRunLimits);
    QAction* machineCode =
        MakeAction("&Machine Code", "Show the bytes of each instruction\nMachine Code");
    machineCode->setCheckable(true);
    machineCode->setChecked(m_showMachineCode);
    connect(machineCode, &QAction::triggered, this, &CMainFrame::SetShowMachineCode);
    connect(MakeAction("&Font", "Choose the listing font and colour\nFont"), &QAction::triggered,
            this, &CMainFrame::OnFont);
    QAction* toolbar = MakeAction("&Toolbar", "Show or hide the toolbar\nToggle ToolBar");
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    connect(toolbar, &QAction::triggered, this, [this](bool on) {
        for (QToolBar* bar : m_toolbars)
            bar->setVisible(on);
    });
    QAction* statusBarAction =
        MakeAction("&Status Bar", "Show or hide the status bar\nToggle StatusBar");
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);
    connect(statusBarAction, &QAction::triggered, this,
            [this](bool on) { statusBar()->setVisible(on); });

    connect(MakeAction("&Help Topics", "List Help topics\nHelp Topics", {QKeySequence(Qt::Key_F1)}),
            &QAction::triggered, this, &CMainFrame::ShowHelp);
    connect(MakeAction("&About simQuorvex...",
                       "Display program information, version number and copyright\nAbout"),
            &QAction::triggered, this, &CMainFrame::OnAbout);
}

void CMainFrame::BuildMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<const char*> labels) {
        for (const char* label : labels) {
            if (*label == '\0')
                menu->addSeparator();
            else
                menu->addAction(Action(label));
        }
    };
    m_fileMenu = menuBar()->addMenu("&File");
    add(m_fileMenu,
        {"&New", "&Open...", "&Save", "Save &As...", "", "&Load", "&Dump", "Assemble and Load...",
         "Load S&ymbols...", "", "&Print...", "Print Pre&view", "P&rint Setup...", ""});
    m_recentSeparator = m_fileMenu->addSeparator();
    add(m_fileMenu, {"E&xit"});
    RebuildRecentFiles();

    QMenu* edit = menuBar()->addMenu("&Edit");
    add(edit, {"&Undo", "", "Cu&t", "&Copy", "&Paste"});
    QMenu* device = menuBar()->addMenu("&Device");
    add(device, {"Edit &Configuration", "&Processing Units"});
    QMenu* run = menuBar()->addMenu("&Run");
    add(run, {"&Run", "Run All", "&Stop", "Stop All", "", "St&ep Into", "&Bounce Over", "Step &Out",
              "", "Generate &Interrupt", "&Toggle Breakpoint", "", "&Animate 1/1", "Animate 1/10",
              "Animate 1/100"});
    QMenu* debug = menuBar()->addMenu("De&bug");
    add(debug, {"Step &Back", "Run Bac&k", "", "Record &History", "History &Limits...", "",
                "&Profile Execution", "Hot &Spots", "&Reset Profile", "Save Profile &As..."});
    QMenu* view = menuBar()->addMenu("&View");
    for (EPane pane : {kCode, kBreakpoints, kRegisters, kStatistics, kMemory}) {
        const char* label = pane == kCode          ? "&Code Window"
                            : pane == kBreakpoints ? "&Breakpoints"
                            : pane == kRegisters   ? "&Register Window"
                            : pane == kStatistics  ? "&Statistics"
                                                   : "M&emory";
        m_paneMenus[PaneIndex(pane)] = view->addMenu(label);
    }
    add(view, {"&Command Window", "", "&Address", "Global Run Limits", "", "&Machine Code", "&Font",
               "", "&Toolbar", "&Status Bar"});
    QMenu* help = menuBar()->addMenu("&Help");
    add(help, {"&Help Topics", "", "&About simQuorvex..."});
    connect(edit, &QMenu::aboutToShow, this, [this] {
        Action("&Undo")->setEnabled(m_command->document()->isUndoAvailable());
        const bool selection = m_command->textCursor().hasSelection();
        Action("Cu&t")->setEnabled(selection);
        Action("&Copy")->setEnabled(selection);
        Action("&Paste")->setEnabled(m_command->canPaste());
    });
    connect(edit, &QMenu::aboutToHide, this, [this] {
        // Shortcuts stay live for the command window whatever the menu showed.
        for (const char* label : {"&Undo", "Cu&t", "&Copy", "&Paste"})
            Action(label)->setEnabled(true);
    });
}

void CMainFrame::BuildToolbars() {
    QToolBar* file = addToolBar("Standard");
    file->setObjectName("StandardBar");
    for (const char* label : {"&New", "&Open...", "&Save", "&Load"})
        file->addAction(Action(label));
    QToolBar* execution = addToolBar("Execution");
    execution->setObjectName("ExecutionBar");
    for (const char* label : {"St&ep Into", "&Bounce Over", "Step &Out", "&Run", "&Stop",
                              "Generate &Interrupt", "&Toggle Breakpoint"})
        execution->addAction(Action(label));
    execution->addSeparator();
    for (const char* label : {"Step &Back", "Run Bac&k"})
        execution->addAction(Action(label));
    QToolBar* processors = addToolBar("Processors");
    processors->setObjectName("ProcessorBar");
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        auto* button = new QAction(ProcessorIcon(slot), QString("MPU%1").arg(slot), this);
        button->setCheckable(true);
        button->setData(32820 + slot);
        button->setStatusTip(QString("Show or hide the panes of processor %1").arg(slot));
        connect(button, &QAction::triggered, this, [this, slot] { ToggleGroup(slot); });
        processors->addAction(button);
        m_processorButtons[Index(slot)] = button;
    }
    m_toolbars = {file, execution, processors};
    for (QToolBar* bar : m_toolbars)
        bar->setIconSize(QSize(24, 24));
}

void CMainFrame::UpdateDebugActions() {
    const CDebugger& debugger = m_controller->Debugger();
    Action("Record &History")->setChecked(debugger.IsHistoryEnabled());
    Action("&Profile Execution")->setChecked(debugger.IsProfileEnabled());
    ShowHistorySize();
    if (m_hotSpots) m_hotSpots->Refresh();
    ForEachView([](QWidget* view) {
        if (auto* code = qobject_cast<CCodeView*>(view)) code->viewport()->update();
    });
}

void CMainFrame::ShowHistorySize() {
    const CDebugger& debugger = m_controller->Debugger();
    m_history->setVisible(debugger.IsHistoryEnabled());
    if (!debugger.IsHistoryEnabled()) return;
    const int slot = m_controller->ActiveSlot();
    const CHistory& history = debugger.History(slot);
    const double megabytes = static_cast<double>(history.GetBytes()) / (1 << 20);
    m_history->setText(QString(" History: %1 instr, %2 MB ")
                           .arg(QLocale().toString(static_cast<qulonglong>(history.GetCount())))
                           .arg(megabytes, 0, 'f', 1));
    m_history->setToolTip(
        QString("Instructions of MPU%1 that Step Back can undo, and the memory they take (at "
                "most %2 instructions and %3 MB; Debug > History Limits)")
            .arg(slot)
            .arg(QLocale().toString(
                static_cast<qulonglong>(debugger.GetHistoryLimits().instructions)))
            .arg(debugger.GetHistoryLimits().bytes >> 20));
}

void CMainFrame::ShowHotSpots() {
    if (!m_hotSpotsDock) {
        m_hotSpots = new CHotSpots(*m_controller, [this](int slot, uint32_t pc) {
            const CMpu* unit = m_controller->Unit(slot);
            if (!unit) return;
            if (!(VisibleMask(slot) & kCode)) TogglePane(slot, kCode);
            if (CCodeView* view = CodeView(slot)) {
                const uint32_t scale = std::max<uint32_t>(1, unit->GetAddressScale());
                view->Listing().ViewAddress(QString::number(pc * scale, 16).toStdString());
                view->viewport()->update();
                view->setFocus();
            }
        });
        m_hotSpotsDock = new QDockWidget("Hot Spots", this);
        m_hotSpotsDock->setObjectName("HotSpots");
        m_hotSpotsDock->setWidget(m_hotSpots);
        // Beside the command window, as a tab of its own.
        addDockWidget(dockWidgetArea(m_commandDock), m_hotSpotsDock);
        if (!m_commandDock->isFloating()) tabifyDockWidget(m_commandDock, m_hotSpotsDock);
        connect(m_controller, &CController::activeUnitChanged, m_hotSpots, &CHotSpots::Refresh);
        connect(m_controller, &CController::viewsUpdated, m_hotSpots, [this](unsigned) {
            if (m_hotSpotsDock->isVisible() && !m_controller->AnyBusy()) m_hotSpots->Refresh();
        });
    }
    m_hotSpots->Refresh();
    m_hotSpotsDock->show();
    m_hotSpotsDock->raise();
}

void CMainFrame::OnHistoryLimits() {
    CHistoryLimitsDialog dialog(m_controller->Debugger().GetHistoryLimits(), this);
    if (dialog.exec() == QDialog::Accepted) m_controller->SetHistoryLimits(dialog.Limits());
    ShowHistorySize();
}

void CMainFrame::BuildStatusBar() {
    auto indicator = [this](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 10);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(label);
        return label;
    };
    m_cap = indicator("CAP");
    m_num = indicator("NUM");
    m_scrl = indicator("SCRL");
    m_unitName = new QLabel(this);
    m_unitName->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_unitName->setMinimumWidth(m_unitName->fontMetrics().horizontalAdvance("XXXXXXXXXXXXXXXX"));
    statusBar()->addPermanentWidget(m_unitName);
    m_history = new QLabel(this);
    m_history->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_history->hide();
    statusBar()->insertPermanentWidget(0, m_history);
    statusBar()->showMessage("Ready");
}

void CMainFrame::UpdateKeyIndicators() {
    const SKeyLocks locks = ReadKeyLocks();
    const QPalette colours = palette();
    auto show = [&colours](QLabel* label, bool on) {
        label->setEnabled(on);
        label->setToolTip(on ? "On" : "Off");
    };
    show(m_cap, locks.caps);
    show(m_num, locks.num);
    show(m_scrl, locks.scroll);
}

void CMainFrame::BuildCommandWindow() {
    m_command = new CCommandWindow(*m_controller, this);
    m_command->SetListingFont(m_font, m_colour);
    m_commandDock = new QDockWidget("Command Window", this);
    m_commandDock->setObjectName("CommandWindow");
    m_commandDock->setWidget(m_command);
    connect(m_command, &CCommandWindow::memoryRequested, this,
            [this](uint32_t address) { ShowMemory(m_controller->ActiveSlot(), address); });
    addDockWidget(Qt::BottomDockWidgetArea, m_commandDock);
    connect(m_commandDock, &QDockWidget::visibilityChanged, this,
            [this](bool) { Action("&Command Window")->setChecked(!m_commandDock->isHidden()); });
    Action("&Command Window")->setChecked(true);
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        delete action;
    }
    m_recentActions.clear();
    const QStringList files = m_settings->RecentFiles();
    QAction* before =
        m_fileMenu->actions().value(m_fileMenu->actions().indexOf(m_recentSeparator) + 1);
    if (files.isEmpty()) {
        auto* empty = new QAction("Recent File", this);
        empty->setEnabled(false);
        m_fileMenu->insertAction(before, empty);
        m_recentActions << empty;
    }
    for (int n = 0; n < files.size(); ++n) {
        auto* action = new QAction(QString("&%1 %2").arg(n + 1).arg(files.at(n)), this);
        action->setStatusTip("Open this document");
        const QString path = files.at(n);
        connect(action, &QAction::triggered, this, [this, path] {
            if (m_controller->MaybeSave([this] { return AskSaveAs(); })) OpenDocument(path);
        });
        m_fileMenu->insertAction(before, action);
        m_recentActions << action;
    }
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    m_fileMenu->insertAction(before, separator);
    m_recentActions << separator;
}

// --- Documents ----------------------------------------------------------------

void CMainFrame::UpdateTitle() {
    setWindowTitle(m_controller->DocumentName() + (m_controller->IsModified() ? "*" : "") +
                   " - simQuorvex");
}

QString CMainFrame::AskSaveAs() {
    return QFileDialog::getSaveFileName(this, "Save As", m_controller->Path());
}

bool CMainFrame::NewDocument() {
    if (!m_controller->MaybeSave([this] { return AskSaveAs(); })) return false;
    // Display windows and panels point at devices the new workspace deletes.
    DeviceUi::CloseAllDeviceWindows();
    const bool created = m_controller->NewDocument();
    OpenDisplayWindows();
    return created;
}

void CMainFrame::OpenDisplayWindows() {
    DeviceUi::OpenDisplayWindows(Workspace(), this);
    // Beside the panes: stacked up from the main window's bottom right
    // corner, over the command window rather than the registers.
    const CDevices* devices = Workspace().GetDevices();
    QPoint corner = frameGeometry().bottomRight() - QPoint(24, 48);
    for (int n = 0; devices && n < devices->GetCount(); ++n) {
        CDisplayWindow* display = DeviceUi::FindDisplayWindow(*devices->GetAt(n));
        if (!display) continue;
        const QSize size = display->frameGeometry().size();
        display->move(std::max(0, corner.x() - size.width()),
                      std::max(0, corner.y() - size.height()));
        corner.ry() -= size.height() + 24;
    }
}

void CMainFrame::AfterMachineEdit() {
    m_controller->FlushViews();
    Workspace().UpdateAllViews(0);
    UpdateActions();
}

bool CMainFrame::OpenDocument(const QString& path) {
    DeviceUi::CloseAllDeviceWindows();
    const bool opened = m_controller->OpenDocument(path);
    OpenDisplayWindows();
    if (opened)
        m_settings->AddRecentFile(QFileInfo(path).absoluteFilePath());
    else
        m_settings->RemoveRecentFile(QFileInfo(path).absoluteFilePath());
    RebuildRecentFiles();
    return opened;
}

bool CMainFrame::SaveDocument(const QString& path) {
    if (!m_controller->SaveDocument(path)) return false;
    m_settings->AddRecentFile(QFileInfo(path).absoluteFilePath());
    RebuildRecentFiles();
    return true;
}

void CMainFrame::OnOpen() {
    if (!m_controller->MaybeSave([this] { return AskSaveAs(); })) return;
    const QString path =
        QFileDialog::getOpenFileName(this, "Open", QFileInfo(m_controller->Path()).path());
    if (!path.isEmpty()) OpenDocument(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_controller->MaybeSave([this] { return AskSaveAs(); })) {
        event->ignore();
        return;
    }
    SaveSettings();
    if (m_help) m_help->close();
    DeviceUi::CloseAllDeviceWindows();
    event->accept();
}

void CMainFrame::SaveSettings() {
    m_settings->SetBarState(saveState());
    m_settings->SetWindowGeometry(saveGeometry());
    std::array<uint32_t, 16> masks{};
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        masks[Index(slot)] = m_groups[Index(slot)].group ? 1 : 0;
        masks[Index(slot) + 8] = m_groups[Index(slot)].visible;
    }
    m_settings->SetPaneMasks(masks);
    for (int slot = 0; slot < kPaneUnits; ++slot)
        for (EPane pane : kPanes) {
            QDockWidget* dock = Pane(slot, pane);
            if (!dock) continue;
            // The four first kinds by slot, four numbers a slot; memory panes after them.
            const size_t index = PaneIndex(pane);
            const int number =
                index < 4 ? slot * 4 + static_cast<int>(index) + 1 : kPaneUnits * 4 + slot + 1;
            SPaneSizes sizes = m_settings->PaneSizes(number);
            const Qt::DockWidgetArea area = dockWidgetArea(dock);
            if (dock->isFloating())
                sizes.floating = dock->size();
            else if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
                sizes.horz = dock->size();
            else
                sizes.vert = dock->size();
            m_settings->SetPaneSizes(number, sizes);
        }
    m_settings->Sync();
}

void CMainFrame::ApplySavedPanes() {
    std::array<uint32_t, 16> masks = m_settings->PaneMasks();
    const bool saved = std::any_of(masks.begin(), masks.end(), [](uint32_t m) { return m != 0; });
    if (!saved) {
        // A first start: unit 0's code, registers and breakpoints.
        masks.fill(1);
        for (size_t i = 8; i < 16; ++i)
            masks[i] = 0;
        masks[8] = kCode | kRegisters | kBreakpoints;
    }
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        m_groups[Index(slot)].group = masks[Index(slot)] != 0;
        if (slot >= m_controller->UnitCount()) continue;
        // Panes the new workspace already opened stay open when the saved
        // set has them too: each pane is set to its saved state, not flipped.
        for (EPane pane : kPanes)
            if (bool(masks[Index(slot) + 8] & pane) != bool(m_groups[Index(slot)].visible & pane))
                TogglePane(slot, pane);
    }
    OnUnitsChanged();
}

// --- Panes --------------------------------------------------------------------

size_t CMainFrame::PaneIndex(EPane pane) {
    switch (pane) {
        case kRegisters: return 0;
        case kBreakpoints: return 1;
        case kCode: return 2;
        case kStatistics: return 3;
        case kMemory: return 4;
    }
    return 0;
}

QDockWidget* CMainFrame::Pane(int slot, EPane pane) const {
    return m_groups[Index(slot)].docks[PaneIndex(pane)];
}

QMenu* CMainFrame::PaneMenu(EPane pane) const {
    return m_paneMenus[PaneIndex(pane)];
}

CCodeView* CMainFrame::CodeView(int slot) const {
    QDockWidget* dock = Pane(slot, kCode);
    return dock ? qobject_cast<CCodeView*>(dock->widget()) : nullptr;
}

CMemoryView* CMainFrame::MemoryView(int slot) const {
    QDockWidget* dock = Pane(slot, kMemory);
    return dock ? qobject_cast<CMemoryView*>(dock->widget()) : nullptr;
}

void CMainFrame::ShowMemory(int slot, uint32_t address) {
    if (slot < 0 || slot >= kPaneUnits || !m_controller->Unit(slot)) return;
    if (!(VisibleMask(slot) & kMemory)) TogglePane(slot, kMemory);
    if (!GroupFlag(slot)) ToggleGroup(slot);
    QDockWidget* dock = Pane(slot, kMemory);
    CMemoryView* view = MemoryView(slot);
    if (!dock || !view) return;
    dock->show();
    dock->raise();
    view->GoToAddress(address);
    view->setFocus(Qt::OtherFocusReason);
}

QString CMainFrame::PaneTitle(int slot, EPane pane) const {
    const CMpu* unit = m_controller->Unit(slot);
    const QString name = unit ? QString::fromStdString(unit->GetName()).left(24) : QString();
    return QString("MPU%1 %2 %3").arg(slot).arg(name, PaneName(pane));
}

QWidget* CMainFrame::MakePaneView(int slot, EPane pane) {
    switch (pane) {
        case kRegisters: return new CRegisterForm(*m_controller, slot);
        case kBreakpoints: return new CBreakpointForm(*m_controller, slot);
        case kStatistics: return new CStatisticsForm(*m_controller, slot);
        case kCode: {
            auto* view = new CCodeView(*m_controller, slot);
            view->SetListingFont(m_font, m_colour);
            view->SetShowMachineCode(m_showMachineCode);
            connect(view, &CCodeView::memoryRequested, this, &CMainFrame::ShowMemory);
            return view;
        }
        case kMemory: {
            auto* view = new CMemoryView(*m_controller, slot);
            view->SetListingFont(m_font, m_colour);
            return view;
        }
    }
    return nullptr;
}

void CMainFrame::TogglePane(int slot, EPane pane) {
    if (slot < 0 || slot >= kPaneUnits || !m_controller->Unit(slot)) return;
    SPaneGroup& group = m_groups[Index(slot)];
    group.visible ^= pane;
    QDockWidget*& dock = group.docks[PaneIndex(pane)];
    if ((group.visible & pane) && !(group.created & pane)) {
        dock = new QDockWidget(PaneTitle(slot, pane), this);
        dock->setObjectName(QString("MPU%1.%2").arg(slot).arg(PaneName(pane)));
        dock->setWidget(MakePaneView(slot, pane));
        dock->installEventFilter(this);
        // Memory beside the command window, below the code.
        const Qt::DockWidgetArea area = pane == kCode     ? Qt::TopDockWidgetArea
                                        : pane == kMemory ? Qt::BottomDockWidgetArea
                                                          : Qt::LeftDockWidgetArea;
        addDockWidget(area, dock);
        // Without a saved layout a new pane gets its first size.
        const bool restored = m_layoutRestored && restoreDockWidget(dock);
        if (!restored) {
            m_unplaced << dock;
            if (isVisible()) QTimer::singleShot(0, this, &CMainFrame::PlaceNewPanes);
        }
        group.created |= pane;
    }
    if (dock) {
        dock->setVisible((group.visible & pane) != 0);
        if (group.visible & pane) {
            group.group = true;
            dock->raise();
        }
    }
    RebuildUnitMenus();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    QTimer::singleShot(0, this, &CMainFrame::PlaceNewPanes);
}

void CMainFrame::PlaceNewPanes() {
    // Panes the saved layout did not know: the forms' column wide enough for
    // their fields, the code pane taller than the command window.
    QList<QDockWidget*> forms, code, memory;
    for (QDockWidget* dock : std::as_const(m_unplaced)) {
        if (!dock || dock->isFloating() || dock->isHidden()) continue;
        const Qt::DockWidgetArea area = dockWidgetArea(dock);
        (area == Qt::LeftDockWidgetArea     ? forms
         : area == Qt::BottomDockWidgetArea ? memory
                                            : code)
            << dock;
    }
    m_unplaced.clear();
    int formsWidth = 340;
    for (QDockWidget* dock : forms)
        formsWidth = std::max(formsWidth, dock->minimumSizeHint().width());
    if (!forms.isEmpty()) resizeDocks(forms, QList<int>(forms.size(), formsWidth), Qt::Horizontal);
    if (!code.isEmpty()) {
        resizeDocks(code, QList<int>(code.size(), width() - formsWidth - 20), Qt::Horizontal);
        resizeDocks(code, QList<int>(code.size(), height() * 3 / 5), Qt::Vertical);
    }
    // A memory pane as wide as its sixteen bytes a row, the command window
    // beside it giving up the width (a pane resized alone keeps its width).
    for (QDockWidget* dock : memory) {
        const int wanted = dock->widget()->sizeHint().width();
        if (m_commandDock->isVisible() && !m_commandDock->isFloating() &&
            dockWidgetArea(m_commandDock) == Qt::BottomDockWidgetArea)
            resizeDocks({m_commandDock, dock},
                        {std::max(120, m_commandDock->width() + dock->width() - wanted), wanted},
                        Qt::Horizontal);
        else
            resizeDocks({dock}, {wanted}, Qt::Horizontal);
    }
}

void CMainFrame::ToggleGroup(int slot) {
    SPaneGroup& group = m_groups[Index(slot)];
    group.group = !group.group;
    for (EPane pane : kPanes)
        if ((group.visible & pane) && group.docks[PaneIndex(pane)])
            group.docks[PaneIndex(pane)]->setVisible(group.group);
    m_processorButtons[Index(slot)]->setChecked(group.group);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) {
        // A pane closed by its own button: its visible bit follows.
        for (int slot = 0; slot < kPaneUnits; ++slot)
            for (EPane pane : kPanes)
                if (watched == Pane(slot, pane)) {
                    m_groups[Index(slot)].visible &= ~pane;
                    QTimer::singleShot(0, this, &CMainFrame::RebuildUnitMenus);
                }
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            QTimer::singleShot(0, this, &CMainFrame::UpdateKeyIndicators);
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RebuildUnitMenus() {
    const int count = std::min(m_controller->UnitCount(), kPaneUnits);
    for (EPane pane : kPanes) {
        QMenu* menu = PaneMenu(pane);
        menu->clear();
        for (int slot = 0; slot < count; ++slot) {
            const CMpu* unit = m_controller->Unit(slot);
            QAction* entry = menu->addAction(
                QString("&%1 %2").arg(slot).arg(QString::fromStdString(unit->GetName()).left(20)));
            entry->setCheckable(true);
            entry->setChecked((m_groups[Index(slot)].visible & pane) != 0);
            entry->setData(PaneCommandBase(pane) + slot);
            connect(entry, &QAction::triggered, this,
                    [this, slot, pane] { TogglePane(slot, pane); });
        }
        menu->setEnabled(count > 0);
    }
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        QAction* button = m_processorButtons[Index(slot)];
        const CMpu* unit = m_controller->Unit(slot);
        button->setChecked(m_groups[Index(slot)].group);
        button->setToolTip(
            unit ? QString("MPU%1 %2").arg(slot).arg(QString::fromStdString(unit->GetName()))
                 : QString("MPU%1 (no processor)").arg(slot));
    }
}

void CMainFrame::OnUnitsChanged() {
    const int count = m_controller->UnitCount();
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        SPaneGroup& group = m_groups[Index(slot)];
        for (EPane pane : kPanes) {
            QDockWidget*& dock = group.docks[PaneIndex(pane)];
            if (!dock) continue;
            if (slot >= count) {
                // The unit is gone: so are its panes.
                removeDockWidget(dock);
                delete dock;
                dock = nullptr;
                group.created &= ~pane;
                group.visible &= ~pane;
                continue;
            }
            // Another unit may stand in the slot now: its views are built afresh.
            QWidget* old = dock->widget();
            dock->setWidget(MakePaneView(slot, pane));
            delete old;
            dock->setWindowTitle(PaneTitle(slot, pane));
        }
    }
    // A machine whose units show nothing (a blank system that got a unit)
    // opens the first unit's code, registers and breakpoints.
    const bool anyVisible = std::any_of(m_groups.begin(), m_groups.end(),
                                        [](const SPaneGroup& group) { return group.visible != 0; });
    if (count > 0 && !anyVisible)
        for (EPane pane : {kCode, kRegisters, kBreakpoints})
            TogglePane(0, pane);
    RebuildUnitMenus();
    UpdateActions();
}

void CMainFrame::OnLiveRefresh() {
    // The active unit's panes at every refresh, the others' in turn, a few
    // units at a time: one refresh paints a handful of panes, not all of
    // them, however many units run.
    const int active = m_controller->ActiveSlot();
    std::array<bool, kPaneUnits> chosen{};
    if (active >= 0 && active < kPaneUnits) chosen[Index(active)] = true;
    int others = 0;
    for (int step = 0; step < kPaneUnits && others < kOtherUnitsPerRefresh; ++step) {
        const int slot = (m_liveCursor + step) % kPaneUnits;
        if (chosen[Index(slot)] || !m_controller->IsRunning(slot) ||
            m_groups[Index(slot)].visible == 0)
            continue;
        chosen[Index(slot)] = true;
        ++others;
        m_liveCursor = slot + 1;
    }
    for (int slot = 0; slot < kPaneUnits; ++slot) {
        if (!chosen[Index(slot)]) continue;
        for (QDockWidget* dock : m_groups[Index(slot)].docks) {
            QWidget* view = dock ? dock->widget() : nullptr;
            // Panes out of sight (a hidden tab, a minimised window) wait for
            // the notice of the stop.
            if (!view || view->visibleRegion().isEmpty()) continue;
            if (auto* code = qobject_cast<CCodeView*>(view)) code->OnLiveRefresh();
            if (auto* form = qobject_cast<CUnitForm*>(view)) form->OnLiveRefresh();
            if (auto* memory = qobject_cast<CMemoryView*>(view)) memory->OnLiveRefresh();
        }
    }
    ShowHistorySize();
    // The hot spots sort every counted address: a few times a second is enough.
    if (m_hotSpotsDock && m_hotSpotsDock->isVisible() && ++m_hotSpotsTicks % 8 == 0)
        m_hotSpots->Refresh();
}

void CMainFrame::ForEachView(const std::function<void(QWidget*)>& visit) {
    for (SPaneGroup& group : m_groups)
        for (QDockWidget* dock : group.docks)
            if (dock && dock->widget()) visit(dock->widget());
}

// --- Enabled states -----------------------------------------------------------

void CMainFrame::UpdateActions() {
    const int count = m_controller->UnitCount();
    const int active = m_controller->ActiveSlot();
    const bool hasUnit = m_controller->ActiveUnit() != nullptr;
    const bool activeBusy = hasUnit && m_controller->IsRunning(active);
    const CMpu* unit = m_controller->ActiveUnit();
    const bool animating = unit && unit->GetAnimationRate() != 0;
    const bool running = unit && unit->IsRunning();
    for (const char* label :
         {"&Run", "St&ep Into", "&Bounce Over", "Step &Out", "Step &Back", "Run Bac&k"})
        Action(label)->setEnabled(hasUnit && !activeBusy);
    Action("&Stop")->setEnabled(activeBusy);
    Action("Run All")->setEnabled(count > 0);
    Action("Stop All")->setEnabled(m_controller->AnyBusy());
    Action("Generate &Interrupt")->setEnabled(hasUnit);
    Action("&Toggle Breakpoint")->setEnabled(hasUnit);
    Action("&Address")->setEnabled(hasUnit);
    for (const char* label : {"&Animate 1/1", "Animate 1/10", "Animate 1/100"}) {
        QAction* action = Action(label);
        action->setEnabled(hasUnit && !running);
        action->setChecked(animating && unit->GetAnimationRate() == action->data().toInt());
    }
    const bool printable = PrintableView() != nullptr;
    Action("&Print...")->setEnabled(printable);
    Action("Print Pre&view")->setEnabled(printable);
    if (unit)
        m_unitName->setText(QString::fromStdString(unit->GetName()).left(20));
    else
        m_unitName->clear();
}

// --- Commands with dialogs ----------------------------------------------------

void CMainFrame::OnLoad() {
    CLoadDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.Path().isEmpty()) return;
    LoadFile(dialog.Path(), dialog.LoadAddress().value_or(0));
}

void CMainFrame::LoadFile(const QString& path, uint32_t loadAddress) {
    m_controller->LoadImage(path, loadAddress);
}

void CMainFrame::OnDump() {
    CDumpDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (const auto dump = dialog.Dump(nullptr)) {
        if (m_controller->DumpImage(dump->path, dump->first, dump->last, dump->entry))
            statusBar()->showMessage(
                QString("Dumped %1 to %2").arg(dump->last - dump->first + 1).arg(dump->path), 5000);
    }
}

void CMainFrame::OnViewAddress() {
    CAddressDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) ViewAddress(dialog.Text());
}

void CMainFrame::ViewAddress(const QString& text) {
    const int slot = m_controller->ActiveSlot();
    if (!m_controller->Unit(slot)) return;
    if (!CodeView(slot) || !(VisibleMask(slot) & kCode)) TogglePane(slot, kCode);
    if (CCodeView* view = CodeView(slot)) {
        if (view->Listing().ViewAddress(text.toStdString())) view->viewport()->update();
    }
}

void CMainFrame::OnRunLimits() {
    CRunLimitsDialog dialog(Workspace().GetRunLimits(), this);
    if (dialog.exec() == QDialog::Accepted) m_controller->SetRunLimits(dialog.Limits());
}

void CMainFrame::SetShowMachineCode(bool show) {
    m_showMachineCode = show;
    Action("&Machine Code")->setChecked(show);
    m_settings->SetShowMachineCode(show);
    ForEachView([show](QWidget* view) {
        if (auto* code = qobject_cast<CCodeView*>(view)) code->SetShowMachineCode(show);
    });
}

void CMainFrame::SetListingFont(const QFont& font, const QColor& colour) {
    m_font = font;
    m_colour = colour;
    m_settings->WriteFont(CSettings::FromQFont(font, colour));
    m_command->SetListingFont(font, colour);
    ForEachView([this](QWidget* view) {
        if (auto* code = qobject_cast<CCodeView*>(view)) code->SetListingFont(m_font, m_colour);
        if (auto* memory = qobject_cast<CMemoryView*>(view))
            memory->SetListingFont(m_font, m_colour);
    });
}

void CMainFrame::OnFont() {
    // The font chooser with its effects, and the listing colour beside it.
    QDialog dialog(this);
    dialog.setWindowTitle("Font");
    auto* fonts = new QFontDialog(m_font, &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOption(QFontDialog::NoButtons);
    fonts->setOption(QFontDialog::DontUseNativeDialog);
    QColor colour = m_colour;
    auto* colourButton = new QPushButton("&Colour...", &dialog);
    auto paintSwatch = [colourButton, &colour] {
        QPixmap swatch(16, 16);
        swatch.fill(colour);
        colourButton->setIcon(swatch);
    };
    paintSwatch();
    connect(colourButton, &QPushButton::clicked, &dialog, [&] {
        const QColor chosen = QColorDialog::getColor(colour, &dialog, "Listing Colour");
        if (chosen.isValid()) {
            colour = chosen;
            paintSwatch();
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->addButton(colourButton, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(fonts);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted) SetListingFont(fonts->currentFont(), colour);
}

CCodeView* CMainFrame::PrintableView() const {
    const int active = m_controller->ActiveSlot();
    if (active >= 0 && active < kPaneUnits && CodeView(active)) return CodeView(active);
    for (int slot = 0; slot < kPaneUnits; ++slot)
        if (CodeView(slot)) return CodeView(slot);
    return nullptr;
}

void CMainFrame::OnPrint() {
    CCodeView* view = PrintableView();
    if (!view) return;
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() == QDialog::Accepted) view->Print(m_printer);
}

void CMainFrame::OnPrintPreview() {
    CCodeView* view = PrintableView();
    if (!view) return;
    QPrintPreviewDialog preview(&m_printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, view,
            [view](QPrinter* printer) { view->Print(*printer); });
    preview.exec();
}

void CMainFrame::OnPrintSetup() {
    QPageSetupDialog dialog(&m_printer, this);
    dialog.exec();
}

void CMainFrame::ShowHelp() {
    if (!m_help) m_help = new CHelpWindow(this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void CMainFrame::OnAbout() {
    QMessageBox::about(this, CPrompter::kCaption,
                       QString("<h3>simQuorvex %1</h3><p>A simulator of small computers built "
                               "round soft processors: the 6502, the Vo16 and the Corvane.</p>")
                           .arg(SIMQ_VERSION));
}
