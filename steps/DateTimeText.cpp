#include "steps/DateTimeText.h"

#include "text/CodePage.h"

#include <ctime>
#include <string>

namespace fw {

LocalDateTime currentLocalDateTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

Text dateTimeText(const LocalDateTime& t)
{
    static const Text year = gbk("年"), month = gbk("月"), day = gbk("日");
    static const Text hour = gbk("时"), minute = gbk("分"), second = gbk("秒");
    using std::to_string;
    Text out = to_string(t.year) + year + to_string(t.month) + month + to_string(t.day) + day;
    if (t.second != 0)
        out += to_string(t.hour) + hour + to_string(t.minute) + minute + to_string(t.second) + second;
    else if (t.minute != 0)
        out += to_string(t.hour) + hour + to_string(t.minute) + minute;
    else if (t.hour != 0)
        out += to_string(t.hour) + hour;
    return out;
}

} // namespace fw
