#include "text/RegexMatcher.h"

#include "text/CodePage.h"
#include "text/TextOps.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace fw {

namespace {

// Bounds on one match attempt: a pattern that backtracks without end stops at
// the match limit (about 10 ms with the JIT) and counts as not matching; the
// heap limit caps the interpreter's backtracking memory.
constexpr uint32_t kMatchLimit = 10'000'000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024; // address space; pages are taken as used

// Length of the UTF-8 character starting at s[i] (1 for a stray byte).
size_t charLength(const std::string& s, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + n > s.size()) n = s.size() - i;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return k;
    return n;
}

Text withQuotes(std::string_view pattern)
{
    Text out;
    size_t from = 0;
    for (;;) {
        // The placeholder starts with "#", which is never the second byte of a
        // two-byte character, so a plain byte search keeps to character boundaries.
        const size_t at = pattern.find(kQuotePlaceholder, from);
        out.append(pattern.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return out;
        out += '"';
        from = at + kQuotePlaceholder.size();
    }
}

// Compiling (and JIT-compiling) a pattern costs far more than running it over a
// page, and the program runs the same few patterns again and again: each thread
// keeps its most recent compiled patterns.
struct CompiledPattern {
    pcre2_code* code = nullptr;
    bool jit = false;
    ~CompiledPattern() { pcre2_code_free(code); }
};

std::shared_ptr<const CompiledPattern> compiledPattern(const std::string& utf8Pattern, uint32_t flags)
{
    constexpr size_t kCacheSize = 16;
    struct Entry {
        std::string pattern;
        uint32_t flags;
        std::shared_ptr<const CompiledPattern> compiled;
    };
    thread_local std::vector<Entry> cache;
    for (size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].flags == flags && cache[i].pattern == utf8Pattern) {
            std::rotate(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(i),
                        cache.begin() + static_cast<std::ptrdiff_t>(i) + 1); // most recent first
            return cache.front().compiled;
        }
    }

    // Only a line feed ends a line: "." matches a carriage return.
    pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
    if (!cctx) return nullptr;
    pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    auto compiled = std::make_shared<CompiledPattern>();
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data()), utf8Pattern.size(), flags,
                                   &error, &errorOffset, cctx);
    pcre2_compile_context_free(cctx);
    if (!compiled->code) return nullptr;
    compiled->jit = pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE) == 0;

    if (cache.size() >= kCacheSize) cache.pop_back();
    cache.insert(cache.begin(), Entry{utf8Pattern, flags, compiled});
    return compiled;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether pattern[at] (a "{") starts {n}, {n,} or {n,m}.
bool startsRepetition(std::string_view pattern, size_t at)
{
    size_t i = at + 1;
    const size_t firstDigit = i;
    while (i < pattern.size() && isDigit(pattern[i]))
        ++i;
    if (i == firstDigit || i == pattern.size())
        return false;
    if (pattern[i] == '}')
        return true;
    if (pattern[i] != ',')
        return false;
    ++i;
    while (i < pattern.size() && isDigit(pattern[i]))
        ++i;
    return i < pattern.size() && pattern[i] == '}';
}

// Index just after the escape whose backslash is at pattern[i]: "\Q" runs to
// "\E" (or the end), "\c" takes the next character, and "\p{", "\P{", "\g{",
// "\k{", "\o{" and "\N{U+" take their brace.
size_t escapeEnd(std::string_view pattern, size_t i)
{
    if (i + 1 >= pattern.size())
        return pattern.size();
    const char c = pattern[i + 1];
    if (c == 'Q') {
        const size_t end = pattern.find("\\E", i + 2);
        return end == std::string_view::npos ? pattern.size() : end + 2;
    }
    const bool takesBrace = c == 'p' || c == 'P' || c == 'g' || c == 'k' || c == 'o' ||
                            (c == 'N' && pattern.substr(i + 2, 3) == "{U+");
    if (i + 2 < pattern.size() && (c == 'c' || (takesBrace && pattern[i + 2] == '{')))
        return i + 3;
    return i + 2;
}

// Index just after the character class that opens at pattern[i] (the end of
// the pattern when it is not closed).
size_t classEnd(std::string_view pattern, size_t i)
{
    ++i;
    if (i < pattern.size() && pattern[i] == '^')
        ++i;
    if (i < pattern.size() && pattern[i] == ']')
        ++i; // a "]" first in the class is one of its members
    while (i < pattern.size() && pattern[i] != ']') {
        if (pattern[i] == '\\') {
            i = escapeEnd(pattern, i);
            continue;
        }
        // [:alpha:], [.x.] and [=x=] hold a "]" of their own.
        if (pattern[i] == '[' && i + 1 < pattern.size() &&
            (pattern[i + 1] == ':' || pattern[i + 1] == '.' || pattern[i + 1] == '=')) {
            const size_t close = pattern.find(std::string{pattern[i + 1], ']'}, i + 2);
            if (close != std::string_view::npos) {
                i = close + 2;
                continue;
            }
        }
        ++i;
    }
    return i < pattern.size() ? i + 1 : i;
}

} // namespace

namespace detail {

std::string escapeLiteralBraces(std::string_view pattern)
{
    std::string out;
    out.reserve(pattern.size() + 8);
    size_t i = 0;
    while (i < pattern.size()) {
        size_t next = i + 1;
        if (pattern[i] == '\\')
            next = escapeEnd(pattern, i);
        else if (pattern[i] == '[')
            next = classEnd(pattern, i);
        else if (pattern[i] == '{' && !startsRepetition(pattern, i))
            out += '\\';
        out.append(pattern.substr(i, next - i));
        i = next;
    }
    return out;
}

} // namespace detail

struct RegexMatcher::Impl {
    Text pattern;
    bool searched = false; // a pattern was accepted and run
    bool global = true;
    Text subject;          // GBK, as given
    std::string utf8;      // what the engine matched
    uint32_t groups = 0;   // capture groups of the pattern
    // Per match, (start, end) UTF-8 offsets of the whole match and each group;
    // PCRE2_UNSET for a group that took no part.
    std::vector<PCRE2_SIZE> spans;
    size_t matches = 0;

    // Last UTF-8 → GBK offset conversion, so ascending queries stay linear.
    mutable size_t mapUtf8 = 0;
    mutable size_t mapGbk = 0;

    pcre2_jit_stack* jitStack = nullptr;

    ~Impl()
    {
        if (jitStack) pcre2_jit_stack_free(jitStack);
    }

    void reset()
    {
        searched = false;
        subject.clear();
        utf8.clear();
        groups = 0;
        spans.clear();
        matches = 0;
        mapUtf8 = mapGbk = 0;
    }

    const PCRE2_SIZE* span(size_t match, uint32_t group) const
    {
        return &spans[(match * (groups + 1) + group) * 2];
    }

    int gbkOffset(size_t utf8Offset) const
    {
        if (utf8Offset < mapUtf8) mapUtf8 = mapGbk = 0;
        mapGbk += utf8ToGbk(std::string_view(utf8).substr(mapUtf8, utf8Offset - mapUtf8)).size();
        mapUtf8 = utf8Offset;
        return static_cast<int>(mapGbk);
    }

    Text piece(const PCRE2_SIZE* s) const
    {
        if (s[0] == PCRE2_UNSET || s[1] < s[0]) return {};
        return utf8ToGbk(std::string_view(utf8).substr(s[0], s[1] - s[0]));
    }
};

RegexMatcher::RegexMatcher() : m_impl(std::make_unique<Impl>()) {}
RegexMatcher::~RegexMatcher() = default;

bool RegexMatcher::search(std::string_view pattern, std::string_view subject, const RegexOptions& options)
{
    Impl& d = *m_impl;
    d.reset();
    d.pattern = options.quotePlaceholder ? withQuotes(pattern) : Text(pattern);
    d.global = options.global;

    const std::string utf8Pattern = detail::escapeLiteralBraces(gbkToUtf8(d.pattern));
    // No PCRE2_UCP: \w, \d and \s stay ASCII as the patterns expect.
    uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX | PCRE2_NEVER_BACKSLASH_C;
    if (!options.caseSensitive) flags |= PCRE2_CASELESS;
    flags |= options.multiLine ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
    const std::shared_ptr<const CompiledPattern> compiled = compiledPattern(utf8Pattern, flags);
    if (!compiled) return false;
    pcre2_code* code = compiled->code;
    const bool jit = compiled->jit;

    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    pcre2_match_context* mctx = pcre2_match_context_create(nullptr);
    if (!md || !mctx) {
        pcre2_match_data_free(md);
        pcre2_match_context_free(mctx);
        return false;
    }
    pcre2_set_match_limit(mctx, kMatchLimit);
    pcre2_set_heap_limit(mctx, kHeapLimitKiB);
    if (jit) {
        if (!d.jitStack) d.jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (d.jitStack) pcre2_jit_stack_assign(mctx, nullptr, d.jitStack);
    }

    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &d.groups);
    d.subject = Text(subject);
    d.utf8 = gbkToUtf8(subject);
    d.searched = true;

    const auto* s = reinterpret_cast<PCRE2_SPTR>(d.utf8.data());
    const size_t len = d.utf8.size();
    const size_t perMatch = 2 * (static_cast<size_t>(d.groups) + 1);
    size_t start = 0;
    while (start <= len) {
        int rc = pcre2_match(code, s, len, start, 0, md, mctx);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) // deep but finite: let the interpreter try
            rc = pcre2_match(code, s, len, start, PCRE2_NO_JIT, md, mctx);
        if (rc < 0) break; // no (further) match, or a limit was hit
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        d.spans.insert(d.spans.end(), ov, ov + perMatch);
        ++d.matches;
        if (!options.global || (options.maxMatches > 0 && d.matches == size_t(options.maxMatches))) break;
        // After an empty match the next search starts one character further on.
        size_t next = ov[1];
        if (ov[1] <= ov[0]) next = ov[0] < len ? ov[0] + charLength(d.utf8, ov[0]) : len + 1;
        if (next <= start) next = start < len ? start + charLength(d.utf8, start) : len + 1;
        start = next;
    }

    pcre2_match_context_free(mctx);
    pcre2_match_data_free(md);
    return true;
}

Text RegexMatcher::pattern() const { return m_impl->pattern; }

Text RegexMatcher::replace(std::string_view replacement) const
{
    const Impl& d = *m_impl;
    if (!d.searched) return {};
    if (d.matches == 0) return d.subject;
    const std::string rep = gbkToUtf8(replacement);
    std::string out;
    size_t copied = 0;
    for (size_t m = 0; m < d.matches; ++m) {
        const PCRE2_SIZE* whole = d.span(m, 0);
        if (whole[0] < copied) continue;
        out.append(d.utf8, copied, whole[0] - copied);
        // "$1".."$99" a group, "$&" the match, "$`" / "$'" the text before / after
        // it, "$$" a dollar sign; any other "$" stands for itself.
        for (size_t i = 0; i < rep.size(); ++i) {
            if (rep[i] != '$' || i + 1 == rep.size()) {
                out += rep[i];
                continue;
            }
            const char c = rep[i + 1];
            if (c == '$') {
                out += '$';
                ++i;
            } else if (c == '&') {
                out.append(d.utf8, whole[0], whole[1] - whole[0]);
                ++i;
            } else if (c == '`') {
                out.append(d.utf8, 0, whole[0]);
                ++i;
            } else if (c == '\'') {
                out.append(d.utf8, whole[1]);
                ++i;
            } else if (c >= '0' && c <= '9') {
                uint32_t g = static_cast<uint32_t>(c - '0');
                size_t used = 1;
                if (i + 2 < rep.size() && rep[i + 2] >= '0' && rep[i + 2] <= '9') {
                    const uint32_t two = g * 10 + static_cast<uint32_t>(rep[i + 2] - '0');
                    if (two >= 1 && two <= d.groups) {
                        g = two;
                        used = 2;
                    }
                }
                if (g >= 1 && g <= d.groups) {
                    const PCRE2_SIZE* grp = d.span(m, g);
                    if (grp[0] != PCRE2_UNSET && grp[1] >= grp[0]) out.append(d.utf8, grp[0], grp[1] - grp[0]);
                    i += used;
                } else {
                    out += '$';
                }
            } else {
                out += '$';
            }
        }
        copied = std::max<size_t>(copied, whole[1]);
    }
    out.append(d.utf8, copied);
    return utf8ToGbk(out);
}

int RegexMatcher::matchCount() const { return static_cast<int>(m_impl->matches); }

Text RegexMatcher::matchText(int n, int* position) const
{
    const Impl& d = *m_impl;
    if (position) *position = -1;
    if (n < 1 || static_cast<size_t>(n) > d.matches) return {};
    const PCRE2_SIZE* s = d.span(static_cast<size_t>(n - 1), 0);
    if (position) *position = d.gbkOffset(s[0]);
    return d.piece(s);
}

Text RegexMatcher::groupText(int n, int g, int* position) const
{
    const Impl& d = *m_impl;
    if (position) *position = -1;
    if (n < 1 || static_cast<size_t>(n) > d.matches || g < 1 || static_cast<uint32_t>(g) > d.groups) return {};
    const PCRE2_SIZE* s = d.span(static_cast<size_t>(n - 1), static_cast<uint32_t>(g));
    if (s[0] == PCRE2_UNSET) return {};
    // The group's own offset (not the first place its text occurs in the match).
    if (position) *position = d.gbkOffset(s[0]);
    return d.piece(s);
}

int RegexMatcher::groupCount() const { return m_impl->matches > 0 ? static_cast<int>(m_impl->groups) : 0; }

} // namespace fw
