// The VIC: registers, interrupts and frames rendered on the caller's thread.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "devices/Vic.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

constexpr uint32_t kVic = 0x300000;
constexpr uint32_t kVideo = 0x12340;  // video memory in the RAM below

// The frame the display must show, built from the picture's description
// alone: each memory byte is two pixels, high nibble on the left, a bitmap
// byte holds its left pixel in the high nibble, rows are stored bottom-up
// and the border is 52 pixels wide and 24 lines high.
std::vector<uint32_t> ExpectedFrame(const std::vector<uint8_t>& video, bool border,
                                    uint32_t borderColour) {
    const int width = border ? 424 : 320, height = border ? 240 : 192;
    const int left = border ? 52 : 0, top = border ? 24 : 0;
    std::vector<uint8_t> bitmap(size_t(width / 2) * height);
    for (int line = 0; line < height; ++line) {
        uint8_t* row = bitmap.data() + size_t(height - 1 - line) * (width / 2);
        for (int x = 0; x < width; x += 2) {
            const int px = x - left, py = line - top;
            row[x / 2] = px >= 0 && px < 320 && py >= 0 && py < 192
                             ? video[size_t(py) * 160 + px / 2]
                             : static_cast<uint8_t>(borderColour * 0x11);
        }
    }
    std::vector<uint32_t> words(bitmap.size() / 4);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = bitmap[4 * i] | bitmap[4 * i + 1] << 8 | bitmap[4 * i + 2] << 16 |
                   uint32_t{bitmap[4 * i + 3]} << 24;
    return words;
}

class VicTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        ram = AddRam(0, 0x40000);
        vic = Place(new CVic, kVic, kVic + 0xFFF, 3);
    }
    uint32_t Reg(uint32_t offset) { return Bus().Read(kVic + 3 * offset, 2); }
    void SetReg(uint32_t offset, uint32_t value) {
        Bus().Write(kVic + 3 * offset, value, 2, false);
    }
    // Colour of picture pixel p of picture row y in the buffer (pixel p is
    // nibble p mod 8 of its word).
    static uint32_t Nibble(const SVideoFrame& frame, uint32_t p, uint32_t y) {
        const bool border = frame.width == CVic::kBorderWidth;
        const uint32_t column = border ? p + 52 : p;
        return frame.RowOfLine(border ? y + 24 : y)[column / 8] >> (4 * (column % 8)) & 0xF;
    }
    SVideoFrame Render(bool border) {
        vic->SetBorderShown(border);
        SVideoFrame frame;
        vic->RenderFrame(frame);
        return frame;
    }

    CRam* ram = nullptr;
    CVic* vic = nullptr;
};

TEST_F(VicTest, RegistersAfterReset) {
    SetReg(0, 0x5555);
    SetReg(2, 3);
    SetReg(3, 3);
    SetReg(5, 0);
    SetReg(7, 2);
    Bus().ResetAll();
    const uint32_t expected[] = {0x0000, 0xDC, 265, 0, 0, 0x81, 0xFFFFFFFF, 8, 0xFFFFFFFF};
    for (uint32_t offset = 0; offset < std::size(expected); ++offset)
        EXPECT_EQ(Bus().Read(kVic + 3 * offset, 4), expected[offset]) << offset;
    EXPECT_EQ(vic->GetIrqCode(), 7);
    EXPECT_EQ(vic->GetRefreshPeriod(), 256u);
    EXPECT_TRUE(vic->IsBorderShown());
}

TEST_F(VicTest, WritesKeepTheirBits) {
    SetReg(0, 0xABCDEF);
    SetReg(1, 0x1234);  // bits 16-23 only
    EXPECT_EQ(vic->GetVideoBase(), 0x34CDEFu);
    EXPECT_EQ(Reg(0), 0xCDEFu);
    EXPECT_EQ(Reg(1), 0x34u);
    SetReg(2, 0xFFFF);
    EXPECT_EQ(Reg(2), 0x1FFu);
    SetReg(3, 6);
    EXPECT_EQ(Reg(3), 2u);
    SetReg(5, 0x7E);
    EXPECT_EQ(Reg(5), 0x02u);
    SetReg(7, 0x1F);
    EXPECT_EQ(Reg(7), 0x0Fu);
    EXPECT_EQ(Bus().Write(kVic + 3 * 4, 1, 2, false), 0xFFFFFFFFu);
}

TEST_F(VicTest, RegistersRepeatEvery2048Offsets) {
    auto* flat = Place(new CVic, 0x50000, 0x50FFF);
    Bus().Write(0x50800, 0x4321, 2, false);  // offset 2048 is offset 0
    EXPECT_EQ(flat->GetVideoBase() & 0xFFFF, 0x4321u);
    EXPECT_EQ(Bus().Read(0x50807, 2), 8u);
    EXPECT_EQ(Bus().Read(0x50008, 2), 0xFFFFFFFFu);
}

TEST_F(VicTest, StatusReadsTheFlagsOnceAndWithdraws) {
    SetReg(3, 1);
    unit->TakeLog();
    Render(true);
    EXPECT_EQ(unit->TakeLog(), Log{"I7"});
    EXPECT_EQ(Reg(4), 0x8001u);
    EXPECT_EQ(Reg(4), 0u);
    EXPECT_EQ(unit->TakeLog(), (Log{"C15", "C15"}));

    SetReg(3, 3);
    SetReg(2, 100);
    Render(false);
    EXPECT_EQ(unit->TakeLog(), (Log{"I7", "I7"}));
    EXPECT_EQ(Reg(4), 0x8003u);
}

struct SRaster {
    bool border;
    uint32_t compare;
    bool matches;
};

class VicRasterTest : public VicTest, public ::testing::WithParamInterface<SRaster> {};

TEST_P(VicRasterTest, ComparesWithTheLinesOfTheBorderedFrame) {
    SetReg(3, 2);
    SetReg(2, GetParam().compare);
    Render(GetParam().border);
    EXPECT_EQ(Reg(4), GetParam().matches ? 0x8002u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Lines, VicRasterTest,
                         ::testing::Values(SRaster{true, 0, true}, SRaster{false, 0, false},
                                           SRaster{true, 24, true}, SRaster{false, 24, true},
                                           SRaster{false, 23, false}, SRaster{false, 215, true},
                                           SRaster{false, 216, false}, SRaster{true, 239, true},
                                           SRaster{true, 240, false}, SRaster{true, 265, false}));

TEST_F(VicTest, TestPatternColoursRepeatEvery128PixelsAnd64Lines) {
    for (bool border : {false, true}) {
        const SVideoFrame frame = Render(border);
        EXPECT_EQ(Nibble(frame, 0, 0), 15u);
        EXPECT_EQ(Nibble(frame, 29, 0), 12u);
        EXPECT_EQ(Nibble(frame, 0, 7), 3u);
        for (uint32_t y = 0; y < 192; ++y) {
            for (uint32_t p = 0; p < 320; ++p) {
                if (p + 128 < 320) {
                    ASSERT_EQ(Nibble(frame, p, y), Nibble(frame, p + 128, y));
                }
                if (y + 64 < 192) {
                    ASSERT_EQ(Nibble(frame, p, y), Nibble(frame, p, y + 64));
                }
            }
        }
    }
}

TEST_F(VicTest, FramesShowVideoMemoryInTheDocumentedLayout) {
    std::vector<uint8_t> video(192 * 160);
    uint32_t seed = 12345;
    for (uint8_t& byte : video) {
        seed = seed * 1103515245 + 12345;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t i = 0; i < video.size(); ++i)
        Bus().Write(kVideo + i, video[i], 1, true);
    SetReg(0, kVideo & 0xFFFF);
    SetReg(1, kVideo >> 16);
    SetReg(5, 0x01);  // memory, not the test pattern
    SetReg(7, 0x0B);
    for (bool border : {true, false}) {
        const SVideoFrame frame = Render(border);
        EXPECT_EQ(frame.width, border ? 424u : 320u);
        EXPECT_EQ(frame.height, border ? 240u : 192u);
        EXPECT_EQ(frame.wordsPerRow, border ? 53u : 40u);
        EXPECT_EQ(frame.pixels, ExpectedFrame(video, border, 0x0B)) << border;
        EXPECT_EQ(frame.RgbAt(0, 0), border ? 0xC01935u : CVic::kPalette[video[0] >> 4]);
    }
}

TEST_F(VicTest, MemoryThatNoDeviceHoldsShowsColourFifteen) {
    SetReg(5, 0);  // video base 0xDC0000 holds nothing
    const SVideoFrame frame = Render(false);
    for (uint32_t word : frame.pixels)
        ASSERT_EQ(word, 0xFFFFFFFFu);
}

TEST_F(VicTest, StoresThirteenWordsAfterTheDeviceRecord) {
    vic->SetName("VIC");
    SetReg(0, 0x5678);
    SetReg(2, 100);
    SetReg(3, 3);
    SetReg(5, 0x02);
    SetReg(7, 4);
    vic->SetBorderShown(false);
    vic->SetRefreshPeriod(1024);
    CArchive out;
    vic->Serialize(out);
    std::vector<uint8_t> bytes = out.Data();
    ASSERT_EQ(bytes.size(), 4u + 4 + 4 + 13 * 4);
    const auto word = [&](int field) {
        const uint8_t* p = bytes.data() + 12 + 4 * field;
        return uint32_t{p[0]} | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
    };
    const uint32_t fields[13] = {0xDC5678, 100, 1, 1, 0, 0, 0, 0, 2, 4, 0, 1024, 7};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(word(i), fields[i]) << i;

    // Loading keeps 16 bits of raster compare, mode and border colour; the
    // border still shows one colour.
    bytes[12 + 4 * 9 + 2] = 0x01;  // border colour 0x10004
    bytes[12 + 4 * 9 + 1] = 0x12;  // border colour 0x11204
    CVic loaded;
    CArchive in(bytes);
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded.GetName(), "VIC");
    EXPECT_EQ(loaded.GetVideoBase(), 0xDC5678u);
    EXPECT_EQ(loaded.GetBorderColour(), 0x1204u);
    EXPECT_EQ(loaded.GetRefreshPeriod(), 1024u);
    EXPECT_FALSE(loaded.IsBorderShown());
    EXPECT_FALSE(loaded.IsTestPattern());
    EXPECT_EQ(loaded.GetIrqCode(), 7);
    loaded.SetBorderShown(true);
    SVideoFrame frame;
    loaded.RenderFrame(frame);
    EXPECT_EQ(frame.pixels[0], 0x44444444u);
}

}  // namespace
