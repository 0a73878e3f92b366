#include "cli/FrameImage.h"

#include <cstdint>
#include <vector>

#include "cli/Png.h"
#include "core/AtomicFile.h"
#include "devices/VideoFrame.h"

bool WriteFramePng(const SVideoFrame& frame, const std::string& path, std::string& error) {
    if (frame.IsEmpty() || frame.width == 0 || frame.height == 0) {
        error = "the device rendered no picture";
        return false;
    }
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t{frame.width} * frame.height * 3);
    for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint32_t colour = frame.RgbAt(x, y);
            rgb.insert(rgb.end(),
                       {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                        static_cast<uint8_t>(colour)});
        }
    }
    std::vector<uint8_t> png;
    if (!EncodePng(frame.width, frame.height, rgb, png, error)) return false;
    return WriteFileAtomically(path, png, &error);
}
