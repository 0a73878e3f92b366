#include "cli/Png.h"

#include <zlib.h>

#include <array>

namespace {

// PNG's own limit on either side.
constexpr uint32_t kMaxSide = 0x7FFFFFFF;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// A chunk: length, type, data, then the CRC-32 of type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], std::span<const uint8_t> data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    // zlib's crc32 takes a uInt length; chunks here stay far below 4 GiB.
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutU32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgb,
               std::vector<uint8_t>& png, std::string& error) {
    const uint64_t stride = uint64_t{width} * 3;
    // Each row with its filter byte, and the whole stream within what one
    // deflate call and one chunk length can hold.
    const uint64_t rawSize = (stride + 1) * height;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        rawSize > 0x7FFFFFFF / 2) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels cannot be written as a PNG";
        return false;
    }
    if (rgb.size() != stride * height) {
        error = "the picture's pixels do not match its size";
        return false;
    }

    // Filter "Sub": each byte less the same byte of the pixel to its left,
    // which turns the flat areas of a display picture into runs of zeros.
    std::vector<uint8_t> raw;
    raw.reserve(rawSize);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = rgb.data() + y * stride;
        raw.push_back(1);
        for (uint64_t i = 0; i < stride; ++i)
            raw.push_back(static_cast<uint8_t>(row[i] - (i >= 3 ? row[i - 3] : 0)));
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        error = "no memory to compress the picture";
        return false;
    }
    packed.resize(packedSize);

    static constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P',  'N',  'G',
                                                          '\r', '\n', 0x1A, '\n'};
    png.assign(kSignature.begin(), kSignature.end());
    std::vector<uint8_t> header;
    PutU32(header, width);
    PutU32(header, height);
    // 8 bits a sample, colour type 2 (RGB), deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return true;
}
