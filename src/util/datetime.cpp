#include "util/datetime.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace qdz::util {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1899-12-30, the zero date, to 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 25'569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The inverse of DaysFromCivil.
void CivilFromDays(std::int64_t days, DateTimeParts& parts) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const std::int64_t month = monthIndex + (monthIndex < 10 ? 3 : -9);
  parts.year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  parts.month = static_cast<int>(month);
  parts.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValid(const DateTimeParts& p) {
  return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour < 24 && p.minute >= 0 &&
         p.minute < 60 && p.second >= 0 && p.second < 60 && p.millisecond >= 0 && p.millisecond < 1000;
}

std::string Format(const char* pattern, int first, int second, int third, const DateTimeParts& p) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, first, second, third, p.hour, p.minute, p.second);
  return text;
}

}  // namespace

DateTime DateTime::FromParts(const DateTimeParts& parts) {
  if (!IsValid(parts)) throw std::invalid_argument("Invalid argument to date encode");
  const std::int64_t dayNumber = DaysFromCivil(parts.year, parts.month, parts.day) + kUnixEpochDay;
  const std::int64_t msOfDay =
      ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  const double timeOfDay = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
  // Before the zero date the time of day still counts forward from midnight, so it is subtracted
  // from the negative day number: 1899-12-29 06:00 is -1.25.
  const auto day = static_cast<double>(dayNumber);
  return DateTime{dayNumber < 0 ? day - timeOfDay : day + timeOfDay};
}

DateTime DateTime::Now() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const std::time_t seconds = system_clock::to_time_t(time_point_cast<std::chrono::seconds>(now));
  std::tm local{};
  localtime_r(&seconds, &local);
  DateTimeParts parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = std::min(local.tm_sec, 59);  // a leap second shows as :59
  parts.millisecond = static_cast<int>(now.time_since_epoch().count() % 1000);
  return FromParts(parts);
}

DateTimeParts DateTime::Parts() const {
  const double wholeDays = std::trunc(days);
  auto dayNumber = static_cast<std::int64_t>(wholeDays);
  std::int64_t msOfDay = std::llround(std::fabs(days - wholeDays) * static_cast<double>(kMsPerDay));
  if (msOfDay == kMsPerDay) {  // rounded up to the next midnight
    msOfDay = 0;
    ++dayNumber;
  }
  DateTimeParts parts;
  CivilFromDays(dayNumber - kUnixEpochDay, parts);
  parts.millisecond = static_cast<int>(msOfDay % 1000);
  parts.second = static_cast<int>(msOfDay / 1000 % 60);
  parts.minute = static_cast<int>(msOfDay / 60'000 % 60);
  parts.hour = static_cast<int>(msOfDay / 3'600'000);
  return parts;
}

std::string FormatDmyHms(DateTime value) {
  const DateTimeParts p = value.Parts();
  return Format("%02d.%02d.%04d %02d:%02d:%02d", p.day, p.month, p.year, p);
}

std::string FormatYmdHms(DateTime value) {
  const DateTimeParts p = value.Parts();
  return Format("%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p);
}

}  // namespace qdz::util
