// The memory device: little-endian access of 1 to 4 bytes, ROM and force,
// accesses past the buffer, resizing and its stored record.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"

namespace {

struct SAccessCase {
    uint32_t offset;
    uint32_t size;
    uint32_t expected;  // after bytes 01 02 03 04 05 at offsets 0..4
};

class RamAccessTest : public ::testing::TestWithParam<SAccessCase> {};

TEST_P(RamAccessTest, ReadsLittleEndian) {
    CRam ram;
    ram.SetRange(0x1000, 0x1007);
    ASSERT_TRUE(ram.SetSize(8));
    for (uint32_t i = 0; i < 5; ++i)
        ram.Write(0x1000 + i, i + 1, 1, false);
    EXPECT_EQ(ram.Read(0x1000 + GetParam().offset, GetParam().size), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RamAccessTest,
                         ::testing::Values(SAccessCase{0, 1, 0x01}, SAccessCase{0, 2, 0x0201},
                                           SAccessCase{0, 3, 0x030201},
                                           SAccessCase{1, 4, 0x05040302},
                                           SAccessCase{0, 0, 0xFFFFFFFF},
                                           SAccessCase{0, 5, 0xFFFFFFFF},
                                           // running past the end of the buffer
                                           SAccessCase{7, 2, 0xFFFFFFFF},
                                           SAccessCase{5, 4, 0xFFFFFFFF}, SAccessCase{7, 1, 0x00}));

TEST(RamTest, WritesStoreLowBytesLittleEndian) {
    CRam ram;
    ram.SetRange(0, 7);
    ram.SetSize(8);
    ram.Write(1, 0xAABBCCDD, 3, false);
    EXPECT_EQ(ram.Data()[0], 0);
    EXPECT_EQ(ram.Data()[1], 0xDD);
    EXPECT_EQ(ram.Data()[2], 0xCC);
    EXPECT_EQ(ram.Data()[3], 0xBB);
    EXPECT_EQ(ram.Data()[4], 0);
    EXPECT_EQ(ram.Write(0, 1, 1, false), 0xFFFFFFFFu);
}

TEST(RamTest, RomRefusesProcessorWritesButTakesForcedOnes) {
    CRam rom;
    rom.SetRange(0, 0xF);
    rom.SetSize(0x10);
    rom.SetWritable(false);
    rom.Write(0, 0x42, 1, false);
    EXPECT_EQ(rom.Read(0, 1), 0u);
    rom.Write(0, 0x42, 1, true);
    EXPECT_EQ(rom.Read(0, 1), 0x42u);
}

TEST(RamTest, AWindowLargerThanTheBufferNeverTouchesMemoryOutsideIt) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);  // window of 64 KiB ...
    ram->SetSize(0x10);        // ... over a 16-byte buffer
    bus.AddTail(ram);
    bus.Write(0x20, 0x99, 1, true);
    bus.Write(0x0E, 0x11223344, 4, true);
    EXPECT_EQ(bus.Read(0x20, 1), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Read(0x0E, 4), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Read(0x0F, 1), 0u);
}

TEST(RamTest, NoBufferReadsNothing) {
    CRam ram;
    EXPECT_EQ(ram.Read(0, 1), 0xFFFFFFFFu);
    ram.Write(0, 1, 1, true);
}

TEST(RamTest, SizesAboveSixteenMegabytesAreRefusedAndTheOldBufferKept) {
    CRam ram;
    ram.SetRange(0, 3);
    ASSERT_TRUE(ram.SetSize(4));
    ram.Write(0, 0x01020304, 4, false);
    std::string error;
    EXPECT_FALSE(ram.SetSize(CRam::kMaxSize + 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ram.GetSize(), 4u);
    EXPECT_EQ(ram.Read(0, 4), 0x01020304u);
    EXPECT_TRUE(ram.SetSize(CRam::kMaxSize));
    EXPECT_EQ(ram.GetSize(), CRam::kMaxSize);
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
    EXPECT_EQ(loaded.GetName(), "ROM");
    EXPECT_EQ(loaded.GetFrom(), 0xFF00u);
    EXPECT_EQ(loaded.Read(0xFF00, 4), 0xDEADBEEFu);
    EXPECT_TRUE(loaded.IsWritable());
}

TEST(RamTest, RecordClaimingMoreBytesThanTheFileHoldsFails) {
    const std::vector<uint8_t> data = {0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    CArchive in(data);
    CRam ram;
    ram.Serialize(in);
    EXPECT_TRUE(in.Failed());
    EXPECT_EQ(ram.GetSize(), 0u);
}

}  // namespace
