// The send data of a queued status change and the body built from it. Properties:
// - reading either gives a status change or fails with one of the row's end texts, nothing else;
// - the whole numbers agree with a second, independent reading of the same lines;
// - the body built from a status change that was read is valid JSON carrying the order number,
//   the status, the reservation end and one item object per element of "items".
#include <charconv>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "exchange/senddata.h"
#include "exchange/status_change.h"
#include "fuzz_support.h"
#include "util/codepage.h"
#include "util/numbers.h"

namespace {

using qdz::fuzz::Require;
using Json = nlohmann::json;

constexpr std::string_view kEndTexts[] = {"order_id is incorrect", "status_id is incorrect",
                                          "items is incorrect", "cancel_reason is incorrect"};

bool IsEndText(std::string_view message) {
  for (const std::string_view text : kEndTexts)
    if (message == text) return true;
  return false;
}

// Blanks in front, one optional sign, decimal digits and nothing else, within the type's range;
// read with from_chars, independently of the parser under test.
template <typename Integer>
std::optional<Integer> IndependentInteger(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const std::size_t signLength = !text.empty() && (text.front() == '+' || text.front() == '-') ? 1 : 0;
  if (text.size() <= signLength || text[signLength] < '0' || text[signLength] > '9') return std::nullopt;
  if (text.front() == '+') text.remove_prefix(1);  // from_chars takes a minus sign only
  Integer value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

template <typename Integer>
void CheckIntegerParser(std::string_view text, bool (*parse)(std::string_view, Integer&)) {
  Integer parsed = 7;
  const bool ok = parse(text, parsed);
  const std::optional<Integer> expected = IndependentInteger<Integer>(text);
  Require(ok == expected.has_value(), "the integer parsers agree on what is a number");
  Require(ok ? parsed == *expected : parsed == 7, "the integer parsers agree on its value");
}

void CheckItemsList(std::string_view text) {
  for (const std::string& element : qdz::exchange::SplitDelimitedList(text)) {
    Require(element.size() <= text.size(), "an element is a piece of the list");
    if (element.find_first_of(std::string_view("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                                               "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f ",
                                               32)) != std::string::npos) {
      Require(text.find('"') != std::string_view::npos, "only a quoted element holds separators");
    }
  }
}

void CheckBody(const qdz::exchange::StatusChange& change) {
  const std::string utf8 = qdz::util::Cp1251ToUtf8(qdz::exchange::StatusChangeBody(change));
  Json body;
  try {
    body = Json::parse(utf8);
  } catch (const Json::out_of_range&) {
    return;  // a number beyond double, such as 1e999: valid JSON that this reader declines
  } catch (const Json::parse_error& e) {
    std::fprintf(stderr, "%s\n%s\n", e.what(), utf8.c_str());
    Require(false, "the body is valid JSON");
  }
  Require(body.is_object() && body.size() == 1 && body.contains("list") && body.at("list").is_array() && body.at("list").size() == 1,
          "the body is one list of one change");
  const Json& entry = body.at("list").at(0);
  Require(entry.at("id") == change.orderId, "the body carries the order number");
  Require(entry.at("external_id") == std::to_string(change.orderId), "the body carries the order number as text");
  Require(entry.at("status_id") == change.statusId, "the body carries the status");
  Require(entry.at("reservation_end_date") == change.reservationEnd, "the body carries the reservation end");
  Require(entry.at("cancel_reason").is_string(), "the cancel reason is a string");
  if (change.items.empty()) {
    Require(!entry.contains("items"), "no items member without items");
    return;
  }
  const Json& items = entry.at("items");
  Require(items.is_array() && items.size() == change.items.size(), "one item object per element");
  for (const Json& item : items)
    Require(item.size() == 2 && item.at("id").is_number() && item.at("quantity").is_number(), "items are numbers");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = qdz::fuzz::InputText(data, size);
  const qdz::exchange::SendData sendData(input);
  CheckIntegerParser<std::int64_t>(sendData.Value("id"), qdz::util::TryParseInt64);
  CheckIntegerParser<std::int32_t>(sendData.Value("status_id"), qdz::util::TryParseInt);
  CheckItemsList(sendData.Value("items"));

  qdz::exchange::StatusChange change;
  try {
    change = qdz::exchange::ReadStatusChange(input);
  } catch (const std::runtime_error& e) {
    Require(IsEndText(e.what()), "reading fails only with a row's end text");
    return 0;
  }
  CheckBody(change);
  return 0;
}
