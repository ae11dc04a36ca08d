#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "exchange/json_text.h"

namespace qdz::exchange {
namespace {

TEST(JsonEscape, TrimsAndEscapesEachCharacterOnce) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {" \r\n\tAspirin 500\r\n  ", "Aspirin 500"},
      {"    ", ""},
      {"\x01\x1f value \x00"s, "value"},
      {"a\tb", "a\\tb"},
      {"line1\r\nline2", "line1\\r\\nline2"},
      {"C:\\path\\", "C:\\\\path\\\\"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"\\\"", "\\\\\\\""},
      {"a\bb\fc", "a\\bb\\fc"},
      {"\xc0\xf1\xef\xe8\xf0\xe8\xed \xff", "\xc0\xf1\xef\xe8\xf0\xe8\xed \xff"},  // Windows-1251 bytes pass
      {"\xd0\x90\xd0\xb1", "\xd0\x90\xd0\xb1"},                                    // so do UTF-8 bytes
      {"x\x7fy", "x\x7fy"},
      // Control characters without a short escape would make the JSON invalid if left raw.
      {"a\x01z", "a\\u0001z"},
      {"a\x1bz", "a\\u001bz"},
      {"a\x1fz", "a\\u001fz"},
      {"a\x00z"s, "a\\u0000z"},
      {"a\x0bz", "a\\u000bz"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonEscape(c.text), c.expected) << c.text;
}

TEST(JsonEscape, EveryAsciiCharacterGivesValidJsonThatReadsBack) {
  std::string text = "<";
  for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
  text += ">";
  const auto parsed = nlohmann::json::parse("\"" + JsonEscape(text) + "\"");
  EXPECT_EQ(parsed.get<std::string>(), text);
}

TEST(JsonEscapeString, EscapesWithoutTrimming) {
  EXPECT_EQ(JsonEscapeString(" a\"b\n "), " a\\\"b\\n ");
  EXPECT_EQ(JsonEscapeString(""), "");
}

}  // namespace
}  // namespace qdz::exchange
