#include "ui/Forms.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/BreakpointList.h"
#include "core/Mpu.h"
#include "core/ViewHint.h"
#include "ui/Controller.h"
#include "ui/Dialogs.h"

CUnitForm::CUnitForm(CController& controller, int slot, QWidget* parent)
    : QWidget(parent), m_controller(controller), m_slot(slot) {}

// --- Registers ----------------------------------------------------------------

namespace {

// A register field writes the form back when it loses the focus.
class CRegisterField final : public QLineEdit {
public:
    CRegisterField(std::function<void()> onLeave, QWidget* parent)
        : QLineEdit(parent), m_onLeave(std::move(onLeave)) {}

protected:
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        if (isModified()) m_onLeave();
    }

private:
    std::function<void()> m_onLeave;
};

uint32_t WidthMask(int digits) {
    return digits >= 8 ? 0xFFFFFFFFu : (1u << (4 * digits)) - 1;
}

}  // namespace

CRegisterForm::CRegisterForm(CController& controller, int slot, QWidget* parent)
    : CUnitForm(controller, slot, parent) {
    Build();
    OnViewsUpdated(0);
}

void CRegisterForm::Build() {
    const CMpu* unit = m_controller.Unit(m_slot);
    if (unit) m_registers = UnitDebug::Registers(*unit);
    if (m_registers.empty()) {
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(CMpu::kNoRegisterViewText, this);
        text->setWordWrap(true);
        layout->addWidget(text);
        layout->addStretch();
        return;
    }
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    // Long register files (the Corvane's) are laid out in columns of twelve.
    const int perColumn = m_registers.size() > 16 ? 12 : static_cast<int>(m_registers.size());
    int flagRow = perColumn;
    const QRegularExpression hex("[0-9A-Fa-f]*");
    for (size_t i = 0; i < m_registers.size(); ++i) {
        const SUiRegister& r = m_registers[i];
        auto* field = new CRegisterField([this] { WriteBack(); }, this);
        field->setObjectName(r.name);
        field->setFont(fixed);
        field->setMaxLength(r.digits);
        field->setValidator(new QRegularExpressionValidator(hex, field));
        field->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QString(r.digits + 1, '0')) +
                             12);
        field->setReadOnly(!r.writable);
        connect(field, &QLineEdit::returnPressed, this, [this] { WriteBack(); });
        auto* label = new QLabel(r.name, this);
        label->setBuddy(field);
        const int row = static_cast<int>(i) % perColumn;
        const int column = static_cast<int>(i) / perColumn * 2;
        grid->addWidget(label, row, column, Qt::AlignRight);
        grid->addWidget(field, row, column + 1, Qt::AlignLeft);
        m_fields.push_back(field);
        std::vector<QCheckBox*> flags;
        if (!r.flags.empty()) {
            auto* box = new QGroupBox(r.name + " flags", this);
            auto* rows = new QGridLayout(box);
            rows->setSpacing(4);
            // Four flags a row keeps the forms' column narrow.
            for (const SUiFlag& flag : r.flags) {
                auto* check = new QCheckBox(flag.name, box);
                check->setObjectName(r.name + "." + flag.name);
                connect(check, &QCheckBox::toggled, this, [this, i] { OnFlagToggled(i); });
                const int n = static_cast<int>(flags.size());
                rows->addWidget(check, n / 4, n % 4);
                flags.push_back(check);
            }
            rows->setColumnStretch(4, 1);
            grid->addWidget(box, flagRow++, 0, 1, -1);
        }
        m_flags.push_back(flags);
    }
    grid->setRowStretch(flagRow, 1);
    grid->setColumnStretch(grid->columnCount(), 1);
}

QLineEdit* CRegisterForm::Field(const QString& name) const {
    for (size_t i = 0; i < m_registers.size(); ++i)
        if (m_registers[i].name.compare(name, Qt::CaseInsensitive) == 0) return m_fields[i];
    return nullptr;
}

QCheckBox* CRegisterForm::Flag(const QString& registerName, const QString& flagName) const {
    return findChild<QCheckBox*>(registerName + "." + flagName);
}

bool CRegisterForm::IsHighlighted(const QString& name) const {
    const QLineEdit* field = Field(name);
    return field && field->property("changed").toBool();
}

void CRegisterForm::OnViewsUpdated(unsigned hint) {
    if (hint != 0 && (hint & kHintProcessorState) == 0) return;
    const CMpu* unit = m_controller.Unit(m_slot);
    if (!unit || m_registers.empty()) return;
    Show(UnitDebug::Snapshot(*unit));
}

void CRegisterForm::OnLiveRefresh() {
    if (!m_controller.IsRunning(m_slot)) return;
    if (const CMpu* unit = m_controller.Unit(m_slot)) Show(UnitDebug::Snapshot(*unit));
}

void CRegisterForm::Show(const SUiSnapshot& snapshot) {
    if (snapshot.registers.size() != m_registers.size()) return;
    const bool busy = m_controller.IsRunning(m_slot);
    if (!busy) {
        // A new stop: what changed is measured against the previous one
        // (not against the values shown live while the unit ran).
        if (m_controller.StopCount() != m_seenStop) {
            m_seenStop = m_controller.StopCount();
            m_previousStop = m_lastStop;
        }
        m_lastStop = snapshot.registers;
    }
    m_shown = snapshot.registers;
    m_updating = true;
    for (size_t i = 0; i < m_registers.size(); ++i) {
        const uint32_t value = snapshot.registers[i];
        QLineEdit* field = m_fields[i];
        field->setReadOnly(busy || !m_registers[i].writable);
        const QString text =
            QString("%1").arg(value, m_registers[i].digits, 16, QLatin1Char('0')).toUpper();
        if ((!field->isModified() || busy) && field->text() != text) field->setText(text);
        field->setModified(false);
        const bool changed =
            !busy && m_previousStop.size() == m_shown.size() && m_previousStop[i] != value;
        if (field->property("changed").toBool() != changed) {
            field->setProperty("changed", changed);
            field->setStyleSheet(
                changed ? QString("color: %1; font-weight: bold;").arg(kChangedColour.name())
                        : QString());
        }
        for (size_t f = 0; f < m_flags[i].size(); ++f) {
            QCheckBox* check = m_flags[i][f];
            check->setEnabled(!busy);
            const SUiFlag& flag = m_registers[i].flags[f];
            check->setChecked(((value & flag.mask) != 0) != flag.inverted);
        }
    }
    m_updating = false;
}

void CRegisterForm::WriteBack() {
    if (m_updating) return;
    CMpu* unit = m_controller.Unit(m_slot);
    if (!unit || m_controller.IsRunning(m_slot)) return;
    bool changed = false;
    for (size_t i = 0; i < m_registers.size(); ++i) {
        if (!m_registers[i].writable) continue;
        const auto value = ParseHexField(m_fields[i]->text().isEmpty() ? "0" : m_fields[i]->text());
        const uint32_t masked = value.value_or(0) & WidthMask(m_registers[i].digits);
        QString error;
        if (UnitDebug::SetRegister(*unit, i, masked, &error)) changed = true;
        m_fields[i]->setModified(false);
    }
    // The fields show what the unit took; the listings follow a new PC.
    Show(UnitDebug::Snapshot(*unit));
    if (changed) m_controller.Workspace().RefreshUnit(m_slot);
}

void CRegisterForm::OnFlagToggled(size_t index) {
    if (m_updating) return;
    CMpu* unit = m_controller.Unit(m_slot);
    if (!unit || m_controller.IsRunning(m_slot)) return;
    uint32_t value = index < m_shown.size() ? m_shown[index] : 0;
    for (size_t f = 0; f < m_flags[index].size(); ++f) {
        const SUiFlag& flag = m_registers[index].flags[f];
        value = m_flags[index][f]->isChecked() != flag.inverted ? value | flag.mask
                                                                : value & ~flag.mask;
    }
    QString error;
    const bool written =
        UnitDebug::SetRegister(*unit, index, value & WidthMask(m_registers[index].digits), &error);
    Show(UnitDebug::Snapshot(*unit));
    if (written) m_controller.Workspace().RefreshUnit(m_slot);
}

// --- Statistics ---------------------------------------------------------------

CStatisticsForm::CStatisticsForm(CController& controller, int slot, QWidget* parent)
    : CUnitForm(controller, slot, parent) {
    const CMpu* unit = m_controller.Unit(m_slot);
    const std::vector<QString> labels =
        unit ? UnitDebug::CounterLabels(*unit) : std::vector<QString>{};
    auto* layout = new QVBoxLayout(this);
    if (labels.empty()) {
        auto* text = new QLabel(CMpu::kNoStatisticsViewText, this);
        text->setWordWrap(true);
        layout->addWidget(text);
        layout->addStretch();
        return;
    }
    auto* form = new QFormLayout;
    for (const QString& label : labels) {
        // A read-only field, not a label: a label's new text would lay out
        // the whole window again at every live refresh.
        auto* value = new QLineEdit("0", this);
        value->setReadOnly(true);
        value->setFrame(false);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFocusPolicy(Qt::ClickFocus);
        value->setStyleSheet("background: transparent;");
        value->setMinimumWidth(QFontMetrics(value->font()).horizontalAdvance("99999999999999"));
        form->addRow(label + ":", value);
        m_values.push_back(value);
    }
    layout->addLayout(form);
    m_reset = new QPushButton("&Reset", this);
    m_reset->setToolTip("Set every counter of this processor to 0");
    connect(m_reset, &QPushButton::clicked, this, &CStatisticsForm::Reset);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_reset);
    layout->addLayout(row);
    layout->addStretch();
    Show();
}

QString CStatisticsForm::Value(int index) const {
    return index >= 0 && index < static_cast<int>(m_values.size())
               ? m_values[static_cast<size_t>(index)]->text()
               : QString();
}

void CStatisticsForm::Show() {
    const CMpu* unit = m_controller.Unit(m_slot);
    if (!unit || m_values.empty()) return;
    const SUiSnapshot snapshot = UnitDebug::Snapshot(*unit);
    for (size_t i = 0; i < m_values.size() && i < snapshot.counters.size(); ++i) {
        const QString text = QString::number(snapshot.counters[i]);
        if (m_values[i]->text() != text) m_values[i]->setText(text);
    }
}

void CStatisticsForm::OnViewsUpdated(unsigned hint) {
    if (hint == 0 || (hint & kHintProcessorState) != 0) Show();
}

void CStatisticsForm::OnLiveRefresh() {
    if (m_controller.IsRunning(m_slot)) Show();
}

void CStatisticsForm::Reset() {
    if (CMpu* unit = m_controller.Unit(m_slot)) UnitDebug::ResetCounters(*unit);
    Show();
}

// --- Breakpoints --------------------------------------------------------------

CBreakpointForm::CBreakpointForm(CController& controller, int slot, QWidget* parent)
    : CUnitForm(controller, slot, parent),
      list(new QListWidget(this)),
      address(new QLineEdit(this)),
      add(new QPushButton("&+", this)),
      remove(new QPushButton("&-", this)),
      seconds(new QCheckBox("Seconds", this)),
      secondsField(new QLineEdit(this)),
      instructions(new QCheckBox("Instructions", this)),
      instructionsField(new QLineEdit(this)),
      condition(new QLineEdit(this)),
      ignore(new QSpinBox(this)),
      hits(new QLabel(this)),
      apply(new QPushButton("A&pply", this)),
      watches(new QListWidget(this)),
      watch(new QLineEdit(this)),
      addWatch(new QPushButton("+", this)),
      removeWatch(new QPushButton("-", this)),
      m_list(std::make_unique<CBreakpointList>(controller.Workspace(), slot)) {
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    address->setPlaceholderText("address (hex)");
    address->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    add->setToolTip("Add the address as a breakpoint");
    remove->setToolTip("Remove the selected breakpoint");
    const int buttonWidth = QFontMetrics(font()).horizontalAdvance("MM") + 16;
    add->setFixedWidth(buttonWidth);
    remove->setFixedWidth(buttonWidth);
    addWatch->setFixedWidth(buttonWidth);
    removeWatch->setFixedWidth(buttonWidth);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    condition->setFont(fixed);
    condition->setPlaceholderText("always, or e.g. a == 10 && [0200] != 0");
    condition->setToolTip(
        "Stop only when this holds: registers, flags, [address] for a byte of "
        "memory, numbers in hexadecimal, the assembler's operators");
    ignore->setRange(0, 0x7FFFFFFF);
    ignore->setToolTip(
        "Times the breakpoint is passed over, with its condition holding, before "
        "it stops the processor");
    apply->setToolTip("Give the selected breakpoint this condition and ignore count");
    watches->setFont(fixed);
    watch->setFont(fixed);
    watch->setPlaceholderText("w:0200-02FF=05");
    watch->setToolTip(
        "r (reads), w (writes) or rw, a colon, the first address, optionally "
        "-last address and =value or !=value, all in hexadecimal");
    addWatch->setToolTip("Add the watchpoint for this processor");
    removeWatch->setToolTip("Remove the selected watchpoint");
    secondsField->setMaximumWidth(120);
    instructionsField->setMaximumWidth(120);
    secondsField->setValidator(new QIntValidator(0, 0x7FFFFFFF, secondsField));
    instructionsField->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,19}"), instructionsField));

    auto* layout = new QVBoxLayout(this);
    auto* entry = new QHBoxLayout;
    entry->addWidget(address, 1);
    entry->addWidget(add);
    entry->addWidget(remove);
    layout->addLayout(entry);
    layout->addWidget(list, 1);
    auto* selected = new QGroupBox("Selected Breakpoint", this);
    auto* conditionGrid = new QGridLayout(selected);
    auto* conditionLabel = new QLabel("&Condition:", selected);
    conditionLabel->setBuddy(condition);
    auto* ignoreLabel = new QLabel("I&gnore count:", selected);
    ignoreLabel->setBuddy(ignore);
    conditionGrid->addWidget(conditionLabel, 0, 0);
    conditionGrid->addWidget(condition, 0, 1, 1, 3);
    conditionGrid->addWidget(ignoreLabel, 1, 0);
    conditionGrid->addWidget(ignore, 1, 1);
    conditionGrid->addWidget(hits, 1, 2);
    conditionGrid->addWidget(apply, 1, 3);
    conditionGrid->setColumnStretch(2, 1);
    layout->addWidget(selected);
    auto* watchGroup = new QGroupBox("Watchpoints", this);
    auto* watchLayout = new QVBoxLayout(watchGroup);
    auto* watchEntry = new QHBoxLayout;
    watchEntry->addWidget(watch, 1);
    watchEntry->addWidget(addWatch);
    watchEntry->addWidget(removeWatch);
    watchLayout->addLayout(watchEntry);
    watchLayout->addWidget(watches);
    watches->setMinimumHeight(3 * QFontMetrics(fixed).height());
    layout->addWidget(watchGroup, 1);
    auto* limits = new QGroupBox("Break After", this);
    auto* grid = new QGridLayout(limits);
    grid->addWidget(seconds, 0, 0);
    grid->addWidget(secondsField, 0, 1);
    grid->addWidget(instructions, 1, 0);
    grid->addWidget(instructionsField, 1, 1);
    grid->setColumnStretch(2, 1);
    layout->addWidget(limits);

    connect(add, &QPushButton::clicked, this, [this] {
        if (m_list->Add(address->text().toStdString())) address->clear();
        Fill();
    });
    connect(address, &QLineEdit::returnPressed, add, &QPushButton::click);
    connect(remove, &QPushButton::clicked, this, [this] {
        m_list->Remove(list->currentRow());
        Fill();
    });
    connect(list, &QListWidget::currentRowChanged, this, &CBreakpointForm::ShowCondition);
    connect(apply, &QPushButton::clicked, this, &CBreakpointForm::ApplyCondition);
    connect(condition, &QLineEdit::returnPressed, this, &CBreakpointForm::ApplyCondition);
    connect(addWatch, &QPushButton::clicked, this, [this] {
        if (m_controller.AddWatchpoint(watch->text(), m_slot)) watch->clear();
    });
    connect(watch, &QLineEdit::returnPressed, addWatch, &QPushButton::click);
    connect(removeWatch, &QPushButton::clicked, this, [this] {
        const int row = watches->currentRow();
        if (row >= 0 && static_cast<size_t>(row) < m_watchIndex.size())
            m_controller.RemoveWatchpoint(m_watchIndex[static_cast<size_t>(row)]);
    });
    connect(&controller, &CController::debugAidsChanged, this, [this] {
        Fill();
        FillWatches();
    });
    connect(seconds, &QCheckBox::toggled, this, &CBreakpointForm::ApplyLimits);
    connect(instructions, &QCheckBox::toggled, this, &CBreakpointForm::ApplyLimits);
    connect(secondsField, &QLineEdit::editingFinished, this, &CBreakpointForm::ApplyLimits);
    connect(instructionsField, &QLineEdit::editingFinished, this, &CBreakpointForm::ApplyLimits);
    connect(&controller, &CController::runLimitsChanged, this, &CBreakpointForm::ShowLimits);
    m_list->Refresh();
    Fill();
    FillWatches();
    ShowLimits();
}

CBreakpointForm::~CBreakpointForm() = default;

void CBreakpointForm::Fill() {
    const int row = list->currentRow();
    const QSignalBlocker block(list);
    list->clear();
    for (const std::string& entry : m_list->GetEntries()) {
        QString text = QString::fromStdString(entry);
        const std::optional<uint32_t> address = CBreakpointList::ParseAddress(entry);
        if (const auto info =
                address ? m_controller.Debugger().GetCondition(m_slot, *address) : std::nullopt) {
            if (!info->condition.empty()) text += "  if " + QString::fromStdString(info->condition);
            if (info->ignoreCount != 0) text += QString("  ignore %1").arg(info->ignoreCount);
            text += QString("  hits %1").arg(info->hits);
        }
        list->addItem(text);
    }
    list->setCurrentRow(std::min(row, list->count() - 1));
    ShowCondition();
}

std::optional<uint32_t> CBreakpointForm::SelectedAddress() const {
    const int row = list->currentRow();
    const auto& entries = m_list->GetEntries();
    if (row < 0 || static_cast<size_t>(row) >= entries.size()) return std::nullopt;
    return CBreakpointList::ParseAddress(entries[static_cast<size_t>(row)]);
}

void CBreakpointForm::ShowCondition() {
    const std::optional<uint32_t> address = SelectedAddress();
    for (QWidget* widget : std::initializer_list<QWidget*>{condition, ignore, apply})
        widget->setEnabled(address.has_value());
    const auto info =
        address ? m_controller.Debugger().GetCondition(m_slot, *address) : std::nullopt;
    // A field being typed in keeps its text.
    if (!condition->hasFocus())
        condition->setText(info ? QString::fromStdString(info->condition) : QString());
    if (!ignore->hasFocus()) ignore->setValue(info ? static_cast<int>(info->ignoreCount) : 0);
    hits->setText(info ? QString("Hits: %1").arg(info->hits) : QString());
}

void CBreakpointForm::ApplyCondition() {
    const std::optional<uint32_t> address = SelectedAddress();
    if (!address) return;
    if (m_controller.SetBreakpointCondition(m_slot, *address, condition->text(),
                                            static_cast<uint32_t>(ignore->value())))
        condition->clearFocus();
}

void CBreakpointForm::FillWatches() {
    const int row = watches->currentRow();
    watches->clear();
    m_watchIndex.clear();
    const std::vector<SWatchpoint>& all = m_controller.Debugger().GetWatchpoints();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].slot != m_slot && all[i].slot != -1) continue;
        QString text = QString::fromStdString(FormatWatchpoint(all[i]));
        if (all[i].slot == -1) text += "  (every unit)";
        watches->addItem(text);
        m_watchIndex.push_back(i);
    }
    watches->setCurrentRow(std::min(row, watches->count() - 1));
}

void CBreakpointForm::OnViewsUpdated(unsigned hint) {
    if (hint == 0 || (hint & kHintBreakpoints) != 0) {
        m_list->OnUpdate(hint == 0 ? 0u : uint32_t{kHintBreakpoints});
        Fill();
    } else if (!m_controller.Debugger().GetConditions(m_slot).empty()) {
        // A stop may have counted hits.
        Fill();
    }
    if (hint == 0) ShowLimits();
}

void CBreakpointForm::ShowLimits() {
    const QSignalBlocker a(seconds), b(instructions);
    seconds->setChecked(m_list->IsTimeLimitEnabled());
    instructions->setChecked(m_list->IsInstructionLimitEnabled());
    if (!secondsField->hasFocus()) secondsField->setText(QString::number(m_list->GetTimeLimit()));
    if (!instructionsField->hasFocus())
        instructionsField->setText(QString::number(m_list->GetInstructionLimit()));
}

void CBreakpointForm::ApplyLimits() {
    // Through the controller, so that every other form and the dialog follow.
    SRunLimits limits;
    limits.seconds = secondsField->text().toLongLong();
    limits.instructions = instructionsField->text().toULongLong();
    limits.timeEnabled = seconds->isChecked();
    limits.instructionsEnabled = instructions->isChecked();
    m_controller.SetRunLimits(limits);
}
