// The real-time clock: register file, data modes, update cycle, alarm,
// periodic interrupt and daylight-saving changes.
#include <gtest/gtest.h>

#include <cctype>

#include "devices/M6818.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

constexpr uint32_t kPort = 0x70;  // address port; the data port is kPort + 1

enum : uint32_t { kSeconds = 0, kSecondsAlarm, kMinutes, kMinutesAlarm, kHours, kHoursAlarm };
enum : uint32_t { kWeekday = 6, kDate, kMonth, kYear, kA, kB, kC, kD, kRam };

// Register B values: binary or BCD, 24- or 12-hour, with the flags given.
constexpr uint32_t kBinary24 = 0x06, kBinary12 = 0x04, kBcd24 = 0x02, kBcd12 = 0x00;
constexpr uint32_t kSet = 0x80, kPie = 0x40, kAie = 0x20, kUie = 0x10, kDse = 0x01;

class M6818Test : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        clock = Place(new C6818, kPort, kPort + 1);
        clock->SetIrqCode(3);
    }
    uint32_t Get(uint32_t index) {
        Bus().Write(kPort, index, 1, false);
        return Bus().Read(kPort + 1, 1);
    }
    void Set(uint32_t index, uint32_t value) {
        Bus().Write(kPort, index, 1, false);
        Bus().Write(kPort + 1, value, 1, false);
    }
    // Sets the time and date in binary 24-hour mode, then register B.
    void SetClock(int year, uint32_t month, uint32_t day, uint32_t hours, uint32_t minutes,
                  uint32_t seconds, uint32_t registerB = kBinary24) {
        Set(kB, kBinary24 | kSet);
        Set(kYear, static_cast<uint32_t>(year % 100));
        Set(kMonth, month);
        Set(kDate, day);
        Set(kHours, hours);
        Set(kMinutes, minutes);
        Set(kSeconds, seconds);
        Set(kB, registerB);
    }
    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(Fire(*clock, 0));
    }
    C6818* clock = nullptr;
};

TEST_F(M6818Test, StartsAtMidnightOnSaturdayTheFirstOf2000) {
    struct {
        uint32_t index;
        uint32_t value;
    } const registers[] = {{kSeconds, 0}, {kMinutes, 0}, {kHours, 0}, {kWeekday, 7}, {kDate, 1},
                           {kMonth, 1},   {kYear, 0},    {kA, 0x20},  {kB, 0x06},    {kC, 0},
                           {kD, 0x80},    {kRam, 0},     {63, 0}};
    for (const auto& r : registers)
        EXPECT_EQ(Get(r.index), r.value) << r.index;
    EXPECT_EQ(clock->GetDate().year, 2000);
    // The update cycle runs from creation, on the host once the clock is on a bus.
    EXPECT_EQ(TimerPeriod(*clock, 0), 1000u);
    EXPECT_FALSE(TimerRuns(*clock, 1));
    EXPECT_EQ(Bus().Read(kPort, 1), 0xFFFFFFFFu);
    EXPECT_EQ(Bus().Write(kPort, 0, 1, false), 1u);
}

TEST_F(M6818Test, TheAddressPortKeepsSixBits) {
    Bus().Write(kPort, 0x4E, 1, false);
    Bus().Write(kPort + 1, 0x5A, 1, false);
    EXPECT_EQ(Get(14), 0x5Au);
    Set(63, 0x1FF);  // data is taken as eight bits
    EXPECT_EQ(Get(0xFF), 0xFFu);
}

TEST_F(M6818Test, DataModesConvertOnWriteAndRead) {
    struct {
        uint32_t registerB;
        uint32_t index;
        uint32_t written;
        uint32_t read;
        uint32_t binary;  // the value as read back in binary mode
    } const cases[] = {
        {kBcd24, kSeconds, 0x59, 0x59, 59},     {kBinary24, kSeconds, 0x59, 0x59, 0x59},
        {kBcd24, kSeconds, 0xFF, 0x37, 37},     {kBcd24, kMinutesAlarm, 0x45, 0x45, 45},
        {kBcd24, kWeekday, 0x12, 0x12, 0x12},   {kBcd24, kDate, 0x31, 0x31, 31},
        {kBcd24, kMonth, 0x12, 0x12, 12},       {kBinary24, kYear, 99, 99, 99},
        {kBcd24, kYear, 0x05, 0x05, 5},         {kBcd24, kRam + 3, 0x99, 0x99, 0x99},
        {kBcd24, kHoursAlarm, 0xC0, 0x20, 120},  // BCD destroys a don't-care byte
    };
    for (const auto& c : cases) {
        Set(kB, c.registerB);
        Set(c.index, c.written);
        EXPECT_EQ(Get(c.index), c.read) << c.index << " " << c.written;
        Set(kB, kBinary24);
        EXPECT_EQ(Get(c.index), c.binary) << c.index << " " << c.written;
    }
}

TEST_F(M6818Test, TwoDigitYearsMapToTheCentury) {
    struct {
        uint32_t written;
        int year;
    } const years[] = {{99, 1999}, {5, 2005}, {70, 1970}, {69, 2069}, {0, 2000}};
    for (const auto& y : years) {
        Set(kYear, y.written);
        EXPECT_EQ(clock->GetDate().year, y.year);
        EXPECT_EQ(Get(kYear), y.written);
    }
}

TEST_F(M6818Test, RegisterDReadsEightyAndIgnoresWrites) {
    Set(kD, 0);  // writes do nothing
    EXPECT_EQ(Get(kD), 0x80u);
    EXPECT_EQ(Get(kD), 0x80u);
}

TEST_F(M6818Test, SetStopsTheClockAndItsFlags) {
    Set(kB, kBinary24 | kSet);
    Tick(3);
    EXPECT_EQ(Get(kSeconds), 0u);
    EXPECT_EQ(Get(kC), 0u);
    Set(kB, kBinary24);
    Tick();
    EXPECT_EQ(Get(kSeconds), 1u);
    EXPECT_EQ(Get(kC), 0x10u);  // UF, read and cleared
    EXPECT_EQ(Get(kC), 0u);
    EXPECT_EQ(Get(kA) & 0x80, 0u);  // no update is in progress between cycles
}

TEST_F(M6818Test, RatesSetThePeriodicTimerAtTenTimesTheBasePeriod) {
    const uint32_t periods[16] = {0,  40, 80,  10,  10,  10,   10,   20,
                                  40, 80, 160, 310, 630, 1250, 2500, 5000};
    for (uint32_t rate = 15; rate <= 15; --rate) {
        Set(kA, 0xA0 | rate);
        EXPECT_EQ(Get(kA), 0x20 | rate);
        if (rate == 0)
            EXPECT_FALSE(TimerRuns(*clock, 1));
        else
            EXPECT_EQ(TimerPeriod(*clock, 1), periods[rate]) << rate;
    }
}

TEST_F(M6818Test, PeriodicTicksSetPfAndInterruptOnlyWithPie) {
    Set(kA, 0x26);
    unit->TakeLog();
    ASSERT_TRUE(Fire(*clock, 1));
    EXPECT_TRUE(unit->TakeLog().empty());
    EXPECT_EQ(Get(kC), 0x40u);

    Set(kB, kBinary24 | kPie);
    ASSERT_TRUE(Fire(*clock, 1));
    EXPECT_EQ(Get(kC), 0xC0u);
    EXPECT_EQ(Get(kC), 0u);
    EXPECT_EQ(unit->TakeLog(), (Log{"I3", "C3"}));
}

TEST_F(M6818Test, UpdateEndedInterruptAndResetClearFlagsAndEnables) {
    Set(kB, kBinary24 | kUie | kAie | kPie | 0x08);
    Tick();
    EXPECT_EQ(unit->TakeLog(), Log{"I3"});
    Bus().ResetAll();
    EXPECT_EQ(Get(kB), kBinary24);
    EXPECT_EQ(Get(kC), 0u);
    EXPECT_TRUE(unit->TakeLog().empty());  // nothing is withdrawn with IRQF clear
}

struct SRollOver {
    const char* what;
    uint32_t registerB;
    int year;
    uint32_t month, day, hours, minutes, seconds;
    int ticks;
    int endYear;
    uint32_t endMonth, endDay, endHours, endMinutes, endSeconds, endWeekday;
};

class M6818RollOverTest : public M6818Test, public ::testing::WithParamInterface<SRollOver> {};

TEST_P(M6818RollOverTest, AdvancesTheTimeAndDate) {
    const SRollOver& c = GetParam();
    SetClock(c.year, c.month, c.day, c.hours, c.minutes, c.seconds, c.registerB);
    Tick(c.ticks);
    const bool bcd = (c.registerB & 0x04) == 0;
    const auto shown = [bcd](uint32_t v) { return bcd ? uint32_t{C6818::ToBcd(v)} : v; };
    EXPECT_EQ(clock->GetDate().year, c.endYear);
    EXPECT_EQ(Get(kMonth), shown(c.endMonth));
    EXPECT_EQ(Get(kDate), shown(c.endDay));
    EXPECT_EQ(Get(kHours), shown(c.endHours));
    EXPECT_EQ(Get(kMinutes), shown(c.endMinutes));
    EXPECT_EQ(Get(kSeconds), shown(c.endSeconds));
    if (c.endWeekday) {
        EXPECT_EQ(Get(kWeekday), c.endWeekday);
    }
}

constexpr uint32_t kPm = 0x80;

INSTANTIATE_TEST_SUITE_P(
    Cases, M6818RollOverTest,
    ::testing::Values(
        SRollOver{"minute", kBinary24, 2001, 3, 4, 5, 6, 59, 1, 2001, 3, 4, 5, 7, 0, 0},
        SRollOver{"leap day", kBinary24, 2004, 2, 28, 23, 59, 59, 1, 2004, 2, 29, 0, 0, 0, 1},
        SRollOver{"not a leap year", kBinary24, 2001, 2, 28, 23, 59, 59, 1, 2001, 3, 1, 0, 0, 0, 5},
        SRollOver{"new year", kBinary24, 1999, 12, 31, 23, 59, 59, 1, 2000, 1, 1, 0, 0, 0, 7},
        SRollOver{"noon", kBinary12, 2001, 5, 5, 11, 59, 59, 1, 2001, 5, 5, 12, 0, 0, 0},
        // The 12-hour clock turns AM into PM between 12:59:59 and 1:00:00.
        SRollOver{"one PM", kBinary12, 2001, 5, 5, 12, 59, 59, 1, 2001, 5, 5, kPm | 1, 0, 0, 0},
        SRollOver{"next day", kBinary12, 2001, 5, 5, kPm | 12, 59, 59, 1, 2001, 5, 6, 1, 0, 0, 1},
        SRollOver{"BCD hour", kBcd24, 2001, 5, 5, 9, 59, 59, 1, 2001, 5, 5, 10, 0, 0, 0},
        // Daylight saving: last Sunday of April 2004 is the 25th, of October the 31st.
        SRollOver{"spring", kBinary24 | kDse, 2004, 4, 25, 1, 59, 59, 1, 2004, 4, 25, 3, 0, 0, 0},
        SRollOver{"spring, other Sunday", kBinary24 | kDse, 2004, 4, 18, 1, 59, 59, 1, 2004, 4, 18,
                  2, 0, 0, 0},
        SRollOver{"spring without DSE", kBinary24, 2004, 4, 25, 1, 59, 59, 1, 2004, 4, 25, 2, 0, 0,
                  0},
        SRollOver{"autumn", kBinary24 | kDse, 2004, 10, 31, 1, 59, 59, 1, 2004, 10, 31, 1, 0, 0, 0},
        // After the change the hour from 1:00 runs on into 2:00 once more.
        SRollOver{"autumn, once", kBinary24 | kDse, 2004, 10, 31, 1, 59, 59, 3601, 2004, 10, 31, 2,
                  0, 0, 0}),
    [](const ::testing::TestParamInfo<SRollOver>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(M6818Test, OnePmInBcdTwelveHourModeReadsAsTwentyNine) {
    Set(kB, kBinary12);
    Set(kHours, kPm | 1);
    Set(kB, kBcd12);
    EXPECT_EQ(Get(kHours), 0x29u);
}

TEST_F(M6818Test, AlarmMatchesWithDontCareBytes) {
    SetClock(2001, 1, 1, 10, 20, 3, kBinary24 | kAie);
    Set(kSecondsAlarm, 5);
    Set(kMinutesAlarm, 0xC0);
    Set(kHoursAlarm, 0xFF);
    unit->TakeLog();
    Tick();
    EXPECT_EQ(Get(kC), 0x10u);
    Tick();
    EXPECT_EQ(Get(kC), 0xB0u);  // IRQF, AF and UF
    EXPECT_EQ(unit->TakeLog(), (Log{"I3", "C3"}));
    Tick(59);
    EXPECT_EQ(Get(kC), 0x10u);
    Tick();  // 10:21:05
    EXPECT_EQ(Get(kC), 0xB0u);

    // Written in BCD mode, 0xC0 is no longer a don't-care byte.
    Set(kB, kBcd24 | kAie);
    Set(kMinutesAlarm, 0xC0);
    Set(kB, kBinary24 | kAie);
    Tick(60);
    EXPECT_EQ(Get(kC), 0x10u);
}

}  // namespace
