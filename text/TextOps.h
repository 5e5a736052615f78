#pragma once
// Byte-exact searching, cutting and splitting of GBK text.
// Positions are 1-based; a search that finds nothing gives -1. Every search
// steps over two-byte characters, so a marker never matches starting on a
// trailing byte. Each operation is one linear scan over the input.
#include "text/Text.h"

namespace fw {

// Position of the first marker at or after `start` (values below 1 count as 1), or -1.
int findText(std::string_view text, std::string_view marker, int start = 1, bool ignoreCase = false);

// Position of the last marker lying wholly in the first (end - 1) bytes, or -1.
// end < 1 (the default) means the whole text (length + 1).
int findLastText(std::string_view text, std::string_view marker, int end = 0, bool ignoreCase = false);

// Text strictly between the first `front` (from `start`) and the next `back` after it;
// empty when either is missing. "#引号" in either marker stands for one double quote.
Text cutBetween(std::string_view text, std::string_view front, std::string_view back, int start = 1,
                bool ignoreCase = false);

// Text before the first marker (searched from `start`); empty when missing.
Text textBeforeFirst(std::string_view text, std::string_view marker, int start = 1, bool ignoreCase = false);

// Text after the last marker (within the first end - 1 bytes); empty when missing.
Text textAfterLast(std::string_view text, std::string_view marker, int end = 0, bool ignoreCase = false);

// Split at `separator`, keeping empty inner pieces and dropping an empty last piece.
TextList splitText(std::string_view text, std::string_view separator);

// Replace every occurrence of `from` (GBK-aware, case-sensitive) by `to`.
Text replaceAll(std::string_view text, std::string_view from, std::string_view to);

// True when `marker` occurs in `text` (GBK-aware, case-sensitive).
inline bool containsText(std::string_view text, std::string_view marker) { return findText(text, marker) != -1; }

// The placeholder that stands for one double quote in cut markers and patterns.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5"; // "#引号" in GBK

} // namespace fw
