#pragma once
// The main window: holds the workspace and shows it.
#include <QLabel>
#include <QMainWindow>
#include <memory>

#include "core/Computer.h"
#include "ui/QtHost.h"

class CMainFrame final : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CComputer& Workspace() { return *m_computer; }
    // "<document> - simQuorvex", with "*" while the workspace has unsaved changes.
    void UpdateTitle();

    // File commands; false when nothing changed (cancelled or failed, with a message).
    bool NewDocument();
    bool OpenDocument(const QString& path);
    bool SaveDocument(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // Asks to save unsaved changes; false when the user cancels.
    bool MaybeSave();
    void OnOpen();
    bool OnSave();
    bool OnSaveAs();

    CQtHost* m_host;
    std::unique_ptr<CComputer> m_computer;
    QLabel* m_activeUnit;
    QString m_path;
    bool m_modified = false;
};
