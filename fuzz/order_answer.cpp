// The reading of the marketplace's answer with the new orders, as the order import does it: the
// "list" array, each order, the "items" of every order that is not cancelled, each item, and the
// numbers of the item's log line. Properties:
// - reading either gives the orders or fails with one of its own messages (std::runtime_error);
//   no other exception, crash or undefined behaviour, whatever the bytes;
// - reading is deterministic, and the 32-bit status is the low half of the 64-bit reading;
// - the log line's numbers read back to the values they show, to 15 significant digits.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>

#include "exchange/float_format.h"
#include "exchange/marketplace_order.h"
#include "fuzz_support.h"
#include "util/numbers.h"

namespace {

using qdz::exchange::Json;
using qdz::fuzz::Require;

constexpr std::string_view kMessageStarts[] = {"orders answer is not JSON: ", "orders answer has no \"list\" array",
                                               "element ", "order "};

bool IsOwnMessage(std::string_view message) {
  for (const std::string_view start : kMessageStarts)
    if (message.starts_with(start)) return true;
  return false;
}

void CheckLogNumber(double value) {
  const std::string text = qdz::exchange::FormatGeneralFloat(value);
  const double magnitude = std::fabs(value);
  if (!(magnitude >= DBL_MIN && magnitude < 1e308)) return;  // subnormals and the very edge of double
  double readBack = 0.0;
  Require(qdz::util::TryParseFloat(text, readBack), "a log number reads back");
  Require(std::fabs(readBack - value) <= magnitude * 1e-14, "a log number shows 15 significant digits");
}

// Everything the order import reads from the answer, in its order; a short digest to compare runs.
std::string ReadAnswer(const std::string& answer) {
  std::string digest;
  const Json list = qdz::exchange::ReadOrderList(answer);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto order = qdz::exchange::ReadOrder(list[i], i);
    Require(order.statusId == static_cast<std::int32_t>(qdz::exchange::ReadInt64(list[i], "status_id")),
            "the status is the low half of the whole number");
    digest += std::to_string(order.id) + order.fio + order.email + order.phone + std::to_string(order.statusId) +
              std::to_string(order.creationDate) + qdz::exchange::FormatGeneralFloat(order.totalAmount) + ";";
    if (order.statusId == qdz::exchange::kCancelledOrderStatus) continue;
    const Json& items = qdz::exchange::ReadOrderItems(list[i], order.id);
    for (std::size_t j = 0; j < items.size(); ++j) {
      const auto item = qdz::exchange::ReadItem(items[j], order.id, j);
      CheckLogNumber(item.price);
      CheckLogNumber(item.quantity);
      digest += std::to_string(item.id) + item.itemId + std::to_string(item.wholeQuantity) + ",";
    }
  }
  return digest;
}

// The digest, or the failure's message; anything but the reader's own failures stops the run.
std::string Outcome(const std::string& answer) {
  try {
    return "ok:" + ReadAnswer(answer);
  } catch (const std::runtime_error& e) {
    Require(typeid(e) == typeid(std::runtime_error), "failures are the reader's own, not the JSON library's");
    Require(IsOwnMessage(e.what()), "failures carry the reader's messages");
    return std::string("failed:") + e.what();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer = qdz::fuzz::InputText(data, size);
  Require(Outcome(answer) == Outcome(answer), "reading is deterministic");
  return 0;
}
