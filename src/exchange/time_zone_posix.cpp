#include "exchange/time_zone.h"

#include <ctime>

namespace qdz::exchange {

std::int32_t TimeZoneHours() {
  // Reads TZ afresh; `timezone` is then the standard offset in seconds west of UTC, the bias.
  tzset();
  const long biasMinutes = timezone / 60;
  return static_cast<std::int32_t>(biasMinutes / 60);  // integer division truncates toward zero
}

}  // namespace qdz::exchange
