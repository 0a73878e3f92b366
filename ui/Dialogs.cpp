#include "ui/Dialogs.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/ProgramImage.h"
#include "system/StandardSystems.h"
#include "ui/Prompter.h"

std::optional<uint32_t> ParseHexField(const QString& text) {
    QString digits = text.trimmed();
    if (digits.startsWith("0x", Qt::CaseInsensitive)) digits = digits.mid(2);
    if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
    bool ok = false;
    const uint32_t value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return value;
}

static QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

static void Refuse(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, CPrompter::kCaption, text);
}

// --- Generate Interrupt -------------------------------------------------------

CInterruptDialog::CInterruptDialog(QWidget* parent)
    : QDialog(parent),
      m_code(new QSpinBox(this)),
      m_irq(new QCheckBox("IRQ", this)),
      m_nmi(new QCheckBox("NMI", this)),
      m_reset(new QCheckBox("Reset", this)) {
    setWindowTitle("Generate Interrupt");
    m_code->setRange(-1, 15);
    auto* form = new QFormLayout(this);
    form->addRow("IRQ code:", m_code);
    form->addRow(m_irq);
    form->addRow(m_nmi);
    form->addRow(m_reset);
    form->addRow(OkCancel(this));
}

SInterruptRequest CInterruptDialog::Request() const {
    SInterruptRequest request;
    request.code = m_code->value();
    request.irq = m_irq->isChecked();
    request.nmi = m_nmi->isChecked();
    request.reset = m_reset->isChecked();
    return request;
}

void CInterruptDialog::SetRequest(const SInterruptRequest& request) {
    m_code->setValue(request.code);
    m_irq->setChecked(request.irq);
    m_nmi->setChecked(request.nmi);
    m_reset->setChecked(request.reset);
}

// --- Select New System Type ---------------------------------------------------

CSystemTypeDialog::CSystemTypeDialog(QWidget* parent)
    : QDialog(parent), m_types(new QButtonGroup(this)) {
    setWindowTitle("Select New System Type");
    auto* layout = new QVBoxLayout(this);
    for (int index = 0; index < 3; ++index) {
        auto* button = new QRadioButton(SystemTypeName(static_cast<ESystemType>(index)), this);
        m_types->addButton(button, index);
        layout->addWidget(button);
    }
    m_types->button(0)->setChecked(true);
    layout->addWidget(OkCancel(this));
}

int CSystemTypeDialog::Selected() const {
    return m_types->checkedId();
}

void CSystemTypeDialog::Select(int index) {
    if (QAbstractButton* button = m_types->button(index)) button->setChecked(true);
}

// --- Global Run Limits --------------------------------------------------------

CRunLimitsDialog::CRunLimitsDialog(const SRunLimits& limits, QWidget* parent)
    : QDialog(parent),
      timeCheck(new QCheckBox("Stop after this many &seconds:", this)),
      seconds(new QLineEdit(QString::number(limits.seconds), this)),
      instructionsCheck(new QCheckBox("Stop after this many &instructions:", this)),
      instructionCount(new QLineEdit(QString::number(limits.instructions), this)) {
    setWindowTitle("Global Run Limits");
    timeCheck->setChecked(limits.timeEnabled);
    instructionsCheck->setChecked(limits.instructionsEnabled);
    auto* form = new QFormLayout(this);
    form->addRow(timeCheck, seconds);
    form->addRow(instructionsCheck, instructionCount);
    form->addRow(
        new QLabel("Run and Run All count both from their start; a limit applies to "
                   "all units together.",
                   this));
    form->addRow(OkCancel(this));
}

QString CRunLimitsDialog::Problem() const {
    bool ok = false;
    const qlonglong s = seconds->text().trimmed().toLongLong(&ok);
    if (!ok || s < 0 || s > 0x7FFFFFFF) return "The time limit must be a number of seconds.";
    instructionCount->text().trimmed().toULongLong(&ok);
    if (!ok) return "The instruction limit must be a whole number of instructions.";
    return {};
}

SRunLimits CRunLimitsDialog::Limits() const {
    SRunLimits limits;
    limits.timeEnabled = timeCheck->isChecked();
    limits.seconds = seconds->text().trimmed().toLongLong();
    limits.instructionsEnabled = instructionsCheck->isChecked();
    limits.instructions = instructionCount->text().trimmed().toULongLong();
    return limits;
}

void CRunLimitsDialog::accept() {
    const QString problem = Problem();
    if (!problem.isEmpty()) return Refuse(this, problem);
    QDialog::accept();
}

// --- History limits -------------------------------------------------------------

CHistoryLimitsDialog::CHistoryLimitsDialog(const SHistoryLimits& limits, QWidget* parent)
    : QDialog(parent), instructions(new QSpinBox(this)), megabytes(new QSpinBox(this)) {
    setWindowTitle("History Limits");
    instructions->setRange(1, kMaxInstructionsMillions * 1000);
    instructions->setSuffix(" thousand");
    instructions->setGroupSeparatorShown(true);
    instructions->setValue(static_cast<int>(
        std::clamp<uint64_t>(limits.instructions / 1000, 1, kMaxInstructionsMillions * 1000)));
    megabytes->setRange(1, kMaxMegabytes);
    megabytes->setSuffix(" MB");
    megabytes->setValue(
        static_cast<int>(std::clamp<uint64_t>(limits.bytes >> 20, 1, kMaxMegabytes)));
    auto* form = new QFormLayout(this);
    form->addRow("&Instructions per unit:", instructions);
    form->addRow("&Memory per unit:", megabytes);
    form->addRow(
        new QLabel("The oldest instructions are forgotten first when either limit is "
                   "reached.",
                   this));
    form->addRow(OkCancel(this));
}

SHistoryLimits CHistoryLimitsDialog::Limits() const {
    SHistoryLimits limits;
    limits.instructions = static_cast<uint64_t>(instructions->value()) * 1000;
    limits.bytes = static_cast<uint64_t>(megabytes->value()) << 20;
    return limits;
}

// --- Address ------------------------------------------------------------------

CAddressDialog::CAddressDialog(QWidget* parent) : QDialog(parent), field(new QLineEdit(this)) {
    setWindowTitle("Address");
    auto* form = new QFormLayout(this);
    form->addRow("&Address (hex):", field);
    form->addRow(OkCancel(this));
}

QString CAddressDialog::Text() const {
    return field->text();
}

// --- Load ---------------------------------------------------------------------

const QStringList& CLoadDialog::Filters() {
    static const QStringList filters = {"Motorola S19 Format (.s19) (*.s19)",
                                        "Hex format (.hex) (*.hex)", "Binary image (.bin) (*.bin)",
                                        "All files (*)"};
    return filters;
}

CLoadDialog::CLoadDialog(QWidget* parent)
    : QDialog(parent), files(new QFileDialog(this)), address(new QLineEdit("0", this)) {
    setWindowTitle("Load");
    files->setWindowFlags(Qt::Widget);
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->setFileMode(QFileDialog::ExistingFile);
    files->setAcceptMode(QFileDialog::AcceptOpen);
    files->setNameFilters(Filters());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(files);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(12, 0, 12, 0);
    auto* label = new QLabel("Load &address (hex, for .hex and .bin files):", this);
    label->setBuddy(address);
    row->addWidget(label);
    row->addWidget(address);
    row->addStretch();
    layout->addLayout(row);
    connect(files, &QFileDialog::accepted, this, &CLoadDialog::accept);
    connect(files, &QFileDialog::rejected, this, &CLoadDialog::reject);
    resize(760, 480);
}

QString CLoadDialog::Path() const {
    const QStringList chosen = files->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

void CLoadDialog::SetPath(const QString& path) {
    files->selectFile(path);
}

std::optional<uint32_t> CLoadDialog::LoadAddress() const {
    if (address->text().trimmed().isEmpty()) return 0u;
    return ParseHexField(address->text());
}

void CLoadDialog::accept() {
    if (!LoadAddress()) {
        files->setVisible(true);
        return Refuse(this, "The load address must be a hexadecimal number.");
    }
    QDialog::accept();
}

// --- Dump ---------------------------------------------------------------------

CDumpDialog::CDumpDialog(QWidget* parent)
    : QDialog(parent),
      path(new QLineEdit(this)),
      format(new QComboBox(this)),
      first(new QLineEdit("0", this)),
      last(new QLineEdit(this)),
      entry(new QLineEdit("0", this)) {
    setWindowTitle("Dump");
    format->addItem("Motorola S19 Format (.s19)", ".s19");
    format->addItem("Hex format (.hex)", ".hex");
    auto* browse = new QPushButton("&Browse...", this);
    connect(browse, &QPushButton::clicked, this, &CDumpDialog::Browse);
    connect(format, &QComboBox::currentIndexChanged, this, [this] {
        const QString text = path->text();
        const QString wanted = format->currentData().toString();
        if (text.endsWith(".s19", Qt::CaseInsensitive) ||
            text.endsWith(".hex", Qt::CaseInsensitive))
            path->setText(text.left(text.size() - 4) + wanted);
    });
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(path);
    fileRow->addWidget(browse);
    auto* form = new QFormLayout(this);
    form->addRow("&File:", fileRow);
    form->addRow("F&ormat:", format);
    form->addRow("F&rom address (hex):", first);
    form->addRow("&To address (hex, included):", last);
    form->addRow("&Entry address (hex, S-records):", entry);
    form->addRow(OkCancel(this));
    resize(520, height());
}

void CDumpDialog::Browse() {
    const QString chosen = QFileDialog::getSaveFileName(
        this, "Dump", path->text(),
        format->currentText() + QString(" (*%1)").arg(format->currentData().toString()));
    if (!chosen.isEmpty()) path->setText(chosen);
}

std::optional<CDumpDialog::SDump> CDumpDialog::Dump(QString* problem) const {
    auto fail = [problem](const QString& text) -> std::optional<SDump> {
        if (problem) *problem = text;
        return std::nullopt;
    };
    SDump dump;
    dump.path = path->text().trimmed();
    if (dump.path.isEmpty()) return fail("Choose a file to dump to.");
    const QString extension = format->currentData().toString();
    if (!dump.path.endsWith(".s19", Qt::CaseInsensitive) &&
        !dump.path.endsWith(".hex", Qt::CaseInsensitive))
        dump.path += extension;
    const auto from = ParseHexField(first->text());
    const auto to = ParseHexField(last->text());
    const auto start = ParseHexField(entry->text().trimmed().isEmpty() ? "0" : entry->text());
    if (!from) return fail("The from address must be a hexadecimal number.");
    if (!to) return fail("The to address must be a hexadecimal number.");
    if (!start) return fail("The entry address must be a hexadecimal number.");
    if (*to < *from) return fail("The to address is below the from address.");
    if (uint64_t{*to} - *from + 1 > kMaxDumpBytes)
        return fail(QString("A dump holds at most %1 bytes.").arg(kMaxDumpBytes));
    dump.first = *from;
    dump.last = *to;
    dump.entry = *start;
    return dump;
}

void CDumpDialog::accept() {
    QString problem;
    if (!Dump(&problem)) return Refuse(this, problem);
    QDialog::accept();
}

// --- The application's prompter ------------------------------------------------

void CDialogPrompter::ShowMessage(const QString& text, EMessageIcon icon) {
    switch (icon) {
        case EMessageIcon::Information: QMessageBox::information(m_parent, kCaption, text); break;
        case EMessageIcon::Exclamation: QMessageBox::warning(m_parent, kCaption, text); break;
        case EMessageIcon::Stop: QMessageBox::critical(m_parent, kCaption, text); break;
    }
}

bool CDialogPrompter::AskYesNo(const QString& text) {
    return QMessageBox::question(m_parent, kCaption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

ESaveAnswer CDialogPrompter::AskSaveChanges(const QString& documentName) {
    const auto answer = QMessageBox::question(
        m_parent, kCaption, QString("Save changes to %1?").arg(documentName),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) return ESaveAnswer::kSave;
    if (answer == QMessageBox::No) return ESaveAnswer::kDiscard;
    return ESaveAnswer::kCancel;
}

std::optional<SInterruptRequest> CDialogPrompter::AskInterrupt() {
    CInterruptDialog dialog(m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

std::optional<int> CDialogPrompter::AskSystemType() {
    CSystemTypeDialog dialog(m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Selected();
}
