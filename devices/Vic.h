#pragma once
// CVic: a 320 x 192 picture in 16 colours from memory, optionally framed by a
// border (424 x 240), with a raster-line and an end-of-frame interrupt.
//
// Register map, offset = (mapped address - From) mod 2048; size and force
// are ignored, every write returns 0xFFFFFFFF:
//   0  video base bits 0-15
//   1  video base bits 16-23
//   2  raster compare (9 bits)
//   3  raster interrupt enable (bit 1), frame interrupt enable (bit 0)
//   4  status, read only: 0x8000 when a flag is set, + 2 raster, + 1 frame;
//      reading clears both flags and withdraws the request with code 15
//   5  test pattern (bit 7), mode (bits 0-1)
//   6  reads 0xFFFFFFFF
//   7  border colour (4 bits)
//   8-2047 read 0xFFFFFFFF
// The picture line y (0-191) shows the 160 bytes from video base + 160 y,
// each byte as two pixels, high nibble first. Lines are numbered 0-239 from
// the top of the bordered frame; the picture lines are 24-215 in both sizes.
#include <array>
#include <cstdint>

#include "devices/VideoDevice.h"

class CVic final : public CVideoDevice {
public:
    static constexpr const char* kClassName = "CVic";
    static constexpr uint32_t kRegisterSpan = 2048;
    static constexpr uint32_t kBorderWidth = 424;
    static constexpr uint32_t kBorderHeight = 240;
    static constexpr uint32_t kPictureWidth = 320;
    static constexpr uint32_t kPictureHeight = 192;
    static constexpr uint32_t kFirstPictureLine = 24;
    static constexpr uint32_t kBytesPerLine = 160;
    // Index: 0xRRGGBB.
    static constexpr std::array<uint32_t, 16> kPalette = {
        0x000000, 0x13EF30, 0x253DD7, 0x3BFFFF, 0xFF3269, 0xFFFA64, 0x9D80D3, 0x0389FF,
        0xD2D0D1, 0x9D9C9D, 0x696869, 0xC01935, 0x259133, 0x25599F, 0xD298FF, 0xFFFFFF};

    CVic();
    ~CVic() override;

    const char* GetClassName() const override { return kClassName; }
    void Serialize(CArchive& ar) override;
    void Reset() override;
    uint32_t Read(uint32_t address, uint32_t size) override;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force) override;

    bool IsBorderShown() const { return m_borderShown != 0; }
    // Takes effect when the display is next built (rebuild or start).
    void SetBorderShown(bool shown) { m_borderShown = shown ? 1 : 0; }
    // The configuration dialog's OK: both settings, then the running display
    // is rebuilt with them.
    void ApplySettings(bool borderShown, uint32_t refreshPeriod);

    uint32_t GetVideoBase() const { return m_videoBase; }
    uint32_t GetRasterCompare() const { return m_rasterCompare; }
    bool IsTestPattern() const { return m_testPattern != 0; }
    uint32_t GetBorderColour() const { return m_borderColour; }

    std::optional<SPixelSource> PixelSource(const SVideoFrame& frame, uint32_t x,
                                            uint32_t y) const override;

    // The bus address at which register offset lies (the first of its stride).
    uint32_t RegisterAddress(uint32_t offset) const { return GetFrom() + offset * GetStride(); }

    // The test pattern's colour of picture pixel p in picture row y.
    static constexpr uint32_t TestPatternColour(uint32_t p, uint32_t y) {
        return ((y + 57) >> 4 & 3) * 4 + ((p + 99) >> 5 & 3);
    }

protected:
    void BuildFrame(SVideoFrame& frame) const override;
    void Render(SVideoFrame& frame) override;

private:
    // Fills words with the picture row y (40 words, pixel p in nibble p mod 8
    // of word p / 8).
    void PictureRow(uint32_t y, uint32_t* words) const;
    void RasterCheck(uint32_t line);
    // Sets a flag and raises the interrupt with the bus lock held, so that a
    // status read sees either both or neither.
    void Signal(Relaxed<uint32_t>& flag);

    Relaxed<uint32_t> m_videoBase{0};
    Relaxed<uint32_t> m_rasterCompare{0};
    Relaxed<uint32_t> m_rasterEnable{0};
    Relaxed<uint32_t> m_frameEnable{0};
    Relaxed<uint32_t> m_rasterFlag{0};
    Relaxed<uint32_t> m_frameFlag{0};
    Relaxed<uint32_t> m_summary{0};
    Relaxed<uint32_t> m_testPattern{0};
    Relaxed<uint32_t> m_mode{0};
    Relaxed<uint32_t> m_borderColour{0};
    Relaxed<uint32_t> m_borderShown{1};
};
