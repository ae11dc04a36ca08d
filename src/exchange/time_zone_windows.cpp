#include <windows.h>

#include "exchange/time_zone.h"

namespace qdz::exchange {

std::int32_t TimeZoneHours() {
  // Bias + StandardBias is the standard-time bias: what added to local standard time gives UTC.
  // The daylight part is left out on purpose, whatever the season.
  TIME_ZONE_INFORMATION zone{};
  if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  const long biasMinutes = zone.Bias + zone.StandardBias;
  return static_cast<std::int32_t>(biasMinutes / 60);  // integer division truncates toward zero
}

}  // namespace qdz::exchange
