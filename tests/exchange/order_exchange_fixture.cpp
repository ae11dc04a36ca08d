#include "order_exchange_fixture.h"

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/settings.h"
#include "support/test_connection.h"

namespace qdz::testing {
namespace {

void Serve(httplib::Response& response, const MarketplaceAnswer& answer) {
  response.status = answer.status;
  response.set_content(answer.body, "application/json");
}

}  // namespace

OrderExchangeTest::OrderExchangeTest()
    : connection_(ConnectTo(database_.path())),
      logCallback_([this](const std::string& line) { log_.push_back(line); }) {
  db::ExchangeDatabase = connection_.get();
  server_.Routes().Get("/exch/v4/orders", [this](const httplib::Request&, httplib::Response& response) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Serve(response, orders_);
  });
  server_.Routes().Post("/exch/v4/orders/exported", [this](const httplib::Request&, httplib::Response& response) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Serve(response, exported_);
  });
  server_.Routes().Post("/exch/v4/orders", [this](const httplib::Request&, httplib::Response& response) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Serve(response, statusChange_);
  });
  server_.Start();

  exchange::Settings.BaseUrl = server_.Url();
  exchange::Settings.MerchantCode = "mc1";
  exchange::Settings.AuthToken = "token";
  exchange::Settings.ScratchFolder = scratch_.path();
  Execute(std::string("update or insert into params (param_id, PARAM_VALUE) values "
                      "('ZELVORANT_STORE_UUID', '") + kStoreId + "') matching (param_id)");
}

OrderExchangeTest::~OrderExchangeTest() {
  exchange::Settings = exchange::ExchangeSettings{};
  db::ExchangeDatabase = nullptr;
}

void OrderExchangeTest::AnswerOrders(MarketplaceAnswer answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  orders_ = std::move(answer);
}

void OrderExchangeTest::AnswerExported(MarketplaceAnswer answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  exported_ = std::move(answer);
}

void OrderExchangeTest::AnswerStatusChange(MarketplaceAnswer answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  statusChange_ = std::move(answer);
}

std::vector<ReceivedRequest> OrderExchangeTest::Received(const std::string& method, const std::string& path) const {
  std::vector<ReceivedRequest> matching;
  for (ReceivedRequest& request : server_.Received())
    if (request.method == method && request.path == path) matching.push_back(std::move(request));
  return matching;
}

void OrderExchangeTest::Execute(const std::string& sql) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql(sql);
  query->ExecSQL();
  query->GetTransaction().Commit();
}

std::int64_t OrderExchangeTest::Count(const std::string& sql) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql(sql);
  query->Open();
  return query->Eof() ? 0 : query->FieldByName("COUNT").AsInt64();
}

TaskRow OrderExchangeTest::Task(std::int64_t id) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql("select STATUS, endflag, endtext from I_ORDER_TASKS where ID = " + std::to_string(id));
  query->Open();
  TaskRow row;
  if (query->Eof()) {
    ADD_FAILURE() << "no task row " << id;
    return row;
  }
  row.status = query->FieldByName("STATUS").AsInt();
  if (!query->FieldByName("endflag").IsNull()) row.endFlag = query->FieldByName("endflag").AsInt();
  row.endText = query->FieldByName("endtext").AsString();
  return row;
}

std::int64_t OrderExchangeTest::LastTaskId(const std::string& taskType) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql("select max(ID) as ID from I_ORDER_TASKS where TASK_TYPE = '" + taskType + "'");
  query->Open();
  return query->FieldByName("ID").AsInt64();
}

std::optional<ImportedOrder> OrderExchangeTest::OrderByNumber(std::int64_t vnum) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql(
      "select d$uuid, STATUS, I_STATUS, STATUS_INFO, I_SOURCE, CLIENT_NAME, CLIENT_EMAIL, CLIENT_PHONE, "
      "CLIENT_UUID, SUMMA, ORDER_DATE from i_orders where VNUM = " +
      std::to_string(vnum));
  query->Open();
  if (query->Eof()) return std::nullopt;
  ImportedOrder order;
  order.uuid = query->FieldByName("d$uuid").AsString();
  order.status = query->FieldByName("STATUS").AsInt();
  order.marketplaceStatus = query->FieldByName("I_STATUS").AsInt();
  order.statusInfo = query->FieldByName("STATUS_INFO").AsString();
  order.source = query->FieldByName("I_SOURCE").AsString();
  order.clientName = query->FieldByName("CLIENT_NAME").AsString();
  order.clientEmail = query->FieldByName("CLIENT_EMAIL").AsString();
  order.clientPhone = query->FieldByName("CLIENT_PHONE").AsString();
  order.clientUuidIsNull = query->FieldByName("CLIENT_UUID").IsNull();
  order.summa = query->FieldByName("SUMMA").AsDouble();
  order.orderDate = query->FieldByName("ORDER_DATE").AsDateTime();
  return order;
}

std::vector<std::pair<std::int64_t, std::int64_t>> OrderExchangeTest::ItemsOfOrder(std::int64_t vnum) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql(
      "select i.I_ID, i.QUANT from I_ORDER_ITEMS i join i_orders o on o.d$uuid = i.d$uuid where o.VNUM = " +
      std::to_string(vnum) + " order by i.I_ID");
  query->Open();
  std::vector<std::pair<std::int64_t, std::int64_t>> items;
  for (; !query->Eof(); query->Next())
    items.emplace_back(query->FieldByName("I_ID").AsInt64(), query->FieldByName("QUANT").AsInt64());
  return items;
}

std::int64_t OrderExchangeTest::QueueStatusChange(const std::string& sendData) {
  const auto query = db::CreateQuery(*connection_);
  query->SetSql("select gen_id(gen_i_order_tasks_id, 1) as ID from rdb$database");
  query->Open();
  const std::int64_t id = query->FieldByName("ID").AsInt64();
  query->SetSql("insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS) values (" + std::to_string(id) +
                ", 'SET_ORDER_STATUS', :SENDDATA, 0)");
  query->ParamByName("SENDDATA").SetString(sendData);
  query->ExecSQL();
  query->GetTransaction().Commit();
  return id;
}

}  // namespace qdz::testing
