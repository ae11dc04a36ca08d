// A connection that the server cuts off: whatever call meets the loss closes the connection
// before the error is raised, and everything still made on it can be released safely.
#include <gtest/gtest.h>

#include <functional>

#include "database_test.h"
#include "db/error.h"

namespace qdz::db {
namespace {

constexpr std::intptr_t kConnectionShutdown = 335544856;

const char* const kFiveRows =
    "with recursive r(n) as (select 1 from rdb$database union all select n + 1 from r where n < 5) "
    "select n from r";

struct LossCase {
  const char* name;
  std::function<void(Query&)> before;  // runs while the connection is alive
  std::function<void(Query&)> hit;     // meets the loss
};

void PrintTo(const LossCase& c, std::ostream* out) { *out << c.name; }

class ConnectionLossTest : public DatabaseTest, public ::testing::WithParamInterface<LossCase> {
 protected:
  void SetUp() override { Execute("create table t (id integer)"); }

  // An administrator's kill of this test's attachment, done from a second attachment.
  void CutOffTheConnection() {
    const std::string id = SelectText(*db, "select current_connection as v from rdb$database");
    Execute(*SecondConnection(), "delete from mon$attachments where mon$attachment_id = " + id);
  }
};

TEST_P(ConnectionLossTest, LossClosesTheConnectionBeforeTheErrorIsRaised) {
  auto victim = CreateQuery(*db);
  auto borrowed = CreateQueryOn(victim->GetTransaction());
  borrowed->SetSql(kFiveRows);
  borrowed->Open();
  GetParam().before(*victim);

  CutOffTheConnection();
  try {
    GetParam().hit(*victim);
    FAIL() << "the call after the loss succeeded";
  } catch (const DatabaseError& error) {
    EXPECT_TRUE(error.IsConnectionLost()) << error.what();
    EXPECT_EQ(error.GdsCode(), kConnectionShutdown) << error.what();
    EXPECT_STREQ(error.what(), "connection shutdown");
    EXPECT_EQ(error.SqlCode(), -902);
    EXPECT_EQ(error.SqlState().substr(0, 2), "08");
  }
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(victim->GetTransaction().Active());
  EXPECT_TRUE(borrowed->Eof());

  // Everything made on the lost connection goes without touching it and without raising.
  borrowed.reset();
  victim.reset();

  db->Connect();
  EXPECT_EQ(SelectText(*db, "select count(*) as v from t"), "0");  // nothing was committed
}

INSTANTIATE_TEST_SUITE_P(
    WhereTheLossHits, ConnectionLossTest,
    ::testing::Values(
        LossCase{"statement",
                 [](Query& q) {
                   q.SetSql("insert into t (id) values (1)");
                   q.ExecSQL();
                 },
                 [](Query& q) { q.ExecSQL(); }},
        LossCase{"prepare",
                 [](Query& q) {
                   q.SetSql("insert into t (id) values (1)");
                   q.ExecSQL();
                   q.SetSql("select id from t");
                 },
                 [](Query& q) { q.Prepare(); }},
        LossCase{"fetch",
                 [](Query& q) {
                   q.SetSql("insert into t (id) values (1)");
                   q.ExecSQL();
                   q.SetSql(kFiveRows);
                   q.Open();
                 },
                 [](Query& q) {
                   for (int row = 0; row < 5 && !q.Eof(); ++row) q.Next();
                 }},
        LossCase{"commit",
                 [](Query& q) {
                   q.SetSql("insert into t (id) values (1)");
                   q.ExecSQL();
                 },
                 [](Query& q) { q.GetTransaction().Commit(); }}),
    [](const ::testing::TestParamInfo<LossCase>& param) { return std::string(param.param.name); });

TEST_F(ConnectionLossTest, QueryReleasedAfterTheLossDoesNotRaise) {
  auto victim = CreateQuery(*db);
  victim->SetSql("insert into t (id) values (1)");
  victim->ExecSQL();
  CutOffTheConnection();
  EXPECT_NO_THROW(victim.reset());  // its commit meets the loss: closed quietly
  EXPECT_FALSE(db->Connected());
  db->Connect();
  EXPECT_EQ(SelectText(*db, "select count(*) as v from t"), "0");
}

TEST_F(ConnectionLossTest, QueryOfTheLostConnectionWorksAgainAfterReconnecting) {
  auto query = CreateQuery(*db);
  query->SetSql("insert into t (id) values (:id)");
  query->ParamByName("id").SetInt(1);
  query->ExecSQL();
  CutOffTheConnection();
  EXPECT_THROW(query->ExecSQL(), DatabaseError);
  EXPECT_THROW(query->ExecSQL(), DatabaseError);  // still closed: "DB is not open"

  db->Connect();
  query->ParamByName("id").SetInt(2);
  query->ExecSQL();  // prepared again, in a new transaction
  query->GetTransaction().Commit();
  EXPECT_EQ(SelectText(*db, "select list(id) as v from t"), "2");
}

}  // namespace
}  // namespace qdz::db
