#pragma once
// The processing-units dialog: adds, renames and removes the units of the
// open workspace, at once and safe while units run (the workspace's
// machine-editing operations). OK only closes it; the main window then
// rebuilds its per-processor menus.
#include <QDialog>
#include <cstdint>

class CComputer;
class CMpu;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

class CUnitsDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSelectProcessorText = "Select a processor first.";
    static constexpr int kIrqItems = 15;

    CUnitsDialog(CComputer& computer, QWidget* parent = nullptr);

    QLineEdit* NameField() const { return m_name; }
    QComboBox* ClassField() const { return m_class; }
    // Items "IRQ 0" to "IRQ 14"; a double click toggles the check mark.
    QListWidget* IrqList() const { return m_irqs; }
    QTreeWidget* UnitList() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* EditButton() const { return m_edit; }

    // The IRQ mask of the checked items.
    uint32_t CheckedMask() const;

private:
    void Refill();
    CMpu* SelectedUnit() const;
    void OnAdd();
    void OnRemove();
    void OnEditToggled(bool pressed);
    void SetEditing(bool editing);

    CComputer& m_computer;
    QLineEdit* m_name;
    QComboBox* m_class;
    QListWidget* m_irqs;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_edit;
    CMpu* m_edited = nullptr;
};
