#pragma once
// The service log "QDZELVORANT.log": time-stamped lines appended to one file that is never
// truncated. Each line is "dd.mm.yyyy h:nn:ss", TAB, the message as given (Windows-1251
// bytes), CR LF, written with one unbuffered write, so it is in the file when Write returns.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "util/datetime.h"
#include "util/files.h"

namespace qdz::service {

inline constexpr const char* kLogFileName = "QDZELVORANT.log";

// "05.03.2024 9:07:12"; at exactly 00:00:00 the date stands alone ("05.03.2024").
std::string FormatTimeStamp(const util::DateTimeParts& time);
// Time stamp, TAB, message, CR LF.
std::string FormatLogLine(const util::DateTimeParts& time, std::string_view message);

class ServiceLog {
 public:
  using Clock = std::function<util::DateTimeParts()>;

  // Creates the file when missing and opens it for appending. Fails with
  // "Cannot open file "<name>". <reason>" when that is not possible.
  explicit ServiceLog(const std::filesystem::path& file, Clock clock = LocalTime);
  ~ServiceLog();
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;

  // A line that cannot be written (a full disk) is lost without notice.
  void Write(std::string_view message) noexcept;

  static util::DateTimeParts LocalTime();

 private:
  util::AppendOnlyFile file_;
  Clock clock_;
};

}  // namespace qdz::service
