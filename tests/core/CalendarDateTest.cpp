// Julian day numbers, weekdays and day arithmetic across month, year, leap-day
// and century boundaries.
#include "core/CalendarDate.h"

#include <gtest/gtest.h>

namespace {

TEST(CalendarDateTest, KnownDatesAndAddedDays) {
    // clang-format off
    struct { CalendarDate date; int32_t dayNumber; int weekday; } const known[] = {  // 0 = Monday
        {{1, 1, 2001}, 2451911, 0},
        {{1, 1, 2000}, 2451545, 5},
        {{12, 6, 2026}, 2461381, 6},
        {{2, 29, 1600}, 2305507, 1},
        {{3, 1, 1900}, 2415080, 3},
    };
    // clang-format on
    for (const auto& c : known) {
        EXPECT_EQ(c.date.ToDayNumber(), c.dayNumber);
        EXPECT_EQ(c.date.DayOfWeek(), c.weekday);
    }
    // clang-format off
    struct { CalendarDate from; int32_t days; CalendarDate to; } const added[] = {
        {{2, 28, 2000}, 1, {2, 29, 2000}},
        {{2, 28, 1900}, 1, {3, 1, 1900}},
        {{12, 31, 2001}, 1, {1, 1, 2002}},
        {{3, 1, 2004}, -1, {2, 29, 2004}},
        {{1, 1, 2001}, 365, {1, 1, 2002}},
        {{5, 17, 1987}, 0, {5, 17, 1987}},
    };
    // clang-format on
    for (const auto& c : added) {
        CalendarDate date = c.from;
        date.AddDays(c.days);
        EXPECT_EQ(date, c.to) << c.from.year << "-" << int(c.from.month) << " + " << c.days;
    }
}

// Consecutive day numbers give consecutive dates and convert back.
TEST(CalendarDateTest, DayNumbersRoundTripOverCenturies) {
    CalendarDate previous{12, 31, 1599};
    for (int32_t n = CalendarDate{1, 1, 1600}.ToDayNumber();
         n <= CalendarDate{12, 31, 2400}.ToDayNumber(); ++n) {
        CalendarDate date;
        date.FromDayNumber(n);
        ASSERT_EQ(date.ToDayNumber(), n);
        const bool nextDay = date.day == previous.day + 1 && date.month == previous.month;
        ASSERT_TRUE(nextDay || (date.day == 1 && previous.day >= 28))
            << date.year << "-" << int(date.month) << "-" << int(date.day);
        previous = date;
    }
}

}  // namespace
