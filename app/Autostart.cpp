#include "app/Autostart.h"

#include "store/AppPaths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {


std::string autostartEntryPath()
{
    const std::string home = configHomeDirectory();
    return home.empty() ? std::string() : home + "/autostart/fundwatch.desktop";
}

std::string desktopExecValue(const std::string& programPath)
{
    // Inside a quoted argument '"', '`', '$' and '\' take a backslash.
    std::string quoted = "\"";
    for (char c : programPath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    // The value is a string first: its own escapes are undone before the
    // quoting is read, so every backslash is doubled once more.
    std::string value;
    for (char c : quoted) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        case '%': value += "%%"; break;
        default: value += c;
        }
    }
    return value;
}

bool enableStartAtLogin(const std::string& programPath)
{
    struct stat st {};
    if (programPath.empty() || programPath.front() != '/' || ::stat(programPath.c_str(), &st) != 0
        || !S_ISREG(st.st_mode))
        return false;
    const std::string path = autostartEntryPath();
    if (path.empty() || !makeDirectories(path.substr(0, path.rfind('/'))))
        return false;
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=fundwatch\n"
                              "Exec=" + desktopExecValue(programPath) + "\n"
                              "Terminal=false\n";
    // Written aside and renamed over the old entry: there is only ever one,
    // and never a half-written one.
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0644) == 0 && writeAll(fd, entry);
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

bool disableStartAtLogin()
{
    const std::string path = autostartEntryPath();
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

} // namespace fw
