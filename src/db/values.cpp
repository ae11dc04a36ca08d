#include "db/values.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/timestamp.h"
#include "util/numbers.h"

namespace qdz::db {

namespace {

template <typename T>
T Load(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

constexpr double kTicksPerDay = 864'000'000.0;

util::ConvertError InvalidConversion() { return util::ConvertError("Invalid data conversion"); }

util::ConvertError NotAnInteger(const std::string& text) {
  return util::ConvertError("'" + text + "' is not a valid integer value");
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string TemporalText(const Temporal& temporal) {
  const util::DateTimeParts p = temporal.value.Parts();
  const std::string date = TwoDigits(p.day) + "." + TwoDigits(p.month) + "." + std::to_string(p.year);
  const std::string time = TwoDigits(p.hour) + ":" + TwoDigits(p.minute) + ":" + TwoDigits(p.second);
  switch (temporal.kind) {
    case TemporalKind::Date: return date;
    case TemporalKind::Time: return time;
    case TemporalKind::Timestamp: break;
  }
  return date + " " + time;
}

double PowerOfTen(int exponent) {
  double result = 1.0;
  for (int i = 0; i < exponent; ++i) result *= 10.0;
  return result;
}

std::int64_t DoubleToInt64(double value) {
  const double whole = std::trunc(value);
  // 2^63 is exact as a double; everything below it converts.
  if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0)) throw NotAnInteger(DoubleText(value));
  return static_cast<std::int64_t>(whole);
}

struct TextOf {
  std::string operator()(std::monostate) const { return {}; }
  std::string operator()(const Decimal& d) const { return DecimalText(d); }
  std::string operator()(double d) const { return DoubleText(d); }
  std::string operator()(const Temporal& t) const { return TemporalText(t); }
  std::string operator()(std::string& s) const { return std::move(s); }
  std::string operator()(bool b) const { return b ? "True" : "False"; }
};

struct Int64Of {
  std::int64_t operator()(std::monostate) const { return 0; }
  std::int64_t operator()(const Decimal& d) const {
    std::int64_t value = d.value;
    for (int i = d.scale; i < 0; ++i) value /= 10;  // toward zero, like a cast
    return value;
  }
  std::int64_t operator()(double d) const { return DoubleToInt64(d); }
  std::int64_t operator()(const Temporal&) const { throw InvalidConversion(); }
  std::int64_t operator()(const std::string& s) const {
    std::int64_t value = 0;
    if (!util::TryParseInt64(s, value)) throw NotAnInteger(s);
    return value;
  }
  std::int64_t operator()(bool b) const { return b ? 1 : 0; }
};

struct DoubleOf {
  double operator()(std::monostate) const { return 0.0; }
  double operator()(const Decimal& d) const { return static_cast<double>(d.value) / PowerOfTen(-d.scale); }
  double operator()(double d) const { return d; }
  double operator()(const Temporal& t) const { return t.value.days; }
  double operator()(const std::string& s) const { return util::ParseFloat(s); }
  double operator()(bool b) const { return b ? 1.0 : 0.0; }
};

struct DateTimeOf {
  util::DateTime operator()(std::monostate) const { return {}; }
  util::DateTime operator()(const Decimal& d) const { return {DoubleOf{}(d)}; }
  util::DateTime operator()(double d) const { return {d}; }
  util::DateTime operator()(const Temporal& t) const { return t.value; }
  util::DateTime operator()(const std::string& s) const { return ParseDateTimeText(s); }
  util::DateTime operator()(bool) const { throw InvalidConversion(); }
};

}  // namespace

bool IsNullIn(const Column& column, const unsigned char* row) {
  return Load<short>(row + column.nullOffset) != 0;
}

Scalar Decode(const Column& column, const unsigned char* row, const BlobLoader& loadBlob) {
  if (IsNullIn(column, row)) return {};
  const unsigned char* data = row + column.offset;
  switch (column.type) {
    case SQL_TEXT:
      return std::string(reinterpret_cast<const char*>(data), column.length);
    case SQL_VARYING:
      return std::string(reinterpret_cast<const char*>(data) + sizeof(unsigned short),
                         Load<unsigned short>(data));
    case SQL_SHORT: return Decimal{Load<std::int16_t>(data), column.scale};
    case SQL_LONG: return Decimal{Load<std::int32_t>(data), column.scale};
    case SQL_INT64: return Decimal{Load<std::int64_t>(data), column.scale};
    case SQL_FLOAT: return static_cast<double>(Load<float>(data));
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Load<double>(data);
    case SQL_TIMESTAMP: {
      const auto stamp = Load<ISC_TIMESTAMP>(data);
      return Temporal{FromIscTimestamp(stamp.timestamp_date, stamp.timestamp_time), TemporalKind::Timestamp};
    }
    case SQL_TYPE_DATE: return Temporal{FromIscTimestamp(Load<ISC_DATE>(data), 0), TemporalKind::Date};
    case SQL_TYPE_TIME:
      return Temporal{util::DateTime{static_cast<double>(Load<ISC_TIME>(data)) / kTicksPerDay},
                      TemporalKind::Time};
    case SQL_BLOB: return loadBlob(Load<ISC_QUAD>(data));
    case SQL_BOOLEAN: return Load<FB_BOOLEAN>(data) != 0;
    case SQL_NULL: return {};
    default: throw InvalidConversion();
  }
}

std::string ToText(Scalar value) { return std::visit(TextOf{}, value); }
std::int64_t ToInt64(Scalar value) { return std::visit(Int64Of{}, value); }
double ToDouble(Scalar value) { return std::visit(DoubleOf{}, value); }
util::DateTime ToDateTime(Scalar value) { return std::visit(DateTimeOf{}, value); }

std::string DecimalText(Decimal number) {
  const bool negative = number.value < 0;
  // Magnitude as unsigned, so the most negative value has one too.
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(number.value) : static_cast<std::uint64_t>(number.value);
  std::string digits = std::to_string(magnitude);
  const auto fractionDigits = static_cast<std::size_t>(number.scale < 0 ? -number.scale : 0);
  if (fractionDigits > 0) {
    if (digits.size() <= fractionDigits) digits.insert(0, fractionDigits + 1 - digits.size(), '0');
    digits.insert(digits.size() - fractionDigits, 1, '.');
  }
  return negative ? "-" + digits : digits;
}

std::string DoubleText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  std::string result(text);
  const std::size_t e = result.find('e');
  if (e == std::string::npos) return result;
  // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
  const std::string mantissa = result.substr(0, e);
  const bool negativeExponent = result[e + 1] == '-';
  std::size_t digitsStart = e + 2;
  while (digitsStart + 1 < result.size() && result[digitsStart] == '0') ++digitsStart;
  return mantissa + "E" + (negativeExponent ? "-" : "") + result.substr(digitsStart);
}

}  // namespace qdz::db
