// Escaping of texts placed inside the JSON strings of the payloads we build. Properties, for any
// bytes: the result holds no raw control character and no bare quotation mark, every backslash
// starts a JSON escape, and undoing the escapes gives the input (trimmed, for JsonEscape).
// For UTF-8 input a real JSON reader must read the quoted result back to the same text.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "exchange/json_text.h"
#include "fuzz_support.h"

namespace {

using qdz::fuzz::IsValidUtf8;
using qdz::fuzz::Require;

// Codes 0 to 32 at both ends, written out here rather than taken from the helper under test.
std::string_view TrimmedView(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char ShortEscapeMeaning(char letter) {
  switch (letter) {
    case '\\': return '\\';
    case '"': return '"';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return 0;
  }
}

// Undoes the escapes and checks the form of the escaped text on the way.
std::string Unescape(std::string_view escaped) {
  std::string text;
  for (std::size_t pos = 0; pos < escaped.size(); ++pos) {
    const char c = escaped[pos];
    Require(static_cast<unsigned char>(c) >= 0x20, "no raw control character");
    Require(c != '"', "no bare quotation mark");
    if (c != '\\') {
      text += c;
      continue;
    }
    Require(++pos < escaped.size(), "a backslash is followed by its escape");
    const char letter = escaped[pos];
    if (letter == 'u') {
      Require(escaped.size() - pos > 4, "\\u is followed by four hex digits");
      int code = 0;
      for (std::size_t i = 1; i <= 4; ++i) {
        const int digit = HexValue(escaped[pos + i]);
        Require(digit >= 0, "\\u is followed by four hex digits");
        code = code * 16 + digit;
      }
      Require(code < 0x20, "\\u is used for control characters only");
      text += static_cast<char>(code);
      pos += 4;
    } else {
      const char meaning = ShortEscapeMeaning(letter);
      Require(meaning != 0, "a backslash starts a JSON escape");
      text += meaning;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = qdz::fuzz::InputText(data, size);
  const std::string trimmed(TrimmedView(input));

  const std::string escaped = qdz::exchange::JsonEscape(input);
  Require(Unescape(escaped) == trimmed, "JsonEscape undone gives the trimmed input");
  Require(Unescape(qdz::exchange::JsonEscapeString(input)) == input, "JsonEscapeString undone gives the input");

  if (IsValidUtf8(trimmed)) {
    const auto parsed = nlohmann::json::parse("\"" + escaped + "\"");
    Require(parsed.is_string() && parsed.get<std::string>() == trimmed, "a JSON reader reads the text back");
  }
  return 0;
}
