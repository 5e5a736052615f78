#pragma once
// The configuration file "配置.ini": a private-profile file in GBK.
// Section and key names match without regard to ASCII letter case; values are
// trimmed; lines are written with CR LF; LF-only files are read. Values are cut
// at 10,239 bytes on read. Writes are atomic (temporary file + rename) and the
// file is created with mode 0600. Sections and keys added by hand are kept.
#include "text/Text.h"
#include <mutex>
#include <string>

namespace fw {

class ConfigFile {
public:
    static constexpr size_t kMaxValueBytes = 10239;

    explicit ConfigFile(std::string path);  // the file's full path (UTF-8 file-system name)
    const std::string& path() const { return m_path; }

    Text read(std::string_view section, std::string_view key) const;
    bool write(std::string_view section, std::string_view key, std::string_view value);
    bool deleteSection(std::string_view section);
    bool exists() const;

private:
    std::string m_path;
    mutable std::mutex m_mutex;
};

} // namespace fw
