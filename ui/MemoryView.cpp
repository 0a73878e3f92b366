#include "ui/MemoryView.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <bit>
#include <span>

#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/StringEx.h"
#include "core/ViewHint.h"
#include "ui/Controller.h"
#include "ui/Forms.h"

namespace {

constexpr int kPadding = 4;
// How long an error stays above the rows.
constexpr int kErrorShownMs = 6000;

QString Hex(uint32_t value, int digits) {
    return QString("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

bool Printable(int byte) {
    return byte >= 0x20 && byte < 0x7F;
}

}  // namespace

CMemoryView::CMemoryView(CController& controller, int slot, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_controller(controller),
      m_slot(slot),
      m_font(QFont("monospace")) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);

    m_bar = new QWidget(this);
    auto* layout = new QHBoxLayout(m_bar);
    layout->setContentsMargins(kPadding, 3, kPadding, 3);
    layout->setSpacing(6);
    auto* gotoLabel = new QLabel("&Go to:", m_bar);
    m_goto = new QLineEdit(m_bar);
    m_goto->setObjectName("GoTo");
    m_goto->setPlaceholderText("Address or register");
    m_goto->setToolTip(
        "A hex address (1F0, $1F0 or 0x1F0) or a register name, then Enter.\n"
        "Register names come first: type 0A for the address A.\n"
        "Ctrl+G in the rows comes here.");
    m_goto->setClearButtonEnabled(true);
    m_goto->setMinimumWidth(QFontMetrics(m_goto->font()).horizontalAdvance("Address or register") +
                            36);
    gotoLabel->setBuddy(m_goto);
    connect(m_goto, &QLineEdit::returnPressed, this, [this] {
        if (GoTo(m_goto->text())) setFocus(Qt::OtherFocusReason);
    });
    auto* followLabel = new QLabel("&Follow:", m_bar);
    m_follow = new QComboBox(m_bar);
    m_follow->setObjectName("Follow");
    m_follow->setToolTip("A register whose value the rows keep in sight at every refresh");
    m_follow->addItem("none", -1);
    if (const CMpu* unit = m_controller.Unit(m_slot)) {
        const auto registers = unit->GetRegisterInfo();
        for (size_t i = 0; i < registers.size(); ++i)
            if (registers[i].flags.empty() && registers[i].writable)
                m_follow->addItem(QString::fromLatin1(registers[i].name), static_cast<int>(i));
    }
    m_follow->setEnabled(m_follow->count() > 1);
    followLabel->setBuddy(m_follow);
    connect(m_follow, &QComboBox::currentIndexChanged, this, &CMemoryView::OnFollowChosen);
    m_status = new QLabel(m_bar);
    m_status->setObjectName("Status");
    m_status->setTextFormat(Qt::PlainText);
    // A long message is cut, never widens the pane; its tooltip has it whole.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(gotoLabel);
    layout->addWidget(m_goto);
    layout->addSpacing(6);
    layout->addWidget(followLabel);
    layout->addWidget(m_follow);
    layout->addSpacing(6);
    layout->addWidget(m_status, 1);
    setViewportMargins(0, m_bar->sizeHint().height(), 0, 0);

    auto* clearError = new QTimer(this);
    clearError->setObjectName("ClearError");
    clearError->setSingleShot(true);
    connect(clearError, &QTimer::timeout, this, [this] {
        m_statusIsError = false;
        ShowStatus(m_shownRunning ? kRunningText : QString(), false);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { Reload(); });
    FitRows();
}

CMemoryView::~CMemoryView() = default;

void CMemoryView::SetListingFont(const QFont& font, const QColor& colour) {
    m_font = font;
    m_textColour = colour;
    FitRows();
}

// --- Geometry -------------------------------------------------------------------

int CMemoryView::LineHeight() const {
    return std::max(1, QFontMetrics(m_font).height());
}

int CMemoryView::CharWidth() const {
    return std::max(1, QFontMetrics(m_font).horizontalAdvance(QLatin1Char('0')));
}

uint32_t CMemoryView::AddressMask() const {
    const CMpu* unit = m_controller.Unit(m_slot);
    return unit ? unit->GetAddressMask() : 0xFFFF;
}

int CMemoryView::AddressDigits() const {
    return std::max(4, (static_cast<int>(std::bit_width(AddressMask())) + 3) / 4);
}

uint64_t CMemoryView::RowCount() const {
    return (uint64_t{AddressMask()} + 1 + kBytesPerRow - 1) / kBytesPerRow;
}

int CMemoryView::HexColumn(int n) const {
    // A wider gap after the eighth byte.
    return AddressDigits() + 2 + 3 * n + (n >= kBytesPerRow / 2 ? 1 : 0);
}

int CMemoryView::CharColumn(int n) const {
    return HexColumn(kBytesPerRow - 1) + 4 + n;
}

int CMemoryView::VisibleRows() const {
    // The first line is the column header.
    return std::max(1, viewport()->height() / LineHeight() - 1);
}

QSize CMemoryView::sizeHint() const {
    const int width = kPadding * 2 + (CharColumn(kBytesPerRow) + 1) * CharWidth() +
                      verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    return {std::max(width, m_bar->sizeHint().width()),
            m_bar->sizeHint().height() + 17 * LineHeight() + 2 * frameWidth()};
}

void CMemoryView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const QRect inside = contentsRect();
    m_bar->setGeometry(inside.left(), inside.top(), inside.width(), m_bar->sizeHint().height());
    FitRows();
}

void CMemoryView::FitRows() {
    const int visible = VisibleRows();
    const uint64_t rows = RowCount();
    QScrollBar* bar = verticalScrollBar();
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(0, static_cast<int>(rows > uint64_t(visible) ? rows - visible : 0));
        bar->setPageStep(visible);
        bar->setSingleStep(1);
    }
    Reload();
}

void CMemoryView::ScrollToRow(uint64_t row) {
    const QSignalBlocker quiet(verticalScrollBar());
    verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row, INT32_MAX)));
}

uint32_t CMemoryView::TopAddress() const {
    return static_cast<uint32_t>(m_shownTop * kBytesPerRow);
}

// --- Reading ----------------------------------------------------------------------

bool CMemoryView::IsUnitRunning() const {
    return m_controller.IsRunning(m_slot);
}

void CMemoryView::Reload() {
    const CMpu* unit = m_controller.Unit(m_slot);
    const bool busy = IsUnitRunning();
    const uint64_t visible = static_cast<uint64_t>(VisibleRows());
    if (unit && m_followIndex >= 0) {
        m_followAddress =
            unit->GetRegisterValue(static_cast<size_t>(m_followIndex)) & AddressMask();
        const uint64_t row = m_followAddress / kBytesPerRow;
        const uint64_t top = static_cast<uint64_t>(verticalScrollBar()->value());
        if (row < top || row >= top + visible) ScrollToRow(row);
    }
    m_shownTop = static_cast<uint64_t>(verticalScrollBar()->value());
    const uint64_t rows = std::min(visible, RowCount() - std::min(RowCount(), m_shownTop));
    m_shown.assign(rows * kBytesPerRow, -1);
    for (uint64_t r = 0; r < rows; ++r)
        m_controller.Workspace().Peek(
            static_cast<uint32_t>((m_shownTop + r) * kBytesPerRow),
            std::span<int16_t>(m_shown.data() + r * kBytesPerRow, kBytesPerRow));
    if (!busy) {
        // A new stop: what is drawn changed is measured against the bytes of
        // the previous one, not against those shown live while the unit ran.
        if (m_controller.StopCount() != m_seenStop) {
            m_seenStop = m_controller.StopCount();
            m_previousStop = std::move(m_lastStop);
            m_lastStop.clear();
        }
        if (m_lastStop.size() + rows > kRememberedRows) m_lastStop.clear();
        for (uint64_t r = 0; r < rows; ++r) {
            SRowBytes& bytes = m_lastStop[m_shownTop + r];
            std::copy_n(m_shown.begin() + static_cast<ptrdiff_t>(r * kBytesPerRow), kBytesPerRow,
                        bytes.begin());
        }
    }
    if (busy != m_shownRunning && !m_statusIsError)
        ShowStatus(busy ? kRunningText : QString(), false);
    m_shownRunning = busy;
    viewport()->update();
}

int CMemoryView::ShownByte(uint32_t address) const {
    const uint64_t row = address / kBytesPerRow;
    if (row < m_shownTop) return kNotShown;
    const uint64_t index = (row - m_shownTop) * kBytesPerRow + address % kBytesPerRow;
    return index < m_shown.size() ? m_shown[index] : kNotShown;
}

bool CMemoryView::IsChanged(uint32_t address) const {
    if (m_shownRunning) return false;
    const int byte = ShownByte(address);
    if (byte == kNotShown) return false;
    const auto previous = m_previousStop.find(address / kBytesPerRow);
    return previous != m_previousStop.end() && previous->second[address % kBytesPerRow] != byte;
}

void CMemoryView::OnViewsUpdated(unsigned hint) {
    if (hint == 0 || (hint & (kHintMemory | kHintProcessorState))) Reload();
}

void CMemoryView::OnLiveRefresh() {
    if (IsUnitRunning()) Reload();
}

// --- Going places -----------------------------------------------------------------

bool CMemoryView::GoTo(const QString& text) {
    const QString wanted = text.trimmed();
    const CMpu* unit = m_controller.Unit(m_slot);
    if (wanted.isEmpty()) {
        ShowStatus("Type an address or a register", true);
        return false;
    }
    if (unit) {
        const int index = unit->FindRegister(wanted.toStdString());
        if (index >= 0)
            return GoToAddress(unit->GetRegisterValue(static_cast<size_t>(index)) & AddressMask());
    }
    uint32_t address = 0;
    if (!ParseHexExact(wanted.toStdString(), address)) {
        ShowStatus(QString("Not an address or register: %1").arg(wanted.left(24)), true,
                   QString("\"%1\" is neither a hex address nor a register of MPU%2.")
                       .arg(wanted.left(24))
                       .arg(m_slot));
        return false;
    }
    return GoToAddress(address);
}

bool CMemoryView::GoToAddress(uint32_t address) {
    if (address > AddressMask()) {
        const QString range = Hex(0, AddressDigits()) + "-" + Hex(AddressMask(), AddressDigits());
        ShowStatus(QString("Outside %1: %2").arg(range, Hex(address, 1)), true,
                   QString("%1 lies outside the address space of MPU%2 (%3).")
                       .arg(Hex(address, 1))
                       .arg(m_slot)
                       .arg(range));
        return false;
    }
    // Going somewhere else ends following a register.
    if (m_followIndex >= 0) m_follow->setCurrentIndex(0);
    m_statusIsError = false;
    ShowStatus(m_shownRunning ? kRunningText : QString(), false);
    m_caret = address;
    m_lowNibble = false;
    ScrollToRow(address / kBytesPerRow);
    Reload();
    return true;
}

bool CMemoryView::SetFollow(const QString& registerName) {
    if (registerName.isEmpty()) {
        m_follow->setCurrentIndex(0);
        return true;
    }
    for (int i = 0; i < m_follow->count(); ++i)
        if (m_follow->itemText(i).compare(registerName, Qt::CaseInsensitive) == 0) {
            m_follow->setCurrentIndex(i);
            return true;
        }
    return false;
}

QString CMemoryView::Follow() const {
    return m_followIndex < 0 ? QString() : m_follow->currentText();
}

void CMemoryView::OnFollowChosen(int index) {
    m_followIndex = m_follow->itemData(index).toInt();
    Reload();
}

// --- Caret and editing ------------------------------------------------------------

void CMemoryView::EnsureCaretVisible() {
    const uint64_t row = m_caret / kBytesPerRow;
    const uint64_t top = static_cast<uint64_t>(verticalScrollBar()->value());
    const uint64_t visible = static_cast<uint64_t>(VisibleRows());
    if (row < top)
        verticalScrollBar()->setValue(static_cast<int>(row));
    else if (row >= top + visible)
        verticalScrollBar()->setValue(static_cast<int>(row - visible + 1));
}

void CMemoryView::PlaceCaret(uint32_t address) {
    m_caret = std::min(address, AddressMask());
    EnsureCaretVisible();
    viewport()->update();
}

void CMemoryView::MoveCaret(int64_t delta, bool keepNibble) {
    const int64_t moved = std::clamp<int64_t>(int64_t{m_caret} + delta, 0, int64_t{AddressMask()});
    if (!keepNibble) m_lowNibble = false;
    PlaceCaret(static_cast<uint32_t>(moved));
}

void CMemoryView::ShowStatus(const QString& text, bool error, const QString& detail) {
    m_statusIsError = error;
    m_status->setText(text);
    m_status->setToolTip(detail.isEmpty() ? text : detail);
    QPalette colours = m_status->palette();
    colours.setColor(QPalette::WindowText, error ? CRegisterForm::kChangedColour
                                                 : palette().color(QPalette::PlaceholderText));
    m_status->setPalette(colours);
    if (auto* timer = findChild<QTimer*>("ClearError"); timer && error) timer->start(kErrorShownMs);
}

QString CMemoryView::StatusText() const {
    return m_status->text();
}

void CMemoryView::TypeAt(QChar character) {
    if (IsUnitRunning()) {
        ShowStatus(
            QString("Stop MPU%1 to edit").arg(m_slot), true,
            QString("MPU%1 is running: memory can be edited while it is stopped.").arg(m_slot));
        return;
    }
    int16_t current = -1;
    m_controller.Workspace().Peek(m_caret, std::span<int16_t>(&current, 1));
    if (current < 0) {
        ShowStatus(QString("No memory at %1").arg(Hex(m_caret, AddressDigits())), true,
                   QString("No memory holds %1: a device register or nothing answers there, "
                           "and the pane does not write device registers.")
                       .arg(Hex(m_caret, AddressDigits())));
        return;
    }
    uint32_t value = 0;
    if (m_inCharacters) {
        value = character.unicode();
    } else {
        const uint32_t digit = static_cast<uint32_t>(QString(character).toUInt(nullptr, 16));
        value = m_lowNibble ? (uint32_t(current) & 0xF0) | digit
                            : (digit << 4) | (uint32_t(current) & 0x0F);
    }
    CComputer& workspace = m_controller.Workspace();
    workspace.Write(m_caret, value, 1, true);
    workspace.SetModifiedFlag();
    if (m_statusIsError) ShowStatus(QString(), false);
    if (!m_inCharacters && !m_lowNibble)
        m_lowNibble = true;
    else
        MoveCaret(1);
    Reload();
    workspace.UpdateAllViews(kHintMemory);
}

bool CMemoryView::event(QEvent* event) {
    // Tab moves between the hex and character columns, as in hex editors.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            m_inCharacters = !m_inCharacters;
            m_lowNibble = false;
            viewport()->update();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CMemoryView::keyPressEvent(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int64_t page = int64_t{VisibleRows()} * kBytesPerRow;
    switch (event->key()) {
        case Qt::Key_Left:
            if (!m_inCharacters && m_lowNibble) {
                m_lowNibble = false;
                viewport()->update();
            } else if (m_caret > 0) {
                MoveCaret(-1);
                m_lowNibble = !m_inCharacters;
            }
            return;
        case Qt::Key_Right:
            if (!m_inCharacters && !m_lowNibble) {
                m_lowNibble = true;
                viewport()->update();
            } else {
                MoveCaret(1);
            }
            return;
        case Qt::Key_Up: MoveCaret(-kBytesPerRow, true); return;
        case Qt::Key_Down: MoveCaret(kBytesPerRow, true); return;
        case Qt::Key_PageUp:
            verticalScrollBar()->setValue(verticalScrollBar()->value() - VisibleRows());
            MoveCaret(-page, true);
            return;
        case Qt::Key_PageDown:
            verticalScrollBar()->setValue(verticalScrollBar()->value() + VisibleRows());
            MoveCaret(page, true);
            return;
        case Qt::Key_Home:
            m_lowNibble = false;
            PlaceCaret(control ? 0 : m_caret - m_caret % kBytesPerRow);
            return;
        case Qt::Key_End:
            m_lowNibble = false;
            PlaceCaret(control ? AddressMask()
                               : m_caret - m_caret % kBytesPerRow + kBytesPerRow - 1);
            return;
        case Qt::Key_G:
            if (control) {
                m_goto->setFocus(Qt::ShortcutFocusReason);
                m_goto->selectAll();
                return;
            }
            break;
        default: break;
    }
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        event->text().size() == 1) {
        const QChar typed = event->text().at(0);
        const bool fits = m_inCharacters
                              ? Printable(typed.unicode())
                              : typed.isDigit() || QString("abcdefABCDEF").contains(typed);
        if (fits) {
            TypeAt(typed);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool CMemoryView::ByteAt(const QPoint& point, uint32_t& address, bool& inCharacters,
                         bool& lowNibble) const {
    const int lineHeight = LineHeight();
    if (point.y() < lineHeight) return false;
    const uint64_t row = static_cast<uint64_t>((point.y() - lineHeight) / lineHeight);
    if ((row + 1) * kBytesPerRow > m_shown.size()) return false;
    const int column = (point.x() - kPadding) / CharWidth();
    if (point.x() < kPadding) return false;
    for (int n = 0; n < kBytesPerRow; ++n) {
        address = static_cast<uint32_t>((m_shownTop + row) * kBytesPerRow + uint64_t(n));
        if (column >= HexColumn(n) && column < HexColumn(n) + 2) {
            inCharacters = false;
            lowNibble = column > HexColumn(n);
            return true;
        }
        if (column == CharColumn(n)) {
            inCharacters = true;
            lowNibble = false;
            return true;
        }
    }
    return false;
}

void CMemoryView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    uint32_t address = 0;
    bool inCharacters = false;
    bool lowNibble = false;
    if (event->button() != Qt::LeftButton ||
        !ByteAt(event->position().toPoint(), address, inCharacters, lowNibble))
        return;
    m_inCharacters = inCharacters;
    m_lowNibble = lowNibble;
    PlaceCaret(address);
}

bool CMemoryView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    uint32_t address = 0;
    bool inCharacters = false;
    bool lowNibble = false;
    if (!ByteAt(help->pos(), address, inCharacters, lowNibble)) {
        QToolTip::hideText();
        return true;
    }
    const QString where = Hex(address, AddressDigits());
    const int byte = ShownByte(address);
    QString text;
    if (byte < 0) {
        text = QString(
                   "%1: no memory holds this address; a device register or nothing answers "
                   "there.\nThe pane does not read device registers, since reading one can "
                   "change the device.")
                   .arg(where);
    } else {
        text = QString("%1: %2 (%3)").arg(where, Hex(uint32_t(byte), 2)).arg(byte);
        if (Printable(byte)) text += QString(" '%1'").arg(QChar(byte));
        const auto previous = m_previousStop.find(address / kBytesPerRow);
        if (IsChanged(address) && previous != m_previousStop.end()) {
            const int before = previous->second[address % kBytesPerRow];
            text += before < 0
                        ? QString("\nno memory here at the previous stop")
                        : QString("\nwas %1 at the previous stop").arg(Hex(uint32_t(before), 2));
        }
    }
    QToolTip::showText(help->globalPos(), text, viewport());
    return true;
}

void CMemoryView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    m_controller.SetActiveSlot(m_slot);
    viewport()->update();
}

void CMemoryView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// --- Painting ---------------------------------------------------------------------

void CMemoryView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colours = palette();
    const QRect area = viewport()->rect();
    painter.fillRect(area, colours.color(QPalette::Base));
    painter.setFont(m_font);
    QFont bold = m_font;
    bold.setBold(true);
    const QFontMetrics metrics(m_font, painter.device());
    const int lineHeight = LineHeight();
    const int charWidth = CharWidth();
    const int ascent = metrics.ascent();
    const QColor dim = colours.color(QPalette::PlaceholderText);
    auto x = [charWidth](int column) { return kPadding + column * charWidth; };

    // The column header: byte offsets over the hex and the characters.
    painter.fillRect(QRect(0, 0, area.width(), lineHeight), colours.color(QPalette::AlternateBase));
    painter.setPen(dim);
    for (int n = 0; n < kBytesPerRow; ++n) {
        painter.drawText(x(HexColumn(n)), ascent, Hex(uint32_t(n), 2));
        painter.drawText(x(CharColumn(n)), ascent, Hex(uint32_t(n), 1));
    }

    const bool focused = hasFocus();
    QColor caretFill = colours.color(QPalette::Highlight);
    caretFill.setAlpha(focused ? 70 : 35);
    const QColor caretEdge = colours.color(QPalette::Highlight);
    const QColor followEdge(0, 120, 215);
    const uint64_t rows = m_shown.size() / kBytesPerRow;
    for (uint64_t r = 0; r < rows; ++r) {
        const int top = lineHeight * static_cast<int>(r + 1);
        const int baseline = top + ascent;
        const uint32_t rowAddress = static_cast<uint32_t>((m_shownTop + r) * kBytesPerRow);
        painter.setFont(m_font);
        painter.setPen(dim);
        painter.drawText(x(0), baseline, Hex(rowAddress, AddressDigits()));
        for (int n = 0; n < kBytesPerRow; ++n) {
            const uint32_t address = rowAddress + uint32_t(n);
            const int byte = m_shown[r * kBytesPerRow + uint64_t(n)];
            const QRect hexCell(x(HexColumn(n)) - 1, top, 2 * charWidth + 2, lineHeight);
            const QRect charCell(x(CharColumn(n)), top, charWidth, lineHeight);
            if (address == m_caret) {
                const QRect active = m_inCharacters ? charCell : hexCell;
                const QRect other = m_inCharacters ? hexCell : charCell;
                painter.fillRect(active, caretFill);
                painter.setPen(caretEdge);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(other.adjusted(0, 0, -1, -1));
                if (focused && !m_inCharacters) {
                    // The nibble the next digit replaces.
                    const int nibbleX = x(HexColumn(n)) + (m_lowNibble ? charWidth : 0);
                    painter.fillRect(QRect(nibbleX, top + lineHeight - 2, charWidth, 2), caretEdge);
                }
            }
            if (m_followIndex >= 0 && address == m_followAddress) {
                painter.setPen(QPen(followEdge, 1.5));
                painter.setBrush(Qt::NoBrush);
                painter.drawRoundedRect(QRectF(hexCell).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            }
            if (byte < 0) {
                painter.setFont(m_font);
                painter.setPen(dim);
                painter.drawText(x(HexColumn(n)), baseline, "--");
                painter.drawText(x(CharColumn(n)), baseline, "-");
                continue;
            }
            const bool changed = IsChanged(address);
            painter.setFont(changed ? bold : m_font);
            painter.setPen(changed ? CRegisterForm::kChangedColour : m_textColour);
            painter.drawText(x(HexColumn(n)), baseline, Hex(uint32_t(byte), 2));
            painter.drawText(x(CharColumn(n)), baseline,
                             Printable(byte) ? QString(QChar(byte)) : QString("."));
        }
    }
}
