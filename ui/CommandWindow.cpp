#include "ui/CommandWindow.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QTextBlock>

#include "core/StringEx.h"

#include "ui/Controller.h"

CCommandWindow::CCommandWindow(CController& controller, QWidget* parent)
    : QPlainTextEdit(parent), m_controller(controller), m_interpreter(controller.Workspace()) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setPlaceholderText(
        "Monitor commands: :ADDR BB BB..  D START COUNT  F START COUNT VALUE  clear");
}

void CCommandWindow::SetListingFont(const QFont& font, const QColor& colour) {
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::Text, colour);
    colours.setColor(QPalette::Base, palette().color(QPalette::Active, QPalette::Base));
    setPalette(colours);
}

bool CCommandWindow::CaretOnLastLine() const {
    return textCursor().block() == document()->lastBlock();
}

void CCommandWindow::RunCaretLine() {
    const QString line = textCursor().block().text();
    const QString command = line.trimmed();
    if (!command.isEmpty() && (m_history.isEmpty() || m_history.back() != command)) {
        m_history << command;
        if (m_history.size() > kHistoryLimit) m_history.removeFirst();
    }
    m_historyIndex = -1;
    const SCommandOutcome outcome = m_interpreter.Execute(line.toLatin1().toStdString());
    switch (outcome.action) {
        case SCommandOutcome::EAction::kNone: break;
        case SCommandOutcome::EAction::kInsert:
            textCursor().insertText(QString::fromLatin1(
                outcome.text.data(), static_cast<qsizetype>(outcome.text.size())));
            break;
        case SCommandOutcome::EAction::kClear: clear(); break;
    }
}

void CCommandWindow::RunCommand(const QString& command) {
    moveCursor(QTextCursor::End);
    if (!textCursor().block().text().isEmpty()) textCursor().insertText("\n");
    textCursor().insertText(command);
    RunCaretLine();
    textCursor().insertText("\n");
    ensureCursorVisible();
}

void CCommandWindow::ShowHistoryEntry(int index) {
    m_historyIndex = index;
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(index < 0 ? QString() : m_history.at(index));
    setTextCursor(cursor);
}

void CCommandWindow::keyPressEvent(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (event->modifiers() & ~Qt::KeypadModifier) break;
            RunCaretLine();
            // The caret may sit inside the line; the break goes after the output.
            QPlainTextEdit::keyPressEvent(event);
            return;
        case Qt::Key_Up:
            if (control) {
                moveCursor(QTextCursor::Up);
                return;
            }
            if (CaretOnLastLine() && !m_history.isEmpty()) {
                ShowHistoryEntry(m_historyIndex < 0 ? static_cast<int>(m_history.size()) - 1
                                                    : std::max(0, m_historyIndex - 1));
                return;
            }
            break;
        case Qt::Key_Down:
            if (control) {
                moveCursor(QTextCursor::Down);
                return;
            }
            if (CaretOnLastLine() && m_historyIndex >= 0) {
                ShowHistoryEntry(m_historyIndex + 1 < m_history.size() ? m_historyIndex + 1 : -1);
                return;
            }
            break;
        default: break;
    }
    QPlainTextEdit::keyPressEvent(event);
}

std::optional<uint32_t> CCommandWindow::NumberAt(const QPoint& position) const {
    // A word of letters, digits and "$" that is a hex number as a whole:
    // "0200", "$0200", "0x0200", not the "c" of "clear".
    static const QRegularExpression word("[$0-9A-Za-z]+");
    auto parse = [](const QString& text) -> std::optional<uint32_t> {
        uint32_t value = 0;
        if (!ParseHexExact(text.toStdString(), value)) return std::nullopt;
        return value;
    };
    const QTextCursor caret = textCursor();
    if (caret.hasSelection()) {
        const QRegularExpressionMatch first = word.match(caret.selectedText());
        return first.hasMatch() ? parse(first.captured()) : std::nullopt;
    }
    const QTextCursor at = cursorForPosition(position);
    const QString line = at.block().text();
    const int column = at.positionInBlock();
    for (QRegularExpressionMatchIterator it = word.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        // The caret may stand just after the word.
        if (column >= match.capturedStart() && column <= match.capturedEnd())
            return parse(match.captured());
    }
    return std::nullopt;
}

void CCommandWindow::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    QAction* first = menu->actions().value(0);
    auto* memory = new QAction("Show in &Memory", menu.get());
    if (const auto address = NumberAt(event->pos())) {
        memory->setText(QString("Show %1 in &Memory")
                            .arg(QString("%1").arg(*address, 4, 16, QLatin1Char('0')).toUpper()));
        connect(memory, &QAction::triggered, this,
                [this, a = *address] { emit memoryRequested(a); });
    } else {
        memory->setEnabled(false);
    }
    menu->insertAction(first, memory);
    menu->insertSeparator(first);
    menu->exec(event->globalPos());
}
