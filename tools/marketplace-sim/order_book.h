#pragma once
// The orders the marketplace offers: <data>/orders.json, written by a person or a test in the
// shape of the order list ({"list": [orders]}), is read afresh for every download; the numbers of
// orders the service took over are kept in <data>/exported.json so they are not offered again.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "marketplace-sim/json_file.h"

namespace qdz::sim {

class OrderBook {
 public:
  explicit OrderBook(std::filesystem::path dataDir);

  // The order list of orders.json without the orders marked exported, every other member and
  // element as written; {"list": []} when the file is missing. Throws std::runtime_error when the
  // file is not an object with a "list" array.
  Json PendingOrders() const;

  // Marks the orders exported; returns how many of them were not marked before.
  std::size_t MarkExported(const std::vector<std::int64_t>& orderNumbers);

 private:
  bool IsExported(const Json& order) const;
  void SaveExported() const;

  std::filesystem::path ordersFile_;
  std::filesystem::path exportedFile_;
  std::set<std::int64_t> exported_;
};

// The order's "id" as a number: a JSON integer, or a string that is a whole integer; nullopt for
// anything else (such an order can never be marked exported).
std::optional<std::int64_t> OrderNumber(const Json& order);

}  // namespace qdz::sim
