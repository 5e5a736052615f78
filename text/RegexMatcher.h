#pragma once
// One regular expression run over one subject (PCRE2, JIT where available).
// Subject and pattern are GBK; matching runs over their UTF-8 form and results
// come back in GBK. Matches and groups are numbered from 1.
// Dialect: "." does not cross a line feed, lazy quantifiers, a "{" that starts
// no repetition is a literal. Matching is bounded: a pathological pattern ends
// with no match, never with a hang.
#include "text/Text.h"
#include <memory>

namespace fw {

struct RegexOptions {
    bool caseSensitive = false;
    bool multiLine = true;
    bool global = true;
    bool quotePlaceholder = false; // "#引号" in the pattern stands for a double quote
    int maxMatches = 0;            // a global search stops after this many matches; 0: no bound
};

class RegexMatcher {
public:
    RegexMatcher();
    ~RegexMatcher();
    RegexMatcher(const RegexMatcher&) = delete;
    RegexMatcher& operator=(const RegexMatcher&) = delete;

    // True when the search ran (also with no match); false when the pattern was refused.
    bool search(std::string_view pattern, std::string_view subject, const RegexOptions& options = {});

    Text pattern() const;
    Text replace(std::string_view replacement) const;
    int matchCount() const;
    // n from 1; "" outside 1..matchCount. position: 0-based byte offset in the subject.
    Text matchText(int n, int* position = nullptr) const;
    Text groupText(int n, int g, int* position = nullptr) const;
    int groupCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

namespace detail {

// The pattern with a backslash before every "{" that starts no {n}, {n,} or
// {n,m}, so that such a brace is a literal on every PCRE2 version (from 10.43
// PCRE2 also reads "{,n}" and "{ n }" as repetitions). Left as they are:
// braces inside a character class or between \Q and \E, braces already
// escaped, and the braces that belong to an escape (\p{..}, \P{..}, \g{..},
// \k{..}, \o{..}, \N{U+..}, and the character after \c). Bytes of two-byte
// characters never equal "{", "[" or "\" in UTF-8, so the scan works on bytes.
std::string escapeLiteralBraces(std::string_view pattern);

} // namespace detail

} // namespace fw
