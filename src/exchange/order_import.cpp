#include "exchange/order_import.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/exchange_request.h"
#include "exchange/float_format.h"
#include "exchange/journal.h"
#include "exchange/marketplace_order.h"
#include "exchange/store_payload.h"
#include "exchange/time_zone.h"
#include "util/codepage.h"
#include "util/datetime.h"

namespace qdz::exchange {
namespace {

constexpr const char* kNewOrderSql =
    "select ORDER_UUID from ZV$PR_NEW_ORDER(:vnum,:ORDER_DATE,:CLIENT_NAME, :CLIENT_EMAIL, "
    ":CLIENT_PHONE, :CLIENT_UUID, :i_status)";
constexpr const char* kAddItemSql =
    "select ERROR_CODE, ERROR_TEXT from ZV$PR_ORDER_ADD(:I_ID,:ORDER_UUID,:PART_ID,:QUANT,:PRICE)";
constexpr const char* kCommitOrderSql =
    "select ERROR_CODE, ERROR_TEXT from ZV$PR_COMMIT_ORDER(:ORDER_UUID,:STATUS,:STATUS_INFO,:SUMMA)";
constexpr const char* kFailedOrderSql =
    "update i_orders set STATUS=-3, STATUS_INFO=:STATUS_INFO, I_SOURCE=:I_SOURCE where d$uuid=:order_uuid";
constexpr const char* kGoodOrderSql = "update i_orders set I_SOURCE=:I_SOURCE where d$uuid=:order_uuid";

// The first row of ZV$PR_ORDER_ADD or ZV$PR_COMMIT_ORDER; NULL and no row read as success.
struct ProcedureResult {
  std::int32_t errorCode = 0;
  std::string errorText;
};

ProcedureResult ReadProcedureResult(const db::Query& query) {
  if (query.Eof()) return {};
  return {query.FieldByName("ERROR_CODE").AsInt(), query.FieldByName("ERROR_TEXT").AsString()};
}

// Local wall-clock time, without daylight saving, of a moment given in Unix seconds.
util::DateTime OrderDate(std::int64_t creationDate) {
  const double utcDays = static_cast<double>(creationDate) / 86400.0 + 25569.0;
  return util::DateTime{(utcDays * 24.0 - TimeZoneHours()) / 24.0};
}

std::string ItemLogLine(const MarketplaceItem& item) {
  return "id=" + std::to_string(item.id) + "\r\n part_id=" + item.itemId + "\r\n price=" +
         FormatGeneralFloat(item.price) + "\r\nquant=" + FormatGeneralFloat(item.quantity);
}

// Creates the orders of one download on one batch transaction. The batch is taken over whole or
// not at all: released without its commit, it is rolled back, so that a download that failed
// half-way leaves no orders behind and the next download creates them all anew.
class OrderBatch {
 public:
  OrderBatch(db::Connection& db, const std::string& answer, const LogCallback& log)
      : answer_(answer), log_(log), newOrder_(db::CreateQuery(db)) {
    addItem_ = db::CreateQueryOn(newOrder_->GetTransaction());
    finishOrder_ = db::CreateQueryOn(newOrder_->GetTransaction());
    newOrder_->SetSql(kNewOrderSql);
    newOrder_->Prepare();
    addItem_->SetSql(kAddItemSql);
    addItem_->Prepare();
  }

  ~OrderBatch() {
    db::Transaction& transaction = newOrder_->GetTransaction();
    if (!transaction.Active()) return;
    try {
      transaction.Rollback();
    } catch (const std::exception&) {
      // The connection is gone; nothing of the batch was committed either.
    }
  }

  OrderBatch(const OrderBatch&) = delete;
  OrderBatch& operator=(const OrderBatch&) = delete;

  // Orders the loop went through, "101,102,", whatever became of them.
  const std::string& TakenOrders() const { return takenOrders_; }

  void ImportOrder(const Json& element, std::size_t index) {
    const MarketplaceOrder order = ReadOrder(element, index);
    log_("id=" + std::to_string(order.id) + " from " + order.fio);
    takenOrders_ += std::to_string(order.id) + ",";
    const std::string orderUuid = CreateOrder(order);
    bool itemFailed = false;
    if (order.statusId == kCancelledOrderStatus) {
      log_(util::W1251("Отмена заказа - вставка позиций пропущена"));
    } else {
      const Json& items = ReadOrderItems(element, order.id);
      for (std::size_t i = 0; i < items.size(); ++i)
        if (!AddItem(ReadItem(items[i], order.id, i), orderUuid)) itemFailed = true;
    }
    FinishOrder(order, orderUuid, itemFailed);
  }

  void Commit() { newOrder_->GetTransaction().Commit(); }

 private:
  std::string CreateOrder(const MarketplaceOrder& order) {
    db::Query& query = *newOrder_;
    query.Close();
    query.ParamByName("vnum").SetInt64(order.id);
    query.ParamByName("ORDER_DATE").SetDateTime(OrderDate(order.creationDate));
    query.ParamByName("CLIENT_NAME").SetString(order.fio);
    query.ParamByName("CLIENT_EMAIL").SetString(order.email);
    query.ParamByName("CLIENT_PHONE").SetString(order.phone);
    query.ParamByName("CLIENT_UUID").SetNull();
    query.ParamByName("i_status").SetInt(order.statusId);
    query.Open();
    return query.Eof() ? std::string() : query.FieldByName("ORDER_UUID").AsString();
  }

  // False when the pharmacy refused the item; its error joins the item errors of this download.
  bool AddItem(const MarketplaceItem& item, const std::string& orderUuid) {
    db::Query& query = *addItem_;
    query.Close();
    log_(ItemLogLine(item));
    query.ParamByName("I_ID").SetInt64(item.id);
    query.ParamByName("ORDER_UUID").SetString(orderUuid);
    query.ParamByName("PART_ID").SetString(item.itemId);
    query.ParamByName("QUANT").SetInt64(item.wholeQuantity);
    query.ParamByName("PRICE").SetDouble(item.price);
    query.Open();
    const ProcedureResult result = ReadProcedureResult(query);
    if (result.errorCode >= 0) return true;
    itemErrors_ += "id=" + std::to_string(item.id) + "\r\n(" + std::to_string(result.errorCode) + ": " +
                   result.errorText + ")\r\n";
    return false;
  }

  void FinishOrder(const MarketplaceOrder& order, const std::string& orderUuid, bool itemFailed) {
    db::Query& query = *finishOrder_;
    query.Close();
    query.SetSql(kCommitOrderSql);
    query.Prepare();
    query.ParamByName("ORDER_UUID").SetString(orderUuid);
    query.ParamByName("STATUS").SetInt(1);
    query.ParamByName("STATUS_INFO").SetString("");
    query.ParamByName("SUMMA").SetDouble(order.totalAmount);
    query.Open();
    const ProcedureResult result = ReadProcedureResult(query);
    query.Close();
    const bool failed = result.errorCode < 0 || itemFailed;
    query.SetSql(failed ? kFailedOrderSql : kGoodOrderSql);
    query.Prepare();
    if (failed) query.ParamByName("STATUS_INFO").SetString(result.errorText);
    query.ParamByName("I_SOURCE").SetString(itemErrors_ + "---" + answer_);
    query.ParamByName("order_uuid").SetString(orderUuid);
    query.ExecSQL();
  }

  const std::string& answer_;
  const LogCallback& log_;
  std::string takenOrders_;
  std::string itemErrors_;  // of the whole download, not emptied between orders
  // The first query owns the batch transaction; the other two borrow it and go first.
  std::unique_ptr<db::Query> newOrder_;
  std::unique_ptr<db::Query> addItem_;
  std::unique_ptr<db::Query> finishOrder_;
};

void AcknowledgeOrders(const std::string& takenOrders, std::int64_t taskId, const LogCallback& log) {
  const std::string body = "{\"id\": [" + takenOrders.substr(0, takenOrders.size() - 1) + "]}";
  std::string answer;
  ExchangeRequest("POST", "/exch/v4/orders/exported", body, taskId, answer);
  log("--mark exported--\r\n" + answer + "\r\n--");
}

void DownloadAndImport(db::Connection& db, std::int64_t taskId, const LogCallback& log) {
  std::string payload;
  BuildDeletePayload(db, payload);
  std::string answer;
  ExchangeRequest("GET", "/exch/v4/orders", payload, taskId, answer);
  log("--\r\n" + answer + "\r\n--");
  OrderBatch batch(db, answer, log);
  const Json list = ReadOrderList(answer);
  for (std::size_t i = 0; i < list.size(); ++i) batch.ImportOrder(list[i], i);
  batch.Commit();
  if (!batch.TakenOrders().empty()) AcknowledgeOrders(batch.TakenOrders(), taskId, log);
}

}  // namespace

void ImportOrders(db::Connection& db, const LogCallback& log) {
  const std::int64_t taskId = TaskCreate("GETORDERS", "", 1);
  try {
    DownloadAndImport(db, taskId, log);
  } catch (const std::exception& e) {
    TaskFinish(-2, e.what(), taskId);
    return;
  }
  TaskFinish(1, "", taskId);
}

}  // namespace qdz::exchange
