#pragma once
// The configuration file "配置.ini": a private-profile file in GBK.
// Section and key names match without regard to ASCII letter case; values are
// trimmed; lines are written with CR LF; LF-only files are read. Values are cut
// at 10,239 bytes on read (readWhole aside). Writes are atomic (temporary file + rename), take
// turns with other handles and processes (a lock on the directory), leave a
// read-only file alone, and create the file with mode 0600. Sections and keys
// added by hand are kept.
#include "text/Text.h"
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fw {

class ConfigFile {
public:
    static constexpr size_t kMaxValueBytes = 10239;
    // A file larger than this is not ours (or is damaged): it reads as empty and
    // is never rewritten, so a write cannot destroy it.
    static constexpr size_t kMaxFileBytes = 4u << 20;

    explicit ConfigFile(std::string path);  // the file's full path (UTF-8 file-system name)
    const std::string& path() const { return m_path; }

    using KeyValues = std::vector<std::pair<Text, Text>>;

    // "" when the file, the section or the key is missing or the file is unreadable.
    Text read(std::string_view section, std::string_view key) const;
    // As read, without the cut: for values the program writes longer than that
    // (the watchlist), which would otherwise lose their end at the next save.
    Text readWhole(std::string_view section, std::string_view key) const;
    // Every key of every section of that name with its value, in file order (a
    // key listed twice is kept once, with its first value, as read finds it).
    KeyValues readSection(std::string_view section) const;
    // False when nothing was written (unwritable place, unreadable or oversized
    // file, a section or key name that cannot be stored). Line breaks in the value
    // are stored as blanks so that a value never becomes more than one line.
    bool write(std::string_view section, std::string_view key, std::string_view value);
    // Removes every section of that name: its header and every line up to the next
    // section header. True when the section is gone afterwards.
    bool deleteSection(std::string_view section);
    // Replaces every section of that name by one holding exactly these keys, in
    // one write: a reader (or a crash) finds the old section or the new one,
    // never neither. The section stays where its first copy was; a new one goes
    // at the end; no keys removes it. Names and values as for write.
    bool replaceSection(std::string_view section, const KeyValues& keyValues);
    // Reads every key of the section (whole values) and replaces the section by
    // what `edit` makes of them, all under the lock every write takes: a change
    // another handle or process made meanwhile is kept. `edit` returning false
    // writes nothing (true). Names and values as for write.
    bool editSection(std::string_view section, const std::function<bool(KeyValues&)>& edit);
    // Why the last write of this handle failed (the system's words, e.g. "No
    // space left on device"); "" after one that succeeded.
    std::string lastFailure() const;
    bool exists() const;

private:
    Text readValue(std::string_view section, std::string_view key, size_t maxBytes) const;

    std::string m_path;
    mutable std::mutex m_mutex;
    // Keeps the system's reason for a failed write; always false.
    bool fail(int error);
    std::string m_lastFailure;
};

} // namespace fw
