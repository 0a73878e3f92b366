// The Vo16 VGA controller: its frame of memory and its record.
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

class Vo16VGATest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        AddRam(0, 0x8000);  // the standard system's external RAM
        vga = Place(new CVo16VGA, 0, 0);
    }
    SVideoFrame Render() {
        SVideoFrame frame;
        vga->RenderFrame(frame);
        return frame;
    }
    CVo16VGA* vga = nullptr;
};

TEST_F(Vo16VGATest, FramesShowMemoryInTheDocumentedLayout) {
    Bus().Write(0, 0x80, 1, true);  // only the top-left pixel is lit
    Words expected(18 * 455);
    expected[454 * 18] = 0x80;
    EXPECT_EQ(Render().pixels, expected);
    EXPECT_EQ(Render().RgbAt(0, 0), 0xFFFFFFu);

    // Line l shows the 72 bytes from base + 72 l in memory order, the most
    // significant bit of a byte on the left; rows bottom-up, words little-endian.
    expected.assign(18 * 455, 0);
    uint32_t seed = 99;
    for (uint32_t a = 0; a < 0x8000; ++a) {
        seed = seed * 1664525 + 1013904223;
        const uint8_t byte = static_cast<uint8_t>(seed >> 24);
        Bus().Write(a, byte, 1, true);
        if (a < 72 * 455) expected[(454 - a / 72) * 18 + a % 72 / 4] |= byte << 8 * (a % 4);
    }
    EXPECT_EQ(Render().pixels, expected);

    for (uint32_t a = 0; a < 0x8000; ++a)
        Bus().Write(a, 0xFF, 1, true);
    EXPECT_EQ(Render().pixels, Words(18 * 455, ~0u));  // all white
}

TEST_F(Vo16VGATest, RecordHoldsVideoBaseThenRefreshPeriod) {
    EXPECT_EQ(Record(*vga, 2), (Words{0, 256}));
    EXPECT_EQ(Record(*Reload(*vga, {0x1000, 1024}), 2), (Words{0x1000, 1024}));
}

}  // namespace
