#include "net/ConnectionPool.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace fw::net {

namespace {

using Clock = std::chrono::steady_clock;

struct Idle {
    std::string key;
    std::thread::id thread;   // the thread that used it last
    CURLM* multi = nullptr;
    Clock::time_point since;
};

std::mutex g_poolMutex;
std::vector<Idle>& idleHandles() // guarded by g_poolMutex; oldest first
{
    static auto* idle = new std::vector<Idle>; // lives as long as the process
    return *idle;
}

// Moves the entries idle for too long out of the pool (to be closed without the lock).
void takeExpired(std::vector<Idle>& idle, std::vector<CURLM*>& closing, Clock::time_point now)
{
    const auto limit = std::chrono::seconds(kMaxIdleSeconds);
    for (auto it = idle.begin(); it != idle.end();) {
        if (now - it->since >= limit) {
            closing.push_back(it->multi);
            it = idle.erase(it);
        } else {
            ++it;
        }
    }
}

void closeAll(const std::vector<CURLM*>& closing)
{
    for (CURLM* multi : closing)
        curl_multi_cleanup(multi);
}

std::mutex g_shareLocks[CURL_LOCK_DATA_LAST];

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*)
{
    g_shareLocks[data].lock();
}

void unlockShare(CURL*, curl_lock_data data, void*)
{
    g_shareLocks[data].unlock();
}

} // namespace

std::string poolKey(std::string_view url, std::string_view proxy)
{
    const size_t scheme = url.find("://");
    const size_t from = scheme == std::string_view::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of("/?#", from);
    std::string key(url.substr(0, end));
    for (char& c : key)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (!proxy.empty()) {
        key += " via ";
        key += proxy;
    }
    return key;
}

CURLM* borrowMulti(const std::string& key)
{
    std::vector<CURLM*> closing;
    CURLM* found = nullptr;
    {
        std::lock_guard lock(g_poolMutex);
        std::vector<Idle>& idle = idleHandles();
        takeExpired(idle, closing, Clock::now());
        const std::thread::id self = std::this_thread::get_id();
        // This thread's own first; else the one of another thread used last
        // (the likeliest still to be open at the server's end).
        auto pick = std::find_if(idle.begin(), idle.end(),
                                 [&](const Idle& i) { return i.key == key && i.thread == self; });
        if (pick == idle.end()) {
            auto last = std::find_if(idle.rbegin(), idle.rend(), [&](const Idle& i) { return i.key == key; });
            if (last != idle.rend())
                pick = std::prev(last.base());
        }
        if (pick != idle.end()) {
            found = pick->multi;
            idle.erase(pick);
        }
    }
    closeAll(closing);
    if (found)
        return found;
    CURLM* multi = curl_multi_init();
    // The one connection of the exchange stays; a redirect's earlier one is closed.
    if (multi)
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 1L);
    return multi;
}

void returnMulti(const std::string& key, CURLM* multi)
{
    std::vector<CURLM*> closing;
    {
        std::lock_guard lock(g_poolMutex);
        std::vector<Idle>& idle = idleHandles();
        const Clock::time_point now = Clock::now();
        takeExpired(idle, closing, now);
        const std::thread::id self = std::this_thread::get_id();
        // One idle connection per origin and thread: a nested fetch's one
        // gives way to the one just returned.
        for (auto it = idle.begin(); it != idle.end();) {
            if (it->key == key && it->thread == self) {
                closing.push_back(it->multi);
                it = idle.erase(it);
            } else {
                ++it;
            }
        }
        idle.push_back(Idle{key, self, multi, now});
        size_t sameOrigin = std::count_if(idle.begin(), idle.end(), [&](const Idle& i) { return i.key == key; });
        for (auto it = idle.begin(); sameOrigin > kMaxIdlePerOrigin && it != idle.end();) {
            if (it->key == key) {
                closing.push_back(it->multi);
                it = idle.erase(it);
                --sameOrigin;
            } else {
                ++it;
            }
        }
    }
    closeAll(closing);
}

void discardMulti(CURLM* multi)
{
    if (multi)
        curl_multi_cleanup(multi);
}

CURLSH* sharedCaches()
{
    static CURLSH* const share = [] {
        CURLSH* s = curl_share_init();
        if (!s)
            return s;
        const bool ok = curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lockShare) == CURLSHE_OK &&
                        curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlockShare) == CURLSHE_OK &&
                        curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK &&
                        curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK;
        if (!ok) {
            curl_share_cleanup(s);
            return static_cast<CURLSH*>(nullptr);
        }
        return s; // used by every later fetch: never cleaned up
    }();
    return share;
}

size_t closeIdleConnections()
{
    std::vector<CURLM*> closing;
    {
        std::lock_guard lock(g_poolMutex);
        for (const Idle& i : idleHandles())
            closing.push_back(i.multi);
        idleHandles().clear();
    }
    closeAll(closing);
    return closing.size();
}

} // namespace fw::net
