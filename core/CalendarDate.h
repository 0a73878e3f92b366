#pragma once
// A Gregorian calendar date with Julian day-number arithmetic
// (JDN 2451911 is 1 January 2001, a Monday).
#include <cstdint>

struct CalendarDate {
    uint8_t month = 1;  // 1 to 12
    uint8_t day = 1;    // 1 to 31
    int16_t year = 2001;

    int32_t ToDayNumber() const;
    void FromDayNumber(int32_t dayNumber);
    // 0 = Monday ... 6 = Sunday.
    int DayOfWeek() const;
    void AddDays(int32_t count);

    friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};
