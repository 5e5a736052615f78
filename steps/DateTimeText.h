#pragma once
// A local date and time, and its text form as the settings file keeps it:
// 2024年3月30日8时5分7秒, shortened to 8时5分 when the seconds are zero, to 8时
// when minutes and seconds are zero, and to the date alone at midnight.
#include "text/Text.h"

namespace fw {

struct LocalDateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalDateTime currentLocalDateTime();
Text dateTimeText(const LocalDateTime& time);

} // namespace fw
