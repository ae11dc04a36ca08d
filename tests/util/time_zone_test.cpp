#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "exchange/time_zone.h"

namespace qdz::exchange {
namespace {

// Sets TZ for one test and puts the previous value back afterwards.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

TEST(TimeZoneHours, IsTheStandardBiasInWholeHoursTruncatedTowardZero) {
  const struct {
    const char* zone;
    std::int32_t expected;
  } cases[] = {
      {"UTC0", 0},
      {"UTC-3", -3},                          // three hours east of Greenwich
      {"IST-5:30", -5},                       // UTC+5:30
      {"<-0330>3:30", 3},                     // UTC-3:30
      {"Europe/Moscow", -3},
      {"Asia/Kolkata", -5},
      {"America/St_Johns", 3},                // -3:30 with daylight saving time
      {"America/New_York", 5},                // summer time does not count
      {"CET-1CEST,M3.5.0,M10.5.0/3", -1},
      {"Asia/Kathmandu", -5},                 // UTC+5:45
  };
  for (const auto& c : cases) {
    const LocalZone zone(c.zone);
    EXPECT_EQ(TimeZoneHours(), c.expected) << c.zone;
  }
}

TEST(TimeZoneHours, ReadsTheZoneAfreshOnEveryCall) {
  const LocalZone zone("UTC-3");
  ASSERT_EQ(TimeZoneHours(), -3);
  setenv("TZ", "UTC-9", 1);  // no tzset of our own: the function must look again
  EXPECT_EQ(TimeZoneHours(), -9);
}

}  // namespace
}  // namespace qdz::exchange
