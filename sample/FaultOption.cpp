#include "sample/FaultOption.h"

#include <charconv>
#include <optional>
#include <string>
#include <vector>

namespace fw::sample {

namespace {

// A stall without its time holds the connection for half a minute, a latency
// without its time adds a second.
constexpr int kDefaultStallMs = 30000;
constexpr int kDefaultLatencyMs = 1000;

struct KindName {
    std::string_view name;
    Fault::Kind kind;
    int status;      // HttpError only
    bool takesValue; // N is allowed
    int defaultValue;
};

constexpr KindName kKinds[] = {
    {"stall", Fault::Stall, 0, true, kDefaultStallMs},
    {"latency", Fault::Latency, 0, true, kDefaultLatencyMs},
    {"http503", Fault::HttpError, 503, false, 503},
    {"http429", Fault::HttpError, 429, false, 429},
    {"truncated", Fault::Truncate, 0, true, 0},
    {"garbage", Fault::Garbage, 0, true, 0},
    {"huge", Fault::HugeBody, 0, true, 0},
    {"drop", Fault::Drop, 0, false, 0},
};

const KindName* kindNamed(std::string_view name)
{
    for (const KindName& k : kKinds) {
        if (k.name == name)
            return &k;
    }
    return nullptr;
}

// Decimal digits only, within an int.
std::optional<int> number(std::string_view text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || text.front() == '+' || error != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<int> valueAfter(std::string_view field, std::string_view key)
{
    if (field.substr(0, key.size()) != key)
        return std::nullopt;
    return number(field.substr(key.size()));
}

bool isOption(std::string_view field)
{
    return number(field) || field.starts_with("times=") || field.starts_with("retry-after=");
}

} // namespace

bool parseFault(std::string_view text, Fault& out)
{
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    // From the right: the options, then the kind; the rest is the path part.
    size_t kindAt = fields.size();
    while (kindAt > 1 && isOption(fields[kindAt - 1]))
        --kindAt;
    if (kindAt < 2)
        return false;
    const KindName* kind = kindNamed(fields[kindAt - 1]);
    if (!kind)
        return false;

    Fault fault(kind->kind, std::string(text.substr(0, size_t(fields[kindAt - 1].data() - text.data()) - 1)),
                kind->defaultValue);
    bool haveValue = false, haveTimes = false, haveRetryAfter = false;
    for (size_t i = kindAt; i < fields.size(); ++i) {
        const std::string_view field = fields[i];
        if (const auto value = number(field); value && !haveValue && kind->takesValue) {
            fault.value = *value;
            haveValue = true;
        } else if (const auto times = valueAfter(field, "times="); times && *times >= 1 && !haveTimes) {
            fault.times = *times;
            haveTimes = true;
        } else if (const auto seconds = valueAfter(field, "retry-after=");
                   seconds && kind->kind == Fault::HttpError && !haveRetryAfter) {
            fault.retryAfter = std::to_string(*seconds);
            haveRetryAfter = true;
        } else {
            return false;
        }
    }
    out = std::move(fault);
    return true;
}

} // namespace fw::sample
