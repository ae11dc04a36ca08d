#include "db/timestamp.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "util/numbers.h"

namespace qdz::db {

namespace {

constexpr std::int64_t kZeroDateDay = 15018;  // 1899-12-30 counted from 1858-11-17
constexpr std::int64_t kTicksPerDay = 864'000'000;  // ten-thousandths of a second

class DateTimeScanner {
 public:
  explicit DateTimeScanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Skip(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Up to maxDigits digits, at least one; the count read goes to `digits`.
  bool Number(int maxDigits, int& value, int* digits = nullptr) {
    int count = 0;
    value = 0;
    while (count < maxDigits && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      value = value * 10 + (text_[pos_++] - '0');
      ++count;
    }
    if (digits != nullptr) *digits = count;
    return count > 0;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// The year always has four digits, so "15.03.24" is no date.
bool ScanYear(DateTimeScanner& scan, util::DateTimeParts& parts) {
  int digits = 0;
  return scan.Number(4, parts.year, &digits) && digits == 4;
}

bool ScanDate(DateTimeScanner& scan, util::DateTimeParts& parts, std::string_view text) {
  const bool isoForm = text.size() > 4 && text[4] == '-';
  if (isoForm)
    return ScanYear(scan, parts) && scan.Skip('-') && scan.Number(2, parts.month) && scan.Skip('-') &&
           scan.Number(2, parts.day);
  return scan.Number(2, parts.day) && scan.Skip('.') && scan.Number(2, parts.month) && scan.Skip('.') &&
         ScanYear(scan, parts);
}

bool ScanTime(DateTimeScanner& scan, util::DateTimeParts& parts) {
  if (!scan.Number(2, parts.hour) || !scan.Skip(':') || !scan.Number(2, parts.minute)) return false;
  if (!scan.Skip(':')) return true;
  if (!scan.Number(2, parts.second)) return false;
  if (!scan.Skip('.')) return true;
  int fraction = 0;
  int digits = 0;
  if (!scan.Number(4, fraction, &digits)) return false;
  constexpr int kScale[] = {0, 100, 10, 1};  // digits read -> factor to milliseconds
  parts.millisecond = digits == 4 ? fraction / 10 : fraction * kScale[digits];
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

util::DateTime FromIscTimestamp(ISC_DATE date, ISC_TIME time) {
  const std::int64_t day = static_cast<std::int64_t>(date) - kZeroDateDay;
  const double timeOfDay = static_cast<double>(time) / static_cast<double>(kTicksPerDay);
  // Before the zero date the time of day still counts forward from midnight: 1899-12-29 06:00 is -1.25.
  const auto wholeDays = static_cast<double>(day);
  return util::DateTime{day < 0 ? wholeDays - timeOfDay : wholeDays + timeOfDay};
}

ISC_TIMESTAMP ToIscTimestamp(util::DateTime value) {
  const double wholeDays = std::trunc(value.days);
  auto day = static_cast<std::int64_t>(wholeDays);
  std::int64_t ticks = std::llround(std::fabs(value.days - wholeDays) * static_cast<double>(kTicksPerDay));
  if (ticks >= kTicksPerDay) {  // rounded up to the next midnight
    ticks = 0;
    ++day;
  }
  ISC_TIMESTAMP stamp;
  stamp.timestamp_date = static_cast<ISC_DATE>(day + kZeroDateDay);
  stamp.timestamp_time = static_cast<ISC_TIME>(ticks);
  return stamp;
}

util::DateTime ParseDateTimeText(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  DateTimeScanner scan(trimmed);
  util::DateTimeParts parts;
  bool valid = ScanDate(scan, parts, trimmed);
  if (valid && !scan.AtEnd()) valid = scan.Skip(' ') && ScanTime(scan, parts);
  if (valid && scan.AtEnd()) {
    try {
      return util::DateTime::FromParts(parts);
    } catch (const std::invalid_argument&) {
    }
  }
  throw util::ConvertError("'" + std::string(text) + "' is not a valid date and time");
}

}  // namespace qdz::db
