#pragma once
// SVideoFrame: one picture of a video device as its display shows it.
//
// Pixel layout (the bitmap the display draws 1:1): height rows of wordsPerRow
// 32-bit words, stored bottom-up (the first row is the lowest line); each
// word holds four bytes in little-endian order. With 4 bits per pixel the
// high nibble of a byte is the left pixel of the pair; with 1 bit per pixel
// the most significant bit of a byte is the leftmost pixel. Colours are
// palette indices; the palette holds 0xRRGGBB values.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct SVideoFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t wordsPerRow = 0;
    std::vector<uint32_t> pixels;
    uint32_t paletteSize = 0;
    std::array<uint32_t, 16> palette{};
    // Counts the frames a display finished: 1 for its first, 0 for a frame
    // rendered on demand.
    uint64_t sequence = 0;

    bool IsEmpty() const { return pixels.empty(); }

    // Sets the geometry and sizes the pixel buffer for it (allocating only
    // when it grows).
    void Shape(uint32_t newWidth, uint32_t newHeight, uint32_t newBitsPerPixel);

    // The words of the row that shows line y (0 = top).
    uint32_t* RowOfLine(uint32_t y) { return pixels.data() + size_t{height - 1 - y} * wordsPerRow; }
    const uint32_t* RowOfLine(uint32_t y) const {
        return pixels.data() + size_t{height - 1 - y} * wordsPerRow;
    }

    // Palette index of the pixel shown at column x of line y (0, 0 is the top
    // left); 0 outside the frame.
    uint32_t ColourIndexAt(uint32_t x, uint32_t y) const;
    // Its colour as 0xRRGGBB.
    uint32_t RgbAt(uint32_t x, uint32_t y) const { return palette[ColourIndexAt(x, y) & 15]; }
};
