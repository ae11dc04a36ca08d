#include "marketplace-sim/price_lists.h"

#include <stdexcept>
#include <utility>

#include "marketplace-sim/encoding.h"

namespace qdz::sim {

PriceLists::PriceLists(std::filesystem::path folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    if (entry.is_regular_file() && entry.path().extension() == ".json") Load(entry.path());
  }
}

std::size_t PriceLists::Merge(const std::string& storeId, const std::vector<Json>& items) {
  StoreList& list = stores_[storeId];
  for (const Json& item : items) Put(list, item);
  Save(storeId, list);
  return list.items.size();
}

std::size_t PriceLists::Withdraw(const std::string& storeId) {
  const auto found = stores_.find(storeId);
  if (found == stores_.end()) return 0;
  const std::size_t count = found->second.items.size();
  stores_.erase(found);
  std::filesystem::remove(FileOf(storeId));
  return count;
}

void PriceLists::Load(const std::filesystem::path& file) {
  const std::optional<Json> document = ReadJsonFile(file);
  if (!document || !document->is_object() || !document->contains("store_id") ||
      !(*document)["store_id"].is_string() || !document->contains("list") ||
      !(*document)["list"].is_array()) {
    throw std::runtime_error(file.string() + ": not a published price list");
  }
  StoreList& list = stores_[(*document)["store_id"].get<std::string>()];
  for (const Json& item : (*document)["list"]) {
    if (!item.is_object() || !item.contains("id") || !item["id"].is_string()) {
      throw std::runtime_error(file.string() + ": an item without a string \"id\"");
    }
    Put(list, item);
  }
}

// One item per line: small enough to diff, easy to read.
void PriceLists::Save(const std::string& storeId, const StoreList& list) const {
  std::string text = "{\"store_id\": " + DumpLine(Json(storeId)) + ", \"list\": [";
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    text += i == 0 ? "\n" : ",\n";
    text += DumpLine(list.items[i]);
  }
  text += "\n]}\n";
  WriteFileAtomically(FileOf(storeId), text);
}

std::filesystem::path PriceLists::FileOf(const std::string& storeId) const {
  return folder_ / (SafeFileName(storeId) + ".json");
}

void PriceLists::Put(StoreList& list, const Json& item) {
  const std::string id = item.at("id").get<std::string>();
  const auto [position, added] = list.positionById.try_emplace(id, list.items.size());
  if (added) {
    list.items.push_back(item);
  } else {
    list.items[position->second] = item;
  }
}

}  // namespace qdz::sim
