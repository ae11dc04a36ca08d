#include "service/service_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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

ServiceLog::ServiceLog(const std::filesystem::path& file, Clock clock) : clock_(std::move(clock)) {
  // Appending: every line lands at the end even when another program writes the file too.
  fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    throw std::runtime_error("Cannot open file \"" + file.string() + "\". " + std::strerror(errno));
  }
}

ServiceLog::~ServiceLog() { ::close(fd_); }

void ServiceLog::Write(std::string_view message) noexcept {
  try {
    const std::string line = FormatLogLine(clock_(), message);
    [[maybe_unused]] const ssize_t written = ::write(fd_, line.data(), line.size());
  } catch (...) {
    // Out of memory for one line: the line is lost like any other failed write.
  }
}

util::DateTimeParts ServiceLog::LocalTime() { return util::DateTime::Now().Parts(); }

}  // namespace qdz::service
