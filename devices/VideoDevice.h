#pragma once
// CVideoDevice: what the two video devices share: the refresh period, the
// display (a renderer thread, CDisplayThread) and the published frame.
//
// Threads. The display operations (StartDisplay, StopDisplay, RebuildDisplay,
// RequestFrame) belong to the event thread and must never be called with the
// bus lock held. The renderer thread reads memory through the bus and raises
// the device's interrupts; after each frame it copies the finished picture
// into the published frame under a lock of its own and calls
// CHost::FrameReady(device) on the renderer thread (the host must not block
// there). CopyFrame, from any thread, copies the latest published frame. A
// device always stops its display before it is destroyed.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "core/Device.h"
#include "devices/VideoFrame.h"

class CDevices;
class CDisplayThread;

// What produces one pixel of a frame: a byte of video memory, or a register
// of the device (the VIC's border colour, its test-pattern switch). byte is
// the value that gave the pixel: for memory the byte as the frame shows it
// (no bus access, so hovering never disturbs a device), for a register its
// current value.
struct SPixelSource {
    enum class EKind { kMemory, kRegister };
    EKind kind = EKind::kMemory;
    uint32_t address = 0;  // bus address
    uint8_t byte = 0;
    // Registers: the register's offset in the device's map.
    uint32_t registerOffset = 0;
    // Memory: which bits of the byte the pixel shows (mask).
    uint8_t bits = 0;
};

class CVideoDevice : public CDevice {
public:
    static constexpr uint32_t kDefaultRefreshPeriod = 256;
    // The periods the configuration dialogs offer ("Fast" 0 to "Slow" 10).
    static constexpr std::array<uint32_t, 12> kRefreshTable = {
        16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    static constexpr int kSliderMax = 10;
    static constexpr const char* kStopFailedText =
        "The VIC thread did not shut down properly. Try shutting down the thread with task "
        "manager.";

    CVideoDevice();
    // Stops the display if a derived device has not done so already.
    ~CVideoDevice() override;

    bool HasSettings() const override { return true; }

    uint32_t GetRefreshPeriod() const { return m_refreshPeriod; }
    void SetRefreshPeriod(uint32_t periodMs) { m_refreshPeriod = periodMs; }
    // The dialogs' slider: the first position whose period is not less than
    // periodMs (10 when none is), and the period of a position.
    static int RefreshSliderPosition(uint32_t periodMs);
    static uint32_t RefreshPeriodAt(int position);

    // Starts the display; the device must be on a bus. A display that runs
    // already is kept (true). False, and nothing started, off a bus or when
    // no thread can be created.
    bool StartDisplay();
    // Quits the display (its window closed, or the device goes) and waits
    // for it. When it has not ended after the
    // stop timeout (5 s) the host shows kStopFailedText; the wait then goes
    // on, so the renderer never outlives the device.
    void StopDisplay();
    bool IsDisplayRunning() const { return m_display != nullptr; }
    // Asks the display to quit without waiting for it (StopDisplay waits).
    void PostDisplayQuit();
    // Builds the display's pixel buffer again from the current settings and
    // restarts its period; nothing without a display.
    void RebuildDisplay();
    // Asks the display for a frame at once; nothing without a display.
    void RequestFrame();
    void SetStopTimeout(std::chrono::milliseconds timeout) { m_stopTimeout = timeout; }

    // Copies the latest frame the display finished; false while there is none.
    bool CopyFrame(SVideoFrame& frame) const;
    // Frames the display has finished since the device was created.
    uint64_t GetFrameCount() const { return m_frameCount; }

    // Renders one frame on the caller's thread with the current settings, as
    // the display would (interrupts included); frame.sequence is 0.
    void RenderFrame(SVideoFrame& frame);

    // What produced the pixel at column x of line y (0, 0 top left) of frame,
    // a frame of this device, with the device's current video base and
    // registers; nothing outside the frame or for a frame of another shape.
    virtual std::optional<SPixelSource> PixelSource(const SVideoFrame& frame, uint32_t x,
                                                    uint32_t y) const = 0;

protected:
    friend class CDisplayThread;

    // Shapes frame for the current settings and fills in the palette (the
    // display's bitmap setup).
    virtual void BuildFrame(SVideoFrame& frame) const = 0;
    // Renders one frame into a frame shaped by BuildFrame, keeping its
    // geometry even if the settings have changed since.
    virtual void Render(SVideoFrame& frame) = 0;

    // Called by the renderer thread with each finished frame.
    void Publish(const SVideoFrame& frame);
    // The bus of the device, or nullptr off a bus.
    CDevices* Bus() const { return GetOwner(); }

private:
    std::unique_ptr<CDisplayThread> m_display;
    mutable std::mutex m_frameLock;
    SVideoFrame m_frame;
    Relaxed<uint64_t> m_frameCount{0};
    Relaxed<uint32_t> m_refreshPeriod{kDefaultRefreshPeriod};
    std::chrono::milliseconds m_stopTimeout{5000};
};

// The most displays StartDisplays runs on one bus: each is a thread that
// renders from the bus at its period, so a machine of thousands of video
// devices would spend its time and memory on displays nobody can watch.
inline constexpr int kMaxDisplays = 16;

// Displays that run on the bus.
int RunningDisplays(const CDevices& bus);
// Starts the display of every video device on the bus, up to kMaxDisplays
// running in all (a new or opened workspace in the runner; the shell opens a
// window for each); returns how many video devices were left without one.
int StartDisplays(CDevices& bus);
// Asks every display to quit first, then waits for each, so they end together.
void StopDisplays(CDevices& bus);
