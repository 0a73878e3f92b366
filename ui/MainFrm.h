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

private:
    void BuildMenus();

    CQtHost* m_host;
    std::unique_ptr<CComputer> m_computer;
    QLabel* m_activeUnit;
    QString m_documentName = "Untitled";
    bool m_modified = false;
};
