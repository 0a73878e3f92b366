// The time slicer: one 7-bit register, a period restarted on every write.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "devices/TimeSlicer.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

class TimeSlicerTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        slicer = Place(new CTimeSlicer, 0x301000, 0x3010FF);
    }
    CTimeSlicer* slicer = nullptr;
};

TEST_F(TimeSlicerTest, StartsStoppedAtFortyNineAndWithdrawsOnRead) {
    EXPECT_FALSE(TimerRuns(*slicer, 0));
    EXPECT_EQ(Bus().Read(0x301000, 1), 49u);
    EXPECT_EQ(Bus().Read(0x3010FF, 4), 0x31u);
    EXPECT_EQ(unit->TakeLog(), (Log{"C15", "C15"}));
}

TEST_F(TimeSlicerTest, WritesKeepSevenBitsAndRestartThePeriod) {
    struct {
        uint32_t value;
        uint32_t stored;
        uint32_t period;  // 0: stopped
    } const writes[] = {{0xC5, 0x45, 6900}, {0x01, 1, 100}, {0x7F, 127, 12700},
                        {0x80, 0, 0},       {0x100, 0, 0},  {0x31, 49, 4900}};
    for (const auto& w : writes) {
        EXPECT_EQ(Bus().Write(0x301080, w.value, 1, false), 0xFFFFFFFFu);
        EXPECT_EQ(unit->TakeLog(), Log{"I15"}) << w.value;
        EXPECT_EQ(Bus().Read(0x301000, 1), w.stored);
        if (w.period) {
            ASSERT_TRUE(TimerRuns(*slicer, 0)) << w.value;
            EXPECT_EQ(TimerPeriod(*slicer, 0), w.period);
        } else {
            EXPECT_FALSE(TimerRuns(*slicer, 0)) << w.value;
        }
        unit->TakeLog();
    }
}

TEST_F(TimeSlicerTest, EachTickRaisesWithItsOwnCode) {
    slicer->SetIrqCode(3);
    Bus().Write(0x301000, 2, 1, false);
    unit->TakeLog();
    EXPECT_TRUE(Fire(*slicer, 0));
    EXPECT_TRUE(Fire(*slicer, 0));
    EXPECT_EQ(unit->TakeLog(), (Log{"I3", "I3"}));
}

TEST_F(TimeSlicerTest, StoresPeriodUnitThenSliceCountAndLoadsStopped) {
    Bus().Write(0x301000, 0x45, 1, false);
    CArchive out;
    slicer->Serialize(out);
    const std::vector<uint8_t>& bytes = out.Data();
    ASSERT_EQ(bytes.size(), 4u + 4 + 1 + 8);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()),
              (std::vector<uint8_t>{100, 0, 0, 0, 0x45, 0, 0, 0}));

    // A slice count with more than seven bits keeps seven.
    std::vector<uint8_t> edited = bytes;
    edited.at(13) = 0xC5;  // the low byte of the slice count
    auto* loaded = new CTimeSlicer;
    CArchive in(edited);
    loaded->Serialize(in);
    ASSERT_FALSE(in.Failed());
    Bus().AddTail(loaded);
    EXPECT_EQ(loaded->GetSliceCount(), 0x45u);
    EXPECT_EQ(loaded->GetPeriodUnit(), 100u);
    EXPECT_FALSE(TimerRuns(*loaded, 0));
}

TEST_F(TimeSlicerTest, HugePeriodUnitsSaturate) {
    std::vector<uint8_t> record = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    auto* loaded = new CTimeSlicer;
    CArchive in(record);
    loaded->Serialize(in);
    ASSERT_FALSE(in.Failed());
    Place(loaded, 0x200, 0x200);
    Bus().Write(0x200, 0x7F, 1, false);
    EXPECT_EQ(TimerPeriod(*loaded, 0), 0xFFFFFFFFu);
}

}  // namespace
