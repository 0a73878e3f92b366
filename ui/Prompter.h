#pragma once
// Every question and message the desktop application puts to its user goes
// through one prompter, captioned "simQuorvex". The application's prompter
// shows dialogs; tests install one that answers from a script.
#include <QString>
#include <optional>

#include "core/Host.h"

class QWidget;

enum class ESaveAnswer { kSave, kDiscard, kCancel };

class CPrompter {
public:
    static constexpr const char* kCaption = "simQuorvex";

    virtual ~CPrompter() = default;
    virtual void ShowMessage(const QString& text, EMessageIcon icon) = 0;
    virtual bool AskYesNo(const QString& text) = 0;
    virtual ESaveAnswer AskSaveChanges(const QString& documentName) = 0;
    // The Generate Interrupt dialog; nothing when cancelled.
    virtual std::optional<SInterruptRequest> AskInterrupt() = 0;
    // "Select New System Type": 0, 1 or 2; nothing when cancelled.
    virtual std::optional<int> AskSystemType() = 0;
};

class CDialogPrompter final : public CPrompter {
public:
    explicit CDialogPrompter(QWidget* parent) : m_parent(parent) {}
    void ShowMessage(const QString& text, EMessageIcon icon) override;
    bool AskYesNo(const QString& text) override;
    ESaveAnswer AskSaveChanges(const QString& documentName) override;
    std::optional<SInterruptRequest> AskInterrupt() override;
    std::optional<int> AskSystemType() override;

private:
    QWidget* m_parent;
};
