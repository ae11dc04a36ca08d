#pragma once
// Tolerant number parsing and zero-padded numbers shared by the exchange code.
//
// The parsers accept one fixed notation whatever the locale of the account that runs the service:
// there is no number-format record to set up, the rules below are the whole story.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qdz::util {

// A text that is not a number of the expected kind.
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Spaces around the number, an optional sign, digits with at most one decimal separator and an
// optional exponent ("E" or "e", optional sign, digits). The first "." counts as the separator, as
// does ",", so "12.5" and "12,5" are both twelve and a half; a second full stop is an error.
// Throws ConvertError "'<text>' is not a valid floating point value"; also for values beyond double.
double ParseFloat(std::string_view text);

// Spaces in front, an optional sign and decimal digits, nothing after them, within the type's range.
// On failure the result is false and `value` keeps what it held.
bool TryParseInt(std::string_view text, std::int32_t& value);
bool TryParseInt64(std::string_view text, std::int64_t& value);
// ParseFloat's rules; false instead of the error.
bool TryParseFloat(std::string_view text, double& value);

// Decimal text padded with zeros in front to three digits ("007"); longer numbers are not cut.
std::string IntToStr3(std::int32_t value);

}  // namespace qdz::util
