#pragma once
// Where the program keeps its files on disk. File-system names are UTF-8.
//  - data directory: --data-dir when given; else the executable's directory when
//    it is writable (a portable install); else $XDG_CONFIG_HOME/fundwatch
//    (default ~/.config/fundwatch), created with mode 0700.
//  - configuration file: <data directory>/配置.ini
//  - start-up marker: $XDG_DATA_HOME/fundwatch/记录.txt (default ~/.local/share/…)
#include <string>

namespace fw {

// The running executable's absolute path ("" when /proc/self/exe cannot be read).
std::string executablePath();
// Directory of the running executable ("" when /proc/self/exe cannot be read).
std::string executableDirectory();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config ("" without a home).
std::string configHomeDirectory();

// A folder where installed programs live (/usr/…, /bin, /sbin, /opt/…, /snap/…):
// never the data directory, even when writable.
bool isSystemProgramDirectory(const std::string& dir);
// The data directory as above; "" when no usable directory can be found or made.
std::string dataDirectory(const std::string& overrideDir = {});
// The folder dataDirectory could not use, for the user: the override when
// given, else the default under the configuration home.
std::string unusableDataDirectory(const std::string& overrideDir = {});

std::string configFilePath(const std::string& dataDir);
std::string markerFilePath();

// mkdir -p; new directories get `mode`. True when the directory exists afterwards.
bool makeDirectories(const std::string& path, unsigned mode = 0700);
// Writes every byte of `data` to the open file `fd` (retrying short writes and
// interruptions); false on an error.
bool writeAll(int fd, const std::string& data);

} // namespace fw
