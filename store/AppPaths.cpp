#include "store/AppPaths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fw {

namespace {

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

// An XDG base directory: the variable when it holds an absolute path (relative
// values are invalid and ignored), else HOME joined with the fallback.
std::string xdgDirectory(const char* variable, const char* homeFallback)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    std::string home = homeDirectory();
    return home.empty() ? std::string() : home + "/" + homeFallback;
}

} // namespace

bool makeDirectories(const std::string& path, unsigned mode)
{
    if (path.empty())
        return false;
    if (isDirectory(path))
        return true;
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        pos = slash + 1;
        if (partial.empty() || isDirectory(partial))
            continue;
        if (::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            return false;
    }
    return isDirectory(path);
}

std::string executablePath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string executableDirectory()
{
    const std::string exe = executablePath();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string configHomeDirectory() { return xdgDirectory("XDG_CONFIG_HOME", ".config"); }

bool isSystemProgramDirectory(const std::string& dir)
{
    for (const std::string system : {"/usr", "/bin", "/sbin", "/opt", "/snap"}) {
        if (dir.compare(0, system.size(), system) == 0 && (dir.size() == system.size() || dir[system.size()] == '/'))
            return true;
    }
    return false;
}

std::string dataDirectory(const std::string& overrideDir)
{
    if (!overrideDir.empty())
        return makeDirectories(overrideDir) ? overrideDir : std::string();
    std::string exeDir = executableDirectory();
    // A portable copy keeps its settings beside itself; an installed one (a
    // system program folder, writable only because root runs it) does not.
    if (!exeDir.empty() && !isSystemProgramDirectory(exeDir) && ::access(exeDir.c_str(), W_OK) == 0)
        return exeDir;
    std::string base = configHomeDirectory();
    if (base.empty())
        return {};
    std::string dir = base + "/fundwatch";
    return makeDirectories(dir) ? dir : std::string();
}

std::string unusableDataDirectory(const std::string& overrideDir)
{
    if (!overrideDir.empty())
        return overrideDir;
    const std::string base = configHomeDirectory();
    return (base.empty() ? std::string("~/.config") : base) + "/fundwatch";
}

bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string configFilePath(const std::string& dataDir)
{
    return (dataDir.empty() ? std::string(".") : dataDir) + "/配置.ini";
}

std::string markerFilePath()
{
    std::string base = xdgDirectory("XDG_DATA_HOME", ".local/share");
    return base.empty() ? std::string() : base + "/fundwatch/记录.txt";
}

} // namespace fw
