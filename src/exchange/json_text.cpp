#include "exchange/json_text.h"

#include "util/trim.h"

namespace qdz::exchange {
namespace {

// The short escape of a character, or nullptr when it has none.
const char* ShortEscape(char c) {
  switch (c) {
    case '\\': return "\\\\";
    case '"': return "\\\"";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
  }
}

void AppendUnicodeEscape(unsigned char code, std::string& out) {
  constexpr char kHexDigits[] = "0123456789abcdef";
  out += "\\u00";
  out += kHexDigits[code >> 4];
  out += kHexDigits[code & 0x0F];
}

}  // namespace

std::string JsonEscapeString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    if (const char* escape = ShortEscape(c)) {
      out += escape;
    } else if (const auto code = static_cast<unsigned char>(c); code < 0x20) {
      // Raw control characters are not allowed inside a JSON string.
      AppendUnicodeEscape(code, out);
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonEscape(std::string_view text) { return JsonEscapeString(util::Trim(text)); }

}  // namespace qdz::exchange
