#pragma once
// "Vic Output" and "Vo16VGA Output": the window of a video device's display.
// Its client area is exactly the frame (times the scale chosen from the
// context menu: x1, x2, x3). The renderer thread only says that a frame is
// ready; the window pulls the latest one with CopyFrame on the GUI thread,
// once however many were announced and at most once per refresh period.
// Closing the window stops the display; reopening starts it with the
// current settings. Hovering a pixel tells which bus address and byte
// produced it; clicking asks for the command window's dump there. Keys typed
// into the window reach the workspace's keyboard.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <optional>

#include "devices/VideoFrame.h"

class CComputer;
class CVideoDevice;

class CDisplayWindow final : public QWidget {
    Q_OBJECT
public:
    CDisplayWindow(CComputer& computer, CVideoDevice& device, QWidget* parent = nullptr);
    ~CDisplayWindow() override;

    CVideoDevice& Device() const { return m_device; }

    // Any thread: a new frame is ready. Posts one call to the GUI thread
    // unless one is waiting already.
    void NotifyFrameReady();
    // Copies the latest frame now and repaints; false while there is none.
    bool PullFrame();
    // Frames pulled so far (how often the renderer's notices got through).
    int PulledFrames() const { return m_pulled; }

    int Scale() const { return m_scale; }
    void SetScale(int scale);
    // The frame at its own size, as "Save Frame As..." writes it.
    const QImage& FrameImage() const { return m_image; }
    bool SaveFrame(const QString& path) const;
    // The hover text of the pixel under a point of the client area, empty
    // outside the frame.
    QString DescribePixel(QPoint at) const;
    // The bus address the pixel under a point comes from (a click dumps it).
    std::optional<uint32_t> AddressAt(QPoint at) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void OnFrameReady();
    void FitToFrame();
    // The frame pixel under a point of the client area.
    std::optional<QPoint> FramePixel(QPoint at) const;
    void OnSaveFrameAs();

    CComputer& m_computer;
    CVideoDevice& m_device;
    SVideoFrame m_frame;
    QImage m_image;
    int m_scale = 1;
    int m_pulled = 0;
    std::atomic<bool> m_notified{false};
    QElapsedTimer m_sincePull;
    QTimer m_holdOff;
};

// The picture of a frame as the display draws it, 32-bit RGB.
QImage FrameToImage(const SVideoFrame& frame);
// The frame size a device's display builds with its current settings.
QSize DisplayFrameSize(const CVideoDevice& device);
