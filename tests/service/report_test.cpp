#include "service/report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "support/test_connection.h"
#include "support/test_database.h"

namespace qdz::service {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kToken = "tok-7f3a9c-SECRET";

// One row of every kind the report tells apart, with the token planted in texts that an
// administrator would see (a failed exchange's command and answer, a task's end text).
constexpr const char* kJournalRows = R"SQL(
update params set PARAM_VALUE='tok-7f3a9c-SECRET' where param_id='ZELVORANT_AUTH_TOKEN';
update or insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN', 0);
insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS, STARTDT, endflag, endtext, ENDDT)
  values (1, 'POSTALLPRICES', 1, dateadd(-181 minute to current_timestamp), 1, null, dateadd(-180 minute to current_timestamp));
insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS, STARTDT, endflag, endtext, ENDDT)
  values (2, 'POSTPRICES', 1, dateadd(-11 minute to current_timestamp), 1, null, dateadd(-10 minute to current_timestamp));
insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS, STARTDT, endflag, endtext, ENDDT)
  values (3, 'POSTPRICES', 1, dateadd(-2 minute to current_timestamp), -2,
          'HTTP 500 for tok-7f3a9c-SECRET' || ascii_char(13) || ascii_char(10) || 'second line', current_timestamp);
insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS, STARTDT) values (4, 'GETORDERS', 1, current_timestamp);
insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT)
  values (5, 'SET_ORDER_STATUS', 'id=700001' || ascii_char(13) || ascii_char(10) || 'status_id=5', 0, current_timestamp);
insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT, endflag, endtext, ENDDT)
  values (6, 'SET_ORDER_STATUS', 'id=700002', 1, current_timestamp, 1, 'ok', current_timestamp);
insert into ZV$PROT (ID, METHOD, CMD, STATUS, STARTDT, task_id, endflag, endtext, ENDDT)
  values (1, 'POST', '/exch/v4/prices?mc=demo', 200, current_timestamp, 2, 1, '{"result":"ok"}', current_timestamp);
insert into ZV$PROT (ID, METHOD, CMD, STATUS, STARTDT, task_id, endflag, endtext, ENDDT)
  values (2, 'POST', '/exch/v4/prices?mc=demo', 500, current_timestamp, 3, -1, 'Ошибка сервера tok-7f3a9c-SECRET', current_timestamp);
insert into ZV$PROT (ID, METHOD, CMD, STATUS, STARTDT, task_id, endflag, endtext, ENDDT)
  values (3, 'GET', '/exch/v4/orders?auth=tok-7f3a9c-SECRET', null, current_timestamp, 4, -2, 'Connection refused', current_timestamp);
commit;
)SQL";

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(testing::ExecuteIsql(database_.path(), kJournalRows)); }

  AdminReport Read(int count) {
    const auto connection = testing::ConnectTo(database_.path());
    return ReadAdminReport(*connection, count);
  }

  testing::TestDatabase database_;
};

TEST_F(ReportTest, TellsTheRowsApartByKind) {
  const AdminReport report = Read(20);

  ASSERT_EQ(report.recentTasks.size(), 6u);  // the lock row is no task
  EXPECT_EQ(report.recentTasks.front().id, 6);
  EXPECT_EQ(report.recentTasks.back().id, 1);

  ASSERT_TRUE(report.lastFullUpload);
  EXPECT_NEAR(static_cast<double>(report.lastFullUpload->ageMinutes), 180.0, 1.0);
  ASSERT_TRUE(report.lastPartialUpload);  // the failed partial upload after it does not count
  EXPECT_NEAR(static_cast<double>(report.lastPartialUpload->ageMinutes), 10.0, 1.0);

  ASSERT_EQ(report.queuedStatusChanges.size(), 1u);
  EXPECT_EQ(report.queuedStatusChanges.front().id, 5);
  ASSERT_EQ(report.openTasks.size(), 1u);
  EXPECT_EQ(report.openTasks.front().id, 4);
  EXPECT_FALSE(report.openTasks.front().endFlag);

  ASSERT_EQ(report.failedExchanges.size(), 2u);
  EXPECT_EQ(report.failedExchanges[0].id, 3);
  EXPECT_FALSE(report.failedExchanges[0].httpStatus);
  EXPECT_EQ(report.failedExchanges[1].id, 2);
  EXPECT_EQ(report.failedExchanges[1].httpStatus, 500);
  EXPECT_EQ(report.failedExchanges[1].endText, "Ошибка сервера ***");
}

TEST_F(ReportTest, CutsEndTextsToTheirFirstLineAndLimitsTheRecentRows) {
  const AdminReport report = Read(2);
  ASSERT_EQ(report.recentTasks.size(), 2u);
  EXPECT_EQ(report.recentTasks[0].id, 6);
  EXPECT_EQ(report.recentTasks[1].id, 5);
  EXPECT_EQ(report.failedExchanges.size(), 2u);

  const AdminReport all = Read(20);
  EXPECT_EQ(all.recentTasks[3].endText, "HTTP 500 for ***");
}

TEST_F(ReportTest, NeverShowsTheTokenInTextOrJson) {
  const AdminReport report = Read(20);
  const std::string text = FormatReportText(report);
  const std::string json = FormatReportJson(report);
  EXPECT_THAT(text, Not(HasSubstr(kToken)));
  EXPECT_THAT(json, Not(HasSubstr(kToken)));
  EXPECT_THAT(text, HasSubstr("GET /exch/v4/orders?auth=***"));
}

TEST_F(ReportTest, TextIsAlignedInColumns) {
  const std::string text = FormatReportText(Read(20));
  std::istringstream lines(text);
  std::string header;
  std::string row;
  while (std::getline(lines, header) && header.find("  ID ") != 0) {
  }
  ASSERT_TRUE(std::getline(lines, row));
  // Every column of the first data row starts where its heading starts.
  for (const char* heading : {"TYPE", "START", "END", "FLAG"}) {
    const auto at = header.find(std::string(" ") + heading + " ") + 1;
    ASSERT_NE(at, 0u) << heading;
    EXPECT_NE(row[at], ' ') << heading << " in\n" << header << "\n" << row;
    EXPECT_EQ(row[at - 1], ' ') << heading << " in\n" << header << "\n" << row;
  }
  EXPECT_THAT(text, HasSubstr("  partial: "));
  EXPECT_THAT(text, HasSubstr("(10 min ago)"));
  EXPECT_THAT(text, HasSubstr("(3 h 0 min ago)"));
  EXPECT_THAT(text, HasSubstr("Status changes waiting: 1\n"));
  EXPECT_THAT(text, HasSubstr("Tasks left open: 1\n"));
}

TEST_F(ReportTest, JsonCarriesEveryPart) {
  const auto document = nlohmann::json::parse(FormatReportJson(Read(20)));
  EXPECT_EQ(document["recent_tasks"].size(), 6u);
  EXPECT_EQ(document["recent_tasks"][3]["endflag"], -2);  // id 3, newest first
  EXPECT_TRUE(document["open_tasks"][0]["endflag"].is_null());
  EXPECT_EQ(document["open_tasks"][0]["type"], "GETORDERS");
  EXPECT_EQ(document["queued_status_changes"][0]["id"], 5);
  EXPECT_NEAR(document["last_full_upload"]["age_minutes"].get<double>(), 180.0, 1.0);
  EXPECT_EQ(document["failed_exchanges"][1]["status"], 500);
  EXPECT_EQ(document["failed_exchanges"][1]["endtext"], "Ошибка сервера ***");
}

TEST_F(ReportTest, RunReportConnectsWithTheIniSettings) {
  const auto ini = database_.dir() / "QDZELVORANT.ini";
  std::ofstream(ini) << "[dbParams]\nDatabaseName=" << database_.path() << "\nuser_name=SYSDBA\n";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunReport(ini, 20, true, out, err), 0) << err.str();
  EXPECT_EQ(nlohmann::json::parse(out.str())["failed_exchanges"].size(), 2u);
}

TEST(ReportWithoutDatabase, FailsWithAMessage) {
  testing::TempDir dir;
  const auto ini = dir / "QDZELVORANT.ini";
  std::ofstream(ini) << "[dbParams]\nDatabaseName=" << (dir / "missing.fdb").string() << "\n";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunReport(ini, 20, false, out, err), 1);
  EXPECT_THAT(err.str(), HasSubstr("REPORT failed: "));
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace qdz::service
