#pragma once
// The processor panes of one unit: the register form, the statistics form
// and the breakpoint form. Each is tied to a slot and reads the unit afresh
// on every refresh; none keeps processor state beyond what it shows.
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "ui/UnitDebug.h"

class CBreakpointList;
class CController;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

class CUnitForm : public QWidget {
    Q_OBJECT
public:
    CUnitForm(CController& controller, int slot, QWidget* parent);
    int Slot() const { return m_slot; }
    virtual void OnViewsUpdated(unsigned hint) = 0;
    virtual void OnLiveRefresh() {}

protected:
    CController& m_controller;
    int m_slot;
};

// Registers as hex fields, status registers' flags as check boxes. A field
// that loses the focus writes every field back; nothing can be edited while
// the unit runs (the values then follow the unit live). Values that changed
// since the previous stop are highlighted.
class CRegisterForm final : public CUnitForm {
    Q_OBJECT
public:
    static inline const QColor kChangedColour{200, 0, 0};

    CRegisterForm(CController& controller, int slot, QWidget* parent = nullptr);
    void OnViewsUpdated(unsigned hint) override;
    void OnLiveRefresh() override;

    QLineEdit* Field(const QString& name) const;
    QCheckBox* Flag(const QString& registerName, const QString& flagName) const;
    bool IsHighlighted(const QString& name) const;
    // Reads back every field and writes it into the unit.
    void WriteBack();

private:
    void Build();
    void Show(const SUiSnapshot& snapshot);
    void OnFlagToggled(size_t index);

    std::vector<SUiRegister> m_registers;
    std::vector<QLineEdit*> m_fields;
    std::vector<std::vector<QCheckBox*>> m_flags;
    std::vector<uint32_t> m_previousStop;
    std::vector<uint32_t> m_lastStop;
    std::vector<uint32_t> m_shown;
    uint64_t m_seenStop = 0;
    bool m_updating = false;
};

// The unit's counters in decimal, with a reset button.
class CStatisticsForm final : public CUnitForm {
    Q_OBJECT
public:
    CStatisticsForm(CController& controller, int slot, QWidget* parent = nullptr);
    void OnViewsUpdated(unsigned hint) override;
    void OnLiveRefresh() override;
    QString Value(int index) const;
    void Reset();

private:
    void Show();
    std::vector<QLineEdit*> m_values;
    QPushButton* m_reset = nullptr;
};

// The breakpoint list with its address field, "&+" and "&-"; the selected
// breakpoint's condition and ignore count; the unit's watchpoints; and the
// "Break After" controls bound to the workspace's run limits.
class CBreakpointForm final : public CUnitForm {
    Q_OBJECT
public:
    CBreakpointForm(CController& controller, int slot, QWidget* parent = nullptr);
    ~CBreakpointForm() override;
    void OnViewsUpdated(unsigned hint) override;
    void ShowLimits();

    QListWidget* list;
    QLineEdit* address;
    QPushButton* add;
    QPushButton* remove;
    QCheckBox* seconds;
    QLineEdit* secondsField;
    QCheckBox* instructions;
    QLineEdit* instructionsField;
    // The selected breakpoint's condition ("a == 10 && [0200] != 0") and
    // ignore count, taken by "Apply" or Enter.
    QLineEdit* condition;
    QSpinBox* ignore;
    QLabel* hits;
    QPushButton* apply;
    // Watchpoints of this unit ("w:0200-02FF=05") and of every unit.
    QListWidget* watches;
    QLineEdit* watch;
    QPushButton* addWatch;
    QPushButton* removeWatch;

    // The breakpoint address of the selected entry, if any.
    std::optional<uint32_t> SelectedAddress() const;
    void ApplyCondition();

private:
    void Fill();
    void FillWatches();
    void ShowCondition();
    void ApplyLimits();
    std::unique_ptr<CBreakpointList> m_list;
    // The workspace's watchpoint index of each row of watches.
    std::vector<size_t> m_watchIndex;
};
