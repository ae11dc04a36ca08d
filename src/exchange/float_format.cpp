#include "exchange/float_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qdz::exchange {
namespace {

constexpr int kPrecision = 15;
constexpr char kDecimalSeparator = ',';

struct Decimal {
  bool negative = false;
  std::string digits;  // significant digits, no trailing zeros, at least one
  int exponent = 0;    // power of ten of the first digit
};

// The value rounded to 15 significant digits.
Decimal ToDecimal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", kPrecision - 1, value);
  Decimal decimal;
  const char* p = buffer;
  if (*p == '-') {
    decimal.negative = true;
    ++p;
  }
  for (; *p != 'e'; ++p)
    if (*p != '.') decimal.digits += *p;
  decimal.exponent = std::atoi(p + 1);
  while (decimal.digits.size() > 1 && decimal.digits.back() == '0') decimal.digits.pop_back();
  return decimal;
}

std::string Fixed(const Decimal& d) {
  const int integerDigits = d.exponent + 1;
  std::string text;
  if (integerDigits <= 0) {
    text = "0" + std::string(1, kDecimalSeparator) + std::string(static_cast<std::size_t>(-integerDigits), '0') + d.digits;
  } else if (static_cast<std::size_t>(integerDigits) >= d.digits.size()) {
    text = d.digits + std::string(static_cast<std::size_t>(integerDigits) - d.digits.size(), '0');
  } else {
    const auto cut = static_cast<std::size_t>(integerDigits);
    text = d.digits.substr(0, cut) + kDecimalSeparator + d.digits.substr(cut);
  }
  return text;
}

std::string Scientific(const Decimal& d) {
  std::string text = d.digits.substr(0, 1);
  if (d.digits.size() > 1) text += kDecimalSeparator + d.digits.substr(1);
  return text + "E" + std::to_string(d.exponent);
}

}  // namespace

std::string FormatGeneralFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";
  const Decimal decimal = ToDecimal(value);
  const bool fixed = decimal.exponent < kPrecision && decimal.exponent >= -4;
  return (decimal.negative ? "-" : "") + (fixed ? Fixed(decimal) : Scientific(decimal));
}

}  // namespace qdz::exchange
