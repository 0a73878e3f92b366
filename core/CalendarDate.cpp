#include "core/CalendarDate.h"

// Fliegel and Van Flandern; every division truncates toward zero. The sums are
// formed in 64 bits so that no date a 16-bit year can name overflows.
int32_t CalendarDate::ToDayNumber() const {
    const int64_t m = month, d = day, y = year;
    const int64_t a = (m - 14) / 12;
    return static_cast<int32_t>(d - 32075 + 1461 * (y + 4800 + a) / 4 +
                                367 * (m - 2 - 12 * a) / 12 - 3 * ((y + 4900 + a) / 100) / 4);
}

void CalendarDate::FromDayNumber(int32_t dayNumber) {
    int64_t l = int64_t{dayNumber} + 68569;
    const int64_t k = 4 * l / 146097;
    l = l - (146097 * k + 3) / 4;
    const int64_t i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const int64_t j = 80 * l / 2447;
    day = static_cast<uint8_t>(l - 2447 * j / 80);
    l = j / 11;
    month = static_cast<uint8_t>(j + 2 - 12 * l);
    year = static_cast<int16_t>(100 * (k - 49) + i + l);
}

int CalendarDate::DayOfWeek() const {
    const int r = ToDayNumber() % 7;
    return r < 0 ? r + 7 : r;
}

void CalendarDate::AddDays(int32_t count) {
    if (count != 0) FromDayNumber(ToDayNumber() + count);
}
