#include "ui/DeviceUi.h"

#include <QPointer>
#include <map>
#include <mutex>

#include "core/Computer.h"
#include "core/Devices.h"
#include "devices/Keyboard.h"
#include "devices/VideoDevice.h"
#include "ui/DeviceConfigDialog.h"
#include "ui/DisplayWindow.h"
#include "ui/KeyboardPanelWidget.h"
#include "ui/UnitsDialog.h"
#include "ui/VideoConfigDialog.h"

namespace {

// The open display windows by device. Renderer threads look a window up
// (FrameReady), so the map is locked; a window leaves it on the GUI thread
// before it goes.
std::mutex g_windowLock;
std::map<const CDevice*, CDisplayWindow*> g_windows;
std::map<const CDevice*, QPointer<CKeyboardPanelWidget>> g_panels;
std::function<void(uint32_t)> g_dumpHandler;
DeviceUi::MessageSink g_messageSink;

// Display windows and panels belong to the outermost window of whatever
// opened them (the main window), not to a dialog that goes before they do.
QWidget* Owner(QWidget* opener) {
    QWidget* owner = opener;
    while (owner && owner->parentWidget())
        owner = owner->parentWidget();
    return owner;
}

}  // namespace

namespace DeviceUi {

void EditDeviceConfiguration(CComputer& computer, QWidget* parent) {
    CDeviceConfigDialog dialog(computer, parent);
    dialog.exec();
}

void EditProcessingUnits(CComputer& computer, QWidget* parent) {
    CUnitsDialog dialog(computer, parent);
    dialog.exec();
}

bool ConfigureDevice(CComputer& computer, CDevice& device, QWidget* parent) {
    if (auto* keyboard = dynamic_cast<CKeyboard*>(&device)) {
        OpenKeyboardPanel(computer, *keyboard, parent);
        return true;
    }
    if (auto* video = dynamic_cast<CVideoDevice*>(&device)) {
        CVideoConfigDialog dialog(computer, *video, parent);
        dialog.exec();
        return true;
    }
    return false;
}

CDisplayWindow* FindDisplayWindow(const CDevice& device) {
    std::lock_guard guard(g_windowLock);
    const auto found = g_windows.find(&device);
    return found == g_windows.end() ? nullptr : found->second;
}

CDisplayWindow* OpenDisplayWindow(CComputer& computer, CVideoDevice& device, QWidget* parent) {
    if (CDisplayWindow* open = FindDisplayWindow(device)) {
        open->show();
        open->raise();
        return open;
    }
    if (!device.StartDisplay()) {
        ShowMessage(
            parent,
            "The display of " + QString::fromStdString(device.GetName()) + " could not be started.",
            QMessageBox::Warning);
        return nullptr;
    }
    auto* window = new CDisplayWindow(computer, device, Owner(parent));
    {
        std::lock_guard guard(g_windowLock);
        g_windows[&device] = window;
    }
    window->show();
    device.RequestFrame();
    return window;
}

void OpenDisplayWindows(CComputer& computer, QWidget* parent) {
    const CDevices* bus = computer.GetDevices();
    for (CDevice* device = bus ? bus->GetHead() : nullptr; device; device = device->GetNext()) {
        if (auto* video = dynamic_cast<CVideoDevice*>(device))
            OpenDisplayWindow(computer, *video, parent);
    }
}

CKeyboardPanelWidget* FindKeyboardPanel(const CKeyboard& keyboard) {
    const auto found = g_panels.find(&keyboard);
    return found == g_panels.end() ? nullptr : found->second.data();
}

CKeyboardPanelWidget* OpenKeyboardPanel(CComputer&, CKeyboard& keyboard, QWidget* parent) {
    // Opening replaces a panel that is open.
    if (CKeyboardPanelWidget* open = FindKeyboardPanel(keyboard)) {
        open->close();
        delete open;
    }
    auto* panel = new CKeyboardPanelWidget(keyboard, Owner(parent));
    g_panels[&keyboard] = panel;
    panel->show();
    panel->raise();
    return panel;
}

void CloseDeviceWindows(const CDevice& device) {
    if (CDisplayWindow* window = FindDisplayWindow(device)) {
        window->close();
        delete window;
    }
    const auto panel = g_panels.find(&device);
    if (panel != g_panels.end()) {
        if (panel->second) {
            panel->second->close();
            delete panel->second.data();
        }
        g_panels.erase(panel);
    }
}

void CloseAllDeviceWindows() {
    std::vector<const CDevice*> devices;
    {
        std::lock_guard guard(g_windowLock);
        for (const auto& [device, window] : g_windows)
            devices.push_back(device);
    }
    for (const auto& [device, panel] : g_panels)
        devices.push_back(device);
    for (const CDevice* device : devices)
        CloseDeviceWindows(*device);
}

void FrameReady(CDevice& device) {
    std::lock_guard guard(g_windowLock);
    const auto found = g_windows.find(&device);
    if (found != g_windows.end()) found->second->NotifyFrameReady();
}

void ForgetDisplayWindow(const CDisplayWindow* window) {
    std::lock_guard guard(g_windowLock);
    for (auto it = g_windows.begin(); it != g_windows.end(); ++it) {
        if (it->second == window) {
            g_windows.erase(it);
            return;
        }
    }
}

void SetDumpHandler(std::function<void(uint32_t)> handler) {
    g_dumpHandler = std::move(handler);
}

void RequestDump(uint32_t address) {
    if (g_dumpHandler) g_dumpHandler(address);
}

void SetMessageSink(MessageSink sink) {
    g_messageSink = std::move(sink);
}

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    if (g_messageSink) {
        g_messageSink(parent, text, icon);
        return;
    }
    QMessageBox box(icon, "simQuorvex", text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace DeviceUi
