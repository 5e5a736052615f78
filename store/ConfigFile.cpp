#include "store/ConfigFile.h"
#include "store/AppPaths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

namespace {

// ---- GBK-aware name handling. A trailing byte of a two-byte character may be
// any byte from 0x40, ']' and ASCII letters included, so every scan steps over
// whole characters.

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

size_t findChar(std::string_view s, char wanted)
{
    for (size_t i = 0; i < s.size(); ++i) {
        if (isGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (s[i] == wanted)
            return i;
    }
    return std::string_view::npos;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (isGbkLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// Cut to at most `limit` bytes without splitting a two-byte character.
std::string_view cutAtCharacter(std::string_view s, size_t limit)
{
    if (s.size() <= limit)
        return s;
    size_t i = 0;
    while (i < limit) {
        const size_t step = isGbkLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
    }
    return s.substr(0, i);
}

// ---- The file as lines. Each line keeps its own terminator so that lines a
// write does not change go back to disk byte for byte.

struct Line {
    std::string body;
    std::string eol; // "\r\n", "\n", "\r" or "" (last line without terminator)
};

std::vector<Line> splitLines(const std::string& content)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        size_t end = nl == std::string::npos ? content.size() : nl;
        size_t bodyEnd = end;
        if (bodyEnd > pos && content[bodyEnd - 1] == '\r')
            --bodyEnd;
        Line line;
        line.body = content.substr(pos, bodyEnd - pos);
        line.eol = content.substr(bodyEnd, (nl == std::string::npos ? end : nl + 1) - bodyEnd);
        lines.push_back(std::move(line));
        pos = nl == std::string::npos ? content.size() : nl + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<Line>& lines)
{
    std::string out;
    for (const Line& line : lines) {
        out += line.body;
        out += line.eol;
    }
    return out;
}

struct Parsed {
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name, value;
};

Parsed parseLine(std::string_view body)
{
    Parsed p;
    std::string_view t = trimmed(body);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return p; // blank line or comment
    if (t.front() == '[') {
        size_t close = findChar(t.substr(1), ']');
        if (close != std::string_view::npos) {
            p.kind = Parsed::Section;
            p.name = trimmed(t.substr(1, close));
        }
        return p; // a "[" without "]" is neither header nor key
    }
    size_t eq = findChar(t, '=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = Parsed::Key;
    p.name = trimmed(t.substr(0, eq));
    p.value = trimmed(t.substr(eq + 1));
    return p;
}

// ---- File access.

enum class Load { Ok, Missing, Failed };

Load loadFile(const std::string& path, std::string& out)
{
    out.clear();
    // O_NONBLOCK: a FIFO in the file's place must not hang the program.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? Load::Missing : Load::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || static_cast<unsigned long long>(st.st_size) > ConfigFile::kMaxFileBytes) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? EFBIG : EINVAL;
        ::close(fd);
        errno = error;
        return Load::Failed;
    }
    out.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            out.clear();
            errno = error;
            return Load::Failed;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > ConfigFile::kMaxFileBytes) { // grew while we read it
            ::close(fd);
            out.clear();
            errno = EFBIG;
            return Load::Failed;
        }
    }
    ::close(fd);
    return Load::Ok;
}


// The new file is written aside as "<name>.saving-XXXXXX" (a name nobody
// gives a backup by hand) and renamed over the old one.
constexpr std::string_view kSavingMark = ".saving-";

// A temporary copy only lives while its writer holds the directory lock; one
// found by the lock's holder was left by a writer that was killed between
// writing it and renaming it, and is removed.
void removeStaleTemporaries(const std::string& dir, const std::string& name)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    auto mkstempChar = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    while (dirent* e = ::readdir(d)) {
        std::string_view entry = e->d_name;
        if (entry.size() != name.size() + kSavingMark.size() + 6 || entry.compare(0, name.size(), name) != 0
            || entry.substr(name.size(), kSavingMark.size()) != kSavingMark)
            continue;
        std::string_view suffix = entry.substr(name.size() + kSavingMark.size());
        bool temporary = true;
        for (char c : suffix)
            temporary = temporary && mkstempChar(c);
        struct stat st {};
        const std::string full = dir + "/" + std::string(entry);
        if (temporary && ::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(full.c_str());
    }
    ::closedir(d);
}

// Replace the file in one step: a reader (or a crash) sees the old or the new
// file, never a half-written one.
bool replaceFile(const std::string& requestedPath, const std::string& content)
{
    if (requestedPath.empty()) { // no data directory: settings go nowhere
        errno = ENOENT;
        return false;
    }
    std::string path = requestedPath;
    // Write through a symbolic link instead of replacing the link itself.
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved))
            return false; // errno says why
        path = resolved;
    }
    // The rename needs only a writable directory: a file the user made
    // read-only (or may not write) is refused as an in-place write would be.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)) {
        errno = EACCES;
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));

    std::string tmp = path + std::string(kSavingMark) + "XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        errno = error; // why, for the user
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd); // the rename itself survives a power cut
        ::close(dfd);
    }
    return true;
}

// Other handles of the same file, and other copies of the program, change it
// too: each read-change-replace holds an exclusive lock on the file's
// directory (the file itself is replaced, so its own lock would not hold).
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& filePath)
    {
        if (filePath.empty())
            return; // no file: every write fails on its own
        const size_t slash = filePath.rfind('/');
        const std::string dir =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : filePath.substr(0, slash));
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            return; // no directory: the write fails on its own
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        removeStaleTemporaries(dir, filePath.substr(slash == std::string::npos ? 0 : slash + 1));
    }
    ~DirectoryLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    int m_fd = -1;
};

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names that would not read back as the same section or key are refused.
bool storableSection(std::string_view trimmedName)
{
    return !trimmedName.empty() && !hasLineBreakOrNul(trimmedName)
        && findChar(trimmedName, ']') == std::string_view::npos;
}

bool storableKey(std::string_view trimmedName)
{
    return !trimmedName.empty() && !hasLineBreakOrNul(trimmedName)
        && findChar(trimmedName, '=') == std::string_view::npos && trimmedName.front() != '['
        && trimmedName.front() != ';' && trimmedName.front() != '#';
}

// A value is one line: it ends at a zero byte, line breaks become blanks.
std::string storableValue(std::string_view value)
{
    std::string stored(value.substr(0, value.find('\0')));
    for (char& c : stored)
        if (c == '\r' || c == '\n')
            c = ' ';
    return stored;
}

// Before lines are added after `line`: it gets a whole line end.
void endLine(Line& line)
{
    if (line.eol.empty() || line.eol == "\r")
        line.eol = "\r\n"; // a last line without one, or a lone CR at the end of the file
}

// Every key of every section of that name with its value (cut at `maxBytes`),
// in file order; a key listed twice is kept once, with its first value.
ConfigFile::KeyValues sectionKeyValues(const std::string& content, std::string_view section, size_t maxBytes)
{
    ConfigFile::KeyValues out;
    bool inSection = false;
    for (const Line& line : splitLines(content)) {
        Parsed p = parseLine(line.body);
        if (p.kind == Parsed::Section)
            inSection = sameName(p.name, section);
        else if (p.kind == Parsed::Key && inSection) {
            bool seen = false;
            for (const auto& kv : out)
                seen = seen || sameName(kv.first, p.name);
            if (seen)
                continue;
            std::string_view value = p.value;
            size_t nul = value.find('\0');
            if (nul != std::string_view::npos)
                value = value.substr(0, nul);
            out.emplace_back(Text(p.name), Text(cutAtCharacter(value, maxBytes)));
        }
    }
    return out;
}

} // namespace

ConfigFile::ConfigFile(std::string path) : m_path(std::move(path)) {}

bool ConfigFile::exists() const
{
    std::lock_guard lock(m_mutex);
    struct stat st {};
    return ::stat(m_path.c_str(), &st) == 0;
}

Text ConfigFile::read(std::string_view section, std::string_view key) const
{
    return readValue(section, key, kMaxValueBytes);
}

Text ConfigFile::readWhole(std::string_view section, std::string_view key) const
{
    return readValue(section, key, std::string::npos);
}

Text ConfigFile::readValue(std::string_view section, std::string_view key, size_t maxBytes) const
{
    section = trimmed(section);
    key = trimmed(key);
    std::string content;
    {
        std::lock_guard lock(m_mutex);
        if (loadFile(m_path, content) != Load::Ok)
            return {};
    }
    bool inSection = false;
    for (const Line& line : splitLines(content)) {
        Parsed p = parseLine(line.body);
        if (p.kind == Parsed::Section)
            inSection = sameName(p.name, section);
        else if (p.kind == Parsed::Key && inSection && sameName(p.name, key)) {
            std::string_view value = p.value;
            size_t nul = value.find('\0');
            if (nul != std::string_view::npos)
                value = value.substr(0, nul);
            return Text(cutAtCharacter(value, maxBytes));
        }
    }
    return {};
}

ConfigFile::KeyValues ConfigFile::readSection(std::string_view section) const
{
    section = trimmed(section);
    std::string content;
    {
        std::lock_guard lock(m_mutex);
        if (loadFile(m_path, content) != Load::Ok)
            return {};
    }
    return sectionKeyValues(content, section, kMaxValueBytes);
}

bool ConfigFile::fail(int error)
{
    m_lastFailure = std::strerror(error);
    return false;
}

bool ConfigFile::write(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimmed(section);
    key = trimmed(key);
    std::lock_guard lock(m_mutex);
    m_lastFailure.clear();
    if (!storableSection(section) || !storableKey(key))
        return fail(EINVAL);
    const std::string storedValue = storableValue(value);

    DirectoryLock fileLock(m_path);
    std::string content;
    const Load loaded = loadFile(m_path, content);
    if (loaded == Load::Failed)
        return fail(errno);
    std::vector<Line> lines = splitLines(content);

    // The first key of that name in a section of that name is the one read back,
    // so it is the one replaced.
    std::vector<Parsed> parsed;
    parsed.reserve(lines.size());
    for (const Line& line : lines)
        parsed.push_back(parseLine(line.body));
    bool inSection = false;
    long firstSection = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Parsed& p = parsed[i];
        if (p.kind == Parsed::Section) {
            inSection = sameName(p.name, section);
            if (inSection && firstSection < 0)
                firstSection = static_cast<long>(i);
        } else if (p.kind == Parsed::Key && inSection && sameName(p.name, key)) {
            std::string newBody = std::string(p.name) + "=" + storedValue;
            if (newBody == lines[i].body)
                return true; // unchanged: nothing to write
            lines[i].body = std::move(newBody);
            lines[i].eol = "\r\n"; // every line the program writes ends in CR LF
            return replaceFile(m_path, joinLines(lines)) || fail(errno);
        }
    }

    // A new key goes after the last key of the first section of that name (blank
    // lines and comments that follow it stay where they are); a new section goes
    // at the end of the file.
    long insertAfter = static_cast<long>(lines.size()) - 1;
    if (firstSection >= 0) {
        insertAfter = firstSection;
        for (long i = firstSection + 1; i < static_cast<long>(lines.size()); ++i) {
            if (parsed[i].kind == Parsed::Section)
                break;
            if (parsed[i].kind == Parsed::Key)
                insertAfter = i;
        }
    }
    std::vector<Line> added;
    if (firstSection < 0)
        added.push_back({"[" + std::string(section) + "]", "\r\n"});
    added.push_back({std::string(key) + "=" + storedValue, "\r\n"});
    if (insertAfter >= 0)
        endLine(lines[insertAfter]);
    lines.insert(lines.begin() + (insertAfter + 1), added.begin(), added.end());
    return replaceFile(m_path, joinLines(lines)) || fail(errno);
}

bool ConfigFile::deleteSection(std::string_view section)
{
    section = trimmed(section);
    std::lock_guard lock(m_mutex);
    m_lastFailure.clear();
    DirectoryLock fileLock(m_path);
    std::string content;
    const Load loaded = loadFile(m_path, content);
    if (loaded == Load::Missing)
        return true;
    if (loaded == Load::Failed)
        return fail(errno);
    std::vector<Line> lines = splitLines(content);
    std::vector<Line> kept;
    kept.reserve(lines.size());
    bool dropping = false, removed = false;
    for (Line& line : lines) {
        Parsed p = parseLine(line.body);
        if (p.kind == Parsed::Section) {
            dropping = sameName(p.name, section);
            removed = removed || dropping;
        }
        if (!dropping)
            kept.push_back(std::move(line));
    }
    if (!removed)
        return true;
    return replaceFile(m_path, joinLines(kept)) || fail(errno);
}

bool ConfigFile::replaceSection(std::string_view section, const KeyValues& keyValues)
{
    return editSection(section, [&](KeyValues& keys) {
        keys = keyValues;
        return true;
    });
}

bool ConfigFile::editSection(std::string_view section, const std::function<bool(KeyValues&)>& edit)
{
    section = trimmed(section);
    std::lock_guard lock(m_mutex);
    m_lastFailure.clear();
    if (!storableSection(section))
        return fail(EINVAL);

    DirectoryLock fileLock(m_path);
    std::string content;
    const Load loaded = loadFile(m_path, content);
    if (loaded == Load::Failed)
        return fail(errno);
    // Whole values: what is written back must not lose the end of a long one.
    KeyValues keyValues = sectionKeyValues(content, section, std::string::npos);
    if (!edit(keyValues))
        return true;

    std::vector<Line> added {{"[" + std::string(section) + "]", "\r\n"}};
    for (const auto& [key, value] : keyValues) {
        const std::string_view name = trimmed(key);
        if (!storableKey(name))
            return fail(EINVAL);
        added.push_back({std::string(name) + "=" + storableValue(value), "\r\n"});
    }
    if (keyValues.empty())
        added.clear();

    std::vector<Line> kept;
    long firstSection = -1; // where the first copy stood among the kept lines
    bool dropping = false;
    for (Line& line : splitLines(content)) {
        Parsed p = parseLine(line.body);
        if (p.kind == Parsed::Section) {
            dropping = sameName(p.name, section);
            if (dropping && firstSection < 0)
                firstSection = static_cast<long>(kept.size());
        }
        if (!dropping)
            kept.push_back(std::move(line));
    }
    if (firstSection < 0)
        firstSection = static_cast<long>(kept.size());
    if (firstSection > 0)
        endLine(kept[firstSection - 1]);
    kept.insert(kept.begin() + firstSection, added.begin(), added.end());
    const std::string replaced = joinLines(kept);
    if (replaced == content)
        return true; // unchanged: nothing to write
    if (loaded == Load::Missing && replaced.empty())
        return true;
    return replaceFile(m_path, replaced) || fail(errno);
}

std::string ConfigFile::lastFailure() const
{
    std::lock_guard lock(m_mutex);
    return m_lastFailure;
}

} // namespace fw
