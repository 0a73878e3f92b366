#include "devices/VideoFrame.h"

void SVideoFrame::Shape(uint32_t newWidth, uint32_t newHeight, uint32_t newBitsPerPixel) {
    width = newWidth;
    height = newHeight;
    bitsPerPixel = newBitsPerPixel;
    wordsPerRow = (newWidth * newBitsPerPixel + 31) / 32;
    pixels.resize(size_t{wordsPerRow} * newHeight);
}

uint32_t SVideoFrame::ColourIndexAt(uint32_t x, uint32_t y) const {
    if (x >= width || y >= height || pixels.empty()) return 0;
    const uint32_t* row = RowOfLine(y);
    if (bitsPerPixel == 4) {
        const uint32_t byte = row[x / 8] >> (8 * (x / 2 % 4)) & 0xFF;
        return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
    if (bitsPerPixel == 1) {
        const uint32_t byte = row[x / 32] >> (8 * (x / 8 % 4)) & 0xFF;
        return byte >> (7 - x % 8) & 1;
    }
    return 0;
}
