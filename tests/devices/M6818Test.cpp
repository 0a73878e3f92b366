// The real-time clock: register file, data modes, update cycle, alarm,
// periodic interrupt and daylight-saving changes.
#include "devices/M6818.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

enum : uint32_t { kSeconds, kSecondsAlarm, kMinutes, kMinutesAlarm, kHours, kHoursAlarm, kWeekday };
enum : uint32_t { kDate = 7, kMonth, kYear, kA, kB, kC, kD, kRam };
// Register B: binary or BCD, 24- or 12-hour, and its flags.
constexpr uint32_t kBinary24 = 0x06, kBinary12 = 0x04, kBcd24 = 0x02, kBcd12 = 0x00;
constexpr uint32_t kSet = 0x80, kPie = 0x40, kAie = 0x20, kUie = 0x10, kDse = 0x01, kPm = 0x80;

class M6818Test : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        clock = Place(new C6818, 0x70, 0x71);  // the address port, then the data port
        clock->SetIrqCode(3);
    }
    uint32_t Get(uint32_t index) {
        Bus().Write(0x70, index, 1, false);
        return Bus().Read(0x71, 1);
    }
    void Set(uint32_t index, uint32_t value) {
        Bus().Write(0x70, index, 1, false);
        Bus().Write(0x71, value, 1, false);
    }
    void Tick(int count = 1) {
        while (count-- > 0)
            ASSERT_TRUE(Fire(*clock, 0));
    }
    // Register C (read and cleared) after count update cycles.
    uint32_t CAfter(int count) {
        Tick(count);
        return Get(kC);
    }
    C6818* clock = nullptr;
};

TEST_F(M6818Test, StartsAtMidnightOnSaturdayTheFirstOf2000) {
    Set(kD, 0);  // writes to register D do nothing
    const Words registers = {0, 0, 0, 0, 0, 0, 7, 1, 1, 0, 0x20, 0x06, 0, 0x80, 0};
    for (uint32_t index = 0; index < registers.size(); ++index)
        EXPECT_EQ(Get(index), registers[index]) << index;
    EXPECT_EQ((Words{Period(*clock, 0), Period(*clock, 1)}), (Words{1000, 0}));
    EXPECT_EQ(Bus().Read(0x70, 1), 0xFFFFFFFFu);
    Set(0x7F, 0x1A5);  // six bits of address, eight of data
    EXPECT_EQ(Get(63), 0xA5u);
}

TEST_F(M6818Test, DataModesConvertOnWriteAndRead) {
    // mode written in, register, value written, mode read in, value read
    const std::array<uint32_t, 5> cases[] = {{kBcd24, kSeconds, 0x59, kBinary24, 59},
                                             {kBinary24, kSeconds, 59, kBcd24, 0x59},
                                             {kBinary24, kSeconds, 0x59, kBinary24, 0x59},
                                             {kBcd24, kSeconds, 0xFF, kBcd24, 0x37},
                                             {kBcd24, kMinutesAlarm, 0x45, kBinary24, 45},
                                             {kBcd24, kDate, 0x31, kBinary24, 31},
                                             {kBcd24, kMonth, 0x12, kBcd24, 0x12},
                                             {kBcd24, kYear, 0x05, kBinary24, 5},
                                             {kBcd24, kWeekday, 0x12, kBinary24, 0x12},
                                             {kBcd24, kRam + 3, 0x99, kBinary24, 0x99},
                                             // Don't-care alarm bytes are never converted.
                                             {kBcd24, kHoursAlarm, 0xC0, kBinary24, 0xC0},
                                             {kBcd24, kSecondsAlarm, 0xFF, kBcd24, 0xFF},
                                             {kBcd24, kMinutesAlarm, 0x80, kBinary24, 80},
                                             // A 12-hour hour converts without its PM bit.
                                             {kBinary12, kHours, kPm | 1, kBcd12, 0x81},
                                             {kBcd12, kHours, 0x92, kBinary12, kPm | 12},
                                             {kBcd12, kHoursAlarm, 0x81, kBinary12, kPm | 1},
                                             {kBcd24, kHours, 0x23, kBinary24, 23}};
    for (auto [writeMode, index, written, readMode, read] : cases) {
        Set(kB, writeMode);
        Set(index, written);
        Set(kB, readMode);
        EXPECT_EQ(Get(index), read) << index << " " << written;
    }
}

TEST_F(M6818Test, UpdateCyclesAlarmsAndPeriodicTicksSetFlagsAndInterrupt) {
    Set(kB, kBinary24 | kSet);  // SET freezes the clock
    EXPECT_EQ((Words{CAfter(3), Get(kSeconds)}), (Words{0, 0}));
    Set(kB, kBinary24 | kUie);
    EXPECT_EQ((Words{CAfter(1), Get(kC), Get(kSeconds)}), (Words{0x90, 0, 1}));
    // The alarm with don't-care bytes: at 00:00:05 and every minute after.
    Set(kB, kBinary24 | kAie);
    Set(kSecondsAlarm, 5);
    Set(kMinutesAlarm, 0xC0);
    Set(kHoursAlarm, 0xFF);
    EXPECT_EQ((Words{CAfter(3), CAfter(1), CAfter(60)}), (Words{0x10, 0xB0, 0xB0}));
    Set(kB, kBcd24 | kAie);  // written in BCD mode, 0xC0 is still a don't-care byte
    Set(kMinutesAlarm, 0xC0);
    EXPECT_EQ(CAfter(60), 0xB0u);
    EXPECT_EQ(unit->TakeLog(), (Log{"I3", "C15", "I3", "C15", "I3", "C15", "I3", "C15"}));

    // Periodic rates are ten times the table's; the ticks set PF, and interrupt with PIE.
    const Words periods = {0, 40, 80, 10, 10, 10, 10, 20, 40, 80, 160, 310, 630, 1250, 2500, 5000};
    for (uint32_t rate = 15; rate <= 15; --rate) {
        Set(kA, 0xA0 | rate);
        EXPECT_EQ((Words{Get(kA) & 0x7F, Period(*clock, 1)}), (Words{0x20 | rate, periods[rate]}));
    }
    Set(kA, 0x26);
    ASSERT_TRUE(Fire(*clock, 1));
    EXPECT_EQ(Get(kC), 0x40u);
    Set(kB, kBinary24 | kPie | kUie | kAie | 0x08);
    ASSERT_TRUE(Fire(*clock, 1));
    EXPECT_EQ(unit->TakeLog(), Log{"I3"});
    Bus().ResetAll();  // clears flags and enables, withdrawing nothing
    EXPECT_EQ((Words{Get(kB), Get(kC)}), (Words{kBinary24, 0}));
    EXPECT_TRUE(unit->TakeLog().empty());
}

// UIP (register A bit 7) is seen by the reads of register A that follow an
// update, a fixed number of them; never before the first update, never with
// SET, and setting SET ends the window.
TEST_F(M6818Test, UpdateInProgressIsSeenForAWindowAfterEachUpdate) {
    const auto seen = [&] {
        uint32_t reads = 0;
        while (reads <= C6818::kUpdateWindowReads && (Get(kA) & 0x80) != 0)
            ++reads;
        return reads;
    };
    const uint32_t kWindow = C6818::kUpdateWindowReads;
    EXPECT_EQ(seen(), 0u);
    Tick();
    EXPECT_EQ(Get(kSeconds), 1u);  // the new second is there while UIP is seen
    EXPECT_EQ(seen(), kWindow);
    EXPECT_EQ(seen(), 0u);
    Tick(2);  // a window unread is not stretched by the next update
    EXPECT_EQ(seen(), kWindow);
    Tick();
    Get(kA);
    Set(kB, kBinary24 | kSet);
    EXPECT_EQ(seen(), 0u);
    Tick();
    EXPECT_EQ(seen(), 0u);
}

TEST_F(M6818Test, TimeAndDateRollOver) {
    using STime = std::array<int, 7>;  // year, month, day, hours, minutes, seconds, weekday
    const std::tuple<uint32_t, STime, int, STime> cases[] = {
        // register B, start, ticks, end
        {kBinary24, {1970, 3, 4, 5, 6, 59, 4}, 1, {1970, 3, 4, 5, 7, 0, 4}},
        {kBinary24, {2004, 2, 28, 23, 59, 59, 7}, 1, {2004, 2, 29, 0, 0, 0, 1}},
        {kBinary24, {2069, 2, 28, 23, 59, 59, 5}, 1, {2069, 3, 1, 0, 0, 0, 6}},
        {kBinary24, {1999, 12, 31, 23, 59, 59, 6}, 1, {2000, 1, 1, 0, 0, 0, 7}},
        // The 12-hour clock: noon is 12 PM, the date advances at midnight
        // (11:59:59 PM -> 12:00:00 AM), 12 is followed by 1.
        {kBinary12, {2001, 5, 5, 11, 59, 59, 7}, 1, {2001, 5, 5, kPm | 12, 0, 0, 7}},
        {kBinary12, {2001, 5, 5, kPm | 12, 59, 59, 7}, 1, {2001, 5, 5, kPm | 1, 0, 0, 7}},
        {kBinary12, {2001, 5, 5, kPm | 11, 59, 59, 7}, 1, {2001, 5, 6, 12, 0, 0, 1}},
        {kBinary12, {2001, 5, 6, 12, 59, 59, 1}, 1, {2001, 5, 6, 1, 0, 0, 1}},
        {kBcd12, {2001, 5, 5, 0x81, 0x59, 0x59, 7}, 1, {2001, 5, 5, kPm | 2, 0, 0, 7}},
        // The last Sunday of April 2004 is the 25th, of October 2004 the 31st.
        {kBinary24 | kDse, {2004, 4, 25, 1, 59, 59, 1}, 1, {2004, 4, 25, 3, 0, 0, 1}},
        {kBinary24 | kDse, {2004, 4, 18, 1, 59, 59, 1}, 1, {2004, 4, 18, 2, 0, 0, 1}},
        {kBinary24, {2004, 4, 25, 1, 59, 59, 1}, 1, {2004, 4, 25, 2, 0, 0, 1}},
        {kBinary24 | kDse, {2004, 10, 31, 1, 59, 59, 1}, 1, {2004, 10, 31, 1, 0, 0, 1}},
        // After the change the hour from 1:00 runs on into 2:00 once more.
        {kBinary24 | kDse, {2010, 10, 31, 1, 59, 59, 1}, 3601, {2010, 10, 31, 2, 0, 0, 1}},
    };
    const uint32_t fields[7] = {kYear, kMonth, kDate, kHours, kMinutes, kSeconds, kWeekday};
    for (const auto& [registerB, start, ticks, end] : cases) {
        Set(kB, registerB | kSet);  // the start is written in the case's mode
        for (int i = 0; i < 7; ++i)
            Set(fields[i], uint32_t(i == 0 ? start[0] % 100 : start[i]));
        Set(kB, registerB);
        Tick(ticks);
        const CalendarDate& d = clock->GetDate();
        EXPECT_EQ((STime{d.year, d.month, d.day, clock->GetHours(), clock->GetMinutes(),
                         clock->GetSeconds(), clock->GetDayOfWeek()}),
                  end);
    }
}

}  // namespace
