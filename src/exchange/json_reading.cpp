#include "exchange/json_reading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "util/numbers.h"

namespace qdz::exchange {
namespace {

// Nearest integer, a tie to the even one (the default rounding mode); 0 for what int64 cannot hold.
std::int64_t RoundHalfEven(double value) {
  const double rounded = std::nearbyint(value);
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(rounded >= -kLimit && rounded < kLimit)) return 0;
  return static_cast<std::int64_t>(rounded);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Skips a run of digits; true when there was at least one.
bool SkipDigits(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos > start;
}

// A decimal number with "." as separator and an optional exponent, blanks allowed around it;
// what is left for the number conversion (without blanks and a plus sign) goes to `number`.
bool IsDecimalNumber(std::string_view text, std::string_view& number) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::size_t end = text.size();
  while (end > pos && text[end - 1] == ' ') --end;
  text = text.substr(0, end);
  if (pos < text.size() && text[pos] == '+') ++pos;
  const std::size_t start = pos;
  if (pos < text.size() && text[pos] == '-') ++pos;
  bool digits = SkipDigits(text, pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    digits = SkipDigits(text, pos) || digits;
  }
  if (!digits) return false;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (!SkipDigits(text, pos)) return false;
  }
  if (pos != text.size()) return false;
  number = text.substr(start);
  return true;
}

double StringToFloat(const std::string& text) {
  std::string_view number;
  if (!IsDecimalNumber(text, number)) return 0.0;
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec != std::errc() || result.ptr != number.data() + number.size()) return 0.0;
  return value;
}

std::int64_t StringToInt64(const std::string& text) {
  std::int64_t value = 0;
  return util::TryParseInt64(text, value) ? value : 0;
}

const Json* FindMember(const Json& object, std::string_view name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

// True when the first value of the text, if it is an object or an array, holds more than
// kMaxJsonDepth levels of objects and arrays. Brackets inside strings do not count; the scan
// stops where the first value closes, as the reader does.
bool IsNestedTooDeep(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // the reader skips a byte order mark
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || (text[start] != '[' && text[start] != '{')) return false;
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t pos = start; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (inString) {
      if (c == '\\') {
        ++pos;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return true;
    } else if (c == ']' || c == '}') {
      if (--depth == 0) return false;
    }
  }
  return false;
}

}  // namespace

Json ParseFirstJsonValue(const std::string& utf8Text) {
  if (IsNestedTooDeep(utf8Text))
    throw std::runtime_error("JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
  // The stream reader stops after the first complete value, unlike json::parse, which insists
  // on the end of the input.
  std::istringstream input(utf8Text);
  Json value;
  input >> value;
  return value;
}

std::int64_t ReadInt64(const Json& object, std::string_view name) {
  const Json* value = FindMember(object, name);
  if (value == nullptr) return 0;
  switch (value->type()) {
    case Json::value_t::number_integer:
      return value->get<std::int64_t>();
    case Json::value_t::number_unsigned:
      return static_cast<std::int64_t>(value->get<std::uint64_t>());
    case Json::value_t::number_float:
      return RoundHalfEven(value->get<double>());
    case Json::value_t::boolean:
      return value->get<bool>() ? 1 : 0;
    case Json::value_t::string:
      return StringToInt64(value->get_ref<const std::string&>());
    default:
      return 0;
  }
}

std::int32_t ReadInt32(const Json& object, std::string_view name) {
  const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(ReadInt64(object, name)));
  return static_cast<std::int32_t>(low);
}

double ReadFloat(const Json& object, std::string_view name) {
  const Json* value = FindMember(object, name);
  if (value == nullptr) return 0.0;
  switch (value->type()) {
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return value->get<double>();
    case Json::value_t::boolean:
      return value->get<bool>() ? 1.0 : 0.0;
    case Json::value_t::string:
      return StringToFloat(value->get_ref<const std::string&>());
    default:
      return 0.0;
  }
}

std::string ReadText(const Json& object, std::string_view name) {
  const Json* value = FindMember(object, name);
  if (value == nullptr || value->is_null()) return {};
  if (value->is_string()) return value->get<std::string>();
  return value->dump();
}

}  // namespace qdz::exchange
