#pragma once
// The main window: menus, the execution and processor toolbars, the status
// bar, the command window, and for each of the first eight units a group of
// five panes (registers, breakpoints, code, statistics, memory) built on
// first use.
// Everything it shows is read through the controller.
#include <QMainWindow>
#include <QPointer>
#include <QPrinter>
#include <array>
#include <memory>

#include "ui/Controller.h"
#include "ui/Settings.h"

class CCodeView;
class CCommandWindow;
class CHotSpots;
class CMemoryView;
class CUnitForm;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame final : public QMainWindow {
    Q_OBJECT
public:
    // Pane bits of a unit's created and visible masks.
    enum EPane : uint32_t {
        kRegisters = 1,
        kBreakpoints = 2,
        kCode = 4,
        kStatistics = 8,
        kMemory = 16
    };
    static constexpr int kPaneUnits = 8;
    // Units besides the active one whose panes one live refresh updates.
    static constexpr int kOtherUnitsPerRefresh = 2;
    static constexpr std::array<EPane, 5> kPanes = {kRegisters, kBreakpoints, kCode, kStatistics,
                                                    kMemory};

    // settings: the store to use (the application's when null).
    explicit CMainFrame(CSettings* settings = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CController& Controller() { return *m_controller; }
    CComputer& Workspace() { return m_controller->Workspace(); }
    CCommandWindow& CommandWindow() { return *m_command; }
    QDockWidget* CommandDock() { return m_commandDock; }

    // File commands with the save-changes question where they replace the
    // workspace; false when nothing changed.
    bool NewDocument();
    bool OpenDocument(const QString& path);
    bool SaveDocument(const QString& path);
    void UpdateTitle();
    // The display windows of the workspace's video devices, placed beside
    // the panes.
    void OpenDisplayWindows();

    // The pane group of slot i.
    bool GroupFlag(int slot) const { return m_groups[Index(slot)].group; }
    uint32_t CreatedMask(int slot) const { return m_groups[Index(slot)].created; }
    uint32_t VisibleMask(int slot) const { return m_groups[Index(slot)].visible; }
    QDockWidget* Pane(int slot, EPane pane) const;
    // A View submenu entry: flips the pane's visible bit, building it the
    // first time it is shown.
    void TogglePane(int slot, EPane pane);
    // A processor toolbar button: shows or hides the unit's visible panes.
    void ToggleGroup(int slot);
    CCodeView* CodeView(int slot) const;
    CMemoryView* MemoryView(int slot) const;
    // Shows the memory pane of the unit in slot (building it the first
    // time) with its caret at address, and gives it the focus.
    void ShowMemory(int slot, uint32_t address);
    QAction* ProcessorButton(int slot) const { return m_processorButtons[Index(slot)]; }
    QMenu* PaneMenu(EPane pane) const;

    // Every action of the menus by its label ("&Run"), for the toolbars and tests.
    QAction* Action(const QString& label) const;

    const QFont& ListingFont() const { return m_font; }
    QColor ListingColour() const { return m_colour; }
    void SetListingFont(const QFont& font, const QColor& colour);
    bool ShowMachineCode() const { return m_showMachineCode; }
    void SetShowMachineCode(bool show);

    // The commands that open dialogs, split so that tests can give the answers.
    void LoadFile(const QString& path, uint32_t loadAddress);
    void ViewAddress(const QString& text);
    void ShowHelp();
    // The hot-spots list of the active unit's profile, in a pane of its own.
    void ShowHotSpots();
    CHotSpots* HotSpots() const { return m_hotSpots; }
    // Writes the layout and display settings to the store.
    void SaveSettings();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct SPaneGroup {
        bool group = true;
        uint32_t created = 0;
        uint32_t visible = 0;
        std::array<QDockWidget*, kPanes.size()> docks{};
    };
    static size_t Index(int slot) { return static_cast<size_t>(slot & 7); }
    static size_t PaneIndex(EPane pane);

    void BuildActions();
    void BuildMenus();
    void BuildToolbars();
    void BuildStatusBar();
    void BuildCommandWindow();
    QAction* MakeAction(const QString& label, const QString& prompt,
                        const QList<QKeySequence>& keys = {});
    void RebuildUnitMenus();
    void RebuildRecentFiles();
    void OnUnitsChanged();
    QWidget* MakePaneView(int slot, EPane pane);
    QString PaneTitle(int slot, EPane pane) const;
    void UpdateActions();
    void UpdateKeyIndicators();
    void ForEachView(const std::function<void(QWidget*)>& visit);
    CCodeView* PrintableView() const;
    QString AskSaveAs();
    void OnOpen();
    void OnLoad();
    void OnDump();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();
    void OnViewAddress();
    void OnRunLimits();
    void OnFont();
    void OnAbout();
    void OnHistoryLimits();
    // The Debug menu's check marks, the history's size and the hot spots
    // follow the debugging aids.
    void UpdateDebugActions();
    void ShowHistorySize();
    void ApplySavedPanes();
    // After the configuration dialogs: menus and panes follow the machine.
    void AfterMachineEdit();
    void OnLiveRefresh();
    void PlaceNewPanes();

    std::unique_ptr<CSettings> m_ownSettings;
    CSettings* m_settings;
    CController* m_controller;
    std::array<SPaneGroup, kPaneUnits> m_groups;
    std::array<QAction*, kPaneUnits> m_processorButtons{};
    CCommandWindow* m_command = nullptr;
    QDockWidget* m_commandDock = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    std::array<QMenu*, kPanes.size()> m_paneMenus{};
    QList<QToolBar*> m_toolbars;
    QLabel* m_cap = nullptr;
    QLabel* m_num = nullptr;
    QLabel* m_scrl = nullptr;
    QLabel* m_unitName = nullptr;
    QFont m_font;
    QColor m_colour;
    bool m_showMachineCode = false;
    QPrinter m_printer;
    QWidget* m_help = nullptr;
    QHash<QString, QAction*> m_actions;
    QList<QPointer<QDockWidget>> m_unplaced;
    bool m_layoutRestored = false;
    int m_liveCursor = 0;
    QLabel* m_history = nullptr;
    CHotSpots* m_hotSpots = nullptr;
    QDockWidget* m_hotSpotsDock = nullptr;
    unsigned m_hotSpotsTicks = 0;
};
