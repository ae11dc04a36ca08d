#pragma once
// The local time zone as the exchange code uses it to move between local time and UTC.
#include <cstdint>

namespace qdz::exchange {

// The local standard-time bias (what added to local time gives UTC) in whole hours, truncated
// toward zero; daylight saving time is left out. UTC+3 gives -3, UTC+5:30 gives -5, UTC-3:30
// gives 3. So local time = UTC - TimeZoneHours() hours, and UTC = local time + TimeZoneHours().
std::int32_t TimeZoneHours();

}  // namespace qdz::exchange
