#include "text/JsonText.h"

#include "text/CodePage.h"
#include "text/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

namespace fw::json {

namespace {

inline unsigned char byteAt(const char* p) { return static_cast<unsigned char>(*p); }

inline bool isIdentStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}

inline bool isIdentPart(unsigned char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(uint32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Reader {
public:
    Reader(std::string_view text, int maxDepth)
        : m_p(text.data()), m_end(text.data() + text.size()), m_maxDepth(maxDepth)
    {
    }

    bool readDocument(Value& out)
    {
        skipSpace();
        if (!readAny(out)) return false;
        skipSpace();
        return m_p == m_end;
    }

    // Reads the quoted string at the cursor; m_p ends just past the closing quote.
    bool readString(Text& out)
    {
        const char quote = *m_p++;
        m_pending.clear();
        for (;;) {
            const char* run = m_p;
            while (m_p < m_end) {
                const unsigned char c = byteAt(m_p);
                if (c == static_cast<unsigned char>(quote) || c == '\\' || c == '\n' || c == '\r') break;
                if (c >= 0x80 && m_p + 1 < m_end && isTrailByte(byteAt(m_p + 1)))
                    m_p += 2;
                else
                    ++m_p;
            }
            if (m_p > run) {
                flushPending(out);
                out.append(run, static_cast<size_t>(m_p - run));
            }
            if (m_p == m_end) return false;
            const char c = *m_p;
            if (c == quote) {
                ++m_p;
                flushPending(out);
                return true;
            }
            if (c != '\\') return false; // a raw line break ends no string literal
            ++m_p;
            if (!readEscape(out)) return false;
        }
    }

    const char* cursor() const { return m_p; }

private:
    void skipSpace()
    {
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
                ++m_p;
            else
                break;
        }
    }

    bool readAny(Value& out)
    {
        if (m_p == m_end) return false;
        const char c = *m_p;
        switch (c) {
        case '{': return readObject(out);
        case '[': return readArray(out);
        case '"':
        case '\'': {
            out = Value::string_t();
            return readString(out.get_ref<Value::string_t&>());
        }
        case 't': return readWord("true", out, Value(true));
        case 'f': return readWord("false", out, Value(false));
        case 'n': return readWord("null", out, Value(nullptr));
        default:
            if (isDigit(c) || c == '-' || c == '+' || c == '.') return readNumber(out);
            return false;
        }
    }

    bool readWord(std::string_view word, Value& out, Value value)
    {
        if (static_cast<size_t>(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word) return false;
        m_p += word.size();
        if (m_p < m_end && isIdentPart(byteAt(m_p))) return false; // "nullx", "trueValue"
        out = std::move(value);
        return true;
    }

    bool enter()
    {
        if (m_depth >= m_maxDepth) return false;
        ++m_depth;
        return true;
    }

    bool readArray(Value& out)
    {
        if (!enter()) return false;
        ++m_p; // '['
        out = Value::array();
        auto& items = out.get_ref<Value::array_t&>();
        skipSpace();
        while (m_p < m_end && *m_p != ']') {
            items.emplace_back();
            if (!readAny(items.back())) return false;
            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                skipSpace();
            } else if (m_p < m_end && *m_p != ']') {
                return false;
            }
        }
        if (m_p == m_end) return false;
        ++m_p; // ']'
        --m_depth;
        return true;
    }

    // Member name: quoted, bare identifier, or an unsigned integer.
    bool readKey(Text& key)
    {
        if (m_p == m_end) return false;
        const char c = *m_p;
        if (c == '"' || c == '\'') return readString(key);
        const char* start = m_p;
        if (isIdentStart(byteAt(m_p))) {
            while (m_p < m_end && isIdentPart(byteAt(m_p))) {
                if (byteAt(m_p) >= 0x80 && m_p + 1 < m_end && isTrailByte(byteAt(m_p + 1)))
                    m_p += 2;
                else
                    ++m_p;
            }
        } else if (isDigit(c)) {
            while (m_p < m_end && isDigit(*m_p)) ++m_p;
            if (m_p - start > 1 && *start == '0') return false;
        } else {
            return false;
        }
        key.assign(start, static_cast<size_t>(m_p - start));
        return true;
    }

    bool readObject(Value& out)
    {
        if (!enter()) return false;
        ++m_p; // '{'
        out = Value::object();
        // The object's storage is a vector of (name, value) in text order.
        auto& members = static_cast<Value::object_t::Container&>(out.get_ref<Value::object_t&>());
        // Duplicate names keep their first place and take the last value, as in
        // JavaScript. Large objects get an index so reading stays linear.
        constexpr size_t kLinearLimit = 16;
        std::unordered_map<Text, size_t> index;
        Text key;
        skipSpace();
        while (m_p < m_end && *m_p != '}') {
            key.clear();
            if (!readKey(key)) return false;
            skipSpace();
            if (m_p == m_end || *m_p != ':') return false;
            ++m_p;
            skipSpace();

            size_t found = members.size();
            if (members.size() <= kLinearLimit) {
                for (size_t i = 0; i < members.size(); ++i)
                    if (members[i].first == key) {
                        found = i;
                        break;
                    }
            } else {
                if (index.empty())
                    for (size_t i = 0; i < members.size(); ++i) index.emplace(members[i].first, i);
                if (auto it = index.find(key); it != index.end()) found = it->second;
            }
            if (found < members.size()) {
                Value v;
                if (!readAny(v)) return false;
                members[found].second = std::move(v);
            } else {
                if (!index.empty()) index.emplace(key, members.size());
                members.emplace_back(std::move(key), nullptr);
                if (!readAny(members.back().second)) return false;
            }

            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                skipSpace();
            } else if (m_p < m_end && *m_p != '}') {
                return false;
            }
        }
        if (m_p == m_end) return false;
        ++m_p; // '}'
        --m_depth;
        return true;
    }

    bool readNumber(Value& out)
    {
        bool negative = false;
        if (*m_p == '-' || *m_p == '+') {
            negative = *m_p == '-';
            ++m_p;
        }
        const char* start = m_p;
        const char* p = m_p;
        while (p < m_end && isDigit(*p)) ++p;
        const size_t intDigits = static_cast<size_t>(p - start);
        if (intDigits > 1 && *start == '0') return false; // 012 would be octal in a script
        size_t fracDigits = 0;
        bool isFloat = false;
        if (p < m_end && *p == '.') {
            isFloat = true;
            ++p;
            while (p < m_end && isDigit(*p)) {
                ++p;
                ++fracDigits;
            }
        }
        if (intDigits == 0 && fracDigits == 0) return false;
        if (p < m_end && (*p == 'e' || *p == 'E')) {
            isFloat = true;
            ++p;
            if (p < m_end && (*p == '+' || *p == '-')) ++p;
            if (p == m_end || !isDigit(*p)) return false;
            while (p < m_end && isDigit(*p)) ++p;
        }
        if (p < m_end && isIdentPart(byteAt(p))) return false; // "12px", "1.5e3x"
        m_p = p;

        if (!isFloat && intDigits <= 18) {
            int64_t v = 0;
            for (const char* q = start; q < p; ++q) v = v * 10 + (*q - '0');
            out = negative ? -v : v;
            return true;
        }
        // The span is checked above; out of range reads as infinity or 0.
        const double v = decimalValue(std::string_view(start, static_cast<size_t>(p - start)));
        out = negative ? -v : v;
        return true;
    }

    bool readHex(int digits, uint32_t& value)
    {
        if (m_end - m_p < digits) return false;
        value = 0;
        for (int i = 0; i < digits; ++i) {
            const int d = hexDigit(m_p[i]);
            if (d < 0) return false;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        m_p += digits;
        return true;
    }

    // A character given by code point; non-ASCII ones collect as UTF-8 and
    // are converted to GBK together.
    void appendCodePoint(uint32_t cp, Text& out)
    {
        if (cp < 0x80) {
            flushPending(out);
            out += static_cast<char>(cp);
        } else {
            appendUtf8(cp, m_pending);
        }
    }

    void flushPending(Text& out)
    {
        if (m_pending.empty()) return;
        out += utf8ToGbk(m_pending);
        m_pending.clear();
    }

    // After the backslash.
    bool readEscape(Text& out)
    {
        if (m_p == m_end) return false;
        const char c = *m_p++;
        switch (c) {
        case 'n': appendCodePoint('\n', out); return true;
        case 't': appendCodePoint('\t', out); return true;
        case 'r': appendCodePoint('\r', out); return true;
        case 'b': appendCodePoint('\b', out); return true;
        case 'f': appendCodePoint('\f', out); return true;
        case 'v': appendCodePoint('\v', out); return true;
        case '0':
            if (m_p < m_end && isDigit(*m_p)) return false; // octal escapes are not literals
            appendCodePoint(0, out);
            return true;
        case 'x': {
            uint32_t v = 0;
            if (!readHex(2, v)) return false;
            appendCodePoint(v, out);
            return true;
        }
        case 'u': {
            uint32_t v = 0;
            if (!readHex(4, v)) return false;
            if (v >= 0xD800 && v <= 0xDBFF) {
                // A high surrogate joins the low surrogate of a following \uXXXX.
                uint32_t low = 0;
                const char* save = m_p;
                if (m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u') {
                    m_p += 2;
                    if (readHex(4, low) && low >= 0xDC00 && low <= 0xDFFF) {
                        appendCodePoint(0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00), out);
                        return true;
                    }
                }
                m_p = save;
                flushPending(out);
                out += '?';
                return true;
            }
            if (v >= 0xDC00 && v <= 0xDFFF) {
                flushPending(out);
                out += '?';
                return true;
            }
            appendCodePoint(v, out);
            return true;
        }
        case '\r':
            if (m_p < m_end && *m_p == '\n') ++m_p;
            return true; // line continuation
        case '\n': return true;
        default:
            if (isDigit(c)) return false; // octal escapes are not literals
            // Any other escaped character stands for itself (\" \' \\ \/ ...).
            flushPending(out);
            out += c;
            if (byteAt(m_p - 1) >= 0x80 && m_p < m_end && isTrailByte(byteAt(m_p))) out += *m_p++;
            return true;
        }
    }

    const char* m_p;
    const char* m_end;
    int m_depth = 0;
    int m_maxDepth;
    std::string m_pending; // UTF-8 of escaped non-ASCII characters not yet converted
};

void writeString(const Text& s, Text& out)
{
    static const char* const kHex = "0123456789abcdef";
    out += '"';
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        const char* run = p;
        while (p < end) {
            const unsigned char c = byteAt(p);
            if (c == '"' || c == '\\' || c < 0x20) break;
            if (c >= 0x80) {
                // Keep a two-byte character whole: its second byte may be 0x5C.
                if (p + 1 < end && isTrailByte(byteAt(p + 1))) {
                    p += 2;
                    continue;
                }
                // A high byte that starts no character would pair with the
                // next byte written (a quote's escape, say) when read back.
                break;
            }
            ++p;
        }
        out.append(run, static_cast<size_t>(p - run));
        if (p == end) break;
        const unsigned char c = byteAt(p++);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c >= 0x80) {
                out += '?';
                break;
            }
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    out += '"';
}

} // namespace

bool readValue(std::string_view text, Value& out, int maxDepth)
{
    Reader reader(text, maxDepth);
    return reader.readDocument(out);
}

bool readQuoted(std::string_view text, size_t& pos, Text& out)
{
    if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return false;
    Reader reader(text.substr(pos), 0);
    if (!reader.readString(out)) return false;
    pos += static_cast<size_t>(reader.cursor() - (text.data() + pos));
    return true;
}

void writeNumber(double v, Text& out)
{
    if (!std::isfinite(v)) {
        out += "null"; // as JSON.stringify writes NaN and infinities
        return;
    }
    if (v == 0) {
        out += '0';
        return;
    }
    if (v < 0) {
        out += '-';
        v = -v;
    }
    // Shortest round-trip digits, then laid out as JavaScript's Number#toString.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
    const size_t ePos = sci.find('e');
    std::string digits;
    digits += sci[0];
    if (ePos > 1) digits.append(sci.substr(2, ePos - 2));
    int exp10 = 0;
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exp10);
    const int k = static_cast<int>(digits.size());
    const int n = exp10 + 1;
    if (k <= n && n <= 21) {
        out += digits;
        out.append(static_cast<size_t>(n - k), '0');
    } else if (0 < n && n <= 21) {
        out.append(digits, 0, static_cast<size_t>(n));
        out += '.';
        out.append(digits, static_cast<size_t>(n));
    } else if (-6 < n && n <= 0) {
        out += "0.";
        out.append(static_cast<size_t>(-n), '0');
        out += digits;
    } else {
        out += digits[0];
        if (k > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'e';
        out += n - 1 >= 0 ? '+' : '-';
        out += std::to_string(std::abs(n - 1));
    }
}

void writeValue(const Value& v, Text& out)
{
    switch (v.type()) {
    case Value::value_t::object: {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : v.get_ref<const Value::object_t&>()) {
            if (!first) out += ',';
            first = false;
            writeString(key, out);
            out += ':';
            writeValue(member, out);
        }
        out += '}';
        break;
    }
    case Value::value_t::array: {
        out += '[';
        bool first = true;
        for (const auto& item : v.get_ref<const Value::array_t&>()) {
            if (!first) out += ',';
            first = false;
            writeValue(item, out);
        }
        out += ']';
        break;
    }
    case Value::value_t::string: writeString(v.get_ref<const Value::string_t&>(), out); break;
    case Value::value_t::boolean: out += v.get<bool>() ? "true" : "false"; break;
    case Value::value_t::number_integer: out += std::to_string(v.get<int64_t>()); break;
    case Value::value_t::number_unsigned: out += std::to_string(v.get<uint64_t>()); break;
    case Value::value_t::number_float: writeNumber(v.get<double>(), out); break;
    default: out += "null"; break;
    }
}

} // namespace fw::json
