// The VIC and the Vo16 VGA: registers, interrupts, frames rendered on the
// caller's thread and records.
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

class VicTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        AddRam(0, 0x40000);
        vic = Place(new CVic, 0x300000, 0x300FFF, 3);
    }
    uint32_t Reg(uint32_t offset) { return Bus().Read(0x300000 + 3 * offset, 4); }
    void SetReg(uint32_t offset, uint32_t value) {
        EXPECT_EQ(Bus().Write(0x300000 + 3 * offset, value, 2, false), ~0u);
    }
    static SVideoFrame Frame(CVideoDevice& device) {
        SVideoFrame frame;
        device.RenderFrame(frame);
        return frame;
    }
    SVideoFrame Render(bool border) { return vic->SetBorderShown(border), Frame(*vic); }
    CVic* vic = nullptr;
};

TEST_F(VicTest, RegistersKeepTheirBitsAndReset) {
    const std::array<uint32_t, 3> writes[] = {
        // offset, value written, value read
        {0, 0xABCDEF, 0xCDEF}, {1, 0x1234, 0x34}, {2, 0xFFFF, 0x1FF}, {3, 6, 2},
        {5, 0x7E, 0x02},       {7, 0x1F, 0x0F},   {4, 1, 0},          {6, 1, ~0u}};
    for (auto [offset, written, read] : writes) {
        SetReg(offset, written);
        EXPECT_EQ(Reg(offset), read) << offset;
    }
    EXPECT_EQ(vic->GetVideoBase(), 0x34CDEFu);  // the two halves of the base
    Bus().ResetAll();
    const Words afterReset = {0x0000, 0xDC, 265, 0, 0, 0x81, ~0u, 8, ~0u};
    for (uint32_t offset = 0; offset < afterReset.size(); ++offset)
        EXPECT_EQ(Reg(offset), afterReset[offset]) << offset;
    auto* flat = Place(new CVic, 0x50000, 0x50FFF);  // offset 2048 is offset 0
    Bus().Write(0x50800, 0x4321, 2, false);
    EXPECT_EQ(flat->GetVideoBase(), 0xDC4321u);
}

TEST_F(VicTest, StatusReadsTheFlagsOnceAndWithdraws) {
    SetReg(3, 1);
    unit->TakeLog();
    Render(true);
    EXPECT_EQ(unit->TakeLog(), Log{"I7"});
    EXPECT_EQ((Words{Reg(4), Reg(4)}), (Words{0x8001, 0}));
    EXPECT_EQ(unit->TakeLog(), (Log{"C15", "C15"}));
    SetReg(3, 3);
    SetReg(2, 100);
    Render(false);
    EXPECT_EQ(unit->TakeLog(), (Log{"I7", "I7"}));
    EXPECT_EQ(Reg(4), 0x8003u);

    // Raster compare counts the lines of the bordered frame in both geometries.
    SetReg(3, 2);
    const std::tuple<bool, uint32_t, bool> rasters[] = {
        // border, compare, matches
        {true, 0, true},     {false, 0, false},  {true, 24, true},
        {false, 24, true},   {false, 23, false}, {false, 215, true},
        {false, 216, false}, {true, 239, true},  {true, 265, false}};
    for (auto [border, compare, matches] : rasters) {
        SetReg(2, compare);
        Render(border);
        EXPECT_EQ(Reg(4), matches ? 0x8002u : 0u) << border << " " << compare;
    }
}

TEST_F(VicTest, TestPatternColoursRepeatEvery128PixelsAnd64Lines) {
    for (bool border : {false, true}) {
        const SVideoFrame frame = Render(border);
        // Pixel p of picture row y is nibble p mod 8 of its word.
        const auto pixel = [&](uint32_t p, uint32_t y) {
            const uint32_t column = border ? p + 52 : p;
            return frame.RowOfLine(border ? y + 24 : y)[column / 8] >> 4 * (column % 8) & 0xF;
        };
        EXPECT_EQ((Words{pixel(0, 0), pixel(29, 0), pixel(0, 7)}), (Words{15, 12, 3}));
        for (uint32_t y = 0; y < 192; ++y)
            for (uint32_t p = 0; p < 320; ++p)
                ASSERT_EQ(pixel(p, y), pixel(p % 128, y % 64)) << p << "," << y;
    }
}

// The frames expected from the layout's description alone: each memory byte
// is two pixels as it stands, rows are stored bottom-up, four bytes a word
// little-endian, and the border is 26 bytes wide and 24 lines high.
TEST_F(VicTest, FramesShowVideoMemoryInTheDocumentedLayout) {
    std::vector<uint8_t> video(192 * 160);
    for (uint32_t i = 0, seed = 12345; i < video.size(); ++i) {
        seed = seed * 1103515245 + 12345;
        Bus().Write(0x12340 + i, video[i] = static_cast<uint8_t>(seed >> 16), 1, true);
    }
    // Video base 0x012340, memory rather than the test pattern, border colour 11.
    for (auto [offset, value] : {std::pair{0u, 0x2340u}, {1, 0x01}, {5, 0x01}, {7, 0x0B}})
        SetReg(offset, value);
    for (bool border : {true, false}) {
        const size_t width = border ? 212 : 160, height = border ? 240 : 192;
        const size_t left = border ? 26 : 0, top = border ? 24 : 0;
        Words expected(width * height / 4);
        for (size_t line = 0; line < height; ++line) {
            for (size_t x = 0; x < width; ++x) {
                const size_t px = x - left, py = line - top;  // wrap round outside the picture
                const uint32_t byte = px < 160 && py < 192 ? video[py * 160 + px] : 0xBB;
                const size_t at = (height - 1 - line) * width + x;
                expected[at / 4] |= byte << 8 * (at % 4);
            }
        }
        EXPECT_EQ(Render(border).pixels, expected) << border;
    }
    SetReg(1, 0xDC);  // memory that no device holds shows colour 15
    EXPECT_EQ(Render(false).pixels, Words(40 * 192, ~0u));
}

TEST_F(VicTest, RecordHoldsThirteenWords) {
    for (auto [offset, value] : {std::pair{0u, 0x5678u}, {2, 100}, {3, 3}, {5, 2}, {7, 4}})
        SetReg(offset, value);
    vic->SetBorderShown(false);
    vic->SetRefreshPeriod(1024);
    EXPECT_EQ(Record(*vic, 13), (Words{0xDC5678, 100, 1, 1, 0, 0, 0, 0, 2, 4, 0, 1024, 7}));
    // Loading keeps 16 bits of raster compare, mode and border colour.
    const auto copy = Reload(*vic, {0x10123, 1, 1, 0, 0, 0, 0, 0x10002, 0x11204, 1, 512, 9});
    EXPECT_EQ(Record(*copy, 13), (Words{0xDC5678, 0x123, 1, 1, 0, 0, 0, 0, 2, 0x1204, 1, 512, 9}));
    EXPECT_EQ(Frame(*copy).pixels[0], 0x44444444u);  // the border shows one colour
}

// The Vo16 VGA: line l shows the 72 bytes from base + 72 l in memory order,
// the most significant bit of a byte on the left; rows bottom-up, words
// little-endian.
TEST_F(VicTest, Vo16VGAFramesShowMemoryInTheDocumentedLayout) {
    auto* vga = Place(new CVo16VGA, 0, 0);
    Bus().Write(0, 0x80, 1, true);  // only the top-left pixel is lit
    Words expected(18 * 455);
    expected[454 * 18] = 0x80;
    EXPECT_EQ(Frame(*vga).pixels, expected);
    EXPECT_EQ(Frame(*vga).RgbAt(0, 0), 0xFFFFFFu);
    expected.assign(18 * 455, 0);
    for (uint32_t a = 0, seed = 99; a < 72 * 455; ++a) {
        seed = seed * 1664525 + 1013904223;
        const uint8_t byte = static_cast<uint8_t>(seed >> 24);
        Bus().Write(a, byte, 1, true);
        expected[(454 - a / 72) * 18 + a % 72 / 4] |= byte << 8 * (a % 4);
    }
    EXPECT_EQ(Frame(*vga).pixels, expected);
    for (uint32_t a = 0; a < 72 * 455; ++a)
        Bus().Write(a, 0xFF, 1, true);
    EXPECT_EQ(Frame(*vga).pixels, Words(18 * 455, ~0u));  // all white
    // Record: video base, then refresh period.
    EXPECT_EQ(Record(*vga, 2), (Words{0, 256}));
    EXPECT_EQ(Record(*Reload(*vga, {0x1000, 1024}), 2), (Words{0x1000, 1024}));
}

}  // namespace
