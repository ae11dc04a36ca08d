#include "marketplace-sim/marketplace.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "marketplace-sim/encoding.h"

namespace qdz::sim {
namespace {

// A request that cannot be carried out; becomes a 400 answer with the message.
class BadRequest : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Answer OkAnswer(Json fields) {
  Json body = {{"result", "ok"}};
  body.update(fields);
  return {200, DumpLine(body)};
}

Json ParseJson(const std::string& text, const std::string& what) {
  try {
    return Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw BadRequest(what + " is not JSON: " + e.what());
  }
}

const Json& Member(const Json& object, const std::string& name, Json::value_t type,
                   const std::string& what) {
  if (!object.is_object() || !object.contains(name) || object[name].type() != type) {
    throw BadRequest(what + ": \"" + name + "\" missing or of the wrong type");
  }
  return object[name];
}

std::string StoreIdOf(const Json& payload, const std::string& what) {
  std::string storeId = Member(payload, "store_id", Json::value_t::string, what).get<std::string>();
  if (storeId.empty()) throw BadRequest(what + ": empty \"store_id\"");
  return storeId;
}

std::vector<Json> PriceItems(const Json& part) {
  std::vector<Json> items;
  for (const Json& item : Member(part, "list", Json::value_t::array, "price part")) {
    if (!item.is_object() || !item.contains("id") || !item["id"].is_string()) {
      throw BadRequest("price part: an item without a string \"id\"");
    }
    items.push_back(item);
  }
  return items;
}

std::vector<std::int64_t> AcknowledgedNumbers(const Json& body) {
  std::vector<std::int64_t> numbers;
  for (const Json& number : Member(body, "id", Json::value_t::array, "acknowledgement")) {
    if (!number.is_number_integer()) throw BadRequest("acknowledgement: \"id\" holds a non-integer");
    numbers.push_back(number.get<std::int64_t>());
  }
  return numbers;
}

}  // namespace

Marketplace::Marketplace(const std::filesystem::path& dataDir, Credentials credentials)
    : credentials_(std::move(credentials)),
      statusesFile_(dataDir / "statuses.jsonl"),
      prices_(dataDir / "published"),
      orders_(dataDir) {}

Answer Marketplace::Handle(const IncomingRequest& request) {
  if (QueryValue(request.query, "mc") != credentials_.merchantCode) {
    return ErrorAnswer(401, "wrong or missing mc");
  }
  // httplib drops a header line with an empty value, so for an empty token "no header" has to do.
  if (request.Header("auth_token").value_or("") != credentials_.authToken) {
    return ErrorAnswer(401, "wrong or missing auth_token");
  }
  try {
    return Route(request);
  } catch (const BadRequest& e) {
    return ErrorAnswer(400, e.what());
  } catch (const std::exception& e) {
    return ErrorAnswer(500, e.what());
  }
}

Answer Marketplace::Route(const IncomingRequest& request) {
  const std::string& method = request.method;
  const std::string& path = request.path;
  if (path == "/exch/v1/prices" && method == "DELETE") return WithdrawPrices(request);
  if (path == "/exch/v4/prices" && method == "POST") return MergePricePart(request);
  if (path == "/exch/v4/orders" && method == "GET") return ServeOrders(request);
  if (path == "/exch/v4/orders" && method == "POST") return StoreStatusChange(request);
  if (path == "/exch/v4/orders/exported" && method == "POST") return MarkExported(request);
  const bool knownPath = path == "/exch/v1/prices" || path == "/exch/v4/prices" ||
                         path == "/exch/v4/orders" || path == "/exch/v4/orders/exported";
  return knownPath ? ErrorAnswer(405, "method " + method + " not allowed on " + path)
                   : ErrorAnswer(404, "no such path: " + path);
}

Answer Marketplace::WithdrawPrices(const IncomingRequest& request) {
  const std::string storeId = StoreIdOf(ParseJson(request.body, "store payload"), "store payload");
  const std::size_t withdrawn = prices_.Withdraw(storeId);
  return OkAnswer({{"store_id", storeId}, {"withdrawn", withdrawn}});
}

Answer Marketplace::MergePricePart(const IncomingRequest& request) {
  const Json part = ParseJson(request.body, "price part");
  const std::string storeId = StoreIdOf(part, "price part");
  const std::vector<Json> items = PriceItems(part);
  const std::size_t published = prices_.Merge(storeId, items);
  return OkAnswer({{"accepted", items.size()}, {"published", published}});
}

Answer Marketplace::ServeOrders(const IncomingRequest& request) {
  const std::optional<std::string> data = QueryValue(request.query, "data");
  if (!data) throw BadRequest("no \"data\" in the query");
  StoreIdOf(ParseJson(*data, "data"), "data");
  return {200, DumpLine(orders_.PendingOrders())};
}

Answer Marketplace::MarkExported(const IncomingRequest& request) {
  const std::vector<std::int64_t> numbers = AcknowledgedNumbers(ParseJson(request.body, "acknowledgement"));
  const std::size_t marked = orders_.MarkExported(numbers);
  return OkAnswer({{"marked", marked}});
}

Answer Marketplace::StoreStatusChange(const IncomingRequest& request) {
  const Json change = ParseJson(request.body, "status change");
  Member(change, "list", Json::value_t::array, "status change");
  AppendLine(statusesFile_, DumpLine(change));
  return OkAnswer(Json::object());
}

}  // namespace qdz::sim
