#pragma once
// Values of result columns: how a column lies in the fetched row, the value read from it, and
// that value given as text, integer, floating value or date-time.
#include <firebird/Interface.h>

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "util/datetime.h"

namespace qdz::db {

struct Column {
  std::string name;  // the column's alias, upper case
  unsigned type = 0;
  int subType = 0;
  int scale = 0;
  unsigned length = 0;
  unsigned offset = 0;
  unsigned nullOffset = 0;
};

// An exact number: value * 10^scale (scale <= 0).
struct Decimal {
  std::int64_t value = 0;
  int scale = 0;
};
enum class TemporalKind { Timestamp, Date, Time };
struct Temporal {
  util::DateTime value;
  TemporalKind kind = TemporalKind::Timestamp;
};
// NULL, an exact number, a floating value, a date and/or time, text (also of a BLOB), a boolean.
using Scalar = std::variant<std::monostate, Decimal, double, Temporal, std::string, bool>;

using BlobLoader = std::function<std::string(const ISC_QUAD&)>;

bool IsNullIn(const Column& column, const unsigned char* row);
// Fails with "Invalid data conversion" for a column type that has no such reading (arrays).
Scalar Decode(const Column& column, const unsigned char* row, const BlobLoader& loadBlob);

// NULL gives "", 0, 0.0 and the zero date. Texts that do not convert fail with util::ConvertError
// ("'<text>' is not a valid integer value", "... floating point value", "... date and time").
std::string ToText(Scalar value);
std::int64_t ToInt64(Scalar value);
double ToDouble(Scalar value);
util::DateTime ToDateTime(Scalar value);

// Plain decimal of an exact number: 3550 with scale -2 gives "35.50".
std::string DecimalText(Decimal number);
// Up to 15 significant digits, "." as separator, exponent form for extreme magnitudes ("1E-5").
std::string DoubleText(double value);

}  // namespace qdz::db
