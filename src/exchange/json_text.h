#pragma once
// Texts placed inside JSON strings of the payloads we build. Works on bytes: Windows-1251 or
// UTF-8 bytes from 0x80 upwards pass unchanged; the caller writes the surrounding quotes.
#include <string>
#include <string_view>

namespace qdz::exchange {

// Escapes backslash, quotation mark, \b \f \n \r \t with their short forms and every other
// control character (codes 0-31) as \u00xx, so the result is always valid inside a JSON string.
std::string JsonEscapeString(std::string_view text);

// The text trimmed (codes 0-32 at both ends) and then escaped as above.
std::string JsonEscape(std::string_view text);

}  // namespace qdz::exchange
