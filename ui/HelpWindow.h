#pragma once
// "Help Topics": the user guide shipped inside the application, in a window
// of its own with back and forward.
#include <QDialog>

class QTextBrowser;

class CHelpWindow final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kGuide = "qrc:/docs/user-guide.md";
    explicit CHelpWindow(QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return m_browser; }

private:
    void FitImages();
    QTextBrowser* m_browser;
};
