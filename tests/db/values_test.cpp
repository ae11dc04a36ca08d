// Number and date texts of the value conversions, and the client's timestamp arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "db/timestamp.h"
#include "db/values.h"
#include "util/numbers.h"

namespace qdz::db {
namespace {

TEST(DecimalText, WritesThePlainDecimalWithAllScaleDigits) {
  struct Case {
    std::int64_t value;
    int scale;
    const char* text;
  };
  const Case cases[] = {
      {3550, -2, "35.50"},
      {4100, -2, "41.00"},
      {-5, -2, "-0.05"},
      {5, -3, "0.005"},
      {0, -2, "0.00"},
      {-123, 0, "-123"},
      {std::numeric_limits<std::int64_t>::min(), 0, "-9223372036854775808"},
      {std::numeric_limits<std::int64_t>::min(), -4, "-922337203685477.5808"},
      {std::numeric_limits<std::int64_t>::max(), -18, "9.223372036854775807"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalText({c.value, c.scale}), c.text) << c.value << " e" << c.scale;
}

TEST(DoubleText, KeepsFifteenDigitsAndUsesExponentsForExtremes) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {35.5, "35.5"},       {41.0, "41"},       {-0.25, "-0.25"},         {0.1 + 0.2, "0.3"},
      {0.0001, "0.0001"},   {0.00001, "1E-5"},  {1.5e-7, "1.5E-7"},       {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},       {-2.5e20, "-2.5E20"}, {1.0 / 3.0, "0.333333333333333"}, {0.0, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(DoubleText(c.value), c.text) << c.value;
}

TEST(ParseDateTimeText, TakesTheIsoAndTheDayFirstForms) {
  struct Case {
    const char* text;
    double days;
  };
  const Case cases[] = {
      {"2024-03-15", 45366.0},
      {"2024-03-15 18:00", 45366.75},
      {"2024-03-15 18:00:00", 45366.75},
      {" 15.03.2024 06:00:00.5 ", 45366.25 + 0.5 / 86400},
      {"2024-03-15 06:00:00.1234", 45366.25 + 0.123 / 86400},
      {"1899-12-30", 0.0},
      {"1899-12-29 06:00", -1.25},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ParseDateTimeText(c.text).days, c.days) << c.text;
}

TEST(ParseDateTimeText, RefusesAnythingElse) {
  for (const char* text : {"", "soon", "2024-02-30", "2024-13-01", "15.03.24", "2024-03-15T18:00", "2024-03-15 25:00",
                           "2024-03-15 18", "2024-03-15 18:00:00 extra", "15/03/2024"}) {
    try {
      ParseDateTimeText(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const util::ConvertError& error) {
      EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid date and time");
    }
  }
}

TEST(IscTimestamp, CountsFromTheZeroDateBothWays) {
  struct Case {
    ISC_DATE date;
    ISC_TIME time;
    double days;
  };
  const Case cases[] = {
      {15018, 0, 0.0},                          // 1899-12-30, the zero date
      {60384, 648'000'000, 45366.75},           // 2024-03-15 18:00
      {15017, 216'000'000, -1.25},              // 1899-12-29 06:00
      {15016, 0, -2.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromIscTimestamp(c.date, c.time).days, c.days);
    const ISC_TIMESTAMP back = ToIscTimestamp(util::DateTime{c.days});
    EXPECT_EQ(back.timestamp_date, c.date) << c.days;
    EXPECT_EQ(back.timestamp_time, c.time) << c.days;
  }
}

TEST(IscTimestamp, TimeRoundedUpToMidnightMovesToTheNextDay) {
  const ISC_TIMESTAMP stamp = ToIscTimestamp(util::DateTime{45366.0 + 0.99999999999});
  EXPECT_EQ(stamp.timestamp_date, 60385u);
  EXPECT_EQ(stamp.timestamp_time, 0u);
}

}  // namespace
}  // namespace qdz::db
