#include "marketplace-sim/order_book.h"

#include <charconv>
#include <stdexcept>

namespace qdz::sim {
namespace {

std::optional<std::int64_t> WholeInteger(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int64_t> OrderNumber(const Json& order) {
  if (!order.is_object() || !order.contains("id")) return std::nullopt;
  const Json& id = order["id"];
  if (id.is_number_integer()) return id.get<std::int64_t>();
  if (id.is_string()) return WholeInteger(id.get<std::string>());
  return std::nullopt;
}

OrderBook::OrderBook(std::filesystem::path dataDir)
    : ordersFile_(dataDir / "orders.json"), exportedFile_(dataDir / "exported.json") {
  const std::optional<Json> saved = ReadJsonFile(exportedFile_);
  if (!saved) return;
  if (!saved->is_array()) throw std::runtime_error("exported.json: not an array of order numbers");
  for (const Json& number : *saved) {
    if (!number.is_number_integer()) throw std::runtime_error("exported.json: not an array of order numbers");
    exported_.insert(number.get<std::int64_t>());
  }
}

Json OrderBook::PendingOrders() const {
  const std::optional<Json> document = ReadJsonFile(ordersFile_);
  if (!document) return Json{{"list", Json::array()}};
  if (!document->is_object() || !document->contains("list") || !(*document)["list"].is_array()) {
    throw std::runtime_error("orders.json: not an object with a \"list\" array");
  }
  Json pending = *document;
  Json& list = pending["list"];
  list = Json::array();
  for (const Json& order : (*document)["list"]) {
    if (!IsExported(order)) list.push_back(order);
  }
  return pending;
}

std::size_t OrderBook::MarkExported(const std::vector<std::int64_t>& orderNumbers) {
  std::size_t added = 0;
  for (const std::int64_t number : orderNumbers) {
    if (exported_.insert(number).second) ++added;
  }
  if (added > 0) SaveExported();
  return added;
}

bool OrderBook::IsExported(const Json& order) const {
  const std::optional<std::int64_t> number = OrderNumber(order);
  return number && exported_.contains(*number);
}

void OrderBook::SaveExported() const {
  WriteFileAtomically(exportedFile_, DumpLine(Json(exported_)) + "\n");
}

}  // namespace qdz::sim
