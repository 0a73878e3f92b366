#include "cli/FrameImage.h"

#include <QImage>
#include <QSaveFile>
#include <QString>

#include "devices/VideoFrame.h"

bool WriteFramePng(const SVideoFrame& frame, const std::string& path, std::string& error) {
    if (frame.IsEmpty() || frame.width == 0 || frame.height == 0) {
        error = "the device rendered no picture";
        return false;
    }
    QImage image(static_cast<int>(frame.width), static_cast<int>(frame.height),
                 QImage::Format_RGB32);
    if (image.isNull()) {
        error = "no memory for a picture of this size";
        return false;
    }
    for (uint32_t y = 0; y < frame.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (uint32_t x = 0; x < frame.width; ++x)
            line[x] = 0xFF000000u | frame.RgbAt(x, y);
    }
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    if (!image.save(&file, "PNG") || !file.commit()) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}
