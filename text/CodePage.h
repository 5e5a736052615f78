#pragma once
// Code-page conversions between GBK (code page 936), UTF-8 and UTF-16LE (iconv).
// Characters GBK cannot hold become "?"; results end at the first zero character.
#include "text/Text.h"

namespace fw {

Text utf8ToGbk(std::string_view utf8);
std::string gbkToUtf8(std::string_view gbk);
// UTF-16LE bytes followed by a two-byte zero terminator, unless dropTerminator.
std::string gbkToUtf16(std::string_view gbk, bool dropTerminator = false);
Text utf16ToGbk(std::string_view utf16le);

// Decode `bytes` from the named character set into GBK ("?" for what GBK cannot
// hold). The names of GBK and GB2312 (any letter case) read as code page 936.
// Returns false (and leaves `out` empty) when iconv does not know the charset.
bool charsetToGbk(std::string_view bytes, const std::string& charset, Text& out);

// Every byte >= 0x81 leads a pair whose trail is 0x40-0x7E or 0x80-0xFE. The
// conversions write the euro sign as the single byte 0x80 (code page 936);
// the text searches take every byte >= 0x80 as part of a pair, so text that
// must cut cleanly is asked to hold no 0x80 (allowEuro false).
inline bool isWellFormedGbk(std::string_view s, bool allowEuro = true)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 || (c == 0x80 && allowEuro))
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 == s.size())
            return false;
        const unsigned char t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF)
            return false;
    }
    return true;
}

} // namespace fw

namespace fw {
// GBK form of a UTF-8 literal of the source code, e.g. gbk("配置.ini").
// Hot paths keep the result in a static.
inline Text gbk(std::string_view utf8Literal) { return utf8ToGbk(utf8Literal); }
} // namespace fw
