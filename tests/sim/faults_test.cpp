// Fault rules: how they are written, which requests they hit, and what each does to the answer.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "marketplace-sim/encoding.h"
#include "marketplace-sim/faults.h"
#include "marketplace-sim/simulator.h"
#include "sim_fixture.h"
#include "util/codepage.h"

namespace qdz::sim {
namespace {

const std::string kStatusChange = R"({"list": [{"id": 42,"external_id": "42","status_id": 2,"cancel_reason": "","reservation_end_date": 0}]})";
const std::string kOrders = R"({"list": [{"id": 101, "fio": "Иванов Иван", "status_id": 3}]})";

std::string OrdersRequestBytes() {
  return std::string("GET /exch/v4/orders?mc=MC-17&data=") + kStoreS1Data +
         " HTTP/1.1\r\nHost: x\r\nauth_token: " + kToken + "\r\nConnection: close\r\n\r\n";
}

TEST(SimFaultRuleTest, RejectsRulesThatAreNotOfTheDocumentedForm) {
  struct Case {
    const char* rule;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {R"([])", "a rule must be a JSON object"},
      {R"({"status": 500})", "\"path\" must be a string beginning with \"/\""},
      {R"({"path": "exch", "status": 500})", "\"path\" must be a string beginning with \"/\""},
      {R"({"path": "/x"})", "the rule has no effect"},
      {R"({"path": "/x", "delay_ms": 0})", "the rule has no effect"},
      {R"({"path": "/x", "malformed": false})", "the rule has no effect"},
      {R"({"path": "/x", "delay": 5})", "unknown key \"delay\""},
      {R"({"path": "/x", "status": 99})", "\"status\" must be from 100 to 599"},
      {R"({"path": "/x", "status": "500"})", "\"status\" must be an integer >= 0"},
      {R"({"path": "/x", "count": -1, "status": 500})", "\"count\" must be an integer >= 0"},
      {R"({"path": "/x", "delay_ms": 1.5})", "\"delay_ms\" must be an integer >= 0"},
      {R"({"path": "/x", "method": 1, "status": 500})", "\"method\" must be a string"},
      {R"({"path": "/x", "non_utf8": "yes"})", "\"non_utf8\" must be true or false"},
      {R"({"path": "/x", "drop": "all"})", "\"drop\" must be \"no_answer\" or \"mid_answer\""},
      {R"({"path": "/x", "drop": "no_answer", "malformed": true})",
       "at most one of \"malformed\", \"non_utf8\" and \"drop\""},
      {R"({"path": "/x", "malformed": true, "body": "x"})", "\"malformed\" brings its own body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    try {
      ParseFaultRule(Json::parse(c.rule));
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.reason);
    }
  }
}

TEST_F(SimTest, AStatusFaultAnswersInsteadOfTheMarketplaceAndChangesNothing) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "method": "POST", "status": 503, "body": "busy"}])");
  const auto result = Send("POST", "/exch/v4/orders", kStatusChange);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 503);
  EXPECT_EQ(result->body, "busy");
  EXPECT_FALSE(std::filesystem::exists(DataFile("statuses.jsonl")));
  EXPECT_EQ(JsonLines("requests.jsonl").at(0)["fault"]["status"], 503) << "the log names the rule applied";
}

TEST_F(SimTest, AMalformedFaultSendsTruncatedJson) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "malformed": true}])");
  const auto result = GetOrders();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, kMalformedBody);
  EXPECT_FALSE(Json::accept(result->body));
}

TEST_F(SimTest, ANonUtf8FaultSendsTheMarketplacesAnswerInWindows1251) {
  WriteDataFile("orders.json", kOrders);
  const std::string utf8 = GetOrders()->body;
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "non_utf8": true}])");
  const auto result = GetOrders();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, util::Utf8ToCp1251(utf8));
  EXPECT_NE(result->body.find("\xC8\xE2\xE0\xED\xEE\xE2"), std::string::npos) << "Иванов in Windows-1251";
  EXPECT_FALSE(IsValidUtf8(result->body));
}

TEST_F(SimTest, ANonUtf8FaultWithABodyCarriesTheRequestOutAndSendsThatBody) {
  WriteDataFile("faults.json",
                R"([{"path": "/exch/v4/orders", "non_utf8": true, "status": 200, "body": "{\"result\": \"принято\"}"}])");
  const auto result = Send("POST", "/exch/v4/orders", kStatusChange);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->body, "{\"result\": \"\xEF\xF0\xE8\xED\xFF\xF2\xEE\"}");
  EXPECT_EQ(JsonLines("statuses.jsonl").size(), 1u);
}

TEST_F(SimTest, ANoAnswerDropClosesTheConnectionWithoutAByte) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "drop": "no_answer"}])");
  EXPECT_EQ(RawExchange(port(), OrdersRequestBytes()), "");
  EXPECT_EQ(JsonLines("requests.jsonl").size(), 1u) << "the request is logged all the same";
}

TEST_F(SimTest, AMidAnswerDropSendsTheHeadersAndHalfTheBody) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "drop": "mid_answer", "status": 200, "body": "0123456789"}])");
  const std::string received = RawExchange(port(), OrdersRequestBytes());
  EXPECT_EQ(received.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(received.find("Content-Length: 10\r\n"), std::string::npos);
  const std::size_t bodyStart = received.find("\r\n\r\n");
  ASSERT_NE(bodyStart, std::string::npos);
  EXPECT_EQ(received.substr(bodyStart + 4), "01234");
}

TEST_F(SimTest, ADelayedAnswerIsTheMarketplacesAnswerAfterTheDelay) {
  WriteDataFile("orders.json", kOrders);
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "delay_ms": 300}])");
  const auto started = std::chrono::steady_clock::now();
  const auto result = GetOrders();
  const auto waited = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(Json::parse(result->body), Json::parse(kOrders));
  EXPECT_GE(waited, std::chrono::milliseconds(300));
}

TEST_F(SimTest, StoppingCutsAPendingDelayShortAndStillAnswers) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "delay_ms": 30000}])");
  std::optional<httplib::Result> result;
  std::thread client([&] { result.emplace(GetOrders()); });
  for (int turn = 0; turn < 1000 && ReadDataFile("requests.jsonl").empty(); ++turn) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
  client.join();
  ASSERT_TRUE(result && *result) << "the client gave up waiting: the delay was not cut short";
  EXPECT_EQ((*result)->status, 200);
}

TEST_F(SimTest, ACountIsUsedUpAndCountedDownInTheFile) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "count": 2, "status": 500},
                                   {"path": "/exch/v4/orders", "count": 1, "status": 502}])");
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) statuses.push_back(GetOrders()->status);
  EXPECT_EQ(statuses, (std::vector<int>{500, 500, 502, 200}));
  const Json left = Json::parse(ReadDataFile("faults.json"));
  EXPECT_EQ(left[0]["count"], 0);
  EXPECT_EQ(left[1]["count"], 0);
}

TEST_F(SimTest, ARuleHitsOnlyItsMethodAndExactPath) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "method": "POST", "status": 500}])");
  EXPECT_EQ(GetOrders()->status, 200);
  EXPECT_EQ(Send("POST", "/exch/v4/orders/exported", R"({"id": [1]})")->status, 200);
  EXPECT_EQ(Send("POST", "/exch/v4/orders", kStatusChange)->status, 500);
}

TEST_F(SimTest, CommandLineRulesComeBeforeThoseOfTheFile) {
  Options options = DefaultOptions();
  options.faults.push_back(ParseFaultRule(Json::parse(R"({"path": "/exch/v4/orders", "count": 1, "status": 502})")));
  Start(options);
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "count": 1, "status": 503}])");
  EXPECT_EQ(GetOrders()->status, 502);
  EXPECT_EQ(GetOrders()->status, 503);
  EXPECT_EQ(GetOrders()->status, 200);
}

TEST_F(SimTest, ABadFaultsFileIsAnsweredWith500SayingWhy) {
  WriteDataFile("faults.json", R"([{"path": "/exch/v4/orders", "status": 500}, {"path": "/x", "delay": 5}])");
  const auto result = GetOrders();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 500);
  EXPECT_EQ(Json::parse(result->body)["error"], "faults.json: rule 2: unknown key \"delay\"");
  EXPECT_EQ(JsonLines("requests.jsonl").at(0)["fault_error"], "faults.json: rule 2: unknown key \"delay\"");

  WriteDataFile("faults.json", "  \n");
  EXPECT_EQ(GetOrders()->status, 200) << "a blank file holds no rules";
}

}  // namespace
}  // namespace qdz::sim
