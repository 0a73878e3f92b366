#include "devices/Vic.h"

#include <algorithm>
#include <mutex>

#include "core/Archive.h"
#include "core/Devices.h"

namespace {

constexpr uint32_t kPictureWords = CVic::kPictureWidth / 8;
constexpr uint32_t kBorderWords = CVic::kBorderWidth / 8;
// The border is 52 pixels wide on each side: 6 whole words and half a word.
constexpr uint32_t kLeftBorderWords = 6;
constexpr uint32_t kBottomBorderLine = CVic::kFirstPictureLine + CVic::kPictureHeight;

// The test pattern's picture rows: its colour depends on the row only through
// (y + 57) >> 4 & 3, so four rows hold every line of it.
constexpr auto kPatternRows = [] {
    std::array<std::array<uint32_t, kPictureWords>, 4> rows{};
    for (uint32_t band = 0; band < 4; ++band) {
        // A row y of this band: (y + 57) >> 4 & 3 == band.
        const uint32_t y = (band * 16 + 64 - 57) % 64;
        for (uint32_t p = 0; p < CVic::kPictureWidth; ++p)
            rows[band][p / 8] |= CVic::TestPatternColour(p, y) << (4 * (p % 8));
    }
    return rows;
}();

}  // namespace

CVic::CVic() {
    CVic::Reset();
    SetRefreshPeriod(kDefaultRefreshPeriod);
    m_borderShown = 1;
    SetIrqCode(7);
}

CVic::~CVic() {
    StopDisplay();
}

void CVic::Reset() {
    m_videoBase = 0xDC0000;
    m_rasterCompare = 265;
    m_rasterEnable = 0;
    m_frameEnable = 0;
    m_rasterFlag = 0;
    m_frameFlag = 0;
    m_summary = 0;
    m_testPattern = 1;
    m_mode = 1;
    m_borderColour = 8;
}

uint32_t CVic::Read(uint32_t address, uint32_t /*size*/) {
    switch ((address - GetFrom()) % kRegisterSpan) {
        case 0: return m_videoBase & 0xFFFF;
        case 1: return m_videoBase >> 16 & 0xFF;
        case 2: return m_rasterCompare;
        case 3: return m_rasterEnable * 2 + m_frameEnable;
        case 4: {
            const bool raster = m_rasterFlag != 0;
            const bool frame = m_frameFlag != 0;
            m_summary = raster || frame ? 1 : 0;
            const uint32_t status = (m_summary ? 0x8000 : 0) | (raster ? 2 : 0) | (frame ? 1 : 0);
            m_rasterFlag = 0;
            m_frameFlag = 0;
            m_summary = 0;
            ClearInterrupt(false, true);
            return status;
        }
        case 5: return m_testPattern * 0x80 + m_mode;
        case 7: return m_borderColour;
        default: return kNothing;
    }
}

uint32_t CVic::Write(uint32_t address, uint32_t value, uint32_t /*size*/, bool /*force*/) {
    switch ((address - GetFrom()) % kRegisterSpan) {
        case 0: m_videoBase = (m_videoBase & ~0xFFFFu) | (value & 0xFFFF); break;
        case 1: m_videoBase = (m_videoBase & ~0xFF0000u) | (value & 0xFF) << 16; break;
        case 2: m_rasterCompare = value & 0x1FF; break;
        case 3:
            m_rasterEnable = value >> 1 & 1;
            m_frameEnable = value & 1;
            break;
        case 5:
            m_testPattern = value >> 7 & 1;
            m_mode = value & 3;
            break;
        case 7: m_borderColour = value & 0x0F; break;
        default: break;
    }
    return kNothing;
}

void CVic::ApplySettings(bool borderShown, uint32_t refreshPeriod) {
    SetRefreshPeriod(refreshPeriod);
    SetBorderShown(borderShown);
    RebuildDisplay();
}

// Record: the CDevice fields, then video base, raster compare, raster and
// frame interrupt enables, raster and frame flags, summary, test pattern,
// mode, border colour, border shown, refresh period and IRQ code.
void CVic::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    uint32_t videoBase = m_videoBase, rasterCompare = m_rasterCompare;
    uint32_t rasterEnable = m_rasterEnable, frameEnable = m_frameEnable;
    uint32_t rasterFlag = m_rasterFlag, frameFlag = m_frameFlag, summary = m_summary;
    uint32_t testPattern = m_testPattern, mode = m_mode, borderColour = m_borderColour;
    uint32_t borderShown = m_borderShown, refreshPeriod = GetRefreshPeriod();
    uint32_t irqCode = static_cast<uint32_t>(GetIrqCode());
    for (uint32_t* field :
         {&videoBase, &rasterCompare, &rasterEnable, &frameEnable, &rasterFlag, &frameFlag,
          &summary, &testPattern, &mode, &borderColour, &borderShown, &refreshPeriod, &irqCode})
        ar.Transfer(*field);
    if (ar.IsStoring()) return;

    // The registers hold no more bits than a write can set; the three words
    // the file keeps 16 bits of are read that way.
    m_videoBase = videoBase & 0xFFFFFF;
    m_rasterCompare = rasterCompare & 0xFFFF;
    m_rasterEnable = rasterEnable != 0;
    m_frameEnable = frameEnable != 0;
    m_rasterFlag = rasterFlag != 0;
    m_frameFlag = frameFlag != 0;
    m_summary = summary != 0;
    m_testPattern = testPattern != 0;
    m_mode = mode & 0xFFFF;
    m_borderColour = borderColour & 0xFFFF;
    m_borderShown = borderShown != 0;
    SetRefreshPeriod(refreshPeriod);
    SetIrqCode(static_cast<int>(irqCode));
    RebuildDisplay();
}

void CVic::BuildFrame(SVideoFrame& frame) const {
    if (IsBorderShown())
        frame.Shape(kBorderWidth, kBorderHeight, 4);
    else
        frame.Shape(kPictureWidth, kPictureHeight, 4);
    frame.paletteSize = static_cast<uint32_t>(kPalette.size());
    frame.palette = kPalette;
}

void CVic::Signal(Relaxed<uint32_t>& flag) {
    CDevices* bus = Bus();
    if (!bus) {
        flag = 1;
        return;
    }
    std::lock_guard guard(bus->Lock());
    flag = 1;
    RaiseInterrupt(false, true);
}

void CVic::RasterCheck(uint32_t line) {
    if (line == m_rasterCompare && m_rasterEnable) Signal(m_rasterFlag);
}

void CVic::PictureRow(uint32_t y, uint32_t* words) const {
    if (m_testPattern) {
        std::copy_n(kPatternRows[(y + 57) >> 4 & 3].data(), kPictureWords, words);
        return;
    }
    const CDevices* bus = Bus();
    if (!bus) {
        std::fill_n(words, kPictureWords, kNothing);
        return;
    }
    // One bus read per eight pixels; the bus is little-endian, so pixel p is
    // nibble p mod 8 of the word read at base + 160 y + p / 2.
    const uint32_t address = m_videoBase + kBytesPerLine * y;
    for (uint32_t k = 0; k < kPictureWords; ++k)
        words[k] = bus->Read(address + 4 * k, 4);
}

void CVic::Render(SVideoFrame& frame) {
    const bool border = frame.width == kBorderWidth && frame.height == kBorderHeight;
    const uint32_t words = border ? kBorderWords : kPictureWords;
    if (frame.wordsPerRow != words || frame.height != (border ? kBorderHeight : kPictureHeight) ||
        frame.pixels.size() < size_t{words} * frame.height)
        return;

    if (!border) {
        for (uint32_t y = 0; y < kPictureHeight; ++y) {
            RasterCheck(y + kFirstPictureLine);
            PictureRow(y, frame.RowOfLine(y));
        }
    } else {
        const auto borderWord = [this] { return (m_borderColour & 0x0F) * 0x11111111u; };
        for (uint32_t line = 0; line < kFirstPictureLine; ++line) {
            RasterCheck(line);
            std::fill_n(frame.RowOfLine(line), kBorderWords, borderWord());
        }
        std::array<uint32_t, kPictureWords> picture;
        for (uint32_t y = 0; y < kPictureHeight; ++y) {
            const uint32_t line = y + kFirstPictureLine;
            RasterCheck(line);
            const uint32_t edge = borderWord();
            PictureRow(y, picture.data());
            // The picture starts at pixel 52, half way into word 6, so each
            // word of the row takes the top half of one picture word and the
            // bottom half of the next.
            uint32_t* row = frame.RowOfLine(line);
            std::fill_n(row, kLeftBorderWords, edge);
            row[kLeftBorderWords] = (edge & 0xFFFF) | picture[0] << 16;
            for (uint32_t k = 1; k < kPictureWords; ++k)
                row[kLeftBorderWords + k] = picture[k - 1] >> 16 | picture[k] << 16;
            row[kLeftBorderWords + kPictureWords] =
                picture[kPictureWords - 1] >> 16 | (edge & 0xFFFF0000);
            std::fill(row + kLeftBorderWords + kPictureWords + 1, row + kBorderWords, edge);
        }
        for (uint32_t line = kBottomBorderLine; line < kBorderHeight; ++line) {
            RasterCheck(line);
            std::fill_n(frame.RowOfLine(line), kBorderWords, borderWord());
        }
    }
    if (m_frameEnable) Signal(m_frameFlag);
}

std::optional<SPixelSource> CVic::PixelSource(const SVideoFrame& frame, uint32_t x,
                                              uint32_t y) const {
    const bool border = frame.width == kBorderWidth && frame.height == kBorderHeight;
    if (!border && (frame.width != kPictureWidth || frame.height != kPictureHeight)) return {};
    if (frame.bitsPerPixel != 4 || frame.IsEmpty() || x >= frame.width || y >= frame.height)
        return {};
    const uint32_t left = border ? (kBorderWidth - kPictureWidth) / 2 : 0;
    const uint32_t top = border ? kFirstPictureLine : 0;
    SPixelSource source;
    if (x < left || x >= left + kPictureWidth || y < top || y >= top + kPictureHeight) {
        source.kind = SPixelSource::EKind::kRegister;
        source.registerOffset = 7;
        source.address = RegisterAddress(7);
        source.byte = static_cast<uint8_t>(m_borderColour & 0x0F);
        return source;
    }
    if (m_testPattern) {
        source.kind = SPixelSource::EKind::kRegister;
        source.registerOffset = 5;
        source.address = RegisterAddress(5);
        source.byte = static_cast<uint8_t>(m_testPattern * 0x80 + m_mode);
        return source;
    }
    // The picture starts on an even column in both sizes, so a pair of frame
    // columns is one byte: high nibble left.
    const uint32_t p = x - left;
    const uint32_t pairX = x & ~1u;
    source.address = m_videoBase + kBytesPerLine * (y - top) + p / 2;
    source.byte = static_cast<uint8_t>(frame.ColourIndexAt(pairX, y) << 4 |
                                       frame.ColourIndexAt(pairX + 1, y));
    source.bits = p % 2 == 0 ? 0xF0 : 0x0F;
    return source;
}
