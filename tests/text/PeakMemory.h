#pragma once
// Runs a piece of work in a forked child and reports how far it raised the
// child's peak resident size above what the child held when the work began,
// and how long it took. The child starts from a copy of the caller, so input
// built before the call is already resident and does not count.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fw::testing {

struct PeakUse {
    bool ran = false;      // the child finished the work and reported
    long long bytes = 0;   // peak resident size during the work minus resident size before
    double seconds = 0;
};

namespace detail {

// A field of /proc/self/status in bytes ("VmHWM", "VmRSS"); -1 when unreadable.
inline long long statusBytes(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long long kib = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':')
            kib = std::atoll(line + n + 1);
    std::fclose(f);
    return kib < 0 ? -1 : kib * 1024;
}

} // namespace detail

inline PeakUse measurePeak(const std::function<void()>& work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        close(fds[0]);
        // A fork shares the parent's pages until they are written: touch
        // nothing more, reset the peak to what is resident now, then work.
        if (int fd = open("/proc/self/clear_refs", O_WRONLY); fd >= 0) {
            (void)!write(fd, "5", 1);
            close(fd);
        }
        const long long before = detail::statusBytes("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        work();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long long peak = detail::statusBytes("VmHWM");
        char out[64];
        const int len = std::snprintf(out, sizeof out, "%lld %f", peak - before, seconds);
        (void)!write(fds[1], out, size_t(len));
        _exit(before < 0 || peak < 0 ? 2 : 0);
    }
    close(fds[1]);
    std::string text;
    char buffer[64];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    PeakUse use;
    use.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0
        && std::sscanf(text.c_str(), "%lld %lf", &use.bytes, &use.seconds) == 2;
    return use;
}

inline constexpr long long kMiB = 1024 * 1024;

// Built with a sanitizer (GCC's and clang's ways of telling): resident sizes
// include shadow memory and quarantine, and everything runs several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
#else
inline constexpr bool kSanitizedBuild = false;
#endif

} // namespace fw::testing
