#include "ui/CodeView.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <bit>
#include <cmath>

#include "core/Mpu.h"
#include "core/Mpus.h"
#include "ui/Controller.h"
#include "ui/Dialogs.h"

CCodeView::CCodeView(CController& controller, int slot, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_controller(controller),
      m_listing(std::make_unique<CCodeListing>(controller.Workspace(), slot)),
      m_font(QFont("monospace")) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The scroll bar has a fixed range: it moves the listing, it does not
    // show where the listing is.
    verticalScrollBar()->setRange(0, 2);
    verticalScrollBar()->setValue(1);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &CCodeView::OnScrollAction);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    m_listing->SetCommandSink(
        [this](ERunCommand command, int unitSlot) { RunCommand(command, unitSlot); });
    m_listing->FollowProgramCounter();
}

CCodeView::~CCodeView() = default;

void CCodeView::SetListingFont(const QFont& font, const QColor& colour) {
    m_font = font;
    m_textColour = colour;
    FitLines();
}

void CCodeView::SetShowMachineCode(bool show) {
    m_listing->SetShowMachineCode(show);
    viewport()->update();
}

int CCodeView::LineHeight() const {
    return std::max(1, QFontMetrics(m_font).height());
}

int CCodeView::CharWidth() const {
    return std::max(1, QFontMetrics(m_font).horizontalAdvance(QLatin1Char('0')));
}

void CCodeView::FitLines() {
    m_listing->SetLineCount(CCodeListing::LinesThatFit(viewport()->height(), LineHeight()));
    viewport()->update();
}

void CCodeView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    FitLines();
}

void CCodeView::OnViewsUpdated(unsigned hint) {
    if (!CCodeListing::WantsRepaint(hint)) return;
    m_listing->Relist();
    viewport()->update();
}

void CCodeView::OnLiveRefresh() {
    if (!m_controller.IsRunning(Slot())) return;
    m_listing->FollowProgramCounter();
    viewport()->update();
}

void CCodeView::DrawListing(QPainter& painter, const CCodeListing& listing, const QRect& area,
                            const QFont& font, const QColor& text, const QColor& background) {
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int lineHeight = std::max(1, metrics.height());
    const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    const int left = area.left() + kMarginColumns * charWidth;
    int y = area.top();
    for (const SListingLine& line : listing.Lines()) {
        if (!line.label.empty()) {
            // The unit's symbol for the address, on a line of its own.
            painter.fillRect(QRect(area.left(), y, area.width(), lineHeight), background);
            painter.setPen(kLabelColour);
            painter.drawText(left, y + metrics.ascent(), QString::fromStdString(line.label + ":"));
            y += lineHeight;
        }
        const QRect rect(area.left(), y, area.width(), lineHeight);
        QColor fill = background;
        if (line.mark == SListingLine::EMark::kProgramCounter)
            fill = kProgramCounterColour;
        else if (line.mark == SListingLine::EMark::kBreakpoint)
            fill = kBreakpointColour;
        painter.fillRect(rect, fill);
        painter.setPen(text);
        const int baseline = y + metrics.ascent();
        painter.drawText(left, baseline, QString::fromStdString(line.lead));
        painter.drawText(left + line.mnemonicColumn * charWidth, baseline,
                         QString::fromStdString(line.mnemonic));
        painter.drawText(left + line.operandColumn * charWidth, baseline,
                         QString::fromStdString(line.operand));
        y += lineHeight;
    }
    // One more line of background below the last, then the rest.
    painter.fillRect(QRect(area.left(), y, area.width(), area.bottom() - y + 1), background);
}

void CCodeView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QColor background = palette().color(hasFocus() ? QPalette::Base : QPalette::Button);
    DrawListing(painter, *m_listing, viewport()->rect(), m_font, m_textColour, background);
    // Breakpoint dots in the margin, also on the program counter's green line.
    const CMpu* unit = m_controller.Unit(Slot());
    if (!unit) return;
    DrawHeat(painter, *unit);
    const uint32_t scale = std::max<uint32_t>(1, unit->GetAddressScale());
    const int lineHeight = LineHeight();
    const int size = std::max(4, std::min(lineHeight, CharWidth() * kMarginColumns) - 4);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(140, 0, 0));
    painter.setBrush(QColor(200, 0, 0));
    int y = 0;
    for (const SListingLine& line : m_listing->Lines()) {
        if (!line.label.empty()) y += lineHeight;
        if (unit->IsBreakpoint(line.address / scale))
            painter.drawEllipse(QRect(2, y + (lineHeight - size) / 2, size, size));
        y += lineHeight;
    }
}

QString CCodeView::CompactCount(uint64_t count) {
    if (count < 10'000) return QString::number(count);
    static const char* const kSuffixes[] = {"k", "M", "G", "T", "P", "E"};
    double value = static_cast<double>(count);
    int suffix = -1;
    while (value >= 999.5 && suffix < 5) {
        value /= 1000.0;
        ++suffix;
    }
    return QString::number(value, 'f', value < 9.95 ? 1 : 0) + kSuffixes[suffix];
}

QColor CCodeView::HeatColour(uint64_t count, uint64_t total) {
    if (count == 0 || total == 0) return {};
    // By the share of the unit's instructions, on a log scale from one in
    // ten thousand or less (pale yellow) to a quarter or more (deep red).
    const double share = static_cast<double>(count) / static_cast<double>(total);
    const double heat = std::clamp((std::log10(share) + 4.0) / 3.4, 0.0, 1.0);
    return QColor::fromHsvF(0.16 * (1.0 - heat), 0.25 + 0.65 * heat, 1.0);
}

void CCodeView::DrawHeat(QPainter& painter, const CMpu& unit) {
    const CDebugger& debugger = m_controller.Debugger();
    const CProfile& profile = debugger.Profile(Slot());
    const uint64_t total = profile.GetTotal();
    if (!debugger.IsProfileEnabled() && total == 0) return;
    const uint32_t scale = std::max<uint32_t>(1, unit.GetAddressScale());
    const int lineHeight = LineHeight();
    const int width = kHeatColumns * CharWidth();
    const int left = viewport()->width() - width;
    painter.setFont(m_font);
    const QFontMetrics metrics(m_font);
    int y = 0;
    for (const SListingLine& line : m_listing->Lines()) {
        if (!line.label.empty()) y += lineHeight;
        const uint64_t count = profile.GetCount(line.address / scale);
        const QRect cell(left, y, width, lineHeight);
        painter.fillRect(cell,
                         count ? HeatColour(count, total) : palette().color(QPalette::Window));
        if (count) {
            painter.setPen(Qt::black);
            painter.drawText(cell.adjusted(0, 0, -CharWidth() / 2, 0),
                             Qt::AlignRight | Qt::AlignVCenter, CompactCount(count));
        }
        y += lineHeight;
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(left, 0, left, viewport()->height());
}

void CCodeView::keyPressEvent(QKeyEvent* event) {
    EListingKey key = EListingKey::kOther;
    switch (event->key()) {
        case Qt::Key_Up: key = EListingKey::kUp; break;
        case Qt::Key_Down: key = EListingKey::kDown; break;
        case Qt::Key_PageUp: key = EListingKey::kPageUp; break;
        case Qt::Key_PageDown: key = EListingKey::kPageDown; break;
        case Qt::Key_Pause: key = EListingKey::kPause; break;
        default:
            if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
                break;
            if (event->text().size() == 1)
                key = CCodeListing::KeyFromCharacter(event->text().at(0).toLatin1());
            break;
    }
    if (key == EListingKey::kOther) return QAbstractScrollArea::keyPressEvent(event);
    if (m_listing->OnKey(key)) viewport()->update();
}

void CCodeView::OnScrollAction(int action) {
    bool moved = false;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            moved = m_listing->OnScroll(EListingScroll::kLineUp);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            moved = m_listing->OnScroll(EListingScroll::kLineDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            moved = m_listing->OnKey(EListingKey::kPageUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            moved = m_listing->OnKey(EListingKey::kPageDown);
            break;
        default: break;
    }
    verticalScrollBar()->setSliderPosition(1);
    if (moved) viewport()->update();
}

void CCodeView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 40;
    for (int n = 0; n < std::abs(steps); ++n)
        m_listing->OnKey(steps > 0 ? EListingKey::kUp : EListingKey::kDown);
    if (steps != 0) viewport()->update();
    event->accept();
}

void CCodeView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return;
    if (event->position().x() >= kMarginColumns * CharWidth()) return;
    const SListingLine* clicked = LineAt(static_cast<int>(event->position().y()));
    const CMpu* unit = m_controller.Unit(Slot());
    if (!clicked || !unit) return;
    const uint32_t scale = std::max<uint32_t>(1, unit->GetAddressScale());
    m_controller.ToggleBreakpointAt(Slot(), clicked->address / scale);
}

const SListingLine* CCodeView::LineAt(int y) const {
    // The row at y, counting the label rows above it.
    const int row = y / LineHeight();
    int top = 0;
    for (const SListingLine& line : m_listing->Lines()) {
        top += line.label.empty() ? 0 : 1;
        if (top == row) return &line;
        if (top >= row) break;
        ++top;
    }
    return nullptr;
}

bool CCodeView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
    // Over the heat column: the exact count and its share.
    const auto* help = static_cast<QHelpEvent*>(event);
    const CMpu* unit = m_controller.Unit(Slot());
    const SListingLine* line = LineAt(help->pos().y());
    const CProfile& profile = m_controller.Debugger().Profile(Slot());
    if (!unit || !line || profile.GetTotal() == 0 ||
        help->pos().x() < viewport()->width() - kHeatColumns * CharWidth()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const uint64_t count =
        profile.GetCount(line->address / std::max<uint32_t>(1, unit->GetAddressScale()));
    QToolTip::showText(
        help->globalPos(),
        QString("%1 executions, %2% of the unit's instructions")
            .arg(QLocale().toString(static_cast<qulonglong>(count)))
            .arg(100.0 * static_cast<double>(count) / static_cast<double>(profile.GetTotal()), 0,
                 'f', 2),
        viewport());
    return true;
}

void CCodeView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction("View &Address", this, &CCodeView::AskViewAddress);
    const SListingLine* line = LineAt(event->pos().y());
    const CMpu* unit = m_controller.Unit(Slot());
    QAction* memory = menu.addAction("Show in &Memory");
    if (line && unit) {
        const uint32_t address = line->address & unit->GetAddressMask();
        const int digits =
            std::max(4, (static_cast<int>(std::bit_width(unit->GetAddressMask())) + 3) / 4);
        memory->setText(
            QString("Show %1 in &Memory")
                .arg(QString("%1").arg(address, digits, 16, QLatin1Char('0')).toUpper()));
        connect(memory, &QAction::triggered, this,
                [this, address] { emit memoryRequested(Slot(), address); });
    } else {
        memory->setEnabled(false);
    }
    menu.exec(event->globalPos());
}

void CCodeView::AskViewAddress() {
    CAddressDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (m_listing->ViewAddress(dialog.Text().toStdString())) viewport()->update();
}

void CCodeView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    m_controller.SetActiveSlot(Slot());
    viewport()->update();
}

void CCodeView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CCodeView::RunCommand(ERunCommand command, int slot) {
    m_controller.SetActiveSlot(slot);
    switch (command) {
        case ERunCommand::kStop: m_controller.Stop(); break;
        case ERunCommand::kBounceOver: m_controller.BounceOver(); break;
        case ERunCommand::kStepOut: m_controller.StepOut(); break;
        case ERunCommand::kRun: m_controller.Run(); break;
        case ERunCommand::kStepInto: m_controller.StepInto(); break;
    }
}

void CCodeView::Print(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) return;
    QFont font = m_font;
    // A pixel size would print at the printer's pixels; points keep the size.
    if (font.pixelSize() > 0) font.setPointSizeF(font.pixelSize() * 72.0 / logicalDpiY());
    const QFontMetrics metrics(font, &printer);
    const QRect page = painter.viewport();
    CCodeListing listing(m_controller.Workspace(), Slot());
    listing.SetShowMachineCode(m_listing->GetShowMachineCode());
    listing.SetTopAddress(m_listing->GetTopAddress());
    listing.SetLineCount(CCodeListing::LinesThatFit(page.height(), std::max(1, metrics.height())));
    DrawListing(painter, listing, page, font, m_textColour, Qt::white);
    painter.end();
}
