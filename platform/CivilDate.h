#pragma once
// A day of the calendar, and a moment of it to the millisecond, as the local
// clock gives them.

namespace tarvik::platform {

struct CivilDate
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

struct LocalDateTime
{
    CivilDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

} // namespace tarvik::platform
