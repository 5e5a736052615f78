#include "net/RetryPolicy.h"

#include "net/EventPump.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

namespace fw {

namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(20);
// The engine's numbered failures once the request may have gone out: not
// sent (refused, reset, connect time-out), no answer, body broken off.
constexpr int kSendFailure = 711, kNoAnswer = 712, kReadFailure = 713;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT" and
// "Sun Nov  6 08:49:37 1994": the month by name, the time by its colons, then
// the day and the year in that order. Read by hand: the program's locale may
// not be English.
std::optional<std::time_t> httpDate(std::string_view text)
{
    static constexpr std::array<std::string_view, 12> kMonths {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of(" ,-\t", pos);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        if (stop > pos)
            tokens.push_back(text.substr(pos, stop - pos));
        pos = stop + 1;
    }
    int month = -1, day = -1, year = -1, hour = -1, minute = -1, second = -1;
    for (std::string_view t : tokens) {
        if (t.find(':') != std::string_view::npos) {
            if (t.size() != 8 || t[2] != ':' || t[5] != ':' || !allDigits(t.substr(0, 2)) || !allDigits(t.substr(3, 2))
                || !allDigits(t.substr(6, 2)))
                return std::nullopt;
            hour = std::stoi(std::string(t.substr(0, 2)));
            minute = std::stoi(std::string(t.substr(3, 2)));
            second = std::stoi(std::string(t.substr(6, 2)));
        } else if (allDigits(t) && t.size() <= 4) {
            const int n = std::stoi(std::string(t));
            if (day < 0 && t.size() <= 2)
                day = n;
            else if (year < 0)
                year = t.size() == 2 ? (n >= 70 ? 1900 + n : 2000 + n) : n;
        } else if (t.size() == 3 && month < 0) {
            for (size_t m = 0; m < kMonths.size(); ++m)
                if (equalsIgnoringCase(t, kMonths[m]))
                    month = int(m);
        }
    }
    if (month < 0 || day < 1 || day > 31 || year < 1970 || hour > 23 || minute > 59 || second > 60 || hour < 0)
        return std::nullopt;
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const std::time_t t = timegm(&tm);
    if (t == std::time_t(-1))
        return std::nullopt;
    return t;
}

std::mt19937& jitterSource()
{
    thread_local std::mt19937 source {std::random_device {}()};
    return source;
}

} // namespace

int fetchStatusNumber(std::string_view status)
{
    int n = 0;
    size_t i = 0;
    for (; i < status.size() && i < 3 && status[i] >= '0' && status[i] <= '9'; ++i)
        n = n * 10 + (status[i] - '0');
    return i == 3 ? n : 0;
}

bool fetchSucceeded(const HttpRequestOptions& fetched)
{
    const int n = fetchStatusNumber(fetched.status);
    return n >= 200 && n <= 299;
}

bool isTransientFailure(const HttpRequestOptions& fetched)
{
    if (fetched.bodyCut)
        return false;
    const int n = fetchStatusNumber(fetched.status);
    return n == 429 || (n >= 500 && n <= 599) || n == kSendFailure || n == kNoAnswer || n == kReadFailure;
}

std::optional<std::chrono::milliseconds> retryAfter(std::string_view headers, std::chrono::system_clock::time_point now)
{
    size_t pos = 0;
    while (pos < headers.size()) {
        const size_t end = std::min(headers.find('\n', pos), headers.size());
        const std::string_view line = headers.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !equalsIgnoringCase(trimmed(line.substr(0, colon)), "Retry-After"))
            continue;
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (allDigits(value)) {
            // Seconds; anything beyond a day is as good as a day, and will be capped anyway.
            const long long seconds = value.size() > 6 ? 86400 : std::min(std::stoll(std::string(value)), 86400LL);
            return std::chrono::seconds(seconds);
        }
        const std::optional<std::time_t> date = httpDate(value);
        if (!date)
            return std::nullopt;
        const auto when = std::chrono::system_clock::from_time_t(*date);
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(when - now));
    }
    return std::nullopt;
}

std::chrono::milliseconds backoffDelay(const RetryPolicy& policy, int retry)
{
    const long long base = std::max<long long>(0, policy.baseDelay.count());
    const long long whole = base << std::clamp(retry - 1, 0, 20);
    if (whole <= 1)
        return std::chrono::milliseconds(whole);
    std::uniform_int_distribution<long long> pick(whole / 2, whole);
    return std::chrono::milliseconds(pick(jitterSource()));
}

bool waitUnlessStopped(std::chrono::milliseconds wait, const std::function<bool()>& stop)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (transfersAborted() || (stop && stop()))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return true;
        pumpEvents(); // the window stays responsive (and Esc can arrive) on the UI thread
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kWaitSlice, deadline - now));
    }
}

Text fetchWithRetry(std::string_view url, HttpRequestOptions& options, const RetryPolicy& policy)
{
    // A Retry-After read must be this try's, never one left in the options by an earlier fetch.
    options.responseHeaders.clear();
    if (policy.load)
        options.load = policy.load;
    const HttpRequestOptions request = options;
    const std::function<bool()> stop = [&policy, &request] {
        return request.load.cancelled() || (policy.stop && policy.stop());
    };
    Text text = HttpClient().fetch(url, options);
    for (int retry = 1; retry <= policy.retries && isTransientFailure(options); ++retry) {
        const auto asked = retryAfter(options.responseHeaders, std::chrono::system_clock::now());
        const auto wait = asked ? std::min(*asked, policy.maxRetryAfter) : backoffDelay(policy, retry);
        if (!waitUnlessStopped(wait, stop))
            break;
        options = request; // nothing of the failed try is taken for the next one
        text = HttpClient().fetch(url, options);
    }
    return text;
}

Text fetchMaybeRetrying(std::string_view url, HttpRequestOptions& options, const RetryPolicy* policy)
{
    return policy ? fetchWithRetry(url, options, *policy) : HttpClient().fetch(url, options);
}

} // namespace fw
