#include "service/service_log.h"

#include <cstdio>

namespace qdz::service {
namespace {

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

std::string FormatTimeStamp(const util::DateTimeParts& time) {
  std::string stamp = TwoDigits(time.day) + "." + TwoDigits(time.month) + "." + std::to_string(time.year);
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return stamp;
  return stamp + " " + std::to_string(time.hour) + ":" + TwoDigits(time.minute) + ":" + TwoDigits(time.second);
}

std::string FormatLogLine(const util::DateTimeParts& time, std::string_view message) {
  std::string line = FormatTimeStamp(time);
  line += '\t';
  line += message;
  line += "\r\n";
  return line;
}

// Appending: every line lands at the end even when another program writes the file too.
ServiceLog::ServiceLog(const std::filesystem::path& file, Clock clock) : file_(file), clock_(std::move(clock)) {}

ServiceLog::~ServiceLog() = default;

void ServiceLog::Write(std::string_view message) noexcept {
  try {
    const std::string line = FormatLogLine(clock_(), message);
    file_.Append(line);
  } catch (...) {
    // Out of memory for one line: the line is lost like any other failed write.
  }
}

util::DateTimeParts ServiceLog::LocalTime() { return util::DateTime::Now().Parts(); }

}  // namespace qdz::service
