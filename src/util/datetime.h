#pragma once
// The system's date-time: local time as days since 1899-12-30 00:00:00, the fraction being the
// time of day. Its zero value is the zero date and stands for "no time at all".
#include <compare>
#include <string>

namespace qdz::util {

struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct DateTime {
  double days = 0.0;

  static DateTime FromParts(const DateTimeParts& parts);
  static DateTime Now();  // local time of this machine, millisecond resolution

  DateTimeParts Parts() const;  // rounded to the millisecond
  bool IsZero() const { return days == 0.0; }

  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

// "dd.mm.yyyy hh:nn:ss"
std::string FormatDmyHms(DateTime value);
// "yyyy-mm-dd hh:nn:ss"
std::string FormatYmdHms(DateTime value);

}  // namespace qdz::util
