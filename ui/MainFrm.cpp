#include "ui/MainFrm.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenuBar>
#include <QStatusBar>

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
    m_computer->NewContents();
    m_computer->SetActiveProcessor(0);
    resize(1024, 720);
    UpdateTitle();
}

CMainFrame::~CMainFrame() {
    // The workspace goes before the host it reports to.
    m_computer.reset();
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(m_documentName + (m_modified ? "*" : "") + " - simQuorvex");
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* exit = file->addAction("E&xit");
    exit->setShortcut(QKeySequence::Quit);
    exit->setStatusTip("Quit the application; prompts to save documents");
    connect(exit, &QAction::triggered, this, &QWidget::close);
}
