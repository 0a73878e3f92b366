#include "ui/DisplayWindow.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "core/StringEx.h"
#include "devices/Vic.h"
#include "devices/VideoDevice.h"
#include "devices/Vo16VGA.h"
#include "ui/DeviceUi.h"
#include "ui/KeyScanCodes.h"

QImage FrameToImage(const SVideoFrame& frame) {
    if (frame.IsEmpty() || frame.width == 0 || frame.height == 0) return {};
    QImage image(static_cast<int>(frame.width), static_cast<int>(frame.height),
                 QImage::Format_RGB32);
    std::array<QRgb, 16> colours{};
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = 0xFF000000u | frame.palette[i];
    for (uint32_t y = 0; y < frame.height; ++y) {
        const uint32_t* row = frame.RowOfLine(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        // Byte j of a row is byte j % 4 of word j / 4.
        const auto byteAt = [row](uint32_t j) { return row[j / 4] >> (8 * (j % 4)) & 0xFF; };
        if (frame.bitsPerPixel == 4) {
            for (uint32_t x = 0; x + 1 < frame.width + 1; x += 2) {
                const uint32_t byte = byteAt(x / 2);
                out[x] = colours[byte >> 4];
                if (x + 1 < frame.width) out[x + 1] = colours[byte & 0x0F];
            }
        } else if (frame.bitsPerPixel == 1) {
            for (uint32_t x = 0; x < frame.width; ++x)
                out[x] = colours[byteAt(x / 8) >> (7 - x % 8) & 1];
        }
    }
    return image;
}

QSize DisplayFrameSize(const CVideoDevice& device) {
    if (const auto* vic = dynamic_cast<const CVic*>(&device)) {
        return vic->IsBorderShown() ? QSize(CVic::kBorderWidth, CVic::kBorderHeight)
                                    : QSize(CVic::kPictureWidth, CVic::kPictureHeight);
    }
    return QSize(CVo16VGA::kWidth, CVo16VGA::kHeight);
}

CDisplayWindow::CDisplayWindow(CComputer& computer, CVideoDevice& device, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_computer(computer),
      m_device(device) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(dynamic_cast<CVic*>(&device) ? "Vic Output" : "Vo16VGA Output");
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_holdOff.setSingleShot(true);
    connect(&m_holdOff, &QTimer::timeout, this, &CDisplayWindow::OnFrameReady);
    const QSize size = DisplayFrameSize(device);
    m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(Qt::black);
    FitToFrame();
}

CDisplayWindow::~CDisplayWindow() {
    DeviceUi::ForgetDisplayWindow(this);
}

void CDisplayWindow::NotifyFrameReady() {
    if (m_notified.exchange(true)) return;
    QMetaObject::invokeMethod(this, &CDisplayWindow::OnFrameReady, Qt::QueuedConnection);
}

void CDisplayWindow::OnFrameReady() {
    // No more than one picture per refresh period, however the notices come.
    const qint64 period = std::max<qint64>(m_device.GetRefreshPeriod(), 10);
    if (m_sincePull.isValid() && m_sincePull.elapsed() < period) {
        if (!m_holdOff.isActive())
            m_holdOff.start(static_cast<int>(period - m_sincePull.elapsed()));
        return;
    }
    m_notified = false;
    PullFrame();
}

bool CDisplayWindow::PullFrame() {
    m_sincePull.start();
    if (!m_device.CopyFrame(m_frame)) return false;
    ++m_pulled;
    m_image = FrameToImage(m_frame);
    FitToFrame();
    update();
    return true;
}

void CDisplayWindow::FitToFrame() {
    const QSize size = m_image.size() * m_scale;
    if (size != minimumSize() || size != maximumSize()) setFixedSize(size);
}

void CDisplayWindow::SetScale(int scale) {
    m_scale = std::clamp(scale, 1, 3);
    FitToFrame();
    update();
}

bool CDisplayWindow::SaveFrame(const QString& path) const {
    return !m_image.isNull() && m_image.save(path, "PNG");
}

void CDisplayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), m_image.size() * m_scale), m_image);
}

void CDisplayWindow::closeEvent(QCloseEvent* event) {
    // Without its window the device has no display: rendering, and with it
    // the VIC's raster and frame interrupts, stop until it is reopened.
    DeviceUi::ForgetDisplayWindow(this);
    m_holdOff.stop();
    m_device.StopDisplay();
    event->accept();
}

void CDisplayWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    for (int scale = 1; scale <= 3; ++scale) {
        QAction* action =
            menu.addAction(QString("x%1").arg(scale), this, [this, scale] { SetScale(scale); });
        action->setCheckable(true);
        action->setChecked(scale == m_scale);
    }
    menu.addSeparator();
    menu.addAction("Save Frame &As...", this, &CDisplayWindow::OnSaveFrameAs);
    menu.exec(event->globalPos());
}

void CDisplayWindow::OnSaveFrameAs() {
    QString path =
        QFileDialog::getSaveFileName(this, "Save Frame As", QString(), "PNG images (*.png)");
    if (path.isEmpty()) return;
    if (!path.endsWith(".png", Qt::CaseInsensitive)) path += ".png";
    if (!SaveFrame(path))
        DeviceUi::ShowMessage(this, "The frame could not be saved to " + path + ".",
                              QMessageBox::Warning);
}

std::optional<QPoint> CDisplayWindow::FramePixel(QPoint at) const {
    if (at.x() < 0 || at.y() < 0) return std::nullopt;
    const QPoint pixel(at.x() / m_scale, at.y() / m_scale);
    if (pixel.x() >= m_image.width() || pixel.y() >= m_image.height()) return std::nullopt;
    return pixel;
}

QString CDisplayWindow::DescribePixel(QPoint at) const {
    const auto pixel = FramePixel(at);
    if (!pixel) return {};
    const auto source = m_device.PixelSource(m_frame, pixel->x(), pixel->y());
    if (!source) return {};
    std::string text = FormatText("%d,%d: ", pixel->x(), pixel->y());
    if (source->kind == SPixelSource::EKind::kRegister) {
        const char* what = source->registerOffset == 7 ? "border colour" : "test pattern and mode";
        AppendFormat(text, "%s register (%u) at %06X = %02X", what, source->registerOffset,
                     source->address, source->byte);
    } else {
        AppendFormat(text, "byte at %06X = %02X (bits %02X)", source->address, source->byte,
                     source->bits);
    }
    return QString::fromStdString(text);
}

std::optional<uint32_t> CDisplayWindow::AddressAt(QPoint at) const {
    const auto pixel = FramePixel(at);
    if (!pixel) return std::nullopt;
    const auto source = m_device.PixelSource(m_frame, pixel->x(), pixel->y());
    if (!source) return std::nullopt;
    return source->address;
}

void CDisplayWindow::mouseMoveEvent(QMouseEvent* event) {
    const QString text = DescribePixel(event->position().toPoint());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void CDisplayWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (const auto address = AddressAt(event->position().toPoint()))
        DeviceUi::RequestDump(*address);
}

bool CDisplayWindow::event(QEvent* event) {
    // Tab belongs to the simulated keyboard, not to focus changes.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            TypeKey(m_computer, *key, event->type() == QEvent::KeyPress);
            return true;
        }
    }
    return QWidget::event(event);
}

void CDisplayWindow::keyPressEvent(QKeyEvent* event) {
    if (!TypeKey(m_computer, *event, true)) QWidget::keyPressEvent(event);
}

void CDisplayWindow::keyReleaseEvent(QKeyEvent* event) {
    if (!TypeKey(m_computer, *event, false)) QWidget::keyReleaseEvent(event);
}
