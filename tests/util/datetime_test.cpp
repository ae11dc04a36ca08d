#include <gtest/gtest.h>

#include "support/scoped_time_zone.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "util/datetime.h"

namespace qdz::util {
namespace {

constexpr double kMsPerDay = 86'400'000.0;

DateTimeParts MakeParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int millisecond = 0) {
  return DateTimeParts{year, month, day, hour, minute, second, millisecond};
}

void ExpectSameParts(const DateTimeParts& actual, const DateTimeParts& expected, double days) {
  EXPECT_EQ(actual.year, expected.year) << days;
  EXPECT_EQ(actual.month, expected.month) << days;
  EXPECT_EQ(actual.day, expected.day) << days;
  EXPECT_EQ(actual.hour, expected.hour) << days;
  EXPECT_EQ(actual.minute, expected.minute) << days;
  EXPECT_EQ(actual.second, expected.second) << days;
  EXPECT_EQ(actual.millisecond, expected.millisecond) << days;
}

TEST(DateTime, KnownDaysAndPartsMatchBothWays) {
  const struct {
    DateTimeParts parts;
    double days;
  } cases[] = {
      {MakeParts(1899, 12, 30), 0.0},
      {MakeParts(1899, 12, 31, 12), 1.5},
      {MakeParts(1900, 3, 1), 61.0},
      {MakeParts(1970, 1, 1), 25569.0},
      {MakeParts(2000, 2, 29, 6), 36585.25},
      {MakeParts(2024, 2, 29, 18), 45351.75},
      {MakeParts(2024, 3, 1), 45352.0},
      // Before the zero date: negative day number, the time of day counted forward from midnight.
      {MakeParts(1899, 12, 29, 6), -1.25},
      {MakeParts(1899, 12, 29), -1.0},
      {MakeParts(1899, 12, 28, 18), -2.75},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateTime::FromParts(c.parts).days, c.days) << c.days;
    ExpectSameParts(DateTime{c.days}.Parts(), c.parts, c.days);
  }
}

TEST(DateTime, PartsRoundTripAcrossTheCalendar) {
  const int times[][4] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {12, 34, 56, 789}, {23, 59, 59, 999}};
  for (int year = 1; year <= 9999; year += 37) {
    for (int month = 1; month <= 12; month += 5) {
      for (int day : {1, 28}) {
        for (const auto& t : times) {
          const DateTimeParts parts = MakeParts(year, month, day, t[0], t[1], t[2], t[3]);
          const DateTime value = DateTime::FromParts(parts);
          ExpectSameParts(value.Parts(), parts, value.days);
        }
      }
    }
  }
}

TEST(DateTime, MonthEndsAndLeapYears) {
  EXPECT_EQ(DateTime::FromParts(MakeParts(2023, 3, 1)).days - DateTime::FromParts(MakeParts(2023, 2, 28)).days, 1.0);
  EXPECT_EQ(DateTime::FromParts(MakeParts(2000, 3, 1)).days - DateTime::FromParts(MakeParts(2000, 2, 28)).days, 2.0);
  EXPECT_EQ(DateTime::FromParts(MakeParts(2025, 1, 1)).days - DateTime::FromParts(MakeParts(2024, 12, 31)).days, 1.0);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2023, 2, 29)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(1900, 2, 29)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2024, 13, 1)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2024, 4, 31)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2024, 1, 1, 24)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2024, 1, 1, 0, 60)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(2024, 1, 1, 0, 0, 0, 1000)), std::invalid_argument);
  EXPECT_THROW(DateTime::FromParts(MakeParts(0, 1, 1)), std::invalid_argument);
}

TEST(DateTime, PartsRoundToTheNearestMillisecond) {
  const double noon = 45351.5;
  const struct {
    double extraMs;
    DateTimeParts expected;
  } cases[] = {
      {999.6, MakeParts(2024, 2, 29, 12, 0, 1, 0)},
      {999.4, MakeParts(2024, 2, 29, 12, 0, 0, 999)},
      {0.4, MakeParts(2024, 2, 29, 12, 0, 0, 0)},
      {59'999.6, MakeParts(2024, 2, 29, 12, 1, 0, 0)},
      // Rounding up past midnight moves to the next day, here across a month end.
      {12 * 3'600'000.0 - 0.4, MakeParts(2024, 3, 1, 0, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    const double days = noon + c.extraMs / kMsPerDay;
    ExpectSameParts(DateTime{days}.Parts(), c.expected, days);
  }
  // Before the zero date: 1899-12-29 23:59:59.9996 is 1899-12-30 00:00.
  const double lateOnTheDayBefore = -1.0 - (kMsPerDay - 0.4) / kMsPerDay;
  ExpectSameParts(DateTime{lateOnTheDayBefore}.Parts(), MakeParts(1899, 12, 30), lateOnTheDayBefore);
}

TEST(DateTime, TextForms) {
  const struct {
    DateTime value;
    const char* dmy;
    const char* ymd;
  } cases[] = {
      {DateTime{}, "30.12.1899 00:00:00", "1899-12-30 00:00:00"},
      {DateTime::FromParts(MakeParts(2024, 3, 5, 7, 8, 9, 999)), "05.03.2024 07:08:09", "2024-03-05 07:08:09"},
      {DateTime{45351.5 + 999.6 / kMsPerDay}, "29.02.2024 12:00:01", "2024-02-29 12:00:01"},
      {DateTime::FromParts(MakeParts(999, 12, 31, 23, 59, 59)), "31.12.0999 23:59:59", "0999-12-31 23:59:59"},
      {DateTime{-1.25}, "29.12.1899 06:00:00", "1899-12-29 06:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDmyHms(c.value), c.dmy) << c.value.days;
    EXPECT_EQ(FormatYmdHms(c.value), c.ymd) << c.value.days;
  }
}

TEST(DateTime, ZeroDate) {
  EXPECT_TRUE(DateTime{}.IsZero());
  EXPECT_TRUE(DateTime::FromParts(DateTimeParts{}).IsZero());
  EXPECT_FALSE(DateTime::FromParts(MakeParts(1899, 12, 30, 0, 0, 0, 1)).IsZero());
}


TEST(DateTime, NowIsTheLocalClock) {
  const testing::ScopedTimeZone zone("UTC-3");
  const std::time_t before = std::time(nullptr);
  const DateTime now = DateTime::Now();
  const std::time_t after = std::time(nullptr);
  // Unix seconds on the zero-date scale, moved three hours east.
  const auto localDays = [](std::time_t t) { return 25569.0 + (static_cast<double>(t) + 3 * 3600.0) / 86400.0; };
  EXPECT_GE(now.days, localDays(before));
  EXPECT_LT(now.days, localDays(after + 1));
}

TEST(DateTime, NowKeepsMilliseconds) {
  // One reading in a thousand falls on a whole second; several in a row do not.
  bool sawMilliseconds = false;
  for (int attempt = 0; attempt < 5 && !sawMilliseconds; ++attempt) {
    sawMilliseconds = DateTime::Now().Parts().millisecond != 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  EXPECT_TRUE(sawMilliseconds);
}

}  // namespace
}  // namespace qdz::util
