#pragma once
// Another try for the bulk loads: a load of thousands of requests meets the
// odd refused connection, time-out or overloaded server, and one such answer
// should not leave a fund without its figures. A transient failure (the
// request got no complete answer, or the answer's status is 429 or 5xx) is
// tried again after an exponential back-off with jitter, or after the
// answer's Retry-After when it gives one (capped). Waits end early when the
// load is stopped or every transfer is aborted, and handle the window's events
// on the UI thread. One-shot user actions fetch once and never come here. No Qt.
#include "net/HttpClient.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

namespace fw {

struct RetryPolicy {
    int retries = 3;                                      // tries after the first one
    std::chrono::milliseconds baseDelay {500};            // the first back-off; doubled for each further try
    std::chrono::milliseconds maxRetryAfter {30000};      // a longer Retry-After is cut to this
    std::function<bool()> stop;                           // true: no further wait or try (a cancelled load)
    LoadTicket load;                                      // the load every try belongs to (HttpRequestOptions::load)
};

// The number a fetch's status starts with: the HTTP status ("503 Service
// Unavailable" → 503) or the engine's numbered failure (711 … 713); 0 when none.
int fetchStatusNumber(std::string_view status);
// The fetch got a complete answer with a 2xx status.
bool fetchSucceeded(const HttpRequestOptions& fetched);
// Worth another try: no complete answer (connection refused or reset, no
// answer within the time-out, a body broken off), or status 429 or 5xx. A
// body cut at the size cap is final: another try brings the same answer.
bool isTransientFailure(const HttpRequestOptions& fetched);

// The Retry-After of an answer's header block: delay seconds or an HTTP date
// (taken against `now`; a date already past is no wait). None when the header
// is missing or unreadable.
std::optional<std::chrono::milliseconds> retryAfter(std::string_view responseHeaders,
                                                    std::chrono::system_clock::time_point now);

// The back-off before try `retry` (1 for the first retry): base × 2^(retry−1),
// jittered to a random point between its half and its whole.
std::chrono::milliseconds backoffDelay(const RetryPolicy& policy, int retry);

// Waits `wait` in short slices; false as soon as `stop` says so or transfers
// are aborted (then at once, whatever is left of the wait).
bool waitUnlessStopped(std::chrono::milliseconds wait, const std::function<bool()>& stop);

// fetch, then up to policy.retries more tries while the outcome is transient.
// The tries carry policy.load when it belongs to a load; its cancel ends the
// wait and the try under way.
// `options` holds the last try's outcome; the result is that try's text.
Text fetchWithRetry(std::string_view url, HttpRequestOptions& options, const RetryPolicy& policy);
// As above when a policy is given; a single plain fetch without one.
Text fetchMaybeRetrying(std::string_view url, HttpRequestOptions& options, const RetryPolicy* policy);

} // namespace fw
