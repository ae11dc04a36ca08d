#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/order_import.h"
#include "order_exchange_fixture.h"
#include "support/scoped_time_zone.h"
#include "support/test_connection.h"
#include "util/codepage.h"
#include "util/datetime.h"

namespace qdz::testing {
namespace {

using util::W1251;

// Goods 10001..10003 exist in the test database; anything else is refused by ZV$PR_ORDER_ADD.
class ImportOrdersTest : public OrderExchangeTest {
 protected:
  ImportOrdersTest() {
    Execute("insert into GOODS (PART_ID, NAME, PRICE, QUANTITY) values (10001, 'A', 35.5, 10)");
    Execute("insert into GOODS (PART_ID, NAME, PRICE, QUANTITY) values (10002, 'B', 41, 10)");
    Execute("insert into GOODS (PART_ID, NAME, PRICE, QUANTITY) values (10003, 'C', 12, 10)");
  }

  // Runs the stage on an answer of the marketplace; gives the task row it closed.
  TaskRow Import(const std::string& ordersAnswer) {
    AnswerOrders({200, ordersAnswer});
    exchange::ImportOrders(Db(), Log());
    return Task(LastTaskId("GETORDERS"));
  }

  std::vector<std::string> AcknowledgementBodies() const {
    std::vector<std::string> bodies;
    for (const auto& request : Received("POST", "/exch/v4/orders/exported")) bodies.push_back(request.body);
    return bodies;
  }

  std::int64_t OrderCount() { return Count("select count(*) from i_orders"); }
};

constexpr const char* kTwoGoodOrders = R"({"list": [
  {"id": 101, "fio": "Иванов Иван", "status_id": 1, "creation_date": 1700000000,
   "email": "ivanov@example.com", "phone": "+79001234567", "total_amount": 112.5,
   "items": [{"id": 1, "item_id": "10001", "price": 35.5, "quantity": 2},
             {"id": 2, "item_id": "10002", "price": 41, "quantity": 1}]},
  {"id": 102, "fio": "Petrov", "status_id": 1, "creation_date": 1700000100, "total_amount": 12,
   "items": [{"id": 3, "item_id": "10003", "price": 12, "quantity": 1}]}
]})";

TEST_F(ImportOrdersTest, CreatesEveryOrderWithItsItemsAndAcknowledgesThem) {
  const ScopedTimeZone zone(kMoscowTime);
  const TaskRow task = Import(kTwoGoodOrders);

  EXPECT_EQ(task.status, 1);
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_EQ(task.endText, "");

  const auto first = OrderByNumber(101);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 1);
  EXPECT_EQ(first->marketplaceStatus, 1);
  EXPECT_EQ(first->clientName, W1251("Иванов Иван"));
  EXPECT_EQ(first->clientEmail, "ivanov@example.com");
  EXPECT_EQ(first->clientPhone, "+79001234567");
  EXPECT_TRUE(first->clientUuidIsNull);
  EXPECT_DOUBLE_EQ(first->summa, 112.5);
  // 2023-11-14 22:13:20 UTC is 2023-11-15 01:13:20 in Moscow.
  EXPECT_EQ(util::FormatYmdHms(first->orderDate), "2023-11-15 01:13:20");
  EXPECT_EQ(first->source, "---" + util::Utf8ToCp1251(kTwoGoodOrders));
  EXPECT_EQ(ItemsOfOrder(101), (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 2}, {2, 1}}));
  ASSERT_TRUE(OrderByNumber(102));
  EXPECT_EQ(OrderByNumber(102)->status, 1);
  EXPECT_EQ(ItemsOfOrder(102), (std::vector<std::pair<std::int64_t, std::int64_t>>{{3, 1}}));

  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [101,102]})"});
  const auto downloads = Received("GET", "/exch/v4/orders");
  ASSERT_EQ(downloads.size(), 1U);
  EXPECT_NE(downloads[0].target.find(std::string("&data=%7B%22store%5Fid%22%3A%20%22") + kStoreId + "%22%7D"),
            std::string::npos)
      << downloads[0].target;
  EXPECT_EQ(Count("select count(*) from ZV$PROT where task_id = " + std::to_string(LastTaskId("GETORDERS"))), 2);
}

TEST_F(ImportOrdersTest, LogsTheAnswerEveryOrderEveryItemAndTheAcknowledgement) {
  Import(kTwoGoodOrders);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "--\r\n" + util::Utf8ToCp1251(kTwoGoodOrders) + "\r\n--",
                            "id=101 from " + W1251("Иванов Иван"),
                            "id=1\r\n part_id=10001\r\n price=35,5\r\nquant=2",
                            "id=2\r\n part_id=10002\r\n price=41\r\nquant=1",
                            "id=102 from Petrov",
                            "id=3\r\n part_id=10003\r\n price=12\r\nquant=1",
                            "--mark exported--\r\n{\"result\": \"ok\"}\r\n--",
                        }));
}

TEST_F(ImportOrdersTest, AnEmptyListCreatesNothingAndAcknowledgesNothing) {
  const TaskRow task = Import(R"({"list": [], "total": 0})");
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_EQ(task.endText, "");
  EXPECT_EQ(OrderCount(), 0);
  EXPECT_TRUE(AcknowledgementBodies().empty());
}

TEST_F(ImportOrdersTest, TextAfterTheFirstValueIsIgnored) {
  const std::string answer = R"({"list": [{"id": 7, "status_id": 3}]} {"list": [{"id": 8, "status_id": 3}]} junk)";
  const TaskRow task = Import(answer);
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_TRUE(OrderByNumber(7));
  EXPECT_FALSE(OrderByNumber(8));
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [7]})"});
  // The whole answer, trailing text and all, is what the order keeps as its source.
  EXPECT_EQ(OrderByNumber(7)->source, "---" + answer);
}

TEST_F(ImportOrdersTest, AFailedOrEmptyDownloadEndsTheTaskWithoutOrders) {
  const struct {
    MarketplaceAnswer answer;
    const char* messageStart;
  } cases[] = {
      {{500, R"({"list": [{"id": 7, "status_id": 3}]})"}, "orders answer is not JSON"},
      {{200, ""}, "orders answer is not JSON"},
      {{200, "   "}, "orders answer is not JSON"},
      {{200, R"({"orders": []})"}, "orders answer has no \"list\" array"},
      {{200, R"({"list": {"id": 7}})"}, "orders answer has no \"list\" array"},
      {{200, R"([{"id": 7, "status_id": 3}])"}, "orders answer has no \"list\" array"},
  };
  for (const auto& c : cases) {
    AnswerOrders(c.answer);
    exchange::ImportOrders(Db(), Log());
    const TaskRow task = Task(LastTaskId("GETORDERS"));
    EXPECT_EQ(task.endFlag, -2) << c.answer.body;
    EXPECT_EQ(task.endText.rfind(c.messageStart, 0), 0U) << task.endText;
  }
  EXPECT_EQ(OrderCount(), 0);
  EXPECT_TRUE(AcknowledgementBodies().empty());
}

TEST_F(ImportOrdersTest, ACancelledOrderIsCreatedWithoutReadingItsItems) {
  const TaskRow task =
      Import(R"({"list": [{"id": 55, "fio": "X", "status_id": 3, "total_amount": 10, "items": "not read"}]})");
  EXPECT_EQ(task.endFlag, 1);
  const auto order = OrderByNumber(55);
  ASSERT_TRUE(order);
  EXPECT_EQ(order->marketplaceStatus, 3);
  EXPECT_EQ(order->status, 3);  // committed: the reference database keeps a cancelled order as 3
  EXPECT_DOUBLE_EQ(order->summa, 10.0);
  EXPECT_TRUE(ItemsOfOrder(55).empty());
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 4U);
  EXPECT_EQ(log[1], "id=55 from X");
  EXPECT_EQ(log[2], W1251("Отмена заказа - вставка позиций пропущена"));
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [55]})"});
}

// A failure half-way through a download leaves nothing of it behind, so that the next download
// (which lists the same orders, none having been acknowledged) takes it over whole.
TEST_F(ImportOrdersTest, AFailureHalfWayRollsTheWholeDownloadBack) {
  const struct {
    const char* answer;
    const char* message;
  } cases[] = {
      {R"({"list": [{"id": 101, "status_id": 1, "items": [{"id": 1, "item_id": "10001", "quantity": 1}]},
                    {"id": 102, "status_id": 1}]})",
       "order 102 has no \"items\" array"},
      {R"({"list": [{"id": 101, "status_id": 1, "items": [{"id": 1, "item_id": "10001", "quantity": 1}]},
                    {"id": 102, "status_id": 1, "items": {"id": 2}}]})",
       "order 102 has no \"items\" array"},
      {R"({"list": [{"id": 101, "status_id": 1, "items": [{"id": 1, "item_id": "10001", "quantity": 1}]},
                    17]})",
       "element 1 of \"list\" is not an object"},
      {R"({"list": [{"id": 101, "status_id": 1, "items": [{"id": 1, "item_id": "10001", "quantity": 1}]},
                    {"id": 102, "status_id": 1, "items": [{"id": 2, "item_id": "10002", "quantity": 1}, "x"]}]})",
       "element 1 of \"items\" of order 102 is not an object"},
  };
  for (const auto& c : cases) {
    const TaskRow task = Import(c.answer);
    EXPECT_EQ(task.endFlag, -2) << c.answer;
    EXPECT_EQ(task.endText, c.message);
    EXPECT_EQ(OrderCount(), 0) << c.answer;
    EXPECT_EQ(Count("select count(*) from I_ORDER_ITEMS"), 0) << c.answer;
  }
  EXPECT_TRUE(AcknowledgementBodies().empty());

  const TaskRow retry = Import(kTwoGoodOrders);
  EXPECT_EQ(retry.endFlag, 1);
  EXPECT_EQ(OrderCount(), 2);
  EXPECT_EQ(ItemsOfOrder(101).size(), 2U);
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [101,102]})"});
}

TEST_F(ImportOrdersTest, ADatabaseErrorHalfWayRollsTheWholeDownloadBack) {
  // Another program holds order 102 uncommitted: the no-wait batch fails at once on it.
  const auto other = ConnectTo(Db().DatabaseName());
  const auto blocker = db::CreateQuery(*other);
  blocker->SetSql("insert into i_orders (d$uuid, VNUM) values ('held-by-another', 102)");
  blocker->ExecSQL();

  const TaskRow task = Import(kTwoGoodOrders);
  EXPECT_EQ(task.endFlag, -2);
  EXPECT_FALSE(task.endText.empty());
  EXPECT_EQ(Count("select count(*) from i_orders where VNUM = 101"), 0);
  EXPECT_EQ(Count("select count(*) from I_ORDER_ITEMS"), 0);
  EXPECT_TRUE(AcknowledgementBodies().empty());
  blocker->GetTransaction().Rollback();
}

TEST_F(ImportOrdersTest, ItemErrorsMarkTheirOrderAndGatherForTheRestOfTheDownload) {
  const std::string answer = R"({"list": [
    {"id": 201, "status_id": 1, "items": [{"id": 11, "item_id": "999", "price": 1, "quantity": 1}]},
    {"id": 202, "status_id": 1, "items": [{"id": 12, "item_id": "10001", "price": 1, "quantity": 1}]}
  ]})";
  const TaskRow task = Import(answer);
  EXPECT_EQ(task.endFlag, 1);
  const std::string itemError = "id=11\r\n(-2: " + W1251("Товар с кодом \"999\" не найден") + ")\r\n";

  const auto failed = OrderByNumber(201);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, -3);
  // The commit's own ERROR_TEXT: the order was left without lines.
  EXPECT_EQ(failed->statusInfo, W1251("Заказ не содержит ни одной позиции"));
  EXPECT_EQ(failed->source, itemError + "---" + answer);

  const auto good = OrderByNumber(202);
  ASSERT_TRUE(good);
  EXPECT_EQ(good->status, 1);
  EXPECT_EQ(good->source, itemError + "---" + answer);
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [201,202]})"});
}

TEST_F(ImportOrdersTest, ARefusedCommitMarksTheOrderFailed) {
  const std::string answer = R"({"list": [{"id": 301, "status_id": 1, "items": []}]})";
  const TaskRow task = Import(answer);
  EXPECT_EQ(task.endFlag, 1);
  const auto order = OrderByNumber(301);
  ASSERT_TRUE(order);
  EXPECT_EQ(order->status, -3);
  EXPECT_EQ(order->statusInfo, W1251("Заказ не содержит ни одной позиции"));
  EXPECT_EQ(order->source, "---" + answer);
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [301]})"});
}

TEST_F(ImportOrdersTest, CreationDateIsLocalStandardTime) {
  const ScopedTimeZone zone(kMoscowTime);
  Import(R"({"list": [{"id": 1, "status_id": 3, "creation_date": 0},
                      {"id": 2, "status_id": 3, "creation_date": "86400"},
                      {"id": 3, "status_id": 3}]})");
  EXPECT_EQ(util::FormatYmdHms(OrderByNumber(1)->orderDate), "1970-01-01 03:00:00");
  EXPECT_EQ(util::FormatYmdHms(OrderByNumber(2)->orderDate), "1970-01-02 03:00:00");
  EXPECT_EQ(util::FormatYmdHms(OrderByNumber(3)->orderDate), "1970-01-01 03:00:00");
}

TEST_F(ImportOrdersTest, QuantitiesRoundHalfToEvenAndAreLoggedAsWritten) {
  Import(R"({"list": [{"id": 1, "status_id": 1, "items": [
    {"id": 1, "item_id": "10001", "price": 0.5, "quantity": 2.5},
    {"id": 2, "item_id": "10002", "price": "7.25", "quantity": 3.5},
    {"id": 3, "item_id": 10003, "price": 1, "quantity": "4"}]}]})");
  EXPECT_EQ(ItemsOfOrder(1), (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 2}, {2, 4}, {3, 4}}));
  const std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 5U);
  EXPECT_EQ(log[2], "id=1\r\n part_id=10001\r\n price=0,5\r\nquant=2,5");
  EXPECT_EQ(log[3], "id=2\r\n part_id=10002\r\n price=7,25\r\nquant=3,5");
  EXPECT_EQ(log[4], "id=3\r\n part_id=10003\r\n price=1\r\nquant=4");
}

TEST_F(ImportOrdersTest, OrderNumbersGivenAsStringsCountOnlyWhenWhole) {
  Import(R"({"list": [{"id": "12345", "status_id": 3}, {"id": "12a", "status_id": 3}]})");
  EXPECT_TRUE(OrderByNumber(12345));
  EXPECT_TRUE(OrderByNumber(0));
  EXPECT_EQ(AcknowledgementBodies(), std::vector<std::string>{R"({"id": [12345,0]})"});
}

TEST_F(ImportOrdersTest, MissingCustomerDetailsPassEmptyTextsAndZero) {
  Import(R"({"list": [{"id": 9, "status_id": 3, "fio": null}]})");
  const auto order = OrderByNumber(9);
  ASSERT_TRUE(order);
  EXPECT_EQ(Count("select count(*) from i_orders where VNUM = 9 and CLIENT_NAME = '' and "
                  "CLIENT_EMAIL = '' and CLIENT_PHONE = '' and SUMMA = 0"),
            1);
  EXPECT_EQ(LogLines()[1], "id=9 from ");
}

TEST_F(ImportOrdersTest, UnicodeTextsReachTheDatabaseInWindows1251) {
  Import(R"({"list": [{"id": 4, "status_id": 3, "fio": "\u041f\u0451\u0442\u0440 \u2116 1 \u4e2d"}]})");
  EXPECT_EQ(OrderByNumber(4)->clientName, W1251("Пётр № 1 ?"));
}

TEST_F(ImportOrdersTest, AFailedAcknowledgementDoesNotFailTheTask) {
  AnswerExported({500, "busy"});
  const TaskRow task = Import(R"({"list": [{"id": 7, "status_id": 3}]})");
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_TRUE(OrderByNumber(7));
  EXPECT_EQ(LogLines().back(), "--mark exported--\r\nResultCode=500 (Internal Server Error)\r\nbusy\r\n--");
}

TEST_F(ImportOrdersTest, WithoutAStoreIdNothingIsRequested) {
  Execute("delete from params where param_id = 'ZELVORANT_STORE_UUID'");
  const TaskRow task = Import(kTwoGoodOrders);
  EXPECT_EQ(task.endFlag, -2);
  EXPECT_EQ(task.endText, "No ZELVORANT_STORE_UUID");
  EXPECT_TRUE(Received("GET", "/exch/v4/orders").empty());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ImportOrdersTest, AMissingProcedureFailsBeforeTheAnswerIsRead) {
  Execute("drop procedure ZV$PR_ORDER_ADD");
  const TaskRow task = Import(kTwoGoodOrders);
  EXPECT_EQ(task.endFlag, -2);
  EXPECT_NE(task.endText.find("ZV$PR_ORDER_ADD"), std::string::npos) << task.endText;
  EXPECT_EQ(OrderCount(), 0);
  EXPECT_EQ(LogLines().size(), 1U);  // the answer, and no order
}

}  // namespace
}  // namespace qdz::testing
