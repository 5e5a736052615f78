#pragma once
// Percent-encoding with upper-case hexadecimal digits.
#include "text/Text.h"

namespace fw {

// keepUnreserved: "-", ".", digits and ASCII letters stay literal; every other
// byte (blank, "/", "_", "~", bytes >= 0x80) becomes %XX. asUtf8: encode the
// UTF-8 form of the GBK text instead of its GBK bytes.
Text urlEncode(std::string_view text, bool keepUnreserved = false, bool asUtf8 = false);

// %XX (either letter case) becomes one byte; a "%" not followed by two hex
// digits is copied literally; "+" is not special. fromUtf8: the decoded bytes
// are UTF-8 and are converted to GBK.
Text urlDecode(std::string_view text, bool fromUtf8 = false);

// The script "unescape" on GBK text: "%u" and four hex digits (either letter
// case) becomes that UTF-16 unit in GBK (a surrogate pair one character, what
// GBK cannot hold "?"), "%" and two hex digits that byte; any other "%" is
// copied literally.
Text unescapeText(std::string_view text);

} // namespace fw
