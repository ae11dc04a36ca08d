#include <gtest/gtest.h>

#include <limits>

#include "util/numbers.h"

namespace qdz::util {
namespace {

TEST(IntToStr3, PadsToThreeDigitsWithoutCutting) {
  const struct {
    std::int32_t value;
    const char* expected;
  } cases[] = {{0, "000"}, {7, "007"}, {42, "042"}, {100, "100"}, {1234, "1234"}, {-5, "00-5"}};
  for (const auto& c : cases) EXPECT_EQ(IntToStr3(c.value), c.expected) << c.value;
}

TEST(ParseFloat, AcceptsEitherSeparatorSpacesSignAndExponent) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"12.5", 12.5},     {"12,5", 12.5},      {"  12.5  ", 12.5}, {"-0,25", -0.25},
      {"+3", 3.0},        {"-1.5e3", -1500.0}, {"2E-2", 0.02},     {"1e+2", 100.0},
      {".5", 0.5},        {"5.", 5.0},         {",5", 0.5},        {"0", 0.0},
      {"1,000", 1.0},     {"007.50", 7.5},     {"1e-400", 0.0},    {"1.7976931348623157e308", 1.7976931348623157e308},
      {"0.1", 0.1},       {"123456789.123456789", 123456789.123456789},
  };
  for (const auto& c : cases) {
    double value = -1.0;
    EXPECT_TRUE(TryParseFloat(c.text, value)) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
    EXPECT_EQ(ParseFloat(c.text), c.expected) << c.text;
  }
}

TEST(ParseFloat, RejectsAnythingElseAndLeavesTheValueAlone) {
  // Only the first full stop stands for the separator; a second one, or one after a comma, is an error.
  const char* cases[] = {"1.000.5", "1,5.3", "1,5,3", "",     " ",    "abc",   "-",    ".",
                         "1e",      "e5",    "1e+",   "1.5x", "1 5",  "--1",   "+-1",  "1e400",
                         "-1e999",  "0x10",  "inf",   "nan",  "\t1",  "1\n",   "1'000", "1e5.5"};
  for (const char* text : cases) {
    double value = 42.0;
    EXPECT_FALSE(TryParseFloat(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 42.0) << text;
  }
}

TEST(ParseFloat, ErrorNamesTheText) {
  try {
    ParseFloat("1.000.5");
    FAIL() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'1.000.5' is not a valid floating point value");
  }
  EXPECT_THROW(ParseFloat(""), ConvertError);
}

TEST(TryParseInt, AcceptsLeadingSpacesSignAndDigitsWithinRange) {
  const struct {
    const char* text;
    std::int32_t expected;
  } cases[] = {{"0", 0},   {"42", 42},   {"  42", 42}, {"+7", 7}, {"-7", -7}, {"0000000000000000000012", 12},
               {"2147483647", std::numeric_limits<std::int32_t>::max()},
               {"-2147483648", std::numeric_limits<std::int32_t>::min()}};
  for (const auto& c : cases) {
    std::int32_t value = -1;
    EXPECT_TRUE(TryParseInt(c.text, value)) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
  }
}

TEST(TryParseInt, RejectsOtherTextsAndLeavesTheValueAlone) {
  const char* cases[] = {"4.2", "",    "2147483648", "-2147483649", "99999999999999999999", "12 ",
                         "1 2", " ",   "+",          "-",           "- 1",                  "0x10",
                         "$10", "\t5", "1e3",        "12a",         "4294967296"};
  for (const char* text : cases) {
    std::int32_t value = 99;
    EXPECT_FALSE(TryParseInt(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 99) << text;
  }
}

TEST(TryParseInt64, CoversTheWholeSignedRangeAndNoMore) {
  const struct {
    const char* text;
    std::int64_t expected;
  } good[] = {{"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
              {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
              {" 2147483648", 2147483648LL},
              {"-0", 0}};
  for (const auto& c : good) {
    std::int64_t value = -1;
    EXPECT_TRUE(TryParseInt64(c.text, value)) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
  }
  const char* bad[] = {"9223372036854775808", "-9223372036854775809", "18446744073709551616", "12 ", "4.2", ""};
  for (const char* text : bad) {
    std::int64_t value = 5;
    EXPECT_FALSE(TryParseInt64(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 5) << text;
  }
}

}  // namespace
}  // namespace qdz::util
