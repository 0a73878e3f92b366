#pragma once
// CVo16VGA: shows 32760 bytes of memory from the video base as a monochrome
// 576 x 455 picture. It has no registers (every address of its window reads
// 0xFFFFFFFF, writes do nothing) and raises no interrupts. Line l shows the
// 72 bytes from video base + 72 l, most significant bit leftmost; a 1 bit is
// white.
#include <cstdint>

#include "devices/VideoDevice.h"

class CVo16VGA final : public CVideoDevice {
public:
    static constexpr const char* kClassName = "CVo16VGA";
    static constexpr uint32_t kWidth = 576;
    static constexpr uint32_t kHeight = 455;
    static constexpr uint32_t kWordsPerRow = kWidth / 32;
    static constexpr uint32_t kBytesPerLine = kWidth / 8;

    CVo16VGA();
    ~CVo16VGA() override;

    const char* GetClassName() const override { return kClassName; }
    void Serialize(CArchive& ar) override;
    void Reset() override { m_videoBase = 0; }

    // Only a reset and a loaded workspace set it.
    uint32_t GetVideoBase() const { return m_videoBase; }
    // The configuration dialog's OK: the period takes effect when a display
    // is next started (or rebuilt).
    void ApplySettings(uint32_t refreshPeriod) { SetRefreshPeriod(refreshPeriod); }

    std::optional<SPixelSource> PixelSource(const SVideoFrame& frame, uint32_t x,
                                            uint32_t y) const override;

protected:
    void BuildFrame(SVideoFrame& frame) const override;
    void Render(SVideoFrame& frame) override;

private:
    Relaxed<uint32_t> m_videoBase{0};
};
