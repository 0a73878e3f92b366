#include <gtest/gtest.h>

#include "tools/CalendarDate.h"

namespace {

struct SAddCase {
    CalendarDate from;
    int32_t days;
    CalendarDate to;
};

class CalendarAddTest : public ::testing::TestWithParam<SAddCase> {};

TEST_P(CalendarAddTest, AddDaysRollsMonthsAndYears) {
    CalendarDate date = GetParam().from;
    date.AddDays(GetParam().days);
    EXPECT_EQ(date, GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(Dates, CalendarAddTest,
                         ::testing::Values(SAddCase{{2, 28, 2000}, 1, {2, 29, 2000}},
                                           SAddCase{{2, 28, 1900}, 1, {3, 1, 1900}},
                                           SAddCase{{12, 31, 2001}, 1, {1, 1, 2002}},
                                           SAddCase{{3, 1, 2004}, -1, {2, 29, 2004}},
                                           SAddCase{{1, 1, 2001}, 365, {1, 1, 2002}},
                                           SAddCase{{5, 17, 1987}, 0, {5, 17, 1987}}));

TEST(CalendarDateTest, KnownDayNumbersAndWeekdays) {
    const CalendarDate jan2001{1, 1, 2001};
    EXPECT_EQ(jan2001.ToDayNumber(), 2451911);
    EXPECT_EQ(jan2001.DayOfWeek(), 0);                      // Monday
    EXPECT_EQ((CalendarDate{1, 1, 2000}).DayOfWeek(), 5);   // Saturday
    EXPECT_EQ((CalendarDate{12, 6, 2026}).DayOfWeek(), 6);  // Sunday
}

TEST(CalendarDateTest, DayNumbersRoundTripOverCenturies) {
    CalendarDate date{1, 1, 1600};
    int32_t number = date.ToDayNumber();
    const int32_t last = CalendarDate{12, 31, 2400}.ToDayNumber();
    CalendarDate previous = date;
    for (; number <= last; ++number) {
        CalendarDate back;
        back.FromDayNumber(number);
        ASSERT_EQ(back.ToDayNumber(), number);
        ASSERT_TRUE(back.day >= 1 && back.day <= 31 && back.month >= 1 && back.month <= 12);
        if (number > date.ToDayNumber()) {
            // consecutive numbers are consecutive dates: the day grows by one or a month starts
            const bool nextDay = back.day == previous.day + 1 && back.month == previous.month;
            const bool newMonth = back.day == 1;
            ASSERT_TRUE(nextDay || newMonth) << back.year << "-" << int(back.month);
        }
        previous = back;
    }
}

}  // namespace
