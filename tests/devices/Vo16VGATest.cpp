// The Vo16 VGA controller: its frame of memory and its record.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

class Vo16VGATest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        ram = AddRam(0, 0x8000);  // the standard system's external RAM
        vga = Place(new CVo16VGA, 0, 0);
    }
    SVideoFrame Render() {
        SVideoFrame frame;
        vga->RenderFrame(frame);
        return frame;
    }
    void Fill(uint8_t value) {
        for (uint32_t a = 0; a < 0x8000; ++a)
            Bus().Write(a, value, 1, true);
    }

    CRam* ram = nullptr;
    CVo16VGA* vga = nullptr;
};

TEST_F(Vo16VGATest, StartsAtAddressZeroWithAQuarterSecondPeriod) {
    EXPECT_EQ(vga->GetVideoBase(), 0u);
    EXPECT_EQ(vga->GetRefreshPeriod(), 256u);
    EXPECT_EQ(vga->GetIrqCode(), 15);
    auto* alone = Place(new CVo16VGA, 0x9000, 0x9003);
    EXPECT_EQ(Bus().Read(0x9001, 1), 0xFFFFFFFFu);
    EXPECT_EQ(Bus().Write(0x9001, 5, 1, false), 0xFFFFFFFFu);
    EXPECT_EQ(alone->GetVideoBase(), 0u);
}

TEST_F(Vo16VGATest, MemoryOfOnesIsAllWhite) {
    Fill(0xFF);
    const SVideoFrame frame = Render();
    EXPECT_EQ(frame.width, 576u);
    EXPECT_EQ(frame.height, 455u);
    EXPECT_EQ(frame.wordsPerRow, 18u);
    EXPECT_EQ(frame.pixels.size(), 18u * 455);
    for (uint32_t word : frame.pixels)
        ASSERT_EQ(word, 0xFFFFFFFFu);
    EXPECT_EQ(frame.RgbAt(575, 454), 0xFFFFFFu);
}

TEST_F(Vo16VGATest, TheTopBitAtTheBaseIsTheTopLeftPixel) {
    Bus().Write(0, 0x80, 1, true);
    const SVideoFrame frame = Render();
    const size_t topRow = size_t{454} * 18;  // rows are stored bottom-up
    for (size_t i = 0; i < frame.pixels.size(); ++i)
        ASSERT_EQ(frame.pixels[i], i == topRow ? 0x80u : 0u) << i;
    EXPECT_EQ(frame.RgbAt(0, 0), 0xFFFFFFu);
    EXPECT_EQ(frame.RgbAt(1, 0), 0u);
    EXPECT_EQ(frame.RgbAt(0, 1), 0u);
}

TEST_F(Vo16VGATest, FramesShowMemoryInTheDocumentedLayout) {
    std::vector<uint8_t> memory(0x8000);
    uint32_t seed = 99;
    for (uint8_t& byte : memory) {
        seed = seed * 1664525 + 1013904223;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    for (uint32_t a = 0; a < memory.size(); ++a)
        Bus().Write(a, memory[a], 1, true);
    const SVideoFrame frame = Render();

    // Line l shows the 72 bytes from 72 l in memory order; rows bottom-up;
    // words little-endian.
    std::vector<uint32_t> expected(18 * 455);
    for (size_t line = 0; line < 455; ++line) {
        for (size_t k = 0; k < 18; ++k) {
            const uint8_t* b = &memory[72 * line + 4 * k];
            expected[(454 - line) * 18 + k] = b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24;
        }
    }
    EXPECT_EQ(frame.pixels, expected);
    for (uint32_t x : {0u, 7u, 8u, 300u, 575u}) {
        for (uint32_t y : {0u, 100u, 454u})
            EXPECT_EQ(frame.ColourIndexAt(x, y), memory[72 * y + x / 8] >> (7 - x % 8) & 1u);
    }
}

TEST_F(Vo16VGATest, StoresVideoBaseThenRefreshPeriod) {
    vga->SetName("Vo16 VGA Controller");
    vga->SetRefreshPeriod(1024);
    CArchive out;
    vga->Serialize(out);
    std::vector<uint8_t> bytes = out.Data();
    ASSERT_EQ(bytes.size(), 4u + 4 + 20 + 8);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 0x00, 0x04, 0, 0}));

    bytes[bytes.size() - 7] = 0x10;  // video base 0x1000
    auto* loaded = new CVo16VGA;
    CArchive in(bytes);
    loaded->Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded->GetVideoBase(), 0x1000u);
    EXPECT_EQ(loaded->GetRefreshPeriod(), 1024u);
    Bus().AddTail(loaded);
    Bus().Write(0x1000, 0x80, 1, true);
    SVideoFrame frame;
    loaded->RenderFrame(frame);
    EXPECT_EQ(frame.ColourIndexAt(0, 0), 1u);
    Bus().ResetAll();
    EXPECT_EQ(loaded->GetVideoBase(), 0u);
}

}  // namespace
