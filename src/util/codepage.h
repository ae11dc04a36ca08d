#pragma once
// Conversions between UTF-8 and the system's 8-bit Windows-1251 texts. A table of our own, so
// the result is the same byte for byte on every platform.
#include <string>
#include <string_view>

namespace qdz::util {

// Characters that Windows-1251 lacks become "?"; malformed UTF-8 gives the empty text.
std::string Utf8ToCp1251(std::string_view utf8);
// Every byte maps to one character; the one byte Windows-1251 leaves undefined (0x98) becomes "?".
std::string Cp1251ToUtf8(std::string_view cp1251);

// The system's own Cyrillic texts are written in UTF-8 in the sources; this turns such a literal
// into the Windows-1251 bytes that the log, the database and the peers receive.
std::string W1251(std::string_view utf8Literal);

}  // namespace qdz::util
