#pragma once
// Reading and writing JSON values held as GBK text.
//
// The reader takes strict JSON and the JavaScript literal forms the service
// sends: bare member names, single-quoted strings, trailing commas, the
// JavaScript string escapes. Anything else (a call, an operator, a statement,
// two values) is refused; nothing is ever evaluated. Strings stay GBK bytes;
// \uXXXX escapes are converted to GBK ("?" where GBK has no such character).
//
// The writer emits compact JSON with the GBK characters of strings unchanged; a
// stray high byte that starts no two-byte character is written as "?".
#include "text/Text.h"
#include <nlohmann/json.hpp>

namespace fw::json {

using Value = nlohmann::ordered_json;

// One literal value filling the whole text (white space around it allowed).
// False, with `out` unspecified, when the text holds anything else or nests
// deeper than maxDepth arrays/objects.
bool readValue(std::string_view text, Value& out, int maxDepth);

// A quoted string starting at text[pos] (' or "); on success `out` holds its
// GBK content and pos is just past the closing quote.
bool readQuoted(std::string_view text, size_t& pos, Text& out);

// Compact JSON text of v (numbers as JavaScript writes them).
void writeValue(const Value& v, Text& out);

// Second byte of a two-byte GBK character (the first being any byte >= 0x80).
inline bool isTrailByte(unsigned char c) { return c >= 0x40 && c != 0x7F && c != 0xFF; }

// A number as JavaScript writes it: 3, 2.5, 0.000001, 1e-7, 1e+21.
void writeNumber(double v, Text& out);

} // namespace fw::json
