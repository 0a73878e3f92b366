#pragma once
// A prompter that answers from a script and records what it was told.
#include <QStringList>
#include <deque>

#include "ui/Prompter.h"

class CScriptedPrompter final : public CPrompter {
public:
    QStringList messages;
    QStringList questions;
    std::deque<bool> yesNo;
    std::deque<ESaveAnswer> saves;
    std::optional<SInterruptRequest> interrupt;
    std::optional<int> systemType = 2;

    void ShowMessage(const QString& text, EMessageIcon) override { messages << text; }
    bool AskYesNo(const QString& text) override {
        questions << text;
        if (yesNo.empty()) return false;
        const bool answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }
    ESaveAnswer AskSaveChanges(const QString& name) override {
        questions << "save " + name;
        if (saves.empty()) return ESaveAnswer::kCancel;
        const ESaveAnswer answer = saves.front();
        saves.pop_front();
        return answer;
    }
    std::optional<SInterruptRequest> AskInterrupt() override {
        questions << "interrupt";
        return interrupt;
    }
    std::optional<int> AskSystemType() override {
        questions << "system type";
        return systemType;
    }
};
