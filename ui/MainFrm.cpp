#include "ui/MainFrm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <string>

#include "core/WorkspaceFile.h"
#include "system/StandardSystems.h"

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_host(new CQtHost(this)),
      m_computer(std::make_unique<CComputer>(m_host)),
      m_activeUnit(new QLabel(this)) {
    m_host->Attach(m_computer.get());
    connect(m_host, &CQtHost::modifiedChanged, this, [this](bool modified) {
        m_modified = modified;
        UpdateTitle();
    });
    connect(m_host, &CQtHost::activeUnitTextChanged, m_activeUnit, &QLabel::setText);
    statusBar()->addPermanentWidget(m_activeUnit);
    statusBar()->showMessage("Ready");
    BuildMenus();
    if (!NewDocument()) m_computer->NewContents();
    resize(1024, 720);
    UpdateTitle();
}

CMainFrame::~CMainFrame() {
    // The workspace goes before the host it reports to.
    m_computer.reset();
}

void CMainFrame::UpdateTitle() {
    const QString name = m_path.isEmpty() ? QString("Untitled") : QFileInfo(m_path).fileName();
    setWindowTitle(name + (m_modified ? "*" : "") + " - simQuorvex");
}

bool CMainFrame::NewDocument() {
    std::optional<ESystemType> type;
    if (NewWorkspaceNeedsType()) {
        const std::optional<int> chosen = m_host->AskSystemType();
        if (!chosen) return false;
        type = static_cast<ESystemType>(*chosen);
    }
    std::string error;
    if (!NewWorkspace(*m_computer, type, &error)) {
        if (!error.empty()) m_host->ShowMessage(error, EMessageIcon::Stop);
        return false;
    }
    m_path.clear();
    m_modified = false;
    UpdateTitle();
    return true;
}

bool CMainFrame::OpenDocument(const QString& path) {
    std::string error;
    if (!OpenWorkspaceFile(*m_computer, path.toStdString(), &error)) {
        m_host->ShowMessage(error, EMessageIcon::Stop);
        m_path.clear();
        UpdateTitle();
        return false;
    }
    m_path = path;
    m_computer->SetModifiedFlag(false);
    m_computer->UpdateAllViews(0);
    UpdateTitle();
    return true;
}

bool CMainFrame::SaveDocument(const QString& path) {
    std::string error;
    if (!SaveWorkspaceFile(*m_computer, path.toStdString(), &error)) {
        m_host->ShowMessage(error, EMessageIcon::Stop);
        return false;
    }
    m_path = path;
    m_computer->SetModifiedFlag(false);
    UpdateTitle();
    return true;
}

bool CMainFrame::MaybeSave() {
    if (!m_modified) return true;
    const auto answer = QMessageBox::question(
        this, "simQuorvex", "Save changes to " + (m_path.isEmpty() ? "Untitled" : m_path) + "?",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel) return false;
    return answer == QMessageBox::No || OnSave();
}

void CMainFrame::OnOpen() {
    if (!MaybeSave()) return;
    const QString path = QFileDialog::getOpenFileName(this, "Open");
    if (!path.isEmpty()) OpenDocument(path);
}

bool CMainFrame::OnSave() {
    return m_path.isEmpty() ? OnSaveAs() : SaveDocument(m_path);
}

bool CMainFrame::OnSaveAs() {
    const QString path = QFileDialog::getSaveFileName(this, "Save As", m_path);
    return !path.isEmpty() && SaveDocument(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (MaybeSave())
        event->accept();
    else
        event->ignore();
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    auto add = [this, file](const char* text, QKeySequence key, const char* tip, auto slot) {
        QAction* action = file->addAction(text);
        action->setShortcut(key);
        action->setStatusTip(tip);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add("&New", QKeySequence::New, "Create a new document", [this] {
        if (MaybeSave()) NewDocument();
    });
    add("&Open...", QKeySequence::Open, "Open an existing document", [this] { OnOpen(); });
    add("&Save", QKeySequence::Save, "Save the active document", [this] { OnSave(); });
    add("Save &As...", QKeySequence::SaveAs, "Save the active document with a new name",
        [this] { OnSaveAs(); });
    file->addSeparator();
    add("E&xit", QKeySequence::Quit, "Quit the application; prompts to save documents",
        [this] { close(); });
}
