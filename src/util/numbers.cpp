#include "util/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

namespace qdz::util {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TakeDigits(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

// The parts of a floating-point text that passed the grammar check.
struct FloatText {
  bool negative = false;
  std::string_view integerDigits;
  std::string_view fractionDigits;
  bool exponentNegative = false;
  std::string_view exponentDigits;
};

bool SplitFloatText(std::string_view text, FloatText& parts) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::size_t end = text.size();
  while (end > pos && text[end - 1] == ' ') --end;
  text = text.substr(0, end);

  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) parts.negative = text[pos++] == '-';
  parts.integerDigits = TakeDigits(text, pos);
  if (pos < text.size() && text[pos] == ',') {
    ++pos;
    parts.fractionDigits = TakeDigits(text, pos);
  }
  if (parts.integerDigits.empty() && parts.fractionDigits.empty()) return false;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) parts.exponentNegative = text[pos++] == '-';
    parts.exponentDigits = TakeDigits(text, pos);
    if (parts.exponentDigits.empty()) return false;
  }
  return pos == text.size();
}

// True when a value that double cannot hold is too large rather than too small: the decimal
// position of its first significant digit, shifted by the exponent, lies above the units.
bool IsOverflow(const FloatText& parts) {
  constexpr std::int64_t kSaturation = 1'000'000'000;
  std::int64_t exponent = 0;
  for (char c : parts.exponentDigits) exponent = std::min(kSaturation, exponent * 10 + (c - '0'));
  if (parts.exponentNegative) exponent = -exponent;

  const auto firstSignificant = parts.integerDigits.find_first_not_of('0');
  if (firstSignificant != std::string_view::npos) {
    return exponent + static_cast<std::int64_t>(parts.integerDigits.size() - firstSignificant) > 0;
  }
  const auto zerosInFraction = parts.fractionDigits.find_first_not_of('0');
  return exponent - static_cast<std::int64_t>(zerosInFraction) > 0;
}

bool ConvertFloat(std::string_view text, double& value) {
  FloatText parts;
  if (!SplitFloatText(text, parts)) return false;

  // from_chars is locale independent and takes "." as its separator.
  std::string number;
  number.reserve(text.size() + 2);
  if (parts.negative) number += '-';
  number.append(parts.integerDigits).append(".").append(parts.fractionDigits);
  if (!parts.exponentDigits.empty()) {
    number.append(parts.exponentNegative ? "e-" : "e").append(parts.exponentDigits);
  }
  double converted = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), converted);
  if (result.ec == std::errc::result_out_of_range) {
    if (IsOverflow(parts)) return false;
    converted = parts.negative ? -0.0 : 0.0;  // smaller than the least double: zero
  } else if (result.ec != std::errc() || result.ptr != number.data() + number.size()) {
    return false;
  }
  value = converted;
  return true;
}

template <typename Integer>
bool ParseInteger(std::string_view text, Integer& value) {
  static_assert(std::is_signed_v<Integer>);
  using Unsigned = std::make_unsigned_t<Integer>;
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const std::string_view digits = TakeDigits(text, pos);
  if (digits.empty() || pos != text.size()) return false;

  // The magnitude of the most negative value is one more than that of the most positive one.
  const Unsigned limit = static_cast<Unsigned>(std::numeric_limits<Integer>::max()) + (negative ? 1u : 0u);
  Unsigned magnitude = 0;
  for (char c : digits) {
    const auto digit = static_cast<Unsigned>(c - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = static_cast<Unsigned>(magnitude * 10 + digit);
  }
  if (negative) {
    // Two's complement negation of the magnitude; well defined for the most negative value too.
    value = static_cast<Integer>(static_cast<Unsigned>(Unsigned{0} - magnitude));
  } else {
    value = static_cast<Integer>(magnitude);
  }
  return true;
}

}  // namespace

double ParseFloat(std::string_view text) {
  std::string withComma(text);
  if (const auto stop = withComma.find('.'); stop != std::string::npos) withComma[stop] = ',';
  double value = 0.0;
  if (!ConvertFloat(withComma, value)) {
    throw ConvertError("'" + std::string(text) + "' is not a valid floating point value");
  }
  return value;
}

bool TryParseInt(std::string_view text, std::int32_t& value) { return ParseInteger(text, value); }

bool TryParseInt64(std::string_view text, std::int64_t& value) { return ParseInteger(text, value); }

bool TryParseFloat(std::string_view text, double& value) {
  try {
    value = ParseFloat(text);
    return true;
  } catch (const ConvertError&) {
    return false;
  }
}

std::string IntToStr3(std::int32_t value) {
  // A negative number is "below 10" too, which gives "00-5"; kept as callers never pass one.
  const char* prefix = value < 10 ? "00" : value < 100 ? "0" : "";
  return prefix + std::to_string(value);
}

}  // namespace qdz::util
