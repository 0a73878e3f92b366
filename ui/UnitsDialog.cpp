#include "ui/UnitsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/StringEx.h"
#include "ui/DeviceUi.h"

CUnitsDialog::CUnitsDialog(CComputer& computer, QWidget* parent)
    : QDialog(parent), m_computer(computer) {
    setWindowTitle("Processing Units");
    m_name = new QLineEdit(this);
    m_class = new QComboBox(this);
    for (int i = 0; i < UnitClasses().GetCount(); ++i) {
        const std::string_view name = UnitClasses().GetAt(i).name;
        m_class->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_class->setCurrentIndex(-1);
    m_irqs = new QListWidget(this);
    for (int n = 0; n < kIrqItems; ++n) {
        auto* item = new QListWidgetItem(QString::asprintf("IRQ %d", n), m_irqs);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    connect(m_irqs, &QListWidget::itemDoubleClicked, this, [](QListWidgetItem* item) {
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });

    m_add = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogNewFolder), QString(), this);
    m_add->setToolTip("Add");
    m_remove = new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), QString(), this);
    m_remove->setToolTip("Remove");
    m_edit = new QPushButton("&Edit", this);
    m_edit->setCheckable(true);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_add, m_remove, m_edit}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({"Name", "Class", "IRQ mask"});
    const QFontMetrics metrics(m_list->font());
    const char* samples[] = {"WWWWWWWWWWWW", "WWWWWWWWWWWW", "DDDDDDDD"};
    for (int column = 0; column < 3; ++column)
        m_list->setColumnWidth(column, metrics.horizontalAdvance(samples[column]) + 16);

    auto* fields = new QGridLayout;
    auto* nameLabel = new QLabel("&Name:", this);
    nameLabel->setBuddy(m_name);
    auto* classLabel = new QLabel("&Class:", this);
    classLabel->setBuddy(m_class);
    fields->addWidget(nameLabel, 0, 0);
    fields->addWidget(m_name, 0, 1);
    fields->addWidget(classLabel, 1, 0);
    fields->addWidget(m_class, 1, 1);
    fields->addWidget(m_irqs, 0, 2, 3, 1);
    fields->addLayout(buttons, 2, 0, 1, 2);

    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_list);
    layout->addWidget(ok);

    connect(m_add, &QPushButton::clicked, this, &CUnitsDialog::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &CUnitsDialog::OnRemove);
    connect(m_edit, &QPushButton::toggled, this, &CUnitsDialog::OnEditToggled);
    Refill();
}

uint32_t CUnitsDialog::CheckedMask() const {
    uint32_t mask = 0;
    for (int n = 0; n < kIrqItems; ++n) {
        if (m_irqs->item(n)->checkState() == Qt::Checked) mask |= 1u << n;
    }
    return mask;
}

void CUnitsDialog::Refill() {
    const CMpu* selected = SelectedUnit();
    m_list->clear();
    const CMpus* units = m_computer.GetMpus();
    for (int slot = 0; units && slot < units->GetCount(); ++slot) {
        CMpu* unit = units->GetAt(slot);
        auto* row = new QTreeWidgetItem(m_list);
        row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(unit)));
        row->setText(0, QString::fromStdString(unit->GetName()));
        row->setText(1, unit->GetClassName());
        row->setText(2, QString::fromStdString(FormatText("%08X", unit->GetIrqMask())));
        if (unit == selected) m_list->setCurrentItem(row);
    }
    const int sample = m_list->columnWidth(0);
    m_list->resizeColumnToContents(0);
    if (m_list->columnWidth(0) < sample) m_list->setColumnWidth(0, sample);
}

CMpu* CUnitsDialog::SelectedUnit() const {
    QTreeWidgetItem* row = m_list->currentItem();
    if (!row || !row->isSelected()) return nullptr;
    return static_cast<CMpu*>(row->data(0, Qt::UserRole).value<void*>());
}

void CUnitsDialog::OnAdd() {
    std::string error;
    if (!m_computer.AddUnit(m_class->currentText().toStdString(), m_name->text().toStdString(),
                            CheckedMask(), &error)) {
        if (error == CComputer::kNameAndClassNeededText)
            DeviceUi::ShowMessage(this, CComputer::kNameAndClassNeededText);
        else
            DeviceUi::ShowMessage(this,
                                  "The unit was not added: " + QString::fromStdString(error) + ".",
                                  QMessageBox::Warning);
        return;
    }
    Refill();
}

void CUnitsDialog::OnRemove() {
    std::vector<const CMpu*> doomed;
    for (QTreeWidgetItem* row : m_list->selectedItems())
        doomed.push_back(static_cast<const CMpu*>(row->data(0, Qt::UserRole).value<void*>()));
    for (const CMpu* unit : doomed) {
        const int slot = m_computer.GetMpus()->IndexOf(unit);
        if (slot >= 0) m_computer.RemoveUnit(slot);
    }
    m_list->setCurrentItem(nullptr);
    Refill();
}

void CUnitsDialog::SetEditing(bool editing) {
    for (QWidget* rest : std::initializer_list<QWidget*>{m_list, m_add, m_remove})
        rest->setEnabled(!editing);
}

void CUnitsDialog::OnEditToggled(bool pressed) {
    if (pressed) {
        CMpu* unit = SelectedUnit();
        if (!unit) {
            DeviceUi::ShowMessage(this, kSelectProcessorText);
            const QSignalBlocker quiet(m_edit);
            m_edit->setChecked(false);
            return;
        }
        m_edited = unit;
        m_name->setText(QString::fromStdString(unit->GetName()));
        m_class->setCurrentText(unit->GetClassName());
        SetEditing(true);
        return;
    }
    const int slot = m_edited ? m_computer.GetMpus()->IndexOf(m_edited) : -1;
    if (slot < 0) {
        SetEditing(false);
        return;
    }
    std::string error;
    if (!m_computer.EditUnit(slot, m_name->text().toStdString(), CheckedMask(), &error)) {
        DeviceUi::ShowMessage(
            this, error == CComputer::kNameAndClassNeededText
                      ? QString(CComputer::kNameAndClassNeededText)
                      : "The unit was not changed: " + QString::fromStdString(error) + ".");
        const QSignalBlocker quiet(m_edit);
        m_edit->setChecked(true);
        return;
    }
    m_edited = nullptr;
    SetEditing(false);
    Refill();
    m_name->clear();
}
