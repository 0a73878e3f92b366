// Which bus address and byte produce a pixel of a frame: video memory for
// the picture, the VIC's registers for its border and test pattern.
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

using EKind = SPixelSource::EKind;

class PixelSourceTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        AddRam(0, 0x40000);
        for (uint32_t a = 0; a < 0x40000; ++a) {
            seed = seed * 1103515245 + 12345;
            Bus().Write(a, seed >> 16 & 0xFF, 1, true);
        }
    }
    static SVideoFrame Frame(CVideoDevice& device) {
        SVideoFrame frame;
        device.RenderFrame(frame);
        return frame;
    }
    // Every pixel of the frame is the selected bits of the memory byte its
    // source names, and that byte is what the frame shows.
    void ExpectMemoryPixels(const CVideoDevice& device, const SVideoFrame& frame, uint32_t left,
                            uint32_t top, uint32_t width, uint32_t height) {
        for (uint32_t y = top; y < top + height; ++y) {
            for (uint32_t x = left; x < left + width; ++x) {
                const auto source = device.PixelSource(frame, x, y);
                ASSERT_TRUE(source && source->kind == EKind::kMemory) << x << "," << y;
                ASSERT_EQ(source->byte, Bus().Read(source->address, 1)) << x << "," << y;
                uint32_t shown = source->byte & source->bits;
                for (uint32_t bits = source->bits; !(bits & 1); bits >>= 1)
                    shown >>= 1;
                ASSERT_EQ(shown, frame.ColourIndexAt(x, y)) << x << "," << y;
            }
        }
    }
    uint32_t seed = 99;
};

TEST_F(PixelSourceTest, VicPictureComesFromMemoryBorderAndPatternFromRegisters) {
    auto* vic = Place(new CVic, 0x300000, 0x300FFF, 3);
    for (auto [offset, value] : {std::pair{0u, 0x2340u}, {1, 0x01}, {5, 0x02}, {7, 0x0B}})
        Bus().Write(0x300000 + 3 * offset, value, 2, false);
    for (bool border : {true, false}) {
        vic->SetBorderShown(border);
        const SVideoFrame frame = Frame(*vic);
        const uint32_t left = border ? 52 : 0, top = border ? 24 : 0;
        ExpectMemoryPixels(*vic, frame, left, top, 320, 192);
        // The corners of the picture, by hand.
        const std::tuple<uint32_t, uint32_t, uint32_t, uint8_t> corners[] = {
            {0, 0, 0x12340, 0xF0},
            {1, 0, 0x12340, 0x0F},
            {319, 191, 0x12340 + 191 * 160 + 159, 0x0F}};
        for (auto [p, row, address, bits] : corners) {
            const auto source = vic->PixelSource(frame, p + left, row + top);
            ASSERT_TRUE(source);
            EXPECT_EQ(std::pair(source->address, source->bits), std::pair(address, bits)) << p;
        }
        EXPECT_FALSE(vic->PixelSource(frame, frame.width, 0));
        EXPECT_FALSE(vic->PixelSource(frame, 0, frame.height));
    }

    // The border: register 7 at its strided bus address; the test pattern:
    // register 5 (pattern bit and mode).
    vic->SetBorderShown(true);
    SVideoFrame frame = Frame(*vic);
    const std::tuple<uint32_t, uint32_t> borderPixels[] = {{0, 0},    {51, 100},  {372, 100},
                                                           {200, 23}, {200, 216}, {423, 239}};
    for (auto [x, y] : borderPixels) {
        const auto source = vic->PixelSource(frame, x, y);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->kind, EKind::kRegister);
        EXPECT_EQ(std::tuple(source->address, source->registerOffset, source->byte),
                  std::tuple(0x300015u, 7u, uint8_t{0x0B}))
            << x << "," << y;
    }
    Bus().Write(0x300000 + 3 * 5, 0x81, 2, false);
    frame = Frame(*vic);
    for (auto [x, y] : {std::pair{52u, 24u}, {371u, 215u}}) {
        const auto source = vic->PixelSource(frame, x, y);
        ASSERT_TRUE(source);
        EXPECT_EQ(std::tuple(source->kind, source->address, source->byte),
                  std::tuple(EKind::kRegister, 0x30000Fu, uint8_t{0x81}));
    }
    // A frame of another device's shape has no sources here.
    auto* vga = Place(new CVo16VGA, 0, 0);
    EXPECT_FALSE(vic->PixelSource(Frame(*vga), 0, 0));
}

TEST_F(PixelSourceTest, Vo16VGAPixelsAreBitsOfMemoryMostSignificantFirst) {
    auto* vga = Place(new CVo16VGA, 0, 0);
    const SVideoFrame frame = Frame(*vga);
    ExpectMemoryPixels(*vga, frame, 0, 0, 576, 455);
    const std::tuple<uint32_t, uint32_t, uint32_t, uint8_t> pixels[] = {
        {0, 0, 0, 0x80}, {7, 0, 0, 0x01}, {8, 0, 1, 0x80}, {575, 454, 72 * 454 + 71, 0x01}};
    for (auto [x, y, address, bits] : pixels) {
        const auto source = vga->PixelSource(frame, x, y);
        ASSERT_TRUE(source);
        EXPECT_EQ(std::pair(source->address, source->bits), std::pair(address, bits)) << x;
    }
    EXPECT_FALSE(vga->PixelSource(frame, 576, 0));
    SVideoFrame small;
    small.Shape(320, 192, 4);
    EXPECT_FALSE(vga->PixelSource(small, 0, 0));
}

}  // namespace
