// One marketplace request against a fresh reference database (for its ZV$PROT row) and a real
// peer on 127.0.0.1: what goes out on the wire, what the caller gets back, what the journal row
// and the answer file hold, for every way a request can end.
#include "exchange/exchange_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/settings.h"
#include "support/http_test_server.h"
#include "support/raw_http_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/test_connection.h"
#include "support/test_database.h"

namespace qdz::exchange {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using qdz::testing::HttpTestServer;
using qdz::testing::RawHttpServer;
using qdz::testing::ReadFileBytes;

constexpr const char* kCallersAnswer = "the caller's text";
constexpr const char* kPreviousAnswerFile = "answer of an earlier request";

// "Аспирин ✓" in UTF-8 and what Windows-1251 makes of it: the check mark has no place there.
constexpr const char* kUtf8Body = "{\"name\": \"\xD0\x90\xD1\x81\xD0\xBF\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBD \xE2\x9C\x93\"}";
constexpr const char* kCp1251Body = "{\"name\": \"\xC0\xF1\xEF\xE8\xF0\xE8\xED ?\"}";

struct ProtocolRow {
  std::string method;
  std::string cmd;
  std::string sendData;
  std::int32_t status = -100;
  std::int64_t taskId = -100;
  std::optional<std::int32_t> endFlag;
  std::string endText;
  bool startSet = false;
  bool endSet = false;
};

struct MarketAnswer {
  int status = 200;
  std::string body;
  std::string location;  // for a redirect
};

class ExchangeRequestTest : public ::testing::Test {
 protected:
  ExchangeRequestTest() : connection_(qdz::testing::ConnectTo(database_.path())), guard_(*connection_) {
    const auto serve = [this](const httplib::Request&, httplib::Response& response) {
      const std::lock_guard<std::mutex> lock(mutex_);
      response.status = answer_.status;
      if (!answer_.location.empty()) response.set_header("Location", answer_.location);
      response.set_content(answer_.body, "application/json");
    };
    market_.Routes().Get(".*", serve).Post(".*", serve).Delete(".*", serve);
    market_.Start();
    Settings.BaseUrl = market_.Url();
    Settings.MerchantCode = "M-1";
    Settings.AuthToken = "secret-token";
    Settings.ScratchFolder = scratch_.path();
  }
  ~ExchangeRequestTest() override { Settings = ExchangeSettings{}; }

  void Answer(MarketAnswer answer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    answer_ = std::move(answer);
  }
  void Answer(int status, std::string body) { Answer(MarketAnswer{status, std::move(body), ""}); }

  void Execute(const std::string& sql) {
    const auto query = db::CreateQuery(*connection_);
    query->SetSql(sql);
    query->ExecSQL();
    query->GetTransaction().Commit();
  }

  std::vector<ProtocolRow> ProtocolRows() {
    const auto query = db::CreateQuery(*connection_);
    query->SetSql(
        "select METHOD, CMD, SENDDATA, STATUS, task_id, endflag, endtext, STARTDT, ENDDT "
        "from ZV$PROT order by ID");
    query->Open();
    std::vector<ProtocolRow> rows;
    for (; !query->Eof(); query->Next()) {
      ProtocolRow row;
      row.method = query->FieldByName("METHOD").AsString();
      row.cmd = query->FieldByName("CMD").AsString();
      row.sendData = query->FieldByName("SENDDATA").AsString();
      row.status = query->FieldByName("STATUS").AsInt();
      row.taskId = query->FieldByName("task_id").AsInt64();
      if (!query->FieldByName("endflag").IsNull()) row.endFlag = query->FieldByName("endflag").AsInt();
      row.endText = query->FieldByName("endtext").AsString();
      row.startSet = !query->FieldByName("STARTDT").IsNull();
      row.endSet = !query->FieldByName("ENDDT").IsNull();
      rows.push_back(row);
    }
    return rows;
  }

  ProtocolRow OnlyProtocolRow() {
    const auto rows = ProtocolRows();
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? ProtocolRow{} : rows.back();
  }

  std::filesystem::path AnswerFile() const { return scratch_.path() / "_answer"; }
  void WriteAnswerFile(const std::string& bytes) const { std::ofstream(AnswerFile(), std::ios::binary) << bytes; }

  qdz::testing::TestDatabase database_;
  std::unique_ptr<db::Connection> connection_;
  qdz::testing::ExchangeDatabaseGuard guard_;
  qdz::testing::TempDir scratch_;
  HttpTestServer market_;
  std::mutex mutex_;
  MarketAnswer answer_;
};

TEST_F(ExchangeRequestTest, Status200GivesTheDecodedBodyAndClosesTheRowWithOne) {
  Answer(200, kUtf8Body);
  std::string answer = kCallersAnswer;
  const std::string body = "{\"part\": 1}";

  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/prices", body, 42, answer));

  EXPECT_EQ(answer, kCp1251Body);
  EXPECT_EQ(ReadFileBytes(AnswerFile()), kUtf8Body);
  const auto received = market_.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "POST");
  EXPECT_EQ(received[0].target, "/exch/v4/prices?mc=M-1");
  EXPECT_EQ(received[0].body, body);
  EXPECT_EQ(received[0].headers.find("auth_token")->second, "secret-token");
  EXPECT_EQ(received[0].headers.find("Content-Type")->second, "application/json");

  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_EQ(row.method, "POST");
  EXPECT_EQ(row.cmd, "/exch/v4/prices");
  EXPECT_EQ(row.sendData, body);
  EXPECT_EQ(row.status, 0);
  EXPECT_EQ(row.taskId, 42);
  EXPECT_EQ(row.endFlag, 1);
  EXPECT_EQ(row.endText, std::string("ResultCode=200 (OK)\r\n") + kCp1251Body);
  EXPECT_TRUE(row.startSet);
  EXPECT_TRUE(row.endSet);
}

// Every status but 200 is a failure with an answer: the result line, then the body; the row's
// end text therefore holds the result line twice.
TEST_F(ExchangeRequestTest, AnyOtherStatusGivesFalseWithTheResultLine) {
  const struct {
    MarketAnswer answer;
    std::string resultLine;
  } cases[] = {
      {{201, kUtf8Body, ""}, "ResultCode=201 (Created)"},
      {{204, "", ""}, "ResultCode=204 (No Content)"},
      {{302, "moved", "/exch/v4/elsewhere"}, "ResultCode=302 (Found)"},
      {{404, kUtf8Body, ""}, "ResultCode=404 (Not Found)"},
      {{500, "{\"error\": \"down\"}", ""}, "ResultCode=500 (Internal Server Error)"},
  };
  std::size_t requests = 0;
  for (const auto& c : cases) {
    Answer(c.answer);
    std::string answer = kCallersAnswer;
    EXPECT_FALSE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 7, answer)) << c.resultLine;

    const std::string decoded = c.answer.body == kUtf8Body ? kCp1251Body : c.answer.body;
    EXPECT_EQ(answer, c.resultLine + "\r\n" + decoded);
    EXPECT_EQ(ReadFileBytes(AnswerFile()), c.answer.body) << c.resultLine;
    // A redirect is answered, not followed: one request per call.
    EXPECT_EQ(market_.Received().size(), ++requests) << c.resultLine;
    const ProtocolRow row = ProtocolRows().back();
    EXPECT_EQ(row.endFlag, -1) << c.resultLine;
    EXPECT_EQ(row.endText, c.resultLine + "\r\n" + c.resultLine + "\r\n" + decoded);
  }
}

TEST_F(ExchangeRequestTest, ResultLineCarriesTheReasonPhraseAsSent) {
  RawHttpServer peer("HTTP/1.1 200 Fine\r\nContent-Length: 2\r\n\r\nok");
  Settings.BaseUrl = peer.Url();
  std::string answer;
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  EXPECT_EQ(answer, "ok");
  EXPECT_EQ(OnlyProtocolRow().endText, "ResultCode=200 (Fine)\r\nok");
}

TEST_F(ExchangeRequestTest, NoResponseLeavesAnswerAndAnswerFileAsTheyWere) {
  Settings.BaseUrl = "http://127.0.0.1:" + std::to_string(qdz::testing::UnusedLocalPort());
  WriteAnswerFile(kPreviousAnswerFile);
  std::string answer = kCallersAnswer;

  EXPECT_FALSE(ExchangeRequest("DELETE", "/exch/v1/prices", "{}", 0, answer));

  EXPECT_EQ(answer, kCallersAnswer);
  EXPECT_EQ(ReadFileBytes(AnswerFile()), kPreviousAnswerFile);
  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_EQ(row.endFlag, -2);
  EXPECT_THAT(row.endText, StartsWith("Failed to connect to 127.0.0.1"));
  EXPECT_TRUE(row.endSet);
}

TEST_F(ExchangeRequestTest, UnwritableAnswerFileFailsWithTheFileErrorAndLeavesTheAnswer) {
  std::filesystem::create_directory(AnswerFile());
  Answer(200, "fresh");
  std::string answer = kCallersAnswer;

  EXPECT_FALSE(ExchangeRequest("POST", "/exch/v4/prices", "{}", 3, answer));

  EXPECT_EQ(answer, kCallersAnswer);
  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_EQ(row.endFlag, -2);
  EXPECT_EQ(row.endText, "Cannot create file \"" + AnswerFile().string() + "\". Is a directory");
}

TEST_F(ExchangeRequestTest, FailedOpeningRowEndsTheCallBeforeAnythingIsSent) {
  Execute("drop table ZV$PROT");
  WriteAnswerFile(kPreviousAnswerFile);
  std::string answer = kCallersAnswer;

  EXPECT_THROW(ExchangeRequest("POST", "/exch/v4/prices", "{}", 0, answer), db::DatabaseError);

  EXPECT_EQ(answer, kCallersAnswer);
  EXPECT_TRUE(market_.Received().empty());
  EXPECT_EQ(ReadFileBytes(AnswerFile()), kPreviousAnswerFile);
}

TEST_F(ExchangeRequestTest, FailedClosingRowReachesTheCallerWithTheAnswerSet) {
  Execute("create exception E_CLOSE_REFUSED 'closing refused'");
  Execute(
      "create trigger ZV$PROT_NO_CLOSE for ZV$PROT before update as "
      "begin exception E_CLOSE_REFUSED; end");
  Answer(200, "fresh");
  std::string answer = kCallersAnswer;

  try {
    ExchangeRequest("POST", "/exch/v4/prices", "{}", 0, answer);
    ADD_FAILURE() << "the closing row's failure did not reach the caller";
  } catch (const db::DatabaseError& error) {
    EXPECT_THAT(error.what(), HasSubstr("closing refused"));
  }

  EXPECT_EQ(answer, "fresh");
  EXPECT_EQ(ReadFileBytes(AnswerFile()), "fresh");
  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_FALSE(row.endFlag.has_value());
  EXPECT_FALSE(row.endSet);
}

// GET carries its data URL-encoded in the address and sends no body and no content type; the
// journal keeps the data as it was given.
TEST_F(ExchangeRequestTest, GetSendsItsDataInTheAddress) {
  const struct {
    std::string data;
    std::string target;
  } cases[] = {
      {"{\"store_id\": \"3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f\"}",
       "/exch/v4/orders?mc=M-1&data=%7B%22store%5Fid%22%3A%20%223f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f%22%7D"},
      {"", "/exch/v4/orders?mc=M-1&data="},
  };
  Answer(200, "[]");
  for (const auto& c : cases) {
    std::string answer;
    EXPECT_TRUE(ExchangeRequest("GET", "/exch/v4/orders", c.data, 5, answer));
    const auto received = market_.Received().back();
    EXPECT_EQ(received.method, "GET");
    EXPECT_EQ(received.target, c.target);
    EXPECT_EQ(received.body, "");
    EXPECT_EQ(received.headers.count("Content-Type"), 0u);
    EXPECT_EQ(received.headers.find("auth_token")->second, "secret-token");
    const ProtocolRow row = ProtocolRows().back();
    EXPECT_EQ(row.method, "GET");
    EXPECT_EQ(row.sendData, c.data);
  }
}

TEST_F(ExchangeRequestTest, LowerCaseGetIsNotGetAndSendsItsBody) {
  RawHttpServer peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  Settings.BaseUrl = peer.Url();
  const std::string body = "{\"store_id\": \"s1\"}";
  std::string answer;

  EXPECT_TRUE(ExchangeRequest("get", "/exch/v4/orders", body, 0, answer));

  ASSERT_EQ(peer.Requests().size(), 1u);
  const std::string request = peer.Requests()[0];
  EXPECT_THAT(request, StartsWith("get /exch/v4/orders?mc=M-1 HTTP/1.1\r\n"));
  EXPECT_THAT(request, HasSubstr("\r\nContent-Type: application/json\r\n"));
  EXPECT_THAT(request, ::testing::EndsWith("\r\n\r\n" + body));
  EXPECT_EQ(OnlyProtocolRow().method, "get");
}

TEST_F(ExchangeRequestTest, DeleteSendsItsBody) {
  Answer(200, "{}");
  const std::string body = "{\"store_id\": \"s1\"}";
  std::string answer;
  EXPECT_TRUE(ExchangeRequest("DELETE", "/exch/v1/prices", body, 0, answer));
  const auto received = market_.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "DELETE");
  EXPECT_EQ(received[0].target, "/exch/v1/prices?mc=M-1");
  EXPECT_EQ(received[0].body, body);
  EXPECT_EQ(OnlyProtocolRow().taskId, 0);
}

TEST_F(ExchangeRequestTest, EmptyTokenStillSendsTheTokenLine) {
  RawHttpServer peer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  Settings.BaseUrl = peer.Url();
  Settings.AuthToken = "";
  std::string answer;
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  ASSERT_EQ(peer.Requests().size(), 1u);
  EXPECT_THAT(peer.Requests()[0], HasSubstr("\r\nauth_token:\r\n"));
}

TEST_F(ExchangeRequestTest, BaseAddressAndPathAreJoinedAsTheyAre) {
  Settings.BaseUrl = market_.Url() + "/";
  Answer(200, "{}");
  std::string answer;
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/prices", "{}", 0, answer));
  ASSERT_EQ(market_.Received().size(), 1u);
  EXPECT_EQ(market_.Received()[0].target, "//exch/v4/prices?mc=M-1");
}

TEST_F(ExchangeRequestTest, AnswerThatIsNotUtf8DecodesToEmptyAndStillSucceeds) {
  Answer(200, kCp1251Body);
  std::string answer = kCallersAnswer;
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  EXPECT_EQ(answer, "");
  EXPECT_EQ(ReadFileBytes(AnswerFile()), kCp1251Body);
  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_EQ(row.endFlag, 1);
  EXPECT_EQ(row.endText, "ResultCode=200 (OK)\r\n");
}

// The whole body goes out; the journal keeps its first 1024 bytes, even when that cuts a
// multi-byte character in two.
TEST_F(ExchangeRequestTest, JournalKeepsTheFirst1024BytesOfTheBody) {
  const struct {
    std::string body;
    std::string journalled;
  } cases[] = {
      {std::string(5000, 'x'), std::string(1024, 'x')},
      {std::string(1023, 'a') + "\xD0\x98" + std::string(3000, 'b'), std::string(1023, 'a') + "\xD0"},
      {"short", "short"},
  };
  Answer(200, "{}");
  for (const auto& c : cases) {
    std::string answer;
    EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/prices", c.body, 0, answer));
    EXPECT_TRUE(market_.Received().back().body == c.body) << "body of " << c.body.size() << " bytes";
    EXPECT_TRUE(ProtocolRows().back().sendData == c.journalled) << "body of " << c.body.size() << " bytes";
  }
}

TEST_F(ExchangeRequestTest, AnswerFileHoldsOnlyTheLastAnswer) {
  std::string answer;
  Answer(200, "the first answer, which is the longer one");
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  Answer(404, "second");
  EXPECT_FALSE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  EXPECT_EQ(ReadFileBytes(AnswerFile()), "second");
  EXPECT_EQ(ProtocolRows().size(), 2u);
}

class ExchangeRequestTlsTest : public ExchangeRequestTest {
 protected:
  void SetUp() override {
    certificates_ = qdz::testing::MakeTestCertificates(certificateFolder_.path());
    tlsMarket_ = std::make_unique<HttpTestServer>(certificates_.serverCert, certificates_.serverKey);
    tlsMarket_->Routes().Post(".*", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("secure", "application/json");
    });
    tlsMarket_->Start();
    Settings.BaseUrl = tlsMarket_->Url();
  }

  qdz::testing::TempDir certificateFolder_;
  qdz::testing::TestCertificates certificates_;
  std::unique_ptr<HttpTestServer> tlsMarket_;
};

TEST_F(ExchangeRequestTlsTest, TrustedMarketplaceIsReachedOverTls) {
  Settings.CaBundle = certificates_.caFile.string();
  std::string answer;
  EXPECT_TRUE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  EXPECT_EQ(answer, "secure");
  ASSERT_EQ(tlsMarket_->Received().size(), 1u);
  EXPECT_EQ(tlsMarket_->Received()[0].headers.find("auth_token")->second, "secret-token");
}

TEST_F(ExchangeRequestTlsTest, UntrustedMarketplaceGetsNoTokenAndTheRowFails) {
  WriteAnswerFile(kPreviousAnswerFile);
  std::string answer = kCallersAnswer;
  EXPECT_FALSE(ExchangeRequest("POST", "/exch/v4/orders", "{}", 0, answer));
  EXPECT_EQ(answer, kCallersAnswer);
  EXPECT_EQ(ReadFileBytes(AnswerFile()), kPreviousAnswerFile);
  EXPECT_TRUE(tlsMarket_->Received().empty());
  const ProtocolRow row = OnlyProtocolRow();
  EXPECT_EQ(row.endFlag, -2);
  EXPECT_NE(row.endText, "");
}

}  // namespace
}  // namespace qdz::exchange
