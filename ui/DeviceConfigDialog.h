#pragma once
// "Device Configuration": edits the bus of the open workspace. Every change
// applies at once, through the workspace's machine-editing operations (safe
// while units run); OK only closes the dialog.
#include <QDialog>

class CComputer;
class CDevice;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

class CDeviceConfigDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSelectDeviceText = "Select a device first.";
    enum EColumn { kName, kClass, kFrom, kTo, kSize, kReadOnly, kIrqCode, kStride, kTimeScale };

    CDeviceConfigDialog(CComputer& computer, QWidget* parent = nullptr);

    // The widgets, for tests and the main window's keyboard shortcuts.
    QLineEdit* NameField() const { return m_name; }
    QComboBox* ClassField() const { return m_class; }
    QLineEdit* FromField() const { return m_from; }
    QLineEdit* ToField() const { return m_to; }
    QLineEdit* SizeField() const { return m_size; }
    QCheckBox* ReadOnlyField() const { return m_readOnly; }
    QSpinBox* IrqCodeField() const { return m_irqCode; }
    QSpinBox* StrideField() const { return m_stride; }
    QSpinBox* TimeScaleField() const { return m_timeScale; }
    QTreeWidget* DeviceList() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* MoreButton() const { return m_more; }

    // Selects the row of the device at index in the bus order (none: -1).
    void SelectRow(int index);

private:
    void Refill();
    // The device of the current row, or nullptr.
    CDevice* SelectedDevice() const;
    int IndexOf(const CDevice* device) const;
    void OnAdd();
    void OnRemove();
    void OnMove(int delta);
    void OnEditToggled(bool pressed);
    void OnMore();
    // While a device is being edited the list and the list buttons rest, so
    // the release applies to the device whose settings were copied.
    void SetEditing(bool editing);
    // Shows a refusal of the library's, with what was being done.
    void Refused(const QString& what, const std::string& reason);

    CComputer& m_computer;
    QLineEdit* m_name;
    QComboBox* m_class;
    QLineEdit* m_from;
    QLineEdit* m_to;
    QLineEdit* m_size;
    QCheckBox* m_readOnly;
    QSpinBox* m_irqCode;
    QSpinBox* m_stride;
    QSpinBox* m_timeScale;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
    QPushButton* m_edit;
    QPushButton* m_more;
    CDevice* m_edited = nullptr;
};

// Hex text of a dialog field as the standard base-16 conversion reads it
// (malformed text reads as 0).
uint32_t HexField(const QString& text);
