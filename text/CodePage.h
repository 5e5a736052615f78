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

} // namespace fw

namespace fw {
// GBK form of a UTF-8 literal of the source code, e.g. gbk("配置.ini").
// Hot paths keep the result in a static.
inline Text gbk(std::string_view utf8Literal) { return utf8ToGbk(utf8Literal); }
} // namespace fw
