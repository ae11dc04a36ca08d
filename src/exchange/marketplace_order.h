#pragma once
// The marketplace's list of new orders as the order import reads it: the answer's "list" array,
// each order's members and each item's members, texts already in the system's code page.
// Shape failures (no "list" array, an element that is no object, no "items" array) raise.
#include <cstdint>
#include <string>

#include "exchange/json_reading.h"

namespace qdz::exchange {

struct MarketplaceOrder {
  std::int64_t id = 0;
  std::string fio;
  std::string email;
  std::string phone;
  std::int32_t statusId = 0;
  std::int64_t creationDate = 0;  // seconds since 1970-01-01 00:00 UTC
  double totalAmount = 0.0;
};

struct MarketplaceItem {
  std::int64_t id = 0;
  std::string itemId;          // the position, by the id the price list gives it
  double price = 0.0;
  double quantity = 0.0;       // as written, for the log
  std::int64_t wholeQuantity = 0;  // what the pharmacy books
};

inline constexpr std::int32_t kCancelledOrderStatus = 3;

// The answer (Windows-1251, as the exchange request returns it) parsed as JSON; only its first
// value is read. Gives the "list" array.
Json ReadOrderList(const std::string& answer);

// `index` counts from 0 and only serves the failure messages.
MarketplaceOrder ReadOrder(const Json& element, std::size_t index);
// The order's "items" array; only for an order that is not cancelled.
const Json& ReadOrderItems(const Json& element, std::int64_t orderId);
MarketplaceItem ReadItem(const Json& element, std::int64_t orderId, std::size_t index);

}  // namespace qdz::exchange
