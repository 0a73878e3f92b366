#pragma once
// The device side of the desktop shell, as the main window reaches it: the
// two configuration dialogs, a device's own settings, the display windows and
// the Keyboard Input panel. Everything here runs on the GUI thread except
// FrameReady, which any thread may call.
//
// Lifetime: display windows and keyboard panels point at their devices. The
// Device Configuration dialog closes them before it removes a device; a
// front end that deletes devices itself (New, Open, Close) calls
// CloseAllDeviceWindows first.
#include <QMessageBox>
#include <QString>
#include <cstdint>
#include <functional>

class CComputer;
class CDevice;
class CDisplayWindow;
class CKeyboard;
class CKeyboardPanelWidget;
class CVideoDevice;
class QWidget;

namespace DeviceUi {

// Device > "Edit &Configuration": the modal Device Configuration dialog.
void EditDeviceConfiguration(CComputer& computer, QWidget* parent);
// Device > "&Processing Units": the modal processing-units dialog. The
// caller rebuilds its per-processor menus afterwards.
void EditProcessingUnits(CComputer& computer, QWidget* parent);

// A device's own settings ("&More >>"): the VIC and VGA configuration
// dialogs (modal), the Keyboard Input panel (modeless). False for a device
// that has none.
bool ConfigureDevice(CComputer& computer, CDevice& device, QWidget* parent);

// Starts the device's display with its current settings and shows its window
// ("Vic Output" or "Vo16VGA Output"); a window that is open is raised.
// nullptr when the display cannot be started.
CDisplayWindow* OpenDisplayWindow(CComputer& computer, CVideoDevice& device, QWidget* parent);
// A window for every video device of the workspace (after New and Open).
void OpenDisplayWindows(CComputer& computer, QWidget* parent);
// The open window of a device, or nullptr.
CDisplayWindow* FindDisplayWindow(const CDevice& device);

// The Keyboard Input panel of keyboard, modeless; one that is open is
// replaced.
CKeyboardPanelWidget* OpenKeyboardPanel(CComputer& computer, CKeyboard& keyboard, QWidget* parent);
CKeyboardPanelWidget* FindKeyboardPanel(const CKeyboard& keyboard);

// Closes the windows and panels of a device (before it is deleted) or of
// every device (before the workspace is cleared or replaced).
void CloseDeviceWindows(const CDevice& device);
void CloseAllDeviceWindows();

// A renderer finished a frame of device (CHost::FrameReady). Safe from any
// thread and cheap: the device's window is told once, however many frames
// arrive before it looks, and pulls the latest frame itself at most once per
// refresh period.
void FrameReady(CDevice& device);

// A display window going (closed or deleted) leaves the lookup FrameReady uses.
void ForgetDisplayWindow(const CDisplayWindow* window);

// Clicking a pixel of a display window: the command window's dump at the
// bus address that produced it. Set by the main window.
void SetDumpHandler(std::function<void(uint32_t address)> handler);
void RequestDump(uint32_t address);

// Messages to the user, captioned "simQuorvex". Tests replace the sink to
// record them instead of showing message boxes.
using MessageSink = std::function<void(QWidget* parent, const QString& text, QMessageBox::Icon)>;
void SetMessageSink(MessageSink sink);
void ShowMessage(QWidget* parent, const QString& text,
                 QMessageBox::Icon icon = QMessageBox::Information);

}  // namespace DeviceUi
