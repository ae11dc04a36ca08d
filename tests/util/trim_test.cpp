#include <gtest/gtest.h>

#include <string>

#include "util/trim.h"

namespace qdz::util {
namespace {

using namespace std::string_literals;

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"  uuid-1 \r\n", "uuid-1"},
      {"\x00\x01\x1f a b \x20\x00"s, "a b"},
      {"a \t b", "a \t b"},
      {"\xa0x\xa0", "\xa0x\xa0"},  // non-breaking space of Windows-1251 is a character like any other
      {" \t\r\n ", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Trim(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace qdz::util
