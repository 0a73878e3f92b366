#pragma once
// The command window: a free-text pane in the listing font. Enter runs the
// caret's line through the monitor and inserts its output at the caret
// before the line break is typed. On the last line Up and Down walk through
// the commands entered before (Ctrl+Up and Ctrl+Down always move the caret).
#include <QPlainTextEdit>
#include <QStringList>
#include <optional>

#include "tools/CommandInterpreter.h"

class CController;

class CCommandWindow final : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kHistoryLimit = 100;

    explicit CCommandWindow(CController& controller, QWidget* parent = nullptr);

    void SetListingFont(const QFont& font, const QColor& colour);
    const QStringList& History() const { return m_history; }
    // Runs the caret's line, as Enter does before typing its line break.
    void RunCaretLine();
    // Types command on a new last line and runs it, as Enter would.
    void RunCommand(const QString& command);

    // The hex number at position (the first of the selection when there is
    // one), as the context menu's "Show in Memory" takes it.
    std::optional<uint32_t> NumberAt(const QPoint& position) const;

signals:
    void memoryRequested(uint32_t address);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool CaretOnLastLine() const;
    void ShowHistoryEntry(int index);

    CController& m_controller;
    CCommandInterpreter m_interpreter;
    QStringList m_history;
    int m_historyIndex = -1;  // the entry shown on the last line, or -1
};
