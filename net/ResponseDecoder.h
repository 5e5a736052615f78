#pragma once
#include "text/Text.h"

namespace fw {

// A page whose first 1024 bytes declare a charset other than gbk/gb2312 is
// decoded from it into GBK; everything else is returned byte for byte.
// `undecoded` is the body read as GBK text up to the first zero byte.
Text decodeResponse(std::string_view bodyBytes, std::string_view undecoded);

// The charset a page head declares: group 1 of the first match of
// <meta.+?charset=[^\w]?([-\w]+) (letter case ignored, "." not crossing a line
// feed) over an ASCII head; empty when none.
Text declaredCharset(std::string_view asciiHead);

} // namespace fw
