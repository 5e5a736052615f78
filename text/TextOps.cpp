#include "text/TextOps.h"

#include <climits>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Matching strategy: candidates come from a plain byte search;
// each candidate is then checked for lying on a character boundary.
//
// A position is a boundary exactly when the run of bytes >= 0x80 that ends just
// before it, counted back to the last byte < 0x80 (or to a position already
// known to be a boundary), has even length: a byte < 0x80 is never a lead byte,
// so the character holding it ends there, and inside a run of high bytes the
// characters pair up from the run's start. The scan back never passes the last
// known boundary, so the total work stays linear in the text.
//
// A forward search takes its start position as a boundary: the scan begins
// there, as callers continue just after a marker they found. A backward search
// counts boundaries from the start of the text.

namespace fw {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

inline bool high(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

int toPosition(size_t index)
{
    // Texts beyond 2 GB cannot be addressed with int positions.
    return index >= static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(index) + 1;
}

// Byte-exact candidates. Markers of two or more bytes are searched by
// comparing their first and last bytes against 16 or 32 text positions at once
// and checking the rest only where both agree; that pair is rare even when
// the first byte alone (say "<" in a page) is everywhere.

#if defined(__x86_64__) || defined(__i386__)

__attribute__((target("avx2"))) size_t rawFindAvx2(const char* s, size_t n, size_t from, std::string_view m)
{
    const size_t len = m.size();
    const size_t last = n - len; // the last possible start
    const __m256i first = _mm256_set1_epi8(m[0]);
    const __m256i tail = _mm256_set1_epi8(m[len - 1]);
    size_t i = from;
    for (; i + 31 <= last; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + len - 1));
        unsigned mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, tail))));
        while (mask) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(s + i + bit + 1, m.data() + 1, len - 2) == 0)
                return i + bit;
            mask &= mask - 1;
        }
    }
    for (; i <= last; ++i)
        if (s[i] == m[0] && std::memcmp(s + i + 1, m.data() + 1, len - 1) == 0)
            return i;
    return kNone;
}

size_t rawFindSse2(const char* s, size_t n, size_t from, std::string_view m)
{
    const size_t len = m.size();
    const size_t last = n - len;
    const __m128i first = _mm_set1_epi8(m[0]);
    const __m128i tail = _mm_set1_epi8(m[len - 1]);
    size_t i = from;
    for (; i + 15 <= last; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + len - 1));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, tail))));
        while (mask) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(s + i + bit + 1, m.data() + 1, len - 2) == 0)
                return i + bit;
            mask &= mask - 1;
        }
    }
    for (; i <= last; ++i)
        if (s[i] == m[0] && std::memcmp(s + i + 1, m.data() + 1, len - 1) == 0)
            return i;
    return kNone;
}

// Candidates c < before, last first.
__attribute__((target("avx2"))) size_t rawFindLastAvx2(const char* s, size_t before, std::string_view m)
{
    const size_t len = m.size();
    const __m256i first = _mm256_set1_epi8(m[0]);
    const __m256i tail = _mm256_set1_epi8(m[len - 1]);
    size_t i = before;
    for (; i >= 32; i -= 32) {
        const size_t b0 = i - 32;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + b0));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + b0 + len - 1));
        unsigned mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, tail))));
        while (mask) {
            const unsigned bit = 31u - static_cast<unsigned>(__builtin_clz(mask));
            if (std::memcmp(s + b0 + bit + 1, m.data() + 1, len - 2) == 0)
                return b0 + bit;
            mask &= ~(1u << bit);
        }
    }
    while (i > 0) {
        --i;
        if (s[i] == m[0] && std::memcmp(s + i + 1, m.data() + 1, len - 1) == 0)
            return i;
    }
    return kNone;
}

size_t rawFindLastSse2(const char* s, size_t before, std::string_view m)
{
    const size_t len = m.size();
    const __m128i first = _mm_set1_epi8(m[0]);
    const __m128i tail = _mm_set1_epi8(m[len - 1]);
    size_t i = before;
    for (; i >= 16; i -= 16) {
        const size_t b0 = i - 16;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b0));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b0 + len - 1));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, tail))));
        while (mask) {
            const unsigned bit = 31u - static_cast<unsigned>(__builtin_clz(mask));
            if (std::memcmp(s + b0 + bit + 1, m.data() + 1, len - 2) == 0)
                return b0 + bit;
            mask &= ~(1u << bit);
        }
    }
    while (i > 0) {
        --i;
        if (s[i] == m[0] && std::memcmp(s + i + 1, m.data() + 1, len - 1) == 0)
            return i;
    }
    return kNone;
}

bool hasAvx2()
{
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes;
}

#endif

// First c >= from with s[c, c + m) == m; m is not empty.
size_t rawFind(const char* s, size_t n, size_t from, std::string_view m)
{
    if (m.size() > n || from > n - m.size())
        return kNone;
    if (m.size() == 1) {
        const void* hit = std::memchr(s + from, static_cast<unsigned char>(m[0]), n - from);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - s) : kNone;
    }
#if defined(__x86_64__) || defined(__i386__)
    return hasAvx2() ? rawFindAvx2(s, n, from, m) : rawFindSse2(s, n, from, m);
#else
    const void* hit = memmem(s + from, n - from, m.data(), m.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - s) : kNone;
#endif
}

// Last c < before with s[c, c + m) == m, where before + m.size() - 1 <= text length.
size_t rawFindLast(const char* s, size_t before, std::string_view m)
{
    if (m.size() == 1) {
        const void* hit = memrchr(s, static_cast<unsigned char>(m[0]), before);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - s) : kNone;
    }
#if defined(__x86_64__) || defined(__i386__)
    return hasAvx2() ? rawFindLastAvx2(s, before, m) : rawFindLastSse2(s, before, m);
#else
    while (before > 0) {
        const void* hit = memrchr(s, static_cast<unsigned char>(m[0]), before);
        if (!hit)
            return kNone;
        const size_t c = static_cast<size_t>(static_cast<const char*>(hit) - s);
        if (std::memcmp(s + c + 1, m.data() + 1, m.size() - 1) == 0)
            return c;
        before = c;
    }
    return kNone;
#endif
}

// First match of `m` at a character boundary in s[base, n), where `base` is
// itself taken as a boundary (the scan starts there). Case-sensitive.
size_t searchForward(const char* s, size_t n, size_t base, std::string_view m)
{
    if (base > n || m.size() > n - base)
        return kNone;
    size_t known = base; // a boundary no later than the next candidate
    size_t pos = base;
    while (m.size() <= n - pos) {
        const size_t c = rawFind(s, n, pos, m);
        if (c == kNone)
            return kNone;
        size_t r = c;
        while (r > known && high(s[r - 1]))
            --r;
        if (((c - r) & 1) == 0)
            return c;
        // c is the trailing byte of the character led by c - 1.
        known = c + 1;
        pos = c + 1;
    }
    return kNone;
}

// Letter case is folded only where the marker holds a one-byte character: the
// trailing byte of a two-byte character may look like an ASCII letter, and
// folding it would make two different characters compare equal.
struct FoldedMarker {
    std::string lower;
    std::string foldable; // 1 where lower[i] is a one-byte character

    explicit FoldedMarker(std::string_view m) : lower(m), foldable(m.size(), 0)
    {
        for (size_t i = 0; i < m.size();) {
            if (high(m[i])) {
                i += 2;
            } else {
                lower[i] = asciiLower(m[i]);
                foldable[i] = 1;
                ++i;
            }
        }
    }

    bool matchesAt(const char* p) const
    {
        for (size_t j = 0; j < lower.size(); ++j) {
            const char c = foldable[j] ? asciiLower(p[j]) : p[j];
            if (c != lower[j])
                return false;
        }
        return true;
    }
};

size_t searchForwardFold(const char* s, size_t n, size_t base, std::string_view m)
{
    if (base > n || m.size() > n - base)
        return kNone;
    const FoldedMarker fm(m);
    const size_t last = n - m.size();
    for (size_t i = base; i <= last; i += high(s[i]) ? 2 : 1) {
        if (fm.matchesAt(s + i))
            return i;
    }
    return kNone;
}

// Last match of `m` at a character boundary lying wholly in s[0, limit);
// boundaries count from the start of the text.
size_t searchBackward(const char* s, size_t limit, std::string_view m)
{
    if (m.size() > limit)
        return kNone;
    size_t hi = limit - m.size() + 1; // candidates lie in [0, hi)
    // Bytes [runStart, runEnd) are all high and runStart is a boundary.
    size_t runStart = kNone;
    size_t runEnd = 0;
    while (hi > 0) {
        const size_t c = rawFindLast(s, hi, m);
        if (c == kNone)
            return kNone;
        size_t r;
        if (runStart != kNone && c >= runStart && c <= runEnd) {
            r = runStart;
        } else {
            r = c;
            while (r > 0 && high(s[r - 1]))
                --r;
            runStart = r;
            runEnd = c;
        }
        if (((c - r) & 1) == 0)
            return c;
        hi = c;
    }
    return kNone;
}

size_t searchBackwardFold(const char* s, size_t limit, std::string_view m)
{
    if (m.size() > limit)
        return kNone;
    const FoldedMarker fm(m);
    const size_t last = limit - m.size();
    size_t found = kNone;
    for (size_t i = 0; i <= last; i += high(s[i]) ? 2 : 1) {
        if (fm.matchesAt(s + i))
            found = i;
    }
    return found;
}

size_t findIndex(std::string_view text, std::string_view marker, size_t base, bool ignoreCase)
{
    return ignoreCase ? searchForwardFold(text.data(), text.size(), base, marker)
                      : searchForward(text.data(), text.size(), base, marker);
}

size_t findLastIndex(std::string_view text, std::string_view marker, int end, bool ignoreCase)
{
    size_t limit = text.size();
    if (end >= 1 && static_cast<size_t>(end) - 1 < limit)
        limit = static_cast<size_t>(end) - 1;
    return ignoreCase ? searchBackwardFold(text.data(), limit, marker) : searchBackward(text.data(), limit, marker);
}

// Markers spell a double quote as "#引号"; only copy when one can be present.
std::string_view withQuotes(std::string_view marker, Text& storage)
{
    if (marker.find('#') == std::string_view::npos)
        return marker;
    storage = replaceAll(marker, kQuotePlaceholder, "\"");
    return storage;
}

} // namespace

int findText(std::string_view text, std::string_view marker, int start, bool ignoreCase)
{
    const size_t base = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (base >= text.size())
        return -1;
    if (marker.empty())
        return 1; // an empty marker is "found" at the start while anything is left to search
    const size_t i = findIndex(text, marker, base, ignoreCase);
    return i == kNone ? -1 : toPosition(i);
}

int findLastText(std::string_view text, std::string_view marker, int end, bool ignoreCase)
{
    if (marker.empty())
        return -1;
    const size_t i = findLastIndex(text, marker, end, ignoreCase);
    return i == kNone ? -1 : toPosition(i);
}

Text cutBetween(std::string_view text, std::string_view front, std::string_view back, int start, bool ignoreCase)
{
    Text frontStorage, backStorage;
    front = withQuotes(front, frontStorage);
    back = withQuotes(back, backStorage);

    const int p = findText(text, front, start, ignoreCase);
    if (p == -1)
        return {};
    const size_t s = static_cast<size_t>(p) - 1 + front.size(); // 0-based index just after the front marker
    if (s >= text.size() || s >= static_cast<size_t>(INT_MAX))
        return {};
    const int q = findText(text, back, static_cast<int>(s) + 1, ignoreCase);
    if (q == -1)
        return {};
    const size_t qi = static_cast<size_t>(q) - 1;
    if (qi <= s) // an empty back marker reports position 1
        return {};
    return Text(text.substr(s, qi - s));
}

Text textBeforeFirst(std::string_view text, std::string_view marker, int start, bool ignoreCase)
{
    const int p = findText(text, marker, start, ignoreCase);
    if (p == -1)
        return {};
    return Text(text.substr(0, static_cast<size_t>(p) - 1));
}

Text textAfterLast(std::string_view text, std::string_view marker, int end, bool ignoreCase)
{
    const int p = findLastText(text, marker, end, ignoreCase);
    if (p == -1)
        return {};
    return Text(text.substr(static_cast<size_t>(p) - 1 + marker.size()));
}

TextList splitText(std::string_view text, std::string_view separator)
{
    TextList pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    size_t pos = 0;
    for (;;) {
        const size_t c = searchForward(text.data(), text.size(), pos, separator);
        if (c == kNone)
            break;
        pieces.emplace_back(text.substr(pos, c - pos));
        pos = c + separator.size();
    }
    if (pos < text.size())
        pieces.emplace_back(text.substr(pos));
    return pieces;
}

Text replaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty())
        return Text(text);
    Text out;
    size_t pos = 0;
    for (;;) {
        const size_t c = searchForward(text.data(), text.size(), pos, from);
        if (c == kNone)
            break;
        if (out.empty())
            out.reserve(text.size());
        out.append(text.substr(pos, c - pos));
        out.append(to);
        pos = c + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

} // namespace fw
