#pragma once
// The small dialogs of the run, view and file commands. Each keeps its logic
// (what its fields mean, what it refuses) in plain members, so that it can be
// checked without showing it.
#include <QDialog>
#include <QString>
#include <optional>

#include "core/Computer.h"
#include "core/History.h"
#include "core/Host.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QSpinBox;

// The text of a hexadecimal field: blanks, an optional "0x", hex digits;
// nothing for text that is not such a number or does not fit 32 bits.
std::optional<uint32_t> ParseHexField(const QString& text);

// "Generate Interrupt": an IRQ code with a spin control, "IRQ", "NMI", "Reset".
class CInterruptDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CInterruptDialog(QWidget* parent = nullptr);
    SInterruptRequest Request() const;
    void SetRequest(const SInterruptRequest& request);

private:
    QSpinBox* m_code;
    QCheckBox* m_irq;
    QCheckBox* m_nmi;
    QCheckBox* m_reset;
};

// "Select New System Type".
class CSystemTypeDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CSystemTypeDialog(QWidget* parent = nullptr);
    int Selected() const;
    void Select(int index);

private:
    QButtonGroup* m_types;
};

// "Global Run Limits": the workspace's time and instruction limits.
class CRunLimitsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CRunLimitsDialog(const SRunLimits& limits, QWidget* parent = nullptr);
    SRunLimits Limits() const;
    // Why the fields cannot be taken, or an empty text.
    QString Problem() const;

    QCheckBox* timeCheck;
    QLineEdit* seconds;
    QCheckBox* instructionsCheck;
    QLineEdit* instructionCount;

protected:
    void accept() override;
};

// "History Limits": how many instructions each unit's history keeps, and in
// how much memory; the oldest records go first when either is reached.
class CHistoryLimitsDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxInstructionsMillions = 1000;
    static constexpr int kMaxMegabytes = 16384;

    explicit CHistoryLimitsDialog(const SHistoryLimits& limits, QWidget* parent = nullptr);
    SHistoryLimits Limits() const;

    QSpinBox* instructions;  // thousands
    QSpinBox* megabytes;
};

// "Address": one text field, read as hexadecimal by the code window.
class CAddressDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CAddressDialog(QWidget* parent = nullptr);
    QString Text() const;
    QLineEdit* field;
};

// "Load": the file dialog with its four filters and a load address field.
class CLoadDialog final : public QDialog {
    Q_OBJECT
public:
    static const QStringList& Filters();

    explicit CLoadDialog(QWidget* parent = nullptr);
    QString Path() const;
    // The load address field; an empty field is 0, anything else that is not
    // a hexadecimal number is refused.
    std::optional<uint32_t> LoadAddress() const;
    void SetPath(const QString& path);

    QFileDialog* files;
    QLineEdit* address;

protected:
    void accept() override;
};

// "Dump": a file, its format, and the first and last address to write.
class CDumpDialog final : public QDialog {
    Q_OBJECT
public:
    struct SDump {
        QString path;  // ends in ".s19" or ".hex"
        uint32_t first = 0;
        uint32_t last = 0;
        uint32_t entry = 0;
    };

    explicit CDumpDialog(QWidget* parent = nullptr);
    // The dump the fields describe, or the reason they do not describe one.
    std::optional<SDump> Dump(QString* problem) const;

    QLineEdit* path;
    QComboBox* format;
    QLineEdit* first;
    QLineEdit* last;
    QLineEdit* entry;

protected:
    void accept() override;

private:
    void Browse();
};
