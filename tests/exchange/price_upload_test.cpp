// The price upload against a fresh reference database and a marketplace on 127.0.0.1. The rows
// come from a small table of the test's own (PRICE_ROWS) or from a generated row series, so
// every case shows exactly which rows went out in which part.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/price_upload.h"
#include "exchange/settings.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/test_connection.h"
#include "support/test_database.h"
#include "util/codepage.h"
#include "util/datetime.h"

namespace qdz::exchange {
namespace {

using testing::ReadFileBytes;

constexpr const char* kStoreId = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

constexpr const char* kCreateRowsTable =
    "create table PRICE_ROWS (sortno integer not null, updatedt timestamp, part_id varchar(20), "
    "bcode_izg varchar(20), sname varchar(120), price numeric(15,2), realquant numeric(15,3), "
    "seria varchar(20), sizg varchar(60))";

constexpr const char* kRowsSql =
    "select updatedt, part_id, bcode_izg, sname, price, realquant, seria, sizg from PRICE_ROWS "
    "where updatedt > :updatedt or updatedt is null order by sortno";

// A price SQL that yields the given number of rows (ids "1", "2", ...), dated one second apart
// from 2024-01-01 00:00:01 on and filtered by the change bound like a real one.
std::string SeriesSql(int rows, const std::string& quantityExpression = "1") {
  return "with recursive n (i) as (select 1 from rdb$database union all select i + 1 from n where i < " +
         std::to_string(std::max(rows, 1)) +
         ") select dateadd(i second to timestamp '2024-01-01 00:00:00') as updatedt, "
         "cast(i as varchar(10)) as part_id, '' as bcode_izg, 'item' as sname, 1 as price, " +
         quantityExpression +
         " as realquant, '' as seria, '' as sizg from n where i <= " + std::to_string(rows) +
         " and dateadd(i second to timestamp '2024-01-01 00:00:00') > :updatedt";
}

// A params row as the test wants it: missing, NULL, or holding a text.
struct ParamState {
  bool present = true;
  bool isNull = false;
  std::string text;
};
ParamState Absent() { return {false, false, {}}; }
ParamState Null() { return {true, true, {}}; }
ParamState Text(std::string text) { return {true, false, std::move(text)}; }

struct TaskRow {
  std::string type;
  int status = 0;
  std::string sendData;
  bool sendDataNull = true;
  std::optional<int> endFlag;
  std::string endText;
  bool endSet = false;
};

class PriceUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    market_.Routes().Post("/exch/v4/prices", [this](const httplib::Request&, httplib::Response& response) {
      const int number = ++postsAnswered_;
      if (number == refusedPost_) {
        response.status = 500;
        response.set_content("refused part " + std::to_string(number), "text/plain");
        return;
      }
      response.set_content("{\"accepted\": " + std::to_string(number) + "}", "application/json");
    });
    market_.Start();
    Settings = ExchangeSettings{};
    Settings.BaseUrl = market_.Url();
    Settings.MerchantCode = "pharmacy-1";
    Settings.AuthToken = "token-1";
    Settings.ScratchFolder = scratch_.path();

    Exec(kCreateRowsTable);
    SetParam("ZELVORANT_PRICESSQL", Text(kRowsSql));
    SetParam("ZELVORANT_STORE_UUID", Text(kStoreId));
    SetParam("ZELVORANT_PARTCOUNT", Text("500"));
    SetParam("ZELVORANT_WB_UPDATEDT", Null());
  }

  void TearDown() override { Settings = ExchangeSettings{}; }

  db::Connection& Db() { return *connection_; }

  void Exec(const std::string& sql) {
    const auto query = db::CreateQuery(Db());
    query->SetSql(sql);
    query->ExecSQL();
    query->GetTransaction().Commit();
  }

  void SetParam(const std::string& key, const ParamState& state) {
    Exec("delete from params where param_id='" + key + "'");
    if (!state.present) return;
    const auto query = db::CreateQuery(Db());
    query->SetSql("insert into params (param_id, PARAM_VALUE) values (:id, :value)");
    query->ParamByName("id").SetString(key);
    if (state.isNull) {
      query->ParamByName("value").SetNull();
    } else {
      query->ParamByName("value").SetString(state.text);
    }
    query->ExecSQL();
    query->GetTransaction().Commit();
  }

  ParamState Param(const std::string& key) {
    const auto query = db::CreateQuery(Db());
    query->SetSql("select PARAM_VALUE from params where param_id='" + key + "'");
    query->Open();
    if (query->Eof()) return Absent();
    const auto value = query->FieldByName("PARAM_VALUE");
    return value.IsNull() ? Null() : Text(value.AsString());
  }

  std::string Mark() {
    const ParamState mark = Param("ZELVORANT_WB_UPDATEDT");
    if (!mark.present) return "<absent>";
    return mark.isNull ? "<null>" : mark.text;
  }

  TaskRow LastTask() {
    const auto query = db::CreateQuery(Db());
    query->SetSql(
        "select first 1 TASK_TYPE, STATUS, SENDDATA, endflag, endtext, ENDDT from I_ORDER_TASKS "
        "where ID > 0 order by ID desc");
    query->Open();
    EXPECT_FALSE(query->Eof()) << "no task row";
    TaskRow row;
    if (query->Eof()) return row;
    row.type = query->FieldByName("TASK_TYPE").AsString();
    row.status = query->FieldByName("STATUS").AsInt();
    row.sendData = query->FieldByName("SENDDATA").AsString();
    row.sendDataNull = query->FieldByName("SENDDATA").IsNull();
    if (!query->FieldByName("endflag").IsNull()) row.endFlag = query->FieldByName("endflag").AsInt();
    row.endText = query->FieldByName("endtext").AsString();
    row.endSet = !query->FieldByName("ENDDT").IsNull();
    return row;
  }

  void Upload(bool full) {
    UploadPrices(Db(), full, [this](const std::string& entry) { log_.push_back(entry); });
  }

  std::vector<std::string> PostedBodies() const {
    std::vector<std::string> bodies;
    for (const auto& request : market_.Received())
      if (request.method == "POST" && request.path == "/exch/v4/prices") bodies.push_back(request.body);
    return bodies;
  }

  // The ids of every posted part, part by part.
  std::vector<std::vector<std::string>> PostedIds() const {
    std::vector<std::vector<std::string>> parts;
    for (const auto& body : PostedBodies()) {
      const auto json = nlohmann::json::parse(body);
      EXPECT_EQ(json.at("store_id"), kStoreId);
      auto& ids = parts.emplace_back();
      for (const auto& item : json.at("list")) ids.push_back(item.at("id"));
    }
    return parts;
  }

  std::filesystem::path PartFile(const std::string& number) const {
    return scratch_.path() / ("part" + number + ".json");
  }

  void ExpectFailedTask(const std::string& expectedText) {
    const TaskRow task = LastTask();
    EXPECT_EQ(task.endFlag, -2);
    EXPECT_EQ(task.endText, expectedText);
    EXPECT_TRUE(task.endSet);
  }

  testing::TestDatabase database_;
  std::unique_ptr<db::Connection> connection_ = testing::ConnectTo(database_.path());
  testing::ExchangeDatabaseGuard exchangeDatabase_{*connection_};
  testing::TempDir scratch_;
  testing::HttpTestServer market_;
  std::atomic<int> postsAnswered_{0};
  int refusedPost_ = 0;
  std::vector<std::string> log_;
};

// Two items with what a real list holds: Cyrillic, a quote and a line break in a name, blanks
// around a name, an empty barcode, a code with a leading blank, two-decimal prices and a
// fractional quantity.
TEST_F(PriceUploadTest, SendsThePartTextByteForByteInUtf8) {
  SetParam("ZELVORANT_STORE_UUID", Text(std::string(" ") + kStoreId + " \r\n"));
  Exec(util::W1251(
      "insert into PRICE_ROWS values (1, '2024-03-05 14:07:09', '10452', '4601234567890', "
      "'Аскорбиновая кислота 50 мг №200', 35.50, 12, '0423', 'Витамины')"));
  Exec("insert into PRICE_ROWS values (2, '2024-03-05 14:07:10', ' 10453', '', "
       "'  Bandage \"Sterile\"' || ascii_char(13) || ascii_char(10) || '5 m x 10 cm  ', 41.00, 2.5, "
       "null, null)");

  Upload(true);

  const std::string expected =
      "{\"store_id\": \"7c9e6679-7425-40de-944b-e07fc1f90ae7\",\"list\": ["
      "{\"id\": \"10452\",\"barcodes\": [\"4601234567890\"],\"protek\": [],\"katren\": [],\"egk\": [],"
      "\"name\": \"Аскорбиновая кислота 50 мг №200\",\"price\": 35.5,\"available_count\": 12,"
      "\"series\": \"0423\",\"brand_name\": \"Витамины\"},\r\n"
      "{\"id\": \" 10453\",\"barcodes\": [\"\"],\"protek\": [],\"katren\": [],\"egk\": [],"
      "\"name\": \"Bandage \\\"Sterile\\\"\\r\\n5 m x 10 cm\",\"price\": 41,\"available_count\": 2.5,"
      "\"series\": \"\",\"brand_name\": \"\"}]}";
  const auto bodies = PostedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0], expected);
  EXPECT_EQ(ReadFileBytes(PartFile("001")), expected);
  EXPECT_FALSE(std::filesystem::exists(PartFile("002")));

  const auto requests = market_.Received();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/exch/v4/prices?mc=pharmacy-1");
  EXPECT_EQ(log_, std::vector<std::string>{"--\r\n{\"accepted\": 1}\r\n--"});

  const TaskRow task = LastTask();
  EXPECT_EQ(task.type, "POSTALLPRICES");
  EXPECT_EQ(task.status, 1);
  EXPECT_FALSE(task.sendDataNull);
  EXPECT_EQ(task.sendData, "");
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_EQ(task.endText, "");
  EXPECT_TRUE(task.endSet);
  EXPECT_EQ(Mark(), "2024-03-05 14:07:10");
}

TEST_F(PriceUploadTest, WritesOneProtocolRowPerPartUnderTheTask) {
  SetParam("ZELVORANT_PRICESSQL", Text(SeriesSql(3)));
  SetParam("ZELVORANT_PARTCOUNT", Text("2"));
  Upload(false);

  const auto query = db::CreateQuery(Db());
  query->SetSql(
      "select p.METHOD, p.CMD, p.endflag, t.TASK_TYPE from ZV$PROT p join I_ORDER_TASKS t on t.ID = p.task_id "
      "order by p.ID");
  query->Open();
  int rows = 0;
  for (; !query->Eof() && rows < 10; query->Next(), ++rows) {
    EXPECT_EQ(query->FieldByName("METHOD").AsString(), "POST");
    EXPECT_EQ(query->FieldByName("CMD").AsString(), "/exch/v4/prices");
    EXPECT_EQ(query->FieldByName("endflag").AsInt(), 1);
    EXPECT_EQ(query->FieldByName("TASK_TYPE").AsString(), "POSTPRICES");
  }
  EXPECT_EQ(rows, 2);
}

TEST_F(PriceUploadTest, CutsTheListIntoPartsOfThePartSize) {
  const struct {
    int rows;
    const char* partCount;
    std::vector<std::size_t> partSizes;
  } cases[] = {
      {1000, "500", {500, 500}},  // no empty third part
      {1001, "500", {500, 500, 1}},
      {501, "0", {500, 1}},
      {501, "-3", {500, 1}},
      {501, "501", {500, 1}},
      {3, "1", {1, 1, 1}},
      {0, "500", {}},  // nothing to send: no request, no file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, part size " + c.partCount);
    testing::TempDir scratch;
    Settings.ScratchFolder = scratch.path();
    const std::size_t postsBefore = PostedBodies().size();
    SetParam("ZELVORANT_PRICESSQL", Text(SeriesSql(c.rows)));
    SetParam("ZELVORANT_PARTCOUNT", Text(c.partCount));

    Upload(true);

    const auto bodies = PostedBodies();
    ASSERT_EQ(bodies.size() - postsBefore, c.partSizes.size());
    int nextId = 1;
    for (std::size_t part = 0; part < c.partSizes.size(); ++part) {
      const std::string& body = bodies[postsBefore + part];
      const auto list = nlohmann::json::parse(body).at("list");
      ASSERT_EQ(list.size(), c.partSizes[part]) << "part " << part + 1;
      for (const auto& item : list) EXPECT_EQ(item.at("id"), std::to_string(nextId++));
      char name[32];
      std::snprintf(name, sizeof name, "part%03zu.json", part + 1);
      EXPECT_EQ(ReadFileBytes(scratch.path() / name), body) << name;
    }
    char next[32];
    std::snprintf(next, sizeof next, "part%03zu.json", c.partSizes.size() + 1);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / next));
    EXPECT_EQ(LastTask().endFlag, 1);
  }
}

TEST_F(PriceUploadTest, ChecksTheParametersInOrderBeforeSendingAnything) {
  const std::string sql = kRowsSql;
  const struct {
    ParamState priceSql;
    ParamState storeId;
    ParamState partCount;
    const char* message;
  } cases[] = {
      {Text(""), Text(""), Text("abc"), "No ZELVORANT_PRICESSQL"},  // the SQL is checked first
      {Text(" \r\n\t "), Text(kStoreId), Text("500"), "No ZELVORANT_PRICESSQL"},
      {Null(), Text(kStoreId), Text("500"), "No ZELVORANT_PRICESSQL"},
      {Absent(), Text(kStoreId), Text("500"), "No ZELVORANT_PRICESSQL"},
      {Text(sql), Text("   "), Text("abc"), "No ZELVORANT_STORE_UUID"},  // then the store id
      {Text(sql), Null(), Text("500"), "No ZELVORANT_STORE_UUID"},
      {Text(sql), Absent(), Text("500"), "No ZELVORANT_STORE_UUID"},
      {Text(sql), Text(kStoreId), Absent(), "'' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Null(), "'' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Text(""), "'' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Text("abc"), "'abc' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Text("12 "), "'12 ' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Text("2.5"), "'2.5' is not a valid integer value"},
      {Text(sql), Text(kStoreId), Text("2147483648"), "'2147483648' is not a valid integer value"},
  };
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2024-03-05 14:07:09', '1')");
  SetParam("ZELVORANT_WB_UPDATEDT", Text("2024-01-01 00:00:00"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    SetParam("ZELVORANT_PRICESSQL", c.priceSql);
    SetParam("ZELVORANT_STORE_UUID", c.storeId);
    SetParam("ZELVORANT_PARTCOUNT", c.partCount);
    Upload(false);
    ExpectFailedTask(c.message);
  }
  EXPECT_TRUE(PostedBodies().empty());
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(std::filesystem::exists(PartFile("001")));
  EXPECT_EQ(Mark(), "2024-01-01 00:00:00");
}

TEST_F(PriceUploadTest, FailsOnAStoredMarkTheDatabaseCannotReadInEitherMode) {
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2024-03-05 14:07:09', '1')");
  SetParam("ZELVORANT_WB_UPDATEDT", Text("yesterday noon"));
  for (const bool full : {true, false}) {
    SCOPED_TRACE(full ? "full" : "partial");
    Upload(full);
    const TaskRow task = LastTask();
    EXPECT_EQ(task.endFlag, -2);
    EXPECT_NE(task.endText.find("conversion error from string \"yesterday noon\""), std::string::npos)
        << task.endText;
  }
  EXPECT_TRUE(PostedBodies().empty());
  EXPECT_EQ(Mark(), "yesterday noon");
}

TEST_F(PriceUploadTest, NamesTheMissingParameterOrColumnOfThePriceSql) {
  const struct {
    const char* sql;
    const char* message;
  } cases[] = {
      {"select updatedt, part_id, bcode_izg, sname, price, realquant, seria, sizg from PRICE_ROWS",
       "Parameter 'updatedt' not found"},
      {"select part_id, bcode_izg, sname, price, realquant, seria, sizg from PRICE_ROWS "
       "where updatedt > :updatedt",
       "Field 'updatedt' not found"},
      {"select updatedt, part_id, bcode_izg, sname, price, realquant, seria from PRICE_ROWS "
       "where updatedt > :UpdateDT",
       "Field 'sizg' not found"},
  };
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2024-03-05 14:07:09', '1')");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    SetParam("ZELVORANT_PRICESSQL", Text(c.sql));
    Upload(true);
    ExpectFailedTask(c.message);
  }
  EXPECT_TRUE(PostedBodies().empty());
  EXPECT_EQ(Mark(), "<null>");
}

// Three dated rows A (old), B (new, with milliseconds) and C (no date). The SQL sends rows later
// than the bound and every undated row.
TEST_F(PriceUploadTest, PassesTheChangeBoundAndKeepsTheNewestTimeToTheSecond) {
  const struct {
    const char* name;
    bool full;
    ParamState storedMark;
    std::vector<std::string> sentIds;
    std::string markAfter;
  } cases[] = {
      {"full ignores the stored mark", true, Text("2024-03-01 00:00:00"), {"A", "B", "C"}, "2024-03-05 14:07:09"},
      {"partial starts at the mark", false, Text("2024-03-01 00:00:00"), {"B", "C"}, "2024-03-05 14:07:09"},
      {"partial with a NULL mark", false, Null(), {"A", "B", "C"}, "2024-03-05 14:07:09"},
      // The row is only ever updated: without it every cycle goes on running a full upload.
      {"partial without a mark row", false, Absent(), {"A", "B", "C"}, "<absent>"},
  };
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2024-02-01 08:00:00', 'A')");
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (2, '2024-03-05 14:07:09.640', 'B')");
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (3, null, 'C')");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t partsBefore = PostedIds().size();
    SetParam("ZELVORANT_WB_UPDATEDT", c.storedMark);
    Upload(c.full);
    const auto parts = PostedIds();
    ASSERT_EQ(parts.size(), partsBefore + 1);
    EXPECT_EQ(parts.back(), c.sentIds);
    EXPECT_EQ(Mark(), c.markAfter);
    EXPECT_EQ(LastTask().endFlag, 1);
  }
}

// A run that reads nothing newer than its bound must not move the mark back: at the zero date
// the next partial run would send the whole list again, without the withdrawal of a full one.
TEST_F(PriceUploadTest, NeverMovesTheMarkBelowTheChangeBound) {
  const std::string columns =
      "select updatedt, part_id, bcode_izg, sname, price, realquant, seria, sizg from PRICE_ROWS ";
  const struct {
    const char* name;
    bool full;
    std::string priceSql;
    std::size_t posts;
    std::string markAfter;
  } cases[] = {
      {"no rows", false, columns + "where updatedt > :updatedt", 0, "2024-03-01 00:00:00"},
      {"only undated rows", false,
       columns + "where updatedt is null and :updatedt > timestamp '1900-01-01 00:00:00'", 1,
       "2024-03-01 00:00:00"},
      {"only rows older than the bound", false, columns + "where updatedt < :updatedt", 1,
       "2024-03-01 00:00:00"},
      // A full run's bound is the zero date: that is where its mark starts.
      {"a full run without rows", true, columns + "where updatedt > :updatedt and part_id = 'none'", 0,
       "1899-12-30 00:00:00"},
  };
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2024-02-01 08:00:00', 'old')");
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (2, null, 'undated')");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t postsBefore = PostedBodies().size();
    SetParam("ZELVORANT_WB_UPDATEDT", Text("2024-03-01 00:00:00"));
    SetParam("ZELVORANT_PRICESSQL", Text(c.priceSql));
    Upload(c.full);
    EXPECT_EQ(PostedBodies().size() - postsBefore, c.posts);
    EXPECT_EQ(LastTask().endFlag, 1);
    EXPECT_EQ(Mark(), c.markAfter);
  }
}

TEST_F(PriceUploadTest, EscapesCodesAndStoreIdsThatWouldBreakThePart) {
  SetParam("ZELVORANT_STORE_UUID", Text("store \"7\" \\ main"));
  Exec("insert into PRICE_ROWS values (1, '2024-03-05 14:07:09', ' 7\"x\\y ', null, 'n', 1, 1, null, null)");
  Exec("insert into PRICE_ROWS values (2, '2024-03-05 14:07:09', '10453', null, 'n', 1, 1, null, null)");
  Upload(true);
  const auto bodies = PostedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  const auto json = nlohmann::json::parse(bodies[0]);
  EXPECT_EQ(json.at("store_id"), "store \"7\" \\ main");
  EXPECT_EQ(json.at("list").at(0).at("id"), " 7\"x\\y ");  // escaped, not trimmed
  EXPECT_EQ(json.at("list").at(1).at("id"), "10453");
}

TEST_F(PriceUploadTest, WritesNullForAMissingPriceOrQuantity) {
  Exec("insert into PRICE_ROWS values (1, '2024-03-05 14:07:09', '1', '', 'n', null, 3, '', '')");
  Exec("insert into PRICE_ROWS values (2, '2024-03-05 14:07:09', '2', '', 'n', 4.10, null, '', '')");
  Upload(true);
  const auto bodies = PostedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find("\"price\": null,\"available_count\": 3,"), std::string::npos) << bodies[0];
  EXPECT_NE(bodies[0].find("\"price\": 4.1,\"available_count\": null,"), std::string::npos) << bodies[0];
  EXPECT_TRUE(nlohmann::json::accept(bodies[0]));
}

TEST_F(PriceUploadTest, WritesFloatingAndWholeColumnsInTheGeneralForm) {
  SetParam("ZELVORANT_PRICESSQL",
           Text("select current_timestamp as updatedt, '1' as part_id, '' as bcode_izg, '' as sname, "
                "cast(0.1 as double precision) + cast(0.2 as double precision) as price, "
                "cast(7 as integer) as realquant, '' as seria, '' as sizg from rdb$database "
                "where current_timestamp > :updatedt"));
  Upload(true);
  const auto bodies = PostedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find("\"price\": 0.3,\"available_count\": 7,"), std::string::npos) << bodies[0];
}

TEST_F(PriceUploadTest, GoesOnWithTheNextPartsWhenOneIsRefused) {
  SetParam("ZELVORANT_PRICESSQL", Text(SeriesSql(3)));
  SetParam("ZELVORANT_PARTCOUNT", Text("1"));
  refusedPost_ = 2;
  Upload(false);

  EXPECT_EQ(PostedIds(), (std::vector<std::vector<std::string>>{{"1"}, {"2"}, {"3"}}));
  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_[0], "--\r\n{\"accepted\": 1}\r\n--");
  EXPECT_EQ(log_[1], "--\r\nResultCode=500 (Internal Server Error)\r\nrefused part 2\r\n--");
  EXPECT_EQ(log_[2], "--\r\n{\"accepted\": 3}\r\n--");
  const TaskRow task = LastTask();
  EXPECT_EQ(task.endFlag, 1);
  EXPECT_EQ(task.endText, "");
  EXPECT_EQ(Mark(), "2024-01-01 00:00:03");
}

TEST_F(PriceUploadTest, EndsNormallyWhenTheMarketplaceCannotBeReached) {
  SetParam("ZELVORANT_PRICESSQL", Text(SeriesSql(2)));
  SetParam("ZELVORANT_PARTCOUNT", Text("1"));
  Settings.BaseUrl = "http://127.0.0.1:1";  // nothing listens there
  Upload(false);
  // No answer at all: each part logs an empty answer, never the one of the part before.
  EXPECT_EQ(log_, (std::vector<std::string>{"--\r\n\r\n--", "--\r\n\r\n--"}));
  EXPECT_EQ(LastTask().endFlag, 1);
  EXPECT_EQ(Mark(), "2024-01-01 00:00:02");
  EXPECT_TRUE(std::filesystem::exists(PartFile("002")));
}

// What a failure in the middle of a run leaves behind: the parts sent before stay sent, the task
// row carries the failure, and the mark stays where it was so the next run sends them again.
TEST_F(PriceUploadTest, LeavesTheMarkAsItWasWhenTheRunFailsHalfWay) {
  const struct {
    const char* name;
    std::string priceSql;
    const char* partCount;
    const char* blockedPartFile;  // made a folder, so the file cannot be written
    std::size_t posts;
    const char* messageStart;
  } cases[] = {
      {"the third row cannot be read", SeriesSql(4, "1 / (3 - i)"), "1", nullptr, 2,
       "arithmetic exception, numeric overflow, or string truncation"},
      {"a full part's file cannot be written", SeriesSql(3), "1", "part002.json", 1, "Cannot create file \""},
      {"the last part's file cannot be written", SeriesSql(3), "2", "part002.json", 2, "Cannot create file \""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir scratch;
    Settings.ScratchFolder = scratch.path();
    if (c.blockedPartFile) std::filesystem::create_directory(scratch.path() / c.blockedPartFile);
    SetParam("ZELVORANT_WB_UPDATEDT", Text("2023-06-01 00:00:00"));
    SetParam("ZELVORANT_PRICESSQL", Text(c.priceSql));
    SetParam("ZELVORANT_PARTCOUNT", Text(c.partCount));
    const std::size_t postsBefore = PostedBodies().size();
    log_.clear();

    Upload(false);

    EXPECT_EQ(PostedBodies().size() - postsBefore, c.posts);
    EXPECT_EQ(log_.size(), c.posts);
    const TaskRow task = LastTask();
    EXPECT_EQ(task.endFlag, -2);
    EXPECT_EQ(task.endText.rfind(c.messageStart, 0), 0u) << task.endText;
    EXPECT_EQ(Mark(), "2023-06-01 00:00:00");
  }
}

// The mark is written just before the commit. When the commit fails, the run must not leave the
// update for the query's release to commit after all.
TEST_F(PriceUploadTest, RollsTheMarkBackWhenTheCommitFails) {
  Exec("create exception E_REFUSED 'commit refused'");
  Exec("create sequence G_REFUSALS");
  // Refuses the first commit that would store a mark in 2031; a later attempt would pass.
  Exec("create trigger T_REFUSE_MARK on transaction commit as begin "
       "if (exists(select 1 from params where param_id = 'ZELVORANT_WB_UPDATEDT' and "
       "PARAM_VALUE starting with '2031')) then "
       "if (gen_id(G_REFUSALS, 1) = 1) then exception E_REFUSED; end");
  Exec("insert into PRICE_ROWS (sortno, updatedt, part_id) values (1, '2031-01-01 00:00:00', 'future')");
  SetParam("ZELVORANT_WB_UPDATEDT", Text("2023-06-01 00:00:00"));

  Upload(false);

  EXPECT_EQ(PostedBodies().size(), 1u);
  const TaskRow task = LastTask();
  EXPECT_EQ(task.endFlag, -2);
  EXPECT_NE(task.endText.find("commit refused"), std::string::npos) << task.endText;
  EXPECT_EQ(Mark(), "2023-06-01 00:00:00");
}

// The reference database with its own goods and its own price SQL, as the demo and the
// benchmark run it: every part is valid JSON, every good goes out once, and a partial run right
// after sends only the newest row, which the SQL repeats to hold the mark.
TEST(PriceUploadOfReferenceGoods, SendsEveryGoodOnceAndHoldsTheMark) {
  testing::TempDir dir;
  const auto dbPath = dir.path() / "goods.fdb";
  testing::CreateDatabase(dbPath, "--goods 1201");
  const auto connection = testing::ConnectTo(dbPath.string());
  const testing::ExchangeDatabaseGuard exchangeDatabase(*connection);
  testing::HttpTestServer market;
  market.Routes().Post("/exch/v4/prices", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("{}", "application/json");
  });
  market.Start();
  Settings = ExchangeSettings{};
  Settings.BaseUrl = market.Url();
  Settings.ScratchFolder = dir.path();
  std::vector<std::string> log;
  const auto collect = [&log](const std::string& entry) { log.push_back(entry); };
  // Whole seconds, as the mark keeps no fractions: rows dated within the mark's second would
  // rightly go out again.
  const auto dating = db::CreateQuery(*connection);
  dating->SetSql("update GOODS set UPDATEDT = dateadd(PART_ID second to timestamp '2024-03-05 00:00:00')");
  dating->ExecSQL();
  dating->GetTransaction().Commit();

  UploadPrices(*connection, true, collect);

  std::vector<std::size_t> partSizes;
  std::set<std::string> ids;
  for (const auto& request : market.Received()) {
    const auto list = nlohmann::json::parse(request.body).at("list");
    partSizes.push_back(list.size());
    for (const auto& item : list) ids.insert(item.at("id").get<std::string>());
  }
  EXPECT_EQ(partSizes, (std::vector<std::size_t>{500, 500, 201}));
  EXPECT_EQ(ids.size(), 1201u);
  EXPECT_EQ(log.size(), 3u);

  const auto query = db::CreateQuery(*connection);
  query->SetSql(
      "select (select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT') as MARK, "
      "(select max(UPDATEDT) from GOODS) as NEWEST from rdb$database");
  query->Open();
  const std::string markAfterFull = query->FieldByName("MARK").AsString();
  EXPECT_EQ(markAfterFull, util::FormatYmdHms(query->FieldByName("NEWEST").AsDateTime()));
  query->Close();

  UploadPrices(*connection, false, collect);
  const auto requests = market.Received();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(nlohmann::json::parse(requests.back().body).at("list").size(), 1u);
  query->Open();
  EXPECT_EQ(query->FieldByName("MARK").AsString(), markAfterFull);
  query->Close();
  Settings = ExchangeSettings{};
}

}  // namespace
}  // namespace qdz::exchange
