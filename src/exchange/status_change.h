#pragma once
// One queued status change of an order: read from the row's send data and written as the JSON
// body the marketplace takes. Reading fails with the row's end text ("order_id is incorrect",
// "status_id is incorrect", "items is incorrect", "cancel_reason is incorrect"), so that nothing
// malformed is ever sent.
#include <cstdint>
#include <string>
#include <vector>

namespace qdz::exchange {

struct StatusChange {
  std::int64_t orderId = 0;
  std::int32_t statusId = 0;
  std::int64_t reservationEnd = 0;  // Unix time; 0 for none
  std::vector<std::string> items;   // elements "position id=quantity"
  std::string cancelReason;         // copied into the body verbatim
};

StatusChange ReadStatusChange(const std::string& sendData);

// The body in the system's code page; the caller converts it to UTF-8 for the wire.
std::string StatusChangeBody(const StatusChange& change);

// A local date-time (days since 1899-12-30) as Unix time, shifted by the local standard offset;
// 0 for a value that is not positive or too far out to be a time.
std::int64_t ReservationEndUnixTime(double localDays);

}  // namespace qdz::exchange
