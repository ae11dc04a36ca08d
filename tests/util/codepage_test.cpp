#include <gtest/gtest.h>
#include <iconv.h>

#include <stdexcept>
#include <string>

#include "util/codepage.h"

namespace qdz::util {
namespace {

using namespace std::string_literals;

TEST(Utf8ToCp1251, GivesTheWindows1251Bytes) {
  const struct {
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"Старт службы", "\xd1\xf2\xe0\xf0\xf2\x20\xf1\xeb\xf3\xe6\xe1\xfb"},
      {"АЯаяЁё", "\xc0\xdf\xe0\xff\xa8\xb8"},
      {"€ № — «»", "\x88 \xb9 \x97 \xab\xbb"},
      {"ЂџҐґ", "\x80\x9f\xa5\xb4"},
      {"plain ASCII\r\n\t\x01", "plain ASCII\r\n\t\x01"},
      {"a\x00b"s, "a\x00b"s},
      {"", ""},
      // Characters the code page lacks, of every sequence length.
      {"中文", "??"},
      {"é ü", "? ?"},
      {"x😀y", "x?y"},
      {"\xef\xbf\xbf", "?"},  // U+FFFF, a noncharacter but well formed
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1251(c.utf8), c.expected) << c.utf8;
}

TEST(Utf8ToCp1251, MalformedInputGivesTheEmptyText) {
  const char* cases[] = {
      "ok \x80",              // stray continuation byte
      "ok \xd0",              // truncated two-byte sequence at the end
      "ok \xe2\x82",          // truncated three-byte sequence at the end
      "ok \xd0 more",         // lead byte followed by no continuation
      "ok \xc0\x80",          // overlong NUL
      "ok \xc1\xbf",          // overlong two-byte form
      "ok \xe0\x80\xaf",      // overlong three-byte form of "/"
      "ok \xf0\x82\x82\xac",  // overlong four-byte form of the euro sign
      "ok \xed\xa0\x80",      // surrogate U+D800
      "ok \xed\xbf\xbf",      // surrogate U+DFFF
      "ok \xf4\x90\x80\x80",  // U+110000
      "ok \xf5\x80\x80\x80",  // lead byte beyond the range
      "ok \xff",
      "\xd1\xf2\xe0\xf0\xf2",  // Windows-1251 text given as UTF-8
  };
  for (const char* text : cases) EXPECT_EQ(Utf8ToCp1251(text), "") << text;
}

TEST(Utf8ToCp1251, AcceptsTheEdgesOfEachSequenceLength) {
  // U+0080, U+07FF, U+0800, U+D7FF, U+E000, U+10000, U+10FFFF: all well formed, none in the code page.
  EXPECT_EQ(Utf8ToCp1251("\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"),
            "???????");
}

TEST(Cp1251ToUtf8, GivesUtf8AndAQuestionMarkForTheUndefinedByte) {
  EXPECT_EQ(Cp1251ToUtf8("\xd1\xf2\xe0\xf0\xf2\x20\xf1\xeb\xf3\xe6\xe1\xfb"), "Старт службы");
  EXPECT_EQ(Cp1251ToUtf8("a\x98z"), "a?z");
  EXPECT_EQ(Cp1251ToUtf8("\x88\xb9\xa0"), "€№\u00a0");
  EXPECT_EQ(Cp1251ToUtf8("a\x00\x7f"s), "a\x00\x7f"s);
}

TEST(Cp1251ToUtf8, EveryDefinedByteRoundTrips) {
  for (int code = 0; code < 256; ++code) {
    if (code == 0x98) continue;
    const std::string byte(1, static_cast<char>(code));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(byte)), byte) << code;
  }
}

// The table checked against an independent converter, where the C library has one.
TEST(Cp1251ToUtf8, AgreesWithTheSystemConverter) {
  const iconv_t converter = iconv_open("UTF-8", "CP1251");
  if (converter == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1251 converter";
  for (int code = 0x80; code < 0x100; ++code) {
    if (code == 0x98) continue;
    char in[1] = {static_cast<char>(code)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    ASSERT_NE(iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1)) << code;
    EXPECT_EQ(Cp1251ToUtf8(std::string(1, in[0])), std::string(out, sizeof out - outLeft)) << code;
  }
  iconv_close(converter);
}

TEST(W1251, ConvertsLiteralsAndRejectsThoseWithoutAnExactForm) {
  EXPECT_EQ(W1251("Чтение параметров - ОК"), Utf8ToCp1251("Чтение параметров - ОК"));
  EXPECT_EQ(W1251("ОК"), "\xce\xca");
  EXPECT_EQ(W1251(""), "");
  EXPECT_THROW(W1251("中"), std::logic_error);
  EXPECT_THROW(W1251("ok \xd0"), std::logic_error);
}

}  // namespace
}  // namespace qdz::util
