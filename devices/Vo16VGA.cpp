#include "devices/Vo16VGA.h"

#include <algorithm>

#include "core/Archive.h"
#include "core/Devices.h"

CVo16VGA::CVo16VGA() {
    CVo16VGA::Reset();
    SetRefreshPeriod(kDefaultRefreshPeriod);
    SetIrqCode(15);
}

CVo16VGA::~CVo16VGA() {
    StopDisplay();
}

// Record: the CDevice fields, then video base and refresh period.
void CVo16VGA::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    uint32_t videoBase = m_videoBase;
    uint32_t refreshPeriod = GetRefreshPeriod();
    ar.Transfer(videoBase);
    ar.Transfer(refreshPeriod);
    if (ar.IsStoring()) return;
    m_videoBase = videoBase;
    SetRefreshPeriod(refreshPeriod);
    RebuildDisplay();
}

void CVo16VGA::BuildFrame(SVideoFrame& frame) const {
    frame.Shape(kWidth, kHeight, 1);
    frame.paletteSize = 2;
    frame.palette = {};
    frame.palette[1] = 0xFFFFFF;
}

void CVo16VGA::Render(SVideoFrame& frame) {
    if (frame.wordsPerRow != kWordsPerRow || frame.height != kHeight ||
        frame.pixels.size() < size_t{kWordsPerRow} * kHeight)
        return;
    const CDevices* bus = Bus();
    const uint32_t base = m_videoBase;
    for (uint32_t line = 0; line < kHeight; ++line) {
        uint32_t* row = frame.RowOfLine(line);
        if (!bus) {
            std::fill_n(row, kWordsPerRow, kNothing);
            continue;
        }
        // Words are stored as the little-endian bus returns them, so each row
        // holds the bytes of its line in memory order.
        const uint32_t address = base + kBytesPerLine * line;
        for (uint32_t k = 0; k < kWordsPerRow; ++k)
            row[k] = bus->Read(address + 4 * k, 4);
    }
}

std::optional<SPixelSource> CVo16VGA::PixelSource(const SVideoFrame& frame, uint32_t x,
                                                  uint32_t y) const {
    if (frame.width != kWidth || frame.height != kHeight || frame.bitsPerPixel != 1 ||
        frame.IsEmpty() || x >= kWidth || y >= kHeight)
        return {};
    SPixelSource source;
    source.address = m_videoBase + kBytesPerLine * y + x / 8;
    uint32_t byte = 0;
    for (uint32_t i = 0; i < 8; ++i)
        byte = byte << 1 | frame.ColourIndexAt((x & ~7u) + i, y);
    source.byte = static_cast<uint8_t>(byte);
    source.bits = static_cast<uint8_t>(0x80 >> (x % 8));
    return source;
}
