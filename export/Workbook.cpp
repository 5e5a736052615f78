#include "export/Workbook.h"

#include "store/AppPaths.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <xlsxwriter.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <unistd.h>

namespace fw {

namespace {

constexpr double kRowHeight = 18;
constexpr double kFirstColumnWidth = 25;
constexpr double kColumnWidth = 11;
constexpr double kFontSize = 12;
constexpr size_t kMaxCellBytes = 32767; // the file format's longest cell text
constexpr int kCodeColumns = 2;         // A and B keep six-digit codes

// The shortest UTF-8 prefix of at most `limit` bytes that ends on a character.
std::string_view cutUtf8(std::string_view s, size_t limit)
{
    if (s.size() <= limit)
        return s;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

// Why a file could not be written, for the user.
Text causeOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return gbk("没有写入权限");
    case EROFS: return gbk("文件系统只读");
    case ENOSPC:
    case EDQUOT: return gbk("磁盘空间不足");
    case ENOENT:
    case ENOTDIR: return gbk("目录不存在");
    case 0: return gbk("写入出错");
    default: return std::strerror(error);
    }
}

Text failure(const std::string& path, int error)
{
    return gbk("无法写入") + utf8ToGbk(path) + gbk("（") + causeOf(error) + gbk("）");
}

// A hidden name beside `path`: ".<name>.<random digits>.part".
std::string temporaryNameBeside(const std::string& path, std::mt19937_64& random)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + base + "." + std::to_string(random() % 1000000000) + ".part";
}

// Held while a finished workbook takes its name; see endWorkbookWrites.
std::mutex g_namingGate;
bool g_writesEnded = false;

// A fresh file beside `path` that nobody else has; "" when none can be made.
std::string createTemporaryBeside(const std::string& path, int& error)
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = temporaryNameBeside(path, random);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        error = errno;
        if (error != EEXIST)
            return {};
    }
    return {};
}

// The cell formats of the block: header or body, by number format.
class Formats {
public:
    enum NumberFormat { General, Code, WholePercent, Percent, Count };

    explicit Formats(lxw_workbook* book)
    {
        static const char* const numberFormats[Count] = {nullptr, "000000", "0%", "0.00%"};
        for (int header = 0; header < 2; ++header) {
            for (int n = 0; n < Count; ++n) {
                lxw_format* f = workbook_add_format(book);
                format_set_font_name(f, "宋体");
                format_set_font_size(f, kFontSize);
                format_set_border(f, LXW_BORDER_THIN);
                format_set_align(f, LXW_ALIGN_CENTER);
                if (numberFormats[n])
                    format_set_num_format(f, numberFormats[n]);
                if (header)
                    format_set_bold(f);
                m_formats[size_t(header)][size_t(n)] = f;
            }
        }
    }

    lxw_format* of(bool header, int column, const CellValue& value) const
    {
        NumberFormat n = General;
        if (column < kCodeColumns)
            n = Code;
        else if (value.kind == CellValue::Percent)
            n = value.fractionDigits > 0 ? Percent : WholePercent;
        return m_formats[header ? 1 : 0][size_t(n)];
    }

private:
    std::array<std::array<lxw_format*, Count>, 2> m_formats {};
};

} // namespace

CellValue typeCell(std::string_view text)
{
    CellValue value;
    std::string_view number = text;
    const bool percent = !number.empty() && number.back() == '%';
    if (percent)
        number.remove_suffix(1);
    int fractionDigits = 0;
    const std::optional<double> figure = plainDecimal(number, &fractionDigits);
    // A figure too long for a double stays the text it is.
    if (!figure || !std::isfinite(*figure))
        return value;
    const double v = *figure;
    value.kind = percent ? CellValue::Percent : CellValue::Number;
    value.number = percent ? v / 100 : v;
    value.fractionDigits = fractionDigits;
    return value;
}

namespace {

// Where the workbook is written until it is whole. Preferably a file without
// a name in the target's directory (O_TMPFILE), reached through /proc: a
// process killed while writing (the window closed mid-export ends the process
// at once) then leaves nothing behind. It gets a name only once complete.
// Where the file system has no unnamed files, a named temporary takes its place.
class Scratch {
public:
    explicit Scratch(const std::string& path) : m_path(path)
    {
        const size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        m_fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_writePath = "/proc/self/fd/" + std::to_string(m_fd);
            if (::access(m_writePath.c_str(), W_OK) == 0)
                return;
            ::close(m_fd); // no /proc: the named way
            m_fd = -1;
        }
        m_named = createTemporaryBeside(path, m_error);
        m_writePath = m_named;
    }
    ~Scratch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_named.empty())
            ::unlink(m_named.c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // "" when no scratch file could be had (error() says why).
    const std::string& writePath() const { return m_writePath; }
    int error() const { return m_error; }

    // Flushed to disk, then under the target's name: a crash now leaves the
    // old file or the new one. Returns 0 or the errno of the failure.
    int publish()
    {
        if (m_fd >= 0) {
            if (::fsync(m_fd) != 0)
                return errno;
        } else {
            const int fd = ::open(m_named.c_str(), O_RDONLY | O_CLOEXEC);
            const bool synced = fd >= 0 && ::fsync(fd) == 0;
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            if (!synced)
                return error;
        }
        std::lock_guard gate(g_namingGate);
        if (g_writesEnded)
            return ECANCELED;
        if (m_fd >= 0) {
            // A free name beside the target first, then the rename over it: an
            // unnamed file can only be linked to a name nobody has.
            std::random_device seed;
            std::mt19937_64 random(seed());
            for (int attempt = 0; attempt < 8 && m_named.empty(); ++attempt) {
                std::string candidate = temporaryNameBeside(m_path, random);
                if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    m_named = std::move(candidate);
                else if (errno != EEXIST)
                    return errno;
            }
            if (m_named.empty())
                return EEXIST;
        }
        if (::rename(m_named.c_str(), m_path.c_str()) != 0)
            return errno;
        m_named.clear();
        return 0;
    }

private:
    std::string m_path;
    std::string m_writePath;
    std::string m_named;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

void endWorkbookWrites()
{
    std::lock_guard gate(g_namingGate);
    g_writesEnded = true;
}

WriteResult writeWorkbook(const SheetCells& cells, const std::string& path)
{
    Scratch scratch(path);
    if (scratch.writePath().empty())
        return {false, failure(path, scratch.error())};

    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE; // rows go to disk as they are written
    lxw_workbook* book = workbook_new_opt(scratch.writePath().c_str(), &options);
    lxw_worksheet* sheet = book ? workbook_add_worksheet(book, nullptr) : nullptr;
    if (!sheet) {
        if (book)
            workbook_close(book);
        return {false, failure(path, ENOMEM)};
    }

    const Formats formats(book);
    const int columns = cells.columns;
    if (columns > 0) {
        worksheet_set_column(sheet, 0, 0, kFirstColumnWidth, nullptr);
        if (columns > 1)
            worksheet_set_column(sheet, 1, lxw_col_t(columns - 1), kColumnWidth, nullptr);
    }
    worksheet_freeze_panes(sheet, 1, 1);

    std::string utf8;
    for (size_t r = 0; r < cells.rows.size(); ++r) {
        const lxw_row_t row = lxw_row_t(r);
        worksheet_set_row(sheet, row, kRowHeight, nullptr);
        const TextList& texts = cells.rows[r];
        for (int c = 0; c < columns; ++c) {
            const std::string_view text = size_t(c) < texts.size() ? std::string_view(texts[size_t(c)]) : "";
            const CellValue value = typeCell(text);
            lxw_format* format = formats.of(r == 0, c, value);
            const lxw_col_t col = lxw_col_t(c);
            if (text.empty()) {
                worksheet_write_blank(sheet, row, col, format);
            } else if (value.kind != CellValue::Text) {
                worksheet_write_number(sheet, row, col, value.number, format);
            } else {
                utf8 = gbkToUtf8(text);
                worksheet_write_string(sheet, row, col, std::string(cutUtf8(utf8, kMaxCellBytes)).c_str(), format);
            }
        }
    }

    errno = 0;
    if (workbook_close(book) != LXW_NO_ERROR)
        return {false, failure(path, errno)};
    if (const int error = scratch.publish(); error != 0)
        return {false, failure(path, error)};
    return {true, {}};
}

WriteResult replaceFileWhole(const std::string& path, std::string_view content)
{
    Scratch scratch(path);
    if (scratch.writePath().empty())
        return {false, failure(path, scratch.error())};
    const int fd = ::open(scratch.writePath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return {false, failure(path, errno)};
    errno = 0;
    bool ok = writeAll(fd, std::string(content));
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        return {false, failure(path, error)};
    if (const int published = scratch.publish(); published != 0)
        return {false, failure(path, published)};
    return {true, {}};
}

} // namespace fw
