// Transactions of the factories: who commits, who sees what, and lock conflicts between
// attachments.
#include <gtest/gtest.h>

#include "db/error.h"
#include "database_test.h"

namespace qdz::db {
namespace {

class TransactionTest : public DatabaseTest {
 protected:
  void SetUp() override { Execute("create table t (id integer not null primary key, v varchar(20))"); }
};

TEST_F(TransactionTest, QueryReleasedWithoutCommitCommitsItsTransaction) {
  {
    auto query = CreateQuery(*db);
    query->SetSql("insert into t (id, v) values (1, 'kept')");
    query->ExecSQL();
    EXPECT_TRUE(query->GetTransaction().Active());
  }
  auto other = SecondConnection();
  EXPECT_EQ(SelectText(*other, "select v from t where id = 1"), "kept");
}

TEST_F(TransactionTest, TransactionStartsWithTheFirstStatementOnly) {
  auto query = CreateQuery(*db);
  query->SetSql("select v from t");
  EXPECT_FALSE(query->GetTransaction().Active());
  query->Open();
  EXPECT_TRUE(query->GetTransaction().Active());
  query->GetTransaction().Commit();
  EXPECT_FALSE(query->GetTransaction().Active());
}

TEST_F(TransactionTest, QueriesOnOneTransactionSeeEachOthersUncommittedChanges) {
  auto first = CreateQuery(*db);
  first->SetSql("insert into t (id, v) values (1, 'shared')");
  first->ExecSQL();
  auto second = CreateQueryOn(first->GetTransaction());
  second->SetSql("select v from t where id = 1");
  second->Open();
  ASSERT_FALSE(second->Eof());
  EXPECT_EQ(second->FieldByName("v").AsString(), "shared");
  EXPECT_EQ(&second->GetTransaction(), &first->GetTransaction());

  // A query of its own transaction reads committed data only, and does not wait.
  EXPECT_EQ(SelectText(*db, "select v from t where id = 1"), "<no row>");
}

TEST_F(TransactionTest, BorrowedQueryReleasedAloneLeavesTheTransactionOpenAndUsable) {
  auto owner = CreateQuery(*db);
  owner->SetSql("insert into t (id, v) values (1, 'a')");
  owner->ExecSQL();
  {
    auto borrowed = CreateQueryOn(owner->GetTransaction());
    borrowed->SetSql("update t set v = 'b' where id = 1");
    borrowed->ExecSQL();
  }
  EXPECT_TRUE(owner->GetTransaction().Active());
  EXPECT_EQ(SelectText(*db, "select v from t where id = 1"), "<no row>");  // still not committed

  owner->SetSql("update t set v = v || 'c' where id = 1");
  owner->ExecSQL();
  owner->GetTransaction().Commit();
  EXPECT_EQ(SelectText(*db, "select v from t where id = 1"), "bc");
}

TEST_F(TransactionTest, SetSqlKeepsTheTransaction) {
  auto query = CreateQuery(*db);
  query->SetSql("insert into t (id, v) values (1, 'x')");
  query->ExecSQL();
  query->SetSql("select count(*) as n from t");
  query->Open();
  EXPECT_EQ(query->FieldByName("n").AsInt(), 1);  // sees its own uncommitted insert
  query->GetTransaction().Rollback();
  query->Open();
  EXPECT_EQ(query->FieldByName("n").AsInt(), 0);
}

TEST_F(TransactionTest, UpdateOfARowHeldByAnotherAttachmentFailsAtOnceWithALockConflict) {
  Execute("insert into t (id, v) values (-1, 'lock')");
  auto holder = CreateQuery(*db);
  holder->SetSql("update or insert into t (id, v) values (-1, 'held')");
  holder->ExecSQL();

  auto other = SecondConnection();
  // Reading the held row gives its committed version without waiting.
  EXPECT_EQ(SelectText(*other, "select v from t where id = -1"), "lock");

  auto contender = CreateQuery(*other);
  contender->SetSql("update or insert into t (id, v) values (-1, 'mine')");
  try {
    contender->ExecSQL();
    FAIL() << "the second update did not fail";
  } catch (const DatabaseError& error) {
    EXPECT_TRUE(error.IsLockConflict()) << error.what() << " gds " << error.GdsCode();
    EXPECT_FALSE(error.IsConnectionLost());
    const std::string message = error.what();
    EXPECT_NE(message.find("update conflicts with concurrent update"), std::string::npos) << message;
    EXPECT_EQ(error.SqlCode(), -913);
    EXPECT_EQ(error.SqlState(), "40001");
  }
  EXPECT_TRUE(other->Connected());

  // Once the holder commits, the row is free again.
  holder->GetTransaction().Commit();
  contender->ExecSQL();
  contender->GetTransaction().Commit();
  EXPECT_EQ(SelectText(*db, "select v from t where id = -1"), "mine");
}

TEST_F(TransactionTest, CommitAndRollbackOfAnInactiveTransactionFail) {
  Transaction transaction(*db);
  for (auto end : {&Transaction::Commit, &Transaction::Rollback}) {
    try {
      (transaction.*end)();
      FAIL() << "ending an inactive transaction succeeded";
    } catch (const DatabaseError& error) {
      EXPECT_STREQ(error.what(), "Transaction is not active");
    }
  }
}

TEST_F(TransactionTest, ReleaseRollsBackSilentlyWhenTheCommitFails) {
  Execute("create exception commit_refused 'commit refused'");
  Execute(
      "create trigger refuse_commit on transaction commit as begin "
      "if (rdb$get_context('USER_TRANSACTION', 'refuse') = '1') then exception commit_refused; end");
  {
    auto query = CreateQuery(*db);
    query->SetSql("insert into t (id, v) values (1, 'lost')");
    query->ExecSQL();
    query->SetSql("select rdb$set_context('USER_TRANSACTION', 'refuse', '1') as v from rdb$database");
    query->Open();

    auto probe = CreateQueryOn(query->GetTransaction());
    probe->SetSql("insert into t (id, v) values (2, 'also lost')");
    probe->ExecSQL();
    try {
      query->GetTransaction().Commit();
      FAIL() << "the commit was not refused";
    } catch (const DatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("commit refused"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(query->GetTransaction().Active());  // a failed commit leaves it open
  }  // released: commit fails again, rollback, nothing raised
  EXPECT_EQ(SelectText(*db, "select count(*) as v from t"), "0");
  EXPECT_TRUE(db->Connected());
}

struct IsolationCase {
  const char* params;
  bool seesLaterCommit;
};

void PrintTo(const IsolationCase& c, std::ostream* out) { *out << c.params; }

class TransactionParamsTest : public TransactionTest, public ::testing::WithParamInterface<IsolationCase> {};

TEST_P(TransactionParamsTest, ParameterTextSetsTheIsolation) {
  Transaction reader(*db, GetParam().params);
  auto query = CreateQueryOn(reader);
  query->SetSql("select count(*) as n from t");
  query->Open();
  EXPECT_EQ(query->FieldByName("n").AsInt(), 0);

  Execute(*SecondConnection(), "insert into t (id, v) values (1, 'late')");
  query->Open();
  EXPECT_EQ(query->FieldByName("n").AsInt(), GetParam().seesLaterCommit ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransactionParamsTest,
                         ::testing::Values(IsolationCase{kDefaultTransactionParams, true},
                                           IsolationCase{"read_committed\nno_rec_version\nnowait\nwrite", true},
                                           IsolationCase{"concurrency\r\nwait", false},
                                           IsolationCase{"ISC_TPB_CONCURRENCY\r\n\r\nREAD", false}));

TEST_F(TransactionTest, UnknownTransactionParameterIsAnError) {
  Transaction transaction(*db, "read_committed\r\nrec_versoin");
  try {
    transaction.Start();
    FAIL() << "the misspelt parameter was accepted";
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Unknown transaction parameter 'rec_versoin'");
  }
  EXPECT_FALSE(transaction.Active());
}

TEST_F(TransactionTest, ReadOnlyTransactionRefusesWrites) {
  Transaction reader(*db, "read_committed\r\nrec_version\r\nnowait\r\nread");
  auto query = CreateQueryOn(reader);
  query->SetSql("insert into t (id, v) values (1, 'x')");
  EXPECT_THROW(query->ExecSQL(), DatabaseError);
}

}  // namespace
}  // namespace qdz::db
