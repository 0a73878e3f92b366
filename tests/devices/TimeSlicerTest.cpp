// The time slicer: one 7-bit register, a period restarted on every write.
#include "devices/TimeSlicer.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

TEST_F(CDeviceTest, TimeSlicerRegisterPeriodAndRecord) {
    auto* slicer = Place(new CTimeSlicer, 0x301000, 0x3010FF);
    slicer->SetIrqCode(3);
    EXPECT_EQ(Period(*slicer, 0), 0u);  // stopped until the software writes it
    EXPECT_EQ(Bus().Read(0x3010FF, 4), 49u);
    EXPECT_EQ(unit->TakeLog(), Log{"C15"});
    const std::array<uint32_t, 3> writes[] = {
        {0xC5, 0x45, 6900}, {1, 1, 100}, {0x80, 0, 0}, {0x7F, 127, 12700}};
    for (auto [value, count, period] : writes) {  // period 0: stopped
        EXPECT_EQ(Bus().Write(0x301080, value, 1, false), ~0u);
        EXPECT_EQ((Words{Bus().Read(0x301000, 1), Period(*slicer, 0)}), (Words{count, period}));
        EXPECT_EQ(unit->TakeLog(), (Log{"C15", "C15"}));  // a write withdraws too
    }
    EXPECT_TRUE(Fire(*slicer, 0));
    EXPECT_EQ(unit->TakeLog(), Log{"I3"});
    // Record: period unit, slice count. A loaded count keeps seven bits, a
    // loaded slicer stays stopped and a huge period saturates.
    EXPECT_EQ(Record(*slicer, 2), (Words{100, 0x7F}));
    auto* loaded = Place(Reload(*slicer, {0xFFFFFFFF, 0xC5}).release(), 0x200, 0x200);
    EXPECT_EQ((Words{loaded->GetSliceCount(), Period(*loaded, 0)}), (Words{0x45, 0}));
    Bus().Write(0x200, 0x7F, 1, false);
    EXPECT_EQ(Period(*loaded, 0), 0xFFFFFFFFu);
}

}  // namespace
