#pragma once
// What the shell's tests share: a workspace on the test host whose units
// log the interrupts they receive, and messages recorded instead of shown.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <mutex>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"
#include "ui/DeviceUi.h"

// A unit that accepts every IRQ code and logs "I<code>" and "C<code>".
class CLoggingUnit : public CMpu {
public:
    void Interrupt(bool, bool, int code) override { Add("I" + std::to_string(code)); }
    void ClearInterrupt(bool, bool, int code) override { Add("C" + std::to_string(code)); }
    std::vector<std::string> TakeLog() {
        std::lock_guard guard(m_lock);
        return std::exchange(m_log, {});
    }

private:
    void Add(std::string entry) {
        std::lock_guard guard(m_lock);
        m_log.push_back(std::move(entry));
    }
    std::mutex m_lock;
    std::vector<std::string> m_log;
};

// The test host, with finished frames handed to the display windows as the
// desktop host hands them.
class CUiTestHost : public CTestHost {
public:
    void FrameReady(CDevice& device) override {
        CTestHost::FrameReady(device);
        DeviceUi::FrameReady(device);
    }
};

struct SUiWorkspace {
    SUiWorkspace() {
        RegisterStandardClasses();
        host.Attach(&computer);
        computer.NewContents();
        unit->SetIrqMask(0x7FFF);
        computer.GetMpus()->Add(unit);
        DeviceUi::SetMessageSink(
            [this](QWidget*, const QString& text, QMessageBox::Icon) { messages.push_back(text); });
    }
    ~SUiWorkspace() {
        DeviceUi::CloseAllDeviceWindows();
        DeviceUi::SetMessageSink({});
        computer.DeleteContents();
    }
    QStringList TakeMessages() { return std::exchange(messages, {}); }

    CUiTestHost host;
    CComputer computer{&host};
    CLoggingUnit* unit = new CLoggingUnit;
    QStringList messages;
};

// Ends the next modal dialog that opens (accepting or rejecting it) once
// the event loop runs.
inline void EndNextModal(bool accept) {
    QTimer::singleShot(0, [accept] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            accept ? dialog->accept() : dialog->reject();
    });
}
