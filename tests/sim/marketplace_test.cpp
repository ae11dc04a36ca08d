// The simulator as the service meets it: credentials, price parts and withdrawal, orders and their
// acknowledgement, status changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace qdz::sim {
namespace {

// A price part as the service builds it: CR LF between items, Cyrillic text in UTF-8.
const std::string kPartOne =
    "{\"store_id\": \"S1\",\"list\": [{\"id\": \"10452\",\"barcodes\": [\"4601234567890\"],\"protek\": [],"
    "\"katren\": [],\"egk\": [],\"name\": \"Аскорбиновая кислота\",\"price\": 35.5,\"available_count\": 12,"
    "\"series\": \"0423\",\"brand_name\": \"Витамины\"},\r\n"
    "{\"id\": \"10453\",\"barcodes\": [\"\"],\"protek\": [],\"katren\": [],\"egk\": [],\"name\": \"Bandage\","
    "\"price\": 41,\"available_count\": 3,\"series\": \"\",\"brand_name\": \"\"}]}";
const std::string kPartTwo =
    "{\"store_id\": \"S1\",\"list\": [{\"id\": \"10453\",\"barcodes\": [\"\"],\"protek\": [],\"katren\": [],"
    "\"egk\": [],\"name\": \"Bandage\",\"price\": 39.9,\"available_count\": 0,\"series\": \"\",\"brand_name\": \"\"},\r\n"
    "{\"id\": \"10460\",\"barcodes\": [\"\"],\"protek\": [],\"katren\": [],\"egk\": [],\"name\": \"Gauze\","
    "\"price\": 12,\"available_count\": 1,\"series\": \"\",\"brand_name\": \"\"}]}";

const std::string kOrders = R"({"list": [
  {"id": 101, "fio": "Иванов Иван", "status_id": 1, "creation_date": 1700000000, "email": "a@b.c",
   "phone": "+7 900", "items": [{"id": 1, "item_id": "10452", "price": 35.5, "quantity": 2}],
   "total_amount": 71.0},
  {"id": "102", "fio": "Petrov", "status_id": 3, "total_amount": 0},
  {"id": 103, "fio": "Sidorov", "status_id": 1, "items": [], "total_amount": 0}
], "page": 1})";

Json BodyOf(const httplib::Result& result) { return Json::parse(result->body); }

std::vector<std::string> PublishedIds(const Json& file) {
  std::vector<std::string> ids;
  for (const Json& item : file["list"]) ids.push_back(item["id"].get<std::string>());
  return ids;
}

std::vector<Json> ListOf(const Json& orderList) { return orderList["list"].get<std::vector<Json>>(); }

TEST_F(SimTest, RejectsAWrongOrMissingMerchantCodeOrToken) {
  struct Case {
    const char* name;
    std::string query;
    std::optional<std::string> token;
    int status;
    std::string error;
  };
  const std::string data = std::string("&data=") + kStoreS1Data;
  const std::vector<Case> cases = {
      {"no mc", data.substr(1), kToken, 401, "wrong or missing mc"},
      {"other mc", "mc=MC-18" + data, kToken, 401, "wrong or missing mc"},
      {"mc with more after it", "mc=MC-17x" + data, kToken, 401, "wrong or missing mc"},
      {"no token", "mc=MC-17" + data, std::nullopt, 401, "wrong or missing auth_token"},
      {"other token", "mc=MC-17" + data, "9f8e7d6", 401, "wrong or missing auth_token"},
      {"both right", "mc=MC-17" + data, kToken, 200, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    httplib::Headers headers;
    if (c.token) headers.emplace("auth_token", *c.token);
    const auto result = SendRaw("GET", "/exch/v4/orders?" + c.query, headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    if (!c.error.empty()) {
      EXPECT_EQ(BodyOf(result)["error"], c.error);
    }
  }
}

TEST_F(SimTest, AnEmptyConfiguredTokenTakesAnEmptyOrMissingHeaderButNoOther) {
  Options options = DefaultOptions();
  options.authToken = "";
  Start(options);
  const std::string request = std::string("GET /exch/v4/orders?mc=MC-17&data=") + kStoreS1Data +
                              " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
  EXPECT_EQ(RawExchange(port(), request + "auth_token: \r\n\r\n").substr(0, 12), "HTTP/1.1 200");
  EXPECT_EQ(RawExchange(port(), request + "\r\n").substr(0, 12), "HTTP/1.1 200");
  EXPECT_EQ(RawExchange(port(), request + "auth_token: x\r\n\r\n").substr(0, 12), "HTTP/1.1 401");
}

TEST_F(SimTest, PricePartsMergeByIdAndAWithdrawalRemovesOnlyThatStoresList) {
  const auto first = Send("POST", "/exch/v4/prices", kPartOne);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(BodyOf(first)["accepted"], 2);
  const auto second = Send("POST", "/exch/v4/prices", kPartTwo);
  EXPECT_EQ(BodyOf(second)["accepted"], 2);
  EXPECT_EQ(BodyOf(second)["published"], 3);
  ASSERT_EQ(Send("POST", "/exch/v4/prices", R"({"store_id": "S2","list": [{"id": "1"}]})")->status, 200);

  const Json published = Json::parse(ReadDataFile("published/S1.json"));
  EXPECT_EQ(published["store_id"], "S1");
  EXPECT_EQ(PublishedIds(published), (std::vector<std::string>{"10452", "10453", "10460"}));
  EXPECT_EQ(published["list"][0]["name"], "Аскорбиновая кислота");
  EXPECT_EQ(published["list"][1]["price"], 39.9);
  EXPECT_EQ(published["list"][1]["available_count"], 0);

  const auto withdrawal = Send("DELETE", "/exch/v1/prices", R"({"store_id": "S1"})");
  ASSERT_TRUE(withdrawal);
  EXPECT_EQ(withdrawal->status, 200);
  EXPECT_EQ(BodyOf(withdrawal)["withdrawn"], 3);
  EXPECT_FALSE(std::filesystem::exists(DataFile("published/S1.json")));
  EXPECT_TRUE(std::filesystem::exists(DataFile("published/S2.json")));
  EXPECT_EQ(BodyOf(Send("DELETE", "/exch/v1/prices", R"({"store_id": "S1"})"))["withdrawn"], 0);
}

TEST_F(SimTest, PublishedListsSurviveARestart) {
  ASSERT_EQ(Send("POST", "/exch/v4/prices", kPartOne)->status, 200);
  Start();
  EXPECT_EQ(BodyOf(Send("POST", "/exch/v4/prices", kPartTwo))["published"], 3);
  Start();
  EXPECT_EQ(BodyOf(Send("DELETE", "/exch/v1/prices", R"({"store_id": "S1"})"))["withdrawn"], 3);
}

TEST_F(SimTest, RejectsPricePartsOfTheWrongShapeAndPublishesNothing) {
  const std::vector<std::string> parts = {
      "",
      "{\"store_id\": \"S1\",\"list\": [",
      "{\"store_id\": \"S1\",\"list\": []} trailing",
      "[]",
      "{\"list\": []}",
      "{\"store_id\": \"\",\"list\": []}",
      "{\"store_id\": 5,\"list\": []}",
      "{\"store_id\": \"S1\",\"list\": {}}",
      "{\"store_id\": \"S1\",\"list\": [{\"name\": \"no id\"}]}",
      "{\"store_id\": \"S1\",\"list\": [{\"id\": 10452}]}",
      "{\"store_id\": \"S1\",\"list\": [{\"id\": \"1\",\"name\": \"\xC0\xF1\"}]}",  // Windows-1251, not UTF-8
  };
  for (const std::string& part : parts) {
    SCOPED_TRACE(part);
    const auto result = Send("POST", "/exch/v4/prices", part);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400);
    EXPECT_TRUE(BodyOf(result)["error"].is_string());
  }
  EXPECT_FALSE(std::filesystem::exists(DataFile("published/S1.json")));
}

TEST_F(SimTest, ServesOrdersUntilTheyAreMarkedExportedAlsoAfterARestart) {
  WriteDataFile("orders.json", kOrders);
  const auto all = GetOrders();
  ASSERT_TRUE(all);
  EXPECT_EQ(all->status, 200);
  EXPECT_EQ(BodyOf(all), Json::parse(kOrders));

  const auto acknowledged = Send("POST", "/exch/v4/orders/exported", R"({"id": [101,102]})");
  ASSERT_TRUE(acknowledged);
  EXPECT_EQ(acknowledged->status, 200);
  EXPECT_EQ(BodyOf(acknowledged)["marked"], 2);
  const std::vector<Json> left = ListOf(BodyOf(GetOrders()));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0]["id"], 103);

  Start();
  EXPECT_EQ(ListOf(BodyOf(GetOrders())).size(), 1u);
  EXPECT_EQ(Json::parse(ReadDataFile("exported.json")), Json::parse("[101,102]"));
  EXPECT_EQ(BodyOf(Send("POST", "/exch/v4/orders/exported", R"({"id": [103,101]})"))["marked"], 1);
  EXPECT_EQ(BodyOf(GetOrders()), Json::parse(R"({"list": [], "page": 1})"));
}

TEST_F(SimTest, ServesAnEmptyOrderListWithoutAnOrdersFile) {
  const auto result = GetOrders();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, R"({"list":[]})");
}

TEST_F(SimTest, ReportsAnOrdersFileThatIsNoOrderList) {
  for (const std::string text : {"{\"list\": 1}", "[]", "{\"list\": ["}) {
    SCOPED_TRACE(text);
    WriteDataFile("orders.json", text);
    const auto result = GetOrders();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 500);
    EXPECT_NE(BodyOf(result)["error"].get<std::string>().find("orders.json"), std::string::npos);
  }
}

TEST_F(SimTest, AnOrderDownloadNeedsAStorePayloadInData) {
  WriteDataFile("orders.json", kOrders);
  for (const std::string query : {"", "&data=", "&data=%7B%7D", "&data=S1", "&data=%7B%22store%5Fid%22%3A%201%7D"}) {
    SCOPED_TRACE(query);
    const auto result = Send("GET", "/exch/v4/orders", "", query);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400);
  }
}

TEST_F(SimTest, RejectsAnAcknowledgementThatIsNoListOfOrderNumbers) {
  WriteDataFile("orders.json", kOrders);
  for (const std::string body : {"", "{\"id\": [101,]}", "{\"id\": 101}", "{\"id\": [\"101\"]}", "[101]"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(Send("POST", "/exch/v4/orders/exported", body)->status, 400);
  }
  EXPECT_EQ(ListOf(BodyOf(GetOrders())).size(), 3u);
}

TEST_F(SimTest, KeepsEveryStatusChangeAsOneLine) {
  const std::string first = R"({"list": [{"id": 123,"external_id": "123","status_id": 5,"cancel_reason": "","reservation_end_date": 0,"items":[{"id":1001,"quantity":2},{"id":1002,"quantity":1}]}]})";
  const std::string second = R"({"list": [{"id": 42,"external_id": "42","status_id": 2,"cancel_reason": "Нет в наличии","reservation_end_date": 1700000000}]})";
  const auto answer = Send("POST", "/exch/v4/orders", first);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(BodyOf(answer)["result"], "ok");
  ASSERT_EQ(Send("POST", "/exch/v4/orders", second)->status, 200);
  // An items quantity that is no JSON number makes the body invalid; it is refused, not kept.
  EXPECT_EQ(Send("POST", "/exch/v4/orders", R"({"list": [{"id": 1,"items":[{"id":1,"quantity":x}]}]})")->status, 400);
  EXPECT_EQ(Send("POST", "/exch/v4/orders", R"({"id": 1})")->status, 400);

  EXPECT_EQ(JsonLines("statuses.jsonl"), (std::vector<Json>{Json::parse(first), Json::parse(second)}));
}

TEST_F(SimTest, AnswersUnknownPathsAndMethodsWithErrors) {
  struct Case {
    const char* method;
    const char* path;
    int status;
  };
  for (const Case& c : std::vector<Case>{{"GET", "/exch/v4/prices", 405},
                                         {"PUT", "/exch/v4/orders", 405},
                                         {"POST", "//exch/v4/orders", 404},
                                         {"POST", "/exch/v4/orders/", 404},
                                         {"DELETE", "/exch/v4/prices", 405}}) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const auto result = Send(c.method, c.path, R"({"store_id": "S1"})");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
  }
}

}  // namespace
}  // namespace qdz::sim
