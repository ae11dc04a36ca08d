// The exchange cycle against a fresh reference database and a marketplace on 127.0.0.1: the
// lock, the settings, the full and partial upload decisions and the order of its log lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/cycle.h"
#include "exchange/settings.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/test_connection.h"
#include "support/test_database.h"
#include "util/codepage.h"
#include "util/datetime.h"

namespace qdz::exchange {
namespace {

using ::testing::HasSubstr;
using util::W1251;

constexpr double kMinute = 1.0 / 1440.0;
constexpr double kHour = 1.0 / 24.0;

class CycleTest : public ::testing::Test {
 protected:
  CycleTest() : connection_(testing::ConnectTo(database_.path())), guard_(*connection_) {
    server_.Routes().Delete("/exch/v1/prices", [](const auto&, auto& res) {
      res.set_content("{\"result\": \"ok\"}", "application/json");
    });
    server_.Routes().Post("/exch/v4/prices", [](const auto&, auto& res) {
      res.set_content("{\"result\": \"ok\"}", "application/json");
    });
    server_.Routes().Get("/exch/v4/orders", [](const auto&, auto& res) {
      res.set_content("{\"list\": []}", "application/json");
    });
    server_.Routes().Post("/exch/v4/orders/exported", [](const auto&, auto& res) {
      res.set_content("{}", "application/json");
    });
    server_.Start();
    Execute("update params set PARAM_VALUE='" + server_.Url() + "' where param_id='ZELVORANT_URL'");
    Execute("update params set PARAM_VALUE='15' where param_id='ZV_PARTPRICES_INTERVAL'");
    Settings.ScratchFolder = scratch_.path();
  }

  void Execute(const std::string& sql) {
    auto query = db::CreateQuery(*connection_);
    query->SetSql(sql);
    query->ExecSQL();
    query->GetTransaction().Commit();
  }

  // A finished upload task as the price upload leaves it, ended `daysAgo` before now.
  util::DateTime AddFinishedUpload(const std::string& taskType, double daysAgo) {
    const util::DateTime endDt{util::DateTime::Now().days - daysAgo};
    auto query = db::CreateQuery(*connection_);
    query->SetSql(
        "insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT, endflag, endtext, "
        "ENDDT) values (gen_id(gen_i_order_tasks_id,1), '" +
        taskType + "', '', 1, :enddt, 1, '', :enddt)");
    query->ParamByName("enddt").SetDateTime(endDt);
    query->ExecSQL();
    query->GetTransaction().Commit();
    return endDt;
  }

  void SetChangeMark(const std::string& text) {
    Execute("update params set PARAM_VALUE='" + text + "' where param_id='ZELVORANT_WB_UPDATEDT'");
  }

  void RunCycle() {
    RunExchangeCycle([this](const std::string& line) { log_.push_back(line); });
  }

  bool Logged(const std::string& line) const {
    return std::find(log_.begin(), log_.end(), line) != log_.end();
  }

  bool LoggedStartingWith(const std::string& prefix) const {
    return std::any_of(log_.begin(), log_.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  std::size_t Requests(const std::string& method, const std::string& path) const {
    const auto received = server_.Received();
    return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), [&](const auto& r) {
      return r.method == method && r.path == path;
    }));
  }

  testing::TempDir scratch_;
  testing::TestDatabase database_;
  std::unique_ptr<db::Connection> connection_;
  testing::ExchangeDatabaseGuard guard_;
  testing::HttpTestServer server_;
  std::vector<std::string> log_;
};

TEST_F(CycleTest, WithoutChangeMarkRowEveryCycleWithdrawsAndUploadsInFull) {
  Execute("delete from params where param_id='ZELVORANT_WB_UPDATEDT'");
  RunCycle();
  RunCycle();
  const auto fullRuns = std::count(log_.begin(), log_.end(), W1251("полная выгрузка прайсов..."));
  EXPECT_EQ(fullRuns, 2);
  EXPECT_EQ(Requests("DELETE", "/exch/v1/prices"), 2u);
}

TEST_F(CycleTest, FullUploadIsDueOnlyAfterMoreThanADay) {
  const struct {
    double hoursAgo;
    bool due;
  } cases[] = {{23, false}, {25, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hoursAgo);
    log_.clear();
    Execute("delete from I_ORDER_TASKS where id <> -1");
    SetChangeMark("2024-03-05 14:07:09");
    const util::DateTime lastFull = AddFinishedUpload("POSTALLPRICES", c.hoursAgo * kHour);
    RunCycle();
    const std::string skipped = W1251("полная выгрузка прайсов - пропущено (последняя выгрузка: ") +
                                util::FormatDmyHms(lastFull) + ")";
    EXPECT_EQ(Logged(W1251("полная выгрузка прайсов...")), c.due);
    EXPECT_EQ(Logged(skipped), !c.due);
  }
  EXPECT_EQ(Requests("DELETE", "/exch/v1/prices"), 1u);
}

TEST_F(CycleTest, PartialUploadIsDueAfterMoreWholeMinutesThanTheInterval) {
  const struct {
    double minutesAgo;
    bool due;
  } cases[] = {{15.0 + 50.0 / 60.0, false}, {16, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.minutesAgo);
    log_.clear();
    Execute("delete from I_ORDER_TASKS where id <> -1");
    SetChangeMark("2024-03-05 14:07:09");
    AddFinishedUpload("POSTALLPRICES", 2 * kHour);
    const util::DateTime lastPartial = AddFinishedUpload("POSTPRICES", c.minutesAgo * kMinute);
    RunCycle();
    EXPECT_TRUE(LoggedStartingWith(W1251("полная выгрузка прайсов - пропущено")));
    EXPECT_EQ(Logged(W1251("частичная выгрузка прайсов...")), c.due);
    EXPECT_EQ(Logged(W1251("частичная выгрузка прайсов - пропущено (последняя выгрузка: ") +
                     util::FormatDmyHms(lastPartial) + ")"),
              !c.due);
  }
}

TEST_F(CycleTest, AFullUploadIsLoggedInOrderAndTheFollowingPartialIsSkipped) {
  RunCycle();
  const std::string partialSkipped = W1251("частичная выгрузка прайсов - пропущено (последняя выгрузка: ");
  std::vector<std::string> headLines;  // the cycle's own lines, in the order written
  for (const auto& line : log_) {
    if (line.rfind("  URL: ", 0) == 0 || line.rfind(partialSkipped, 0) == 0) {
      headLines.push_back(line.rfind("  URL: ", 0) == 0 ? "  URL: " : partialSkipped);
    } else if (line == W1251("Чтение параметров...") || line == W1251("Чтение параметров - ОК") ||
               line == "  PARTPRICES_INTERVAL: 15" || line == W1251("полная выгрузка прайсов...") ||
               line == W1251("полная выгрузка прайсов - ОК") || line == W1251("получение заказов...") ||
               line == W1251("получение заказов - ОК")) {
      headLines.push_back(line);
    }
  }
  const std::vector<std::string> expected = {
      W1251("Чтение параметров..."),      W1251("Чтение параметров - ОК"),
      "  URL: ",                          "  PARTPRICES_INTERVAL: 15",
      W1251("полная выгрузка прайсов..."), W1251("полная выгрузка прайсов - ОК"),
      partialSkipped,                     W1251("получение заказов..."),
      W1251("получение заказов - ОК")};
  EXPECT_EQ(headLines, expected);
  EXPECT_TRUE(Logged("  URL: " + server_.Url()));
  // The "ОК" of the cycle's lines is Cyrillic, not Latin.
  EXPECT_THAT(W1251("полная выгрузка прайсов - ОК"), HasSubstr("\xCE\xCA"));
  // The status push writes its lines after the order import, even with nothing to do.
  const auto import = std::find(log_.begin(), log_.end(), W1251("получение заказов - ОК"));
  ASSERT_NE(import, log_.end());
  EXPECT_NE(std::find(import, log_.end(), W1251("выполнение заданий...")), log_.end());
  EXPECT_EQ(Requests("DELETE", "/exch/v1/prices"), 1u);
}

TEST_F(CycleTest, NeverLogsTheAccessToken) {
  Execute("update params set PARAM_VALUE='secret-token-4711' where param_id='ZELVORANT_AUTH_TOKEN'");
  RunCycle();
  for (const auto& line : log_) EXPECT_THAT(line, ::testing::Not(HasSubstr("secret-token-4711")));
  EXPECT_EQ(Settings.AuthToken, "secret-token-4711");
}

TEST_F(CycleTest, ALockHeldElsewhereEndsTheCycleWithTheConflictLine) {
  RunCycle();  // an earlier cycle left the lock row behind
  log_.clear();
  const std::size_t requestsBefore = server_.Received().size();
  auto other = testing::ConnectTo(database_.path());
  auto holder = db::CreateQuery(*other);
  holder->SetSql("update or insert into I_ORDER_TASKS (id, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN',0)");
  holder->ExecSQL();  // left uncommitted: this is the other copy's running cycle

  ASSERT_NO_THROW(RunCycle());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind(W1251("Не завершен предыдущий процесс ("), 0), 0u);
  EXPECT_THAT(log_[0], HasSubstr("update conflicts with concurrent update"));
  EXPECT_EQ(log_[0].back(), ')');
  EXPECT_EQ(server_.Received().size(), requestsBefore);

  holder->GetTransaction().Commit();
  log_.clear();
  RunCycle();
  EXPECT_TRUE(Logged(W1251("Чтение параметров - ОК")));
}

TEST_F(CycleTest, AMissingStoreIdEndsTheCycleBeforeAnythingIsSentAndReleasesTheLock) {
  Execute("delete from params where param_id='ZELVORANT_STORE_UUID'");
  try {
    RunCycle();
    FAIL() << "the cycle returned normally";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "No ZELVORANT_STORE_UUID");
  }
  EXPECT_TRUE(server_.Received().empty());
  EXPECT_FALSE(Logged(W1251("получение заказов...")));

  // The lock went with the cycle: another attachment takes the row at once.
  auto other = testing::ConnectTo(database_.path());
  auto query = db::CreateQuery(*other);
  query->SetSql("update I_ORDER_TASKS set STATUS=0 where id=-1");
  EXPECT_NO_THROW(query->ExecSQL());
}

TEST_F(CycleTest, AnUnusableIntervalEndsTheCycleBeforeTheSettingsAreReported) {
  const struct {
    const char* sql;
    const char* message;
  } cases[] = {
      {"delete from params where param_id='ZV_PARTPRICES_INTERVAL'", "'' is not a valid integer value"},
      {"update or insert into params (param_id, PARAM_VALUE) values ('ZV_PARTPRICES_INTERVAL', '15 min')",
       "'15 min' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    log_.clear();
    Execute(c.sql);
    try {
      RunCycle();
      ADD_FAILURE() << "the cycle returned normally";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_TRUE(Logged(W1251("Чтение параметров...")));
    EXPECT_FALSE(Logged(W1251("Чтение параметров - ОК")));
    EXPECT_EQ(Settings.BaseUrl, server_.Url());
  }
  EXPECT_TRUE(server_.Received().empty());
}

}  // namespace
}  // namespace qdz::exchange
