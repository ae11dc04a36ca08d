#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "exchange/json_reading.h"
#include "exchange/marketplace_order.h"

namespace qdz::exchange {
namespace {

// One member "v" of every kind, read as each of the three wanted types.
TEST(JsonReading, ReadsEveryKindOfMemberAsIntegerFloatAndText) {
  const struct {
    std::optional<std::string> member;  // JSON text of "v"; nullopt for a missing member
    std::int64_t asInteger;
    double asFloat;
    std::string asText;
  } cases[] = {
      {std::nullopt, 0, 0.0, ""},
      {"null", 0, 0.0, ""},
      {"42", 42, 42.0, "42"},
      {"-7", -7, -7.0, "-7"},
      {"9223372036854775807", INT64_MAX, 9223372036854775807.0, "9223372036854775807"},
      {"2.5", 2, 2.5, "2.5"},
      {"3.5", 4, 3.5, "3.5"},
      {"-2.5", -2, -2.5, "-2.5"},
      {"2.51", 3, 2.51, "2.51"},
      {"1e300", 0, 1e300, "1e+300"},
      {"true", 1, 1.0, "true"},
      {"false", 0, 0.0, "false"},
      {R"("12345")", 12345, 12345.0, "12345"},
      {R"("-12")", -12, -12.0, "-12"},
      {R"(" 17")", 17, 17.0, " 17"},
      {R"("12a")", 0, 0.0, "12a"},
      {R"("2.5")", 0, 2.5, "2.5"},
      {R"("-.5e1")", 0, -5.0, "-.5e1"},
      {R"("2,5")", 0, 0.0, "2,5"},
      {R"("0x10")", 0, 0.0, "0x10"},
      {R"("inf")", 0, 0.0, "inf"},
      {R"("")", 0, 0.0, ""},
      {R"("a\"b\\c\nd")", 0, 0.0, "a\"b\\c\nd"},
      {R"("\u0416")", 0, 0.0, "\xD0\x96"},
      {R"({"a": 1, "b": "x"})", 0, 0.0, R"({"a":1,"b":"x"})"},
      {"[1, 2]", 0, 0.0, "[1,2]"},
  };
  for (const auto& c : cases) {
    const std::string text = c.member ? "{\"v\": " + *c.member + "}" : "{\"other\": 1}";
    const Json object = Json::parse(text);
    EXPECT_EQ(ReadInt64(object, "v"), c.asInteger) << text;
    EXPECT_EQ(ReadFloat(object, "v"), c.asFloat) << text;
    EXPECT_EQ(ReadText(object, "v"), c.asText) << text;
  }
}

TEST(JsonReading, Int32KeepsTheLowBitsOfTheWholeValue) {
  EXPECT_EQ(ReadInt32(Json::parse(R"({"v": 4294967299})"), "v"), 3);
  EXPECT_EQ(ReadInt32(Json::parse(R"({"v": -1})"), "v"), -1);
  EXPECT_EQ(ReadInt32(Json::parse(R"({"v": 2147483648})"), "v"), INT32_MIN);
}

TEST(JsonReading, MembersOfSomethingOtherThanAnObjectReadAsNothing) {
  EXPECT_EQ(ReadInt64(Json::parse("[1]"), "v"), 0);
  EXPECT_EQ(ReadText(Json::parse("\"v\""), "v"), "");
}

TEST(JsonReading, OnlyTheFirstValueOfTheTextIsRead) {
  EXPECT_EQ(ParseFirstJsonValue(R"({"list": [1]} and then some text)"), Json::parse(R"({"list": [1]})"));
  EXPECT_EQ(ParseFirstJsonValue(R"( {"a": 1}{"a": 2})"), Json::parse(R"({"a": 1})"));
  EXPECT_EQ(ParseFirstJsonValue("[1,2]]"), Json::parse("[1,2]"));
}

TEST(JsonReading, TextWithoutALeadingValueFails) {
  for (const char* text : {"", "   ", "ResultCode=500 (Internal Server Error)\r\n", "{\"list\": [", "}"})
    EXPECT_THROW(ParseFirstJsonValue(text), Json::exception) << text;
}

std::string Nested(std::size_t levels, const std::string& inner = "") {
  return std::string(levels, '[') + inner + std::string(levels, ']');
}

TEST(JsonReading, FirstValueNestedDeeperThanTheLimitIsRefused) {
  const struct {
    std::string text;
    bool refused;
  } cases[] = {
      {Nested(kMaxJsonDepth), false},
      {Nested(kMaxJsonDepth + 1), true},
      {"  \r\n" + Nested(kMaxJsonDepth + 1), true},
      {"\xEF\xBB\xBF" + Nested(kMaxJsonDepth + 1), true},
      {"{\"a\":" + Nested(kMaxJsonDepth) + "}", true},
      // Brackets inside strings, escaped quotes included, are no nesting.
      {"[\"" + std::string(2000, '[') + "\\\"" + std::string(2000, '{') + "\"]", false},
      // Only the first value counts, as only the first value is read.
      {"[1] " + Nested(kMaxJsonDepth + 1), false},
      {"\"text\" " + Nested(kMaxJsonDepth + 1), false},
  };
  for (const auto& c : cases) {
    if (c.refused) {
      EXPECT_THROW(ParseFirstJsonValue(c.text), std::runtime_error) << c.text.substr(0, 40);
    } else {
      EXPECT_NO_THROW(ParseFirstJsonValue(c.text)) << c.text.substr(0, 40);
    }
  }
}

// Found by fuzzing: a text member nested this deep was written out recursively and overflowed
// the stack, taking the whole service down with one hostile answer.
TEST(OrderList, AnswerNestedAMillionLevelsDeepFailsWithTheReadersMessage) {
  const std::string answer = R"({"list": [{"id": 1, "status_id": 3, "fio": )" + Nested(1'000'000) + "}]}";
  try {
    ReadOrderList(answer);
    FAIL() << "the answer was read";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "orders answer is not JSON: JSON nested deeper than 512 levels");
  }
}

TEST(OrderList, AnswerOfUsualDepthIsRead) {
  const std::string answer = R"({"list": [{"id": 7, "fio": [[["a"]]], "items": [{"id": 1}]}]})";
  const Json list = ReadOrderList(answer);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(ReadOrder(list[0], 0).fio, R"([[["a"]]])");
}

}  // namespace
}  // namespace qdz::exchange
