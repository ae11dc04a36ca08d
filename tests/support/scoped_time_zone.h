#pragma once
// Sets the process's time zone (TZ) for one test and puts the previous one back.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qdz::testing {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (previous_)
      ::setenv("TZ", previous_->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// Three hours east of Greenwich all year: a standard bias of -180 minutes.
inline constexpr const char* kMoscowTime = "MSK-3";

}  // namespace qdz::testing
