#include "exchange/marketplace_order.h"

#include <stdexcept>

#include "util/codepage.h"

namespace qdz::exchange {
namespace {

std::string ReadCp1251Text(const Json& object, std::string_view name) {
  return util::Utf8ToCp1251(ReadText(object, name));
}

}  // namespace

Json ReadOrderList(const std::string& answer) {
  Json root;
  try {
    root = ParseFirstJsonValue(util::Cp1251ToUtf8(answer));
  } catch (const Json::exception& e) {
    throw std::runtime_error(std::string("orders answer is not JSON: ") + e.what());
  } catch (const std::runtime_error& e) {  // nested too deep to be read safely
    throw std::runtime_error(std::string("orders answer is not JSON: ") + e.what());
  }
  const auto list = root.is_object() ? root.find("list") : root.end();
  if (!root.is_object() || list == root.end() || !list->is_array())
    throw std::runtime_error("orders answer has no \"list\" array");
  return std::move(*list);
}

MarketplaceOrder ReadOrder(const Json& element, std::size_t index) {
  if (!element.is_object())
    throw std::runtime_error("element " + std::to_string(index) + " of \"list\" is not an object");
  MarketplaceOrder order;
  order.id = ReadInt64(element, "id");
  order.fio = ReadCp1251Text(element, "fio");
  order.statusId = ReadInt32(element, "status_id");
  order.creationDate = ReadInt64(element, "creation_date");
  order.email = ReadCp1251Text(element, "email");
  order.phone = ReadCp1251Text(element, "phone");
  order.totalAmount = ReadFloat(element, "total_amount");
  return order;
}

const Json& ReadOrderItems(const Json& element, std::int64_t orderId) {
  const auto items = element.find("items");
  if (items == element.end() || !items->is_array())
    throw std::runtime_error("order " + std::to_string(orderId) + " has no \"items\" array");
  return *items;
}

MarketplaceItem ReadItem(const Json& element, std::int64_t orderId, std::size_t index) {
  if (!element.is_object())
    throw std::runtime_error("element " + std::to_string(index) + " of \"items\" of order " +
                             std::to_string(orderId) + " is not an object");
  MarketplaceItem item;
  item.id = ReadInt64(element, "id");
  item.itemId = ReadCp1251Text(element, "item_id");
  item.price = ReadFloat(element, "price");
  item.quantity = ReadFloat(element, "quantity");
  item.wholeQuantity = ReadInt64(element, "quantity");
  return item;
}

}  // namespace qdz::exchange
