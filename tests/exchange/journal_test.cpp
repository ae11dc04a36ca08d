// The task journal and the exchange protocol against the reference database: the rows written,
// their commits, and the failures that reach the caller.
#include "exchange/journal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/error.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "support/test_connection.h"
#include "support/test_database.h"
#include "util/codepage.h"

namespace qdz::exchange {
namespace {

class JournalTest : public ::testing::Test {
 protected:
  // The row of I_ORDER_TASKS or ZV$PROT with this id, read through the database layer.
  std::unique_ptr<db::Query> Row(const std::string& table, std::int64_t id) {
    auto query = db::CreateQuery(*db);
    query->SetSql("select * from " + table + " where id = " + std::to_string(id));
    query->Open();
    return query;
  }

  // One value of a select, seen by isql-fb in its own process: nothing of our layer involved.
  // Our connection is closed first, since the embedded engine lets one process at a time in.
  std::string IsqlValue(const std::string& select) {
    db->Disconnect();
    const auto rows = testing::QueryIsql(database.path(), select);
    db->Connect();
    if (rows.size() != 1) return "<" + std::to_string(rows.size()) + " rows>";
    return rows.front().begin()->second;
  }

  void Execute(const std::string& sql) {
    auto query = db::CreateQuery(*db);
    query->SetSql(sql);
    query->ExecSQL();
  }

  testing::TestDatabase database;
  std::unique_ptr<db::Connection> db = testing::ConnectTo(database.path());
  testing::ExchangeDatabaseGuard guard{*db};
};

TEST_F(JournalTest, TaskCreateWritesAnOpenTaskUnderTheGeneratorsNextId) {
  const std::int64_t first = TaskCreate("POSTALLPRICES", "", 1);
  const std::int64_t second = TaskCreate("GETORDERS", "data", 1);
  EXPECT_GT(first, 0);
  EXPECT_EQ(second, first + 1);

  auto row = Row("I_ORDER_TASKS", second);
  ASSERT_FALSE(row->Eof());
  EXPECT_EQ(row->FieldByName("TASK_TYPE").AsString(), "GETORDERS");
  EXPECT_EQ(row->FieldByName("SENDDATA").AsString(), "data");
  EXPECT_EQ(row->FieldByName("STATUS").AsInt(), 1);
  EXPECT_FALSE(row->FieldByName("STARTDT").IsNull());
  EXPECT_NEAR(row->FieldByName("STARTDT").AsDateTime().days, util::DateTime::Now().days, 1.0 / 24 / 60);
  for (const char* open : {"endflag", "endtext", "ENDDT"}) EXPECT_TRUE(row->FieldByName(open).IsNull()) << open;
  row.reset();

  EXPECT_EQ(IsqlValue("select gen_id(gen_i_order_tasks_id, 0) as g from rdb$database"), std::to_string(second));
}

TEST_F(JournalTest, TaskCreateTakesTheStatusAsGiven) {
  const std::int64_t id = TaskCreate("SET_ORDER_STATUS", "{}", 0);
  EXPECT_EQ(Row("I_ORDER_TASKS", id)->FieldByName("STATUS").AsString(), "0");
}

TEST_F(JournalTest, EmptyTextsAreStoredAsEmptyStringsNotNull) {
  const std::int64_t task = TaskCreate("POSTPRICES", "", 1);
  TaskFinish(1, "", task);
  const std::int64_t protocol = ProtocolStart("GET", "", "", task);
  ProtocolFinish(1, "", protocol);

  EXPECT_EQ(IsqlValue("select (case when SENDDATA is null then 'null' else octet_length(SENDDATA) end) || '/' || "
                      "(case when endtext is null then 'null' else octet_length(endtext) end) as v "
                      "from I_ORDER_TASKS where id = " + std::to_string(task)),
            "0/0");
  EXPECT_EQ(IsqlValue("select coalesce(octet_length(CMD), -1) || '/' || coalesce(octet_length(SENDDATA), -1) || "
                      "'/' || coalesce(octet_length(endtext), -1) as v from ZV$PROT where id = " +
                      std::to_string(protocol)),
            "0/0/0");
}

TEST_F(JournalTest, LongTextsAreStoredWhole) {
  std::string body;
  for (int i = 0; body.size() < 5000; ++i) body += "{\"item\": " + std::to_string(i) + "},";
  std::string answer = util::W1251("Ответ: ");
  while (answer.size() < 300 * 1024) answer += util::W1251("заказ принят; ");

  const std::int64_t task = TaskCreate("SET_ORDER_STATUS", body, 0);
  TaskFinish(1, answer, task);
  const std::int64_t protocol = ProtocolStart("POST", "/exch/v4/orders", body, task);
  ProtocolFinish(1, answer, protocol);

  auto taskRow = Row("I_ORDER_TASKS", task);
  EXPECT_EQ(taskRow->FieldByName("SENDDATA").AsString(), body);
  EXPECT_EQ(taskRow->FieldByName("endtext").AsString(), answer);
  taskRow.reset();
  auto protocolRow = Row("ZV$PROT", protocol);
  EXPECT_EQ(protocolRow->FieldByName("SENDDATA").AsString(), body);  // cutting is the caller's business
  EXPECT_EQ(protocolRow->FieldByName("endtext").AsString(), answer);
  protocolRow.reset();

  EXPECT_EQ(IsqlValue("select octet_length(SENDDATA) || '/' || octet_length(endtext) as v from ZV$PROT where id = " +
                      std::to_string(protocol)),
            std::to_string(body.size()) + "/" + std::to_string(answer.size()));
  // Cyrillic arrives as characters: isql reads them back as UTF-8.
  EXPECT_EQ(IsqlValue("select cast(substring(endtext from 1 for 6) as varchar(20)) as v from I_ORDER_TASKS "
                      "where id = " + std::to_string(task)),
            "Ответ:");
}

struct FinishCase {
  std::int32_t flag;
  const char* text;
};

void PrintTo(const FinishCase& c, std::ostream* out) { *out << c.flag; }

class TaskFinishTest : public JournalTest, public ::testing::WithParamInterface<FinishCase> {};

TEST_P(TaskFinishTest, ClosesTheRowWithFlagTextAndEndTime) {
  const std::int64_t task = TaskCreate("GETORDERS", "", 1);
  const std::int64_t protocol = ProtocolStart("GET", "/exch/v4/orders", "", task);
  TaskFinish(GetParam().flag, GetParam().text, task);
  ProtocolFinish(GetParam().flag, GetParam().text, protocol);
  for (const auto& [table, id] : {std::pair{"I_ORDER_TASKS", task}, std::pair{"ZV$PROT", protocol}}) {
    SCOPED_TRACE(table);
    auto row = Row(table, id);
    EXPECT_EQ(row->FieldByName("endflag").AsInt(), GetParam().flag);
    EXPECT_EQ(row->FieldByName("endtext").AsString(), GetParam().text);
    EXPECT_FALSE(row->FieldByName("ENDDT").IsNull());
    EXPECT_GE(row->FieldByName("ENDDT").AsDateTime(), row->FieldByName("STARTDT").AsDateTime());
  }
  EXPECT_EQ(IsqlValue("select endflag from ZV$PROT where id = " + std::to_string(protocol)),
            std::to_string(GetParam().flag));
}

INSTANTIATE_TEST_SUITE_P(Flags, TaskFinishTest,
                         ::testing::Values(FinishCase{1, ""}, FinishCase{-1, "HTTP/1.1 404 Not Found\r\n{}"},
                                           FinishCase{-2, "Operation too slow"}));

TEST_F(JournalTest, FinishOfAMissingIdChangesNothingAndRaisesNothing) {
  const std::int64_t task = TaskCreate("POSTPRICES", "", 1);
  const std::int64_t protocol = ProtocolStart("POST", "/exch/v4/prices", "x", task);
  EXPECT_NO_THROW(TaskFinish(-2, "nobody", task + 1000));
  EXPECT_NO_THROW(ProtocolFinish(-2, "nobody", protocol + 1000));
  EXPECT_NO_THROW(TaskStart(task + 1000));
  EXPECT_EQ(IsqlValue("select count(*) || '/' || count(endflag) || '/' || count(ENDDT) as v from I_ORDER_TASKS "
                      "where id >= 0"),
            "1/0/0");
  EXPECT_EQ(IsqlValue("select count(*) || '/' || count(endflag) as v from ZV$PROT"), "1/0");
}

TEST_F(JournalTest, TaskStartTakesAQueuedRowAndMovesItsStartEachTime) {
  Execute("insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT) "
          "values (500, 'SET_ORDER_STATUS', '{}', 0, '2020-01-01 10:00:00')");
  TaskStart(500);
  auto row = Row("I_ORDER_TASKS", 500);
  EXPECT_EQ(row->FieldByName("STATUS").AsInt(), 1);
  EXPECT_NEAR(row->FieldByName("STARTDT").AsDateTime().days, util::DateTime::Now().days, 1.0 / 24 / 60);
  row.reset();

  // Already taken: taken again, with a new start.
  Execute("update I_ORDER_TASKS set STARTDT = '2020-01-01 10:00:00' where id = 500");
  TaskStart(500);
  EXPECT_EQ(IsqlValue("select STATUS || '/' || iif(STARTDT > '2021-01-01', 'moved', 'kept') as v "
                      "from I_ORDER_TASKS where id = 500"),
            "1/moved");
}

TEST_F(JournalTest, ProtocolStartWritesTheRequestWithItsTaskOrZero) {
  const std::int64_t outside = ProtocolStart("DELETE", "/exch/v1/prices", "{\"store_id\": \"s\"}", 0);
  const std::int64_t task = TaskCreate("POSTPRICES", "", 1);
  const std::int64_t inside = ProtocolStart("POST", "/exch/v4/prices", "[]", task);
  EXPECT_EQ(inside, outside + 1);

  auto row = Row("ZV$PROT", outside);
  ASSERT_FALSE(row->Eof());
  EXPECT_EQ(row->FieldByName("METHOD").AsString(), "DELETE");
  EXPECT_EQ(row->FieldByName("CMD").AsString(), "/exch/v1/prices");
  EXPECT_EQ(row->FieldByName("SENDDATA").AsString(), "{\"store_id\": \"s\"}");
  EXPECT_EQ(row->FieldByName("STATUS").AsInt(), 0);
  EXPECT_FALSE(row->FieldByName("task_id").IsNull());
  EXPECT_EQ(row->FieldByName("task_id").AsInt64(), 0);
  EXPECT_FALSE(row->FieldByName("STARTDT").IsNull());
  EXPECT_TRUE(row->FieldByName("endflag").IsNull());
  row.reset();
  EXPECT_EQ(Row("ZV$PROT", inside)->FieldByName("task_id").AsInt64(), task);
  EXPECT_EQ(IsqlValue("select list(task_id, ',') as v from (select task_id from ZV$PROT order by id)"),
            "0," + std::to_string(task));
}

TEST_F(JournalTest, RowsAreCommittedAtOnceAndSurviveTheCallersRollback) {
  auto stage = db::CreateQuery(*db);
  stage->SetSql("update params set PARAM_VALUE = 'x' where param_id = 'ZELVORANT_MC'");
  stage->ExecSQL();
  const std::int64_t task = TaskCreate("POSTPRICES", "", 1);
  const std::int64_t protocol = ProtocolStart("POST", "/exch/v4/prices", "[]", task);

  auto other = testing::ConnectTo(database.path());
  auto look = db::CreateQuery(*other);
  look->SetSql("select (select count(*) from I_ORDER_TASKS where id = " + std::to_string(task) +
               ") + (select count(*) from ZV$PROT where id = " + std::to_string(protocol) + ") as n from rdb$database");
  look->Open();
  EXPECT_EQ(look->FieldByName("n").AsInt(), 2);  // visible elsewhere before the stage commits

  stage->GetTransaction().Rollback();
  look->Open();
  EXPECT_EQ(look->FieldByName("n").AsInt(), 2);
}

TEST_F(JournalTest, LockConflictReachesTheCallerAndNothingIsLeftOpen) {
  const std::int64_t task = TaskCreate("SET_ORDER_STATUS", "{}", 0);
  auto other = testing::ConnectTo(database.path());
  auto holder = db::CreateQuery(*other);
  holder->SetSql("update I_ORDER_TASKS set STATUS = 0 where id = " + std::to_string(task));
  holder->ExecSQL();

  try {
    TaskFinish(-2, "failed", task);
    FAIL() << "the update of a held row succeeded";
  } catch (const db::DatabaseError& error) {
    EXPECT_TRUE(error.IsLockConflict()) << error.what();
  }
  holder->GetTransaction().Commit();
  TaskFinish(-2, "failed", task);  // no transaction of the failed call is still holding anything
  EXPECT_EQ(Row("I_ORDER_TASKS", task)->FieldByName("endflag").AsInt(), -2);
}

TEST_F(JournalTest, FailuresReachTheCaller) {
  db->Disconnect();
  try {
    TaskCreate("POSTPRICES", "", 1);
    FAIL();
  } catch (const db::DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Cannot perform operation -- DB is not open");
  }
  db->Connect();
  Execute("drop table ZV$PROT");
  EXPECT_THROW(ProtocolStart("GET", "/exch/v4/orders", "", 0), db::DatabaseError);
  EXPECT_THROW(ProtocolFinish(1, "", 1), db::DatabaseError);
}

TEST_F(JournalTest, TaskTypeWithAQuoteIsStillOneLiteral) {
  const std::int64_t id = TaskCreate("IT'S", "", 1);
  EXPECT_EQ(Row("I_ORDER_TASKS", id)->FieldByName("TASK_TYPE").AsString(), "IT'S");
}

TEST(JournalWithoutDatabase, FailsInsteadOfTouchingNothing) {
  ASSERT_EQ(db::ExchangeDatabase, nullptr);
  try {
    TaskStart(1);
    FAIL();
  } catch (const db::DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Database not assigned");
  }
}

}  // namespace
}  // namespace qdz::exchange
