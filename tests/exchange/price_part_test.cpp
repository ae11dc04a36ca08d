#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "exchange/price_part.h"
#include "util/codepage.h"

namespace qdz::exchange {
namespace {

std::string JsonNumber(std::string_view text) {
  std::string out;
  AppendJsonNumber(out, text);
  return out;
}

TEST(AppendJsonNumber, WritesTheGeneralDecimalForm) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"35.50", "35.5"},      {"41.00", "41"},          {"2.500", "2.5"},       {"12", "12"},
      {"0.0100", "0.01"},     {"-3.10", "-3.1"},        {"-0.00", "0"},         {"0", "0"},
      {"35,50", "35.5"},      {" 35.50  ", "35.5"},     {"007.50", "7.5"},      {".5", "0.5"},
      {"+4", "4"},            {"9223372036854775807", "9223372036854775807"},  // BIGINT stays exact
      {"1234567890.1234", "1234567890.1234"},
      // Doubles carry 15 significant digits; longer texts are rounded like a double.
      {"0.30000000000000004", "0.3"},   {"2.4999999999999996", "2.5"},
      {"12345678901234.5678", "12345678901234.6"},
      // Exponent forms as a double's text may come.
      {"1e-05", "1E-5"},      {"1.5E2", "150"},         {"2.5e+20", "2.5E20"},  {"-0e0", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonNumber(c.text), c.expected) << c.text;
}

// A NULL reads as the empty text; a text column that holds no number must not break the part.
TEST(AppendJsonNumber, WritesNullForWhatIsNoNumber) {
  for (const char* text : {"", "   ", "abc", "1.2.3", "12abc", "1e", "-", ".", "1,5,0", "0x1A", "1e999", "nan"})
    EXPECT_EQ(JsonNumber(text), "null") << text;
}

TEST(PricePart, StartsEveryPartOverWithTheOpeningText) {
  PricePart part("store-1");
  PriceItem item;
  item.id = "1";
  item.price = "1.00";
  item.available = "2";
  part.Add(item);
  item.id = "2";
  part.Add(item);
  const std::string first = part.Finish();
  EXPECT_EQ(part.Count(), 0u);

  item.id = "3";
  part.Add(item);
  const std::string second = part.Finish();

  const auto ids = [](const std::string& text) {
    std::vector<std::string> result;
    const auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json.at("store_id"), "store-1");
    for (const auto& entry : json.at("list")) result.push_back(entry.at("id"));
    return result;
  };
  EXPECT_EQ(ids(first), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(ids(second), (std::vector<std::string>{"3"}));
  EXPECT_EQ(second.rfind("{\"store_id\": \"store-1\",\"list\": [{\"id\": \"3\",", 0), 0u) << second;
}

TEST(PricePart, ConvertsTheFinishedTextToUtf8) {
  PricePart part(util::W1251("склад"));
  PriceItem item;
  item.name = util::W1251("Аскорбиновая кислота №200");
  part.Add(item);
  const auto json = nlohmann::json::parse(part.Finish());  // throws on bytes that are no UTF-8
  EXPECT_EQ(json.at("store_id"), "склад");
  EXPECT_EQ(json.at("list").at(0).at("name"), "Аскорбиновая кислота №200");
}

}  // namespace
}  // namespace qdz::exchange
