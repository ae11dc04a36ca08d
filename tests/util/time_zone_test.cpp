#include <gtest/gtest.h>

#include "support/scoped_time_zone.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "exchange/time_zone.h"

namespace qdz::exchange {
namespace {


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
    const testing::ScopedTimeZone zone(c.zone);
    EXPECT_EQ(TimeZoneHours(), c.expected) << c.zone;
  }
}

TEST(TimeZoneHours, ReadsTheZoneAfreshOnEveryCall) {
  const testing::ScopedTimeZone zone("UTC-3");
  ASSERT_EQ(TimeZoneHours(), -3);
  setenv("TZ", "UTC-9", 1);  // no tzset of our own: the function must look again
  EXPECT_EQ(TimeZoneHours(), -9);
}

}  // namespace
}  // namespace qdz::exchange
