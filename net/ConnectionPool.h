#pragma once
// Connections kept open between fetches, one process-wide pool (libcurl).
//
// A fetch borrows a curl multi handle whose connection cache holds at most
// one idle connection, runs its exchange on a fresh easy handle added to it,
// and gives the multi handle back when the exchange ended cleanly; anything
// else (a failure, an abandoned or cut transfer) discards it, which closes its
// connection. A borrowed handle belongs to one fetch only, so a fetch started
// inside another one on the same thread (events pumped during a transfer)
// never waits for the first one's connection: it borrows another or opens its
// own. Cookies and credentials live in the easy handle and die with it; the
// pool keeps connections, and name lookups and TLS sessions are shared
// process-wide through a locked curl share object.
//
// libcurl's own shared connection cache (CURL_LOCK_DATA_CONNECT) is not safe
// between concurrent threads in the libcurl this program is built against,
// hence a pool of whole multi handles handed from thread to thread under a
// mutex instead.
#include <curl/curl.h>

#include <string>
#include <string_view>

namespace fw::net {

// Idle connections kept per origin: one per thread, and this many at most in
// all (a bulk load's five rows and the window's own fetches).
inline constexpr size_t kMaxIdlePerOrigin = 6;
// An idle connection older than this is closed rather than reused.
inline constexpr long kMaxIdleSeconds = 60;

// "scheme://host:port" of an absolute URL, plus the proxy when there is one.
std::string poolKey(std::string_view url, std::string_view proxy);

// A multi handle for an exchange to `key`: the calling thread's own idle one
// for that origin, else any thread's, else a new one (null when curl has no
// memory for it).
CURLM* borrowMulti(const std::string& key);
// Back to the pool under `key` (the origin its connection was last used for).
void returnMulti(const std::string& key, CURLM* multi);
// Closes the handle's connection for good.
void discardMulti(CURLM* multi);

// The process-wide share of DNS and TLS session caches (null if unavailable).
CURLSH* sharedCaches();

// For tests: closes every idle connection; returns how many there were.
size_t closeIdleConnections();

} // namespace fw::net
