#pragma once
// A prompter that answers from a script and records what it was told.
#include <QStringList>
#include <deque>

#include <memory>
#include <string>

#include "core/Computer.h"
#include "ui/Controller.h"
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

// A controller on a blank workspace with one unit of unitClass (slot 0,
// active) and 64 KiB of RAM from 0, answering through prompter.
inline std::unique_ptr<CController> BlankMachine(const char* unitClass,
                                                 CScriptedPrompter& prompter) {
    auto controller = std::make_unique<CController>(nullptr);
    prompter = CScriptedPrompter();
    controller->SetPrompter(&prompter);
    CComputer& computer = controller->Workspace();
    computer.NewContents();
    computer.StartRunThread();
    SDeviceSettings ram;
    ram.className = "CRam";
    ram.name = "RAM";
    ram.to = 0xFFFF;
    ram.size = 0x10000;
    std::string error;
    if (!computer.AddDevice(ram, &error) || !computer.AddUnit(unitClass, "cpu", 0, &error))
        qFatal("%s", error.c_str());
    computer.SetActiveProcessor(0);
    return controller;
}
