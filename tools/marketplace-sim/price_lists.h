#pragma once
// The price lists the stores have published: kept in memory and mirrored, one file per store, in
// <data>/published/<store>.json as {"store_id": ..., "list": [items]}, so they survive a restart.
#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "marketplace-sim/json_file.h"

namespace qdz::sim {

class PriceLists {
 public:
  // Loads what earlier runs published from the folder; creates the folder when it is missing.
  explicit PriceLists(std::filesystem::path folder);

  // Merges price items (objects with a string "id") into the store's list: an item whose id is
  // already published replaces it in place, a new one is appended. Returns the store's item count.
  std::size_t Merge(const std::string& storeId, const std::vector<Json>& items);

  // Removes the store's list; returns how many items it held (0 for an unknown store).
  std::size_t Withdraw(const std::string& storeId);

 private:
  struct StoreList {
    std::vector<Json> items;
    std::unordered_map<std::string, std::size_t> positionById;
  };

  void Load(const std::filesystem::path& file);
  void Save(const std::string& storeId, const StoreList& list) const;
  std::filesystem::path FileOf(const std::string& storeId) const;
  static void Put(StoreList& list, const Json& item);

  std::filesystem::path folder_;
  std::map<std::string, StoreList> stores_;
};

}  // namespace qdz::sim
