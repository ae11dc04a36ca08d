#pragma once
// The marketplace's side of the five exchange requests: checks the merchant code and the token,
// keeps published price lists, serves orders, takes acknowledgements and status changes.
//
//   DELETE /exch/v1/prices          {"store_id": s}           withdraws the store's list
//   POST   /exch/v4/prices          {"store_id": s, "list": [items]}   merges the items by "id"
//   GET    /exch/v4/orders?data=..  {"store_id": s} in "data" the orders not yet exported
//   POST   /exch/v4/orders/exported {"id": [numbers]}         marks those orders exported
//   POST   /exch/v4/orders          {"list": [changes]}       appended to <data>/statuses.jsonl
#include <filesystem>
#include <string>

#include "marketplace-sim/http_message.h"
#include "marketplace-sim/order_book.h"
#include "marketplace-sim/price_lists.h"

namespace qdz::sim {

struct Credentials {
  std::string merchantCode;  // the "mc" query element
  std::string authToken;     // the "auth_token" header
};

class Marketplace {
 public:
  Marketplace(const std::filesystem::path& dataDir, Credentials credentials);

  // Not thread-safe: the caller serialises requests.
  Answer Handle(const IncomingRequest& request);

 private:
  Answer Route(const IncomingRequest& request);
  Answer WithdrawPrices(const IncomingRequest& request);
  Answer MergePricePart(const IncomingRequest& request);
  Answer ServeOrders(const IncomingRequest& request);
  Answer MarkExported(const IncomingRequest& request);
  Answer StoreStatusChange(const IncomingRequest& request);

  Credentials credentials_;
  std::filesystem::path statusesFile_;
  PriceLists prices_;
  OrderBook orders_;
};

}  // namespace qdz::sim
