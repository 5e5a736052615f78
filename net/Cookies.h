#pragma once
// Cookie texts in the form of a "Cookie: " header value: name=value; name=value
#include "text/Text.h"

namespace fw {

// New entries first, then the old ones the response did not set; blanks
// removed; "=deleted" entries dropped; exact duplicates collapsed.
Text mergeCookies(std::string_view oldCookies, std::string_view newCookies);
// Text before the first "=", trimmed of ASCII and full-width (A1 A1) blanks.
Text cookieName(std::string_view entry);
// The text with ASCII and full-width (A1 A1) blanks removed at both ends.
Text trimBlanks(std::string_view text);
// Keep the first occurrence of each element, joined without a trailing separator.
Text dedupeJoined(std::string_view text, std::string_view separator);

} // namespace fw
