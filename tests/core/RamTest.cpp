// The memory device: little-endian access of 1 to 4 bytes, ROM and force,
// accesses past the buffer, resizing and its stored record.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Archive.h"
#include "core/Ram.h"

namespace {

TEST(RamTest, AccessesBySizeRomAndOutOfBuffer) {
    struct {
        uint32_t address, size, value;
        bool force;
        uint32_t read;  // at address with size, afterwards
        int stored;     // bytes that changed in the buffer
    } const cases[] = {
        {0x1000, 1, 0xAB, false, 0xAB, 1},
        {0x1001, 2, 0xABCD, false, 0xABCD, 2},
        {0x1001, 3, 0xAABBCCDD, false, 0xBBCCDD, 3},
        {0x1004, 4, 0x01020304, false, 0x01020304, 4},
        {0x100F, 1, 0x42, true, 0x42, 1},  // the buffer's last byte
        {0x1000, 0, 1, true, 0xFFFFFFFF, 0},
        {0x1000, 5, 1, true, 0xFFFFFFFF, 0},
        {0x100F, 2, 0x1122, true, 0xFFFFFFFF, 0},  // running past the buffer
        {0x100D, 4, 0x11223344, true, 0xFFFFFFFF, 0},
        {0x1020, 1, 0x99, true, 0xFFFFFFFF, 0},  // inside the window, past the buffer
    };
    for (bool rom : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << rom << " " << std::hex << c.address << " " << c.size);
            CRam ram;
            ram.SetRange(0x1000, 0x1FFF);  // a window larger than the 16-byte buffer
            ASSERT_TRUE(ram.SetSize(0x10));
            ram.SetWritable(!rom);
            ram.Write(c.address, c.value, c.size, c.force);
            const bool refused = rom && !c.force;  // ROM takes only forced writes
            EXPECT_EQ(ram.Read(c.address, c.size), refused ? 0 : c.read);
            EXPECT_EQ(16 - std::count(ram.Data(), ram.Data() + 16, 0), refused ? 0 : c.stored);
        }
    }
    CRam none;  // no buffer at all
    EXPECT_EQ(none.Read(0, 1), 0xFFFFFFFFu);
    none.Write(0, 1, 1, true);
}

TEST(RamTest, SizesAboveSixteenMegabytesAreRefusedAndTheOldBufferKept) {
    CRam ram;
    ram.SetRange(0, 3);
    ASSERT_TRUE(ram.SetSize(4));
    ram.Write(0, 0x01020304, 4, false);
    std::string error;
    EXPECT_FALSE(ram.SetSize(CRam::kMaxSize + 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ram.Read(0, 4), 0x01020304u);
    EXPECT_TRUE(ram.SetSize(CRam::kMaxSize));
}

TEST(RamTest, StoredRecordRoundTripsAndLoadsWritable) {
    CRam rom;
    rom.SetName("ROM");
    rom.SetRange(0xFF00, 0xFF03);
    rom.SetSize(4);
    rom.Write(0xFF00, 0xDEADBEEF, 4, true);
    rom.SetWritable(false);
    CArchive out;
    rom.Serialize(out);
    const std::vector<uint8_t> expected = {0x00, 0xFF, 0, 0, 0x03, 0xFF, 0,    0,    3,    'R',
                                           'O',  'M',  4, 0, 0,    0,    0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(out.Data(), expected);
    CArchive in(out.Data());
    CRam loaded;
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded.Read(0xFF00, 4), 0xDEADBEEFu);
    EXPECT_TRUE(loaded.IsWritable());

    // A record claiming more bytes than the file holds fails without allocating.
    const std::vector<uint8_t> data = {0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    CArchive shortIn(data);
    CRam claimed;
    claimed.Serialize(shortIn);
    EXPECT_TRUE(shortIn.Failed());
    EXPECT_EQ(claimed.GetSize(), 0u);
}

}  // namespace
