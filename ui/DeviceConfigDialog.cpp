#include "ui/DeviceConfigDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "core/StringEx.h"
#include "devices/VideoDevice.h"
#include "ui/DeviceUi.h"

namespace {

constexpr const char* kMemoryClass = "CRam";

QString Hex6(uint32_t value) {
    return QString::fromStdString(FormatText("%.6X", value & 0xFFFFFF));
}

QPushButton* PictureButton(QStyle::StandardPixmap picture, const QString& tip, QWidget* parent) {
    auto* button = new QPushButton(parent->style()->standardIcon(picture), QString(), parent);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

}  // namespace

uint32_t HexField(const QString& text) {
    return ParseHexNumber(text.toStdString());
}

CDeviceConfigDialog::CDeviceConfigDialog(CComputer& computer, QWidget* parent)
    : QDialog(parent), m_computer(computer) {
    setWindowTitle("Device Configuration");

    m_name = new QLineEdit(this);
    m_class = new QComboBox(this);
    for (int i = 0; i < DeviceClasses().GetCount(); ++i) {
        const std::string_view name = DeviceClasses().GetAt(i).name;
        m_class->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_class->setCurrentIndex(-1);
    m_from = new QLineEdit(this);
    m_to = new QLineEdit(this);
    m_size = new QLineEdit(this);
    for (QLineEdit* hex : {m_from, m_to, m_size})
        hex->setMaxLength(10);
    m_readOnly = new QCheckBox("Read Only", this);
    m_irqCode = new QSpinBox(this);
    m_irqCode->setRange(-1, 15);
    m_irqCode->setValue(-1);
    m_stride = new QSpinBox(this);
    m_stride->setRange(1, std::numeric_limits<int>::max());
    m_timeScale = new QSpinBox(this);
    m_timeScale->setRange(0, std::numeric_limits<int>::max());

    auto* fields = new QGridLayout;
    const auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    fields->addWidget(label("&Name:", m_name), 0, 0);
    fields->addWidget(m_name, 0, 1);
    fields->addWidget(label("&Class:", m_class), 0, 2);
    fields->addWidget(m_class, 0, 3);
    fields->addWidget(label("&From:", m_from), 1, 0);
    fields->addWidget(m_from, 1, 1);
    fields->addWidget(label("&To:", m_to), 1, 2);
    fields->addWidget(m_to, 1, 3);
    fields->addWidget(label("&Size:", m_size), 2, 0);
    fields->addWidget(m_size, 2, 1);
    fields->addWidget(m_readOnly, 2, 3);
    fields->addWidget(label("&IRQ Code:", m_irqCode), 3, 0);
    fields->addWidget(m_irqCode, 3, 1);
    fields->addWidget(label("St&ride:", m_stride), 3, 2);
    fields->addWidget(m_stride, 3, 3);
    fields->addWidget(label("Time Sca&le:", m_timeScale), 4, 0);
    fields->addWidget(m_timeScale, 4, 1);

    m_add = PictureButton(QStyle::SP_FileDialogNewFolder, "Add", this);
    m_remove = PictureButton(QStyle::SP_TrashIcon, "Remove", this);
    m_up = PictureButton(QStyle::SP_ArrowUp, "Up", this);
    m_down = PictureButton(QStyle::SP_ArrowDown, "Down", this);
    m_edit = new QPushButton("&Edit", this);
    m_edit->setCheckable(true);
    m_more = new QPushButton("&More >>", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_add, m_remove, m_up, m_down, m_edit, m_more}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels(
        {"Name", "Class", "From", "To", "Size", "ReadOnly", "IRQ Code", "Stride", "Time Scale"});
    // Columns sized to sample texts in the dialog's font.
    const QFontMetrics metrics(m_list->font());
    const char* samples[] = {"WWWWWWWW", "WWWWWWWW", "DDDDDD", "DDDDDD", "DDDDDD",
                             "WWWW",     "99",       "9999",   "9999"};
    for (int column = 0; column < 9; ++column) {
        const int header = metrics.horizontalAdvance(m_list->headerItem()->text(column));
        m_list->setColumnWidth(column,
                               std::max(metrics.horizontalAdvance(samples[column]), header) + 16);
    }
    m_list->setMinimumWidth(m_list->header()->length() + 4);

    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel("Current Devices", this));
    layout->addWidget(m_list);
    layout->addWidget(ok);

    connect(m_add, &QPushButton::clicked, this, &CDeviceConfigDialog::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &CDeviceConfigDialog::OnRemove);
    connect(m_up, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(m_edit, &QPushButton::toggled, this, &CDeviceConfigDialog::OnEditToggled);
    connect(m_more, &QPushButton::clicked, this, &CDeviceConfigDialog::OnMore);
    Refill();
}

void CDeviceConfigDialog::Refill() {
    const CDevice* selected = SelectedDevice();
    m_list->clear();
    const CDevices* bus = m_computer.GetDevices();
    if (!bus) return;
    for (CDevice* device = bus->GetHead(); device; device = device->GetNext()) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(device)));
        row->setText(kName, QString::fromStdString(device->GetName()));
        row->setText(kClass, device->GetClassName());
        row->setText(kFrom, Hex6(device->GetFrom()));
        row->setText(kTo, Hex6(device->GetTo()));
        if (const auto* ram = dynamic_cast<const CRam*>(device)) {
            row->setText(kSize, Hex6(ram->GetSize()));
            row->setText(kReadOnly, ram->IsWritable() ? " " : "R");
        }
        row->setText(kIrqCode, QString::number(device->GetIrqCode()));
        row->setText(kStride, QString::number(device->GetStride()));
        row->setText(kTimeScale, QString::number(device->GetTimeScale()));
        if (device == selected) m_list->setCurrentItem(row);
    }
    // Long names widen their column rather than being cut short.
    const int sample = m_list->columnWidth(kName);
    m_list->resizeColumnToContents(kName);
    if (m_list->columnWidth(kName) < sample) m_list->setColumnWidth(kName, sample);
}

CDevice* CDeviceConfigDialog::SelectedDevice() const {
    QTreeWidgetItem* row = m_list->currentItem();
    if (!row || !row->isSelected()) return nullptr;
    return static_cast<CDevice*>(row->data(0, Qt::UserRole).value<void*>());
}

int CDeviceConfigDialog::IndexOf(const CDevice* device) const {
    const CDevices* bus = m_computer.GetDevices();
    int index = 0;
    for (const CDevice* d = bus ? bus->GetHead() : nullptr; d; d = d->GetNext(), ++index) {
        if (d == device) return index;
    }
    return -1;
}

void CDeviceConfigDialog::SelectRow(int index) {
    m_list->clearSelection();
    if (index < 0 || index >= m_list->topLevelItemCount()) {
        m_list->setCurrentItem(nullptr);
        return;
    }
    m_list->setCurrentItem(m_list->topLevelItem(index));
}

void CDeviceConfigDialog::Refused(const QString& what, const std::string& reason) {
    if (reason == CComputer::kNameAndClassNeededText) {
        DeviceUi::ShowMessage(this, CComputer::kNameAndClassNeededText);
        return;
    }
    DeviceUi::ShowMessage(this, what + ": " + QString::fromStdString(reason) + ".",
                          QMessageBox::Warning);
}

void CDeviceConfigDialog::OnAdd() {
    SDeviceSettings settings;
    settings.className = m_class->currentText().toStdString();
    settings.name = m_name->text().toStdString();
    settings.from = HexField(m_from->text());
    settings.to = HexField(m_to->text());
    settings.stride = static_cast<uint32_t>(m_stride->value());
    settings.timeScale = static_cast<uint32_t>(m_timeScale->value());
    settings.irqCode = m_irqCode->value();
    if (settings.className == kMemoryClass) {
        // An empty Size field gives the memory the window's size.
        if (!m_size->text().trimmed().isEmpty()) settings.size = HexField(m_size->text());
        settings.writable = !m_readOnly->isChecked();
    }
    std::string error;
    if (!m_computer.AddDevice(settings, &error)) {
        Refused("The device was not added", error);
        return;
    }
    Refill();
    // A video device comes with its display, as the ones a workspace is
    // built or opened with do.
    const CDevices* bus = m_computer.GetDevices();
    if (auto* video = dynamic_cast<CVideoDevice*>(bus->GetAt(bus->GetCount() - 1)))
        DeviceUi::OpenDisplayWindow(m_computer, *video, parentWidget());
}

void CDeviceConfigDialog::OnRemove() {
    std::vector<const CDevice*> doomed;
    for (QTreeWidgetItem* row : m_list->selectedItems())
        doomed.push_back(static_cast<const CDevice*>(row->data(0, Qt::UserRole).value<void*>()));
    for (const CDevice* device : doomed) {
        const int index = IndexOf(device);
        if (index < 0) continue;
        DeviceUi::CloseDeviceWindows(*device);
        std::string error;
        if (!m_computer.RemoveDevice(index, &error)) Refused("The device was not removed", error);
    }
    m_list->setCurrentItem(nullptr);
    Refill();
}

void CDeviceConfigDialog::OnMove(int delta) {
    const int index = IndexOf(SelectedDevice());
    if (index < 0) return;
    std::string error;
    if (!m_computer.MoveDevice(index, delta, &error)) {
        Refused("The device was not moved", error);
        return;
    }
    Refill();
}

void CDeviceConfigDialog::SetEditing(bool editing) {
    for (QWidget* rest : std::initializer_list<QWidget*>{m_list, m_add, m_remove, m_up, m_down})
        rest->setEnabled(!editing);
}

void CDeviceConfigDialog::OnEditToggled(bool pressed) {
    if (pressed) {
        CDevice* device = SelectedDevice();
        const auto settings = device ? m_computer.GetDeviceSettings(IndexOf(device)) : std::nullopt;
        if (!settings) {
            DeviceUi::ShowMessage(this, kSelectDeviceText);
            const QSignalBlocker quiet(m_edit);
            m_edit->setChecked(false);
            return;
        }
        m_edited = device;
        m_name->setText(QString::fromStdString(settings->name));
        m_class->setCurrentText(QString::fromStdString(settings->className));
        m_irqCode->setValue(settings->irqCode.value_or(-1));
        m_stride->setValue(static_cast<int>(settings->stride.value_or(1)));
        m_timeScale->setValue(static_cast<int>(settings->timeScale.value_or(0)));
        m_from->setText(Hex6(settings->from));
        m_to->setText(Hex6(settings->to));
        // Size and read-only too, so that releasing without touching them
        // keeps the memory's size and protection.
        m_size->setText(settings->size ? Hex6(*settings->size) : QString());
        m_readOnly->setChecked(settings->size && !settings->writable);
        SetEditing(true);
        return;
    }

    const int index = IndexOf(m_edited);
    if (index < 0) {  // nothing was being edited
        SetEditing(false);
        return;
    }
    SDeviceSettings settings = *m_computer.GetDeviceSettings(index);
    settings.name = m_name->text().toStdString();
    settings.from = HexField(m_from->text());
    settings.to = HexField(m_to->text());
    settings.stride = static_cast<uint32_t>(m_stride->value());
    settings.timeScale = static_cast<uint32_t>(m_timeScale->value());
    settings.irqCode = m_irqCode->value();
    // Size and read-only come from the fields when the Class field names the
    // memory class (and the device is memory); otherwise the memory keeps
    // its size and protection.
    if (settings.size && m_class->currentText() == kMemoryClass) {
        settings.size = m_size->text().trimmed().isEmpty()
                            ? std::optional<uint32_t>()
                            : std::optional<uint32_t>(HexField(m_size->text()));
        settings.writable = !m_readOnly->isChecked();
    }
    std::string error;
    if (!m_computer.EditDevice(index, settings, &error)) {
        // Still editing: the fields stay for the user to correct.
        Refused("The device was not changed", error);
        const QSignalBlocker quiet(m_edit);
        m_edit->setChecked(true);
        return;
    }
    m_edited = nullptr;
    SetEditing(false);
    Refill();
    for (QLineEdit* field : {m_name, m_from, m_to, m_size})
        field->clear();
    m_irqCode->setValue(-1);
}

void CDeviceConfigDialog::OnMore() {
    CDevice* device = SelectedDevice();
    if (!device) {
        DeviceUi::ShowMessage(this, kSelectDeviceText);
        return;
    }
    DeviceUi::ConfigureDevice(m_computer, *device, this);
    Refill();
}
