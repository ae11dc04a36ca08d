#pragma once
// A fresh reference database, a marketplace on 127.0.0.1 that answers what the test sets and
// records what it receives, and the exchange settings pointing at both: the ground on which the
// order import and the status push run in tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "exchange/log.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/test_database.h"
#include "util/datetime.h"

namespace qdz::testing {

inline constexpr const char* kStoreId = "3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f";

struct MarketplaceAnswer {
  int status = 200;
  std::string body;  // sent as it is (UTF-8 for text)
};

struct TaskRow {
  std::int32_t status = 0;
  std::optional<std::int32_t> endFlag;
  std::string endText;
};

struct ImportedOrder {
  std::string uuid;
  std::int32_t status = 0;
  std::int32_t marketplaceStatus = 0;
  std::string statusInfo;
  std::string source;
  std::string clientName;
  std::string clientEmail;
  std::string clientPhone;
  bool clientUuidIsNull = false;
  double summa = 0.0;
  util::DateTime orderDate;
};

class OrderExchangeTest : public ::testing::Test {
 protected:
  OrderExchangeTest();
  ~OrderExchangeTest() override;

  // What the marketplace answers from now on.
  void AnswerOrders(MarketplaceAnswer answer);      // GET  /exch/v4/orders
  void AnswerExported(MarketplaceAnswer answer);    // POST /exch/v4/orders/exported
  void AnswerStatusChange(MarketplaceAnswer answer);  // POST /exch/v4/orders
  std::vector<ReceivedRequest> Received(const std::string& method, const std::string& path) const;

  const exchange::LogCallback& Log() const { return logCallback_; }
  std::vector<std::string> LogLines() const { return log_; }

  // Statements on a transaction of their own, committed at once.
  void Execute(const std::string& sql);
  std::int64_t Count(const std::string& sql);  // the first column of the first row

  TaskRow Task(std::int64_t id);
  std::int64_t LastTaskId(const std::string& taskType);
  std::optional<ImportedOrder> OrderByNumber(std::int64_t vnum);
  // (I_ID, QUANT) of the order's lines in I_ID order.
  std::vector<std::pair<std::int64_t, std::int64_t>> ItemsOfOrder(std::int64_t vnum);
  // Queues a status change as the pharmacy system does; gives its task id.
  std::int64_t QueueStatusChange(const std::string& sendData);

  db::Connection& Db() { return *connection_; }

 private:
  TempDir scratch_;
  TestDatabase database_;
  std::unique_ptr<db::Connection> connection_;
  HttpTestServer server_;
  mutable std::mutex mutex_;
  MarketplaceAnswer orders_;
  MarketplaceAnswer exported_{200, R"({"result": "ok"})"};
  MarketplaceAnswer statusChange_{200, R"({"result": "ok"})"};
  std::vector<std::string> log_;
  exchange::LogCallback logCallback_;
};

}  // namespace qdz::testing
