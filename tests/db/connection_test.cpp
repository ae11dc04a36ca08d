// Loading the client, attaching with the parameter text, and closing.
#include <gtest/gtest.h>

#include "database_test.h"
#include "db/error.h"

namespace qdz::db {
namespace {

TEST(ClientLibrary, MissingLibraryIsReportedWithItsName) {
  try {
    Connection connection("libfbclient-missing.so.9");
    FAIL() << "a connection was made without a client library";
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(),
                 "InterBase library libfbclient-missing.so.9 not found in the path. "
                 "Please install InterBase to use this functionality");
  }
}

TEST(ClientLibrary, LibraryWithoutTheClientEntryIsRefused) {
  EXPECT_THROW(Connection("libc.so.6"), DatabaseError);
}

class ConnectionTest : public DatabaseTest {};

TEST_F(ConnectionTest, ParamsTextIsReadLineByLineWithoutRegardToCase) {
  Execute("create role clerk");
  Execute("grant clerk to tester");
  Connection connection;
  connection.SetDatabaseName(database.path());
  // LF alone ends a line too; unknown names and lines without "=" are ignored.
  connection.SetParams("USER_NAME=TESTER\nisc_dpb_password=secret\r\nSql_Role_Name=CLERK\r\n"
                       "lc_ctype=WIN1251\r\nLoginPrompt=false\r\n\r\nno equals sign\r\n");
  EXPECT_FALSE(connection.Connected());
  connection.Connect();
  ASSERT_TRUE(connection.Connected());
  auto query = CreateQuery(connection);
  query->SetSql(
      "select current_user as u, current_role as r, cs.rdb$character_set_name as cs "
      "from mon$attachments a join rdb$character_sets cs on cs.rdb$character_set_id = a.mon$character_set_id "
      "where a.mon$attachment_id = current_connection");
  query->Open();
  EXPECT_EQ(query->FieldByName("u").AsString(), "TESTER");
  EXPECT_EQ(query->FieldByName("r").AsString(), "CLERK");
  EXPECT_EQ(query->FieldByName("cs").AsString().substr(0, 7), "WIN1251");
}

TEST_F(ConnectionTest, DisconnectAndConnectAgain) {
  EXPECT_TRUE(db->Connected());
  db->Disconnect();
  EXPECT_FALSE(db->Connected());
  db->Disconnect();  // a second time does nothing
  db->Connect();
  db->Connect();  // connected already: nothing to do
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(SelectText(*db, "select 'again' as v from rdb$database"), "again");
}

TEST_F(ConnectionTest, StatementOnAClosedConnectionFails) {
  db->Disconnect();
  auto query = CreateQuery(*db);
  query->SetSql("select 1 as v from rdb$database");
  try {
    query->Open();
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Cannot perform operation -- DB is not open");
  }
  EXPECT_FALSE(query->GetTransaction().Active());
}

TEST_F(ConnectionTest, ConnectToAMissingDatabaseFailsAndStaysClosed) {
  Connection connection;
  connection.SetDatabaseName((database.dir() / "missing.fdb").string());
  connection.SetParams(testing::kTestConnectionParams);
  try {
    connection.Connect();
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("missing.fdb"), std::string::npos) << error.what();
    EXPECT_NE(error.GdsCode(), 0);
  }
  EXPECT_FALSE(connection.Connected());
}

TEST_F(ConnectionTest, DisconnectCommitsWhatIsStillOpenAndLeavesTheQueriesSafe) {
  Execute("create table t (id integer)");
  auto owner = CreateQuery(*db);
  owner->SetSql("insert into t (id) values (1)");
  owner->ExecSQL();
  auto reader = CreateQueryOn(owner->GetTransaction());
  reader->SetSql("select id from t");
  reader->Open();
  ASSERT_FALSE(reader->Eof());

  db->Disconnect();
  EXPECT_FALSE(owner->GetTransaction().Active());
  EXPECT_TRUE(reader->Eof());

  db->Connect();
  EXPECT_EQ(SelectText(*db, "select count(*) as v from t"), "1");
  reader->Open();  // prepared again on the new attachment, in a new transaction
  EXPECT_EQ(reader->FieldByName("id").AsInt(), 1);
}

TEST_F(ConnectionTest, QueriesMayOutliveTheirConnection) {
  auto query = CreateQuery(*db);
  query->SetSql("select 1 as v from rdb$database");
  query->Open();
  db.reset();  // detaches; the query is left without handles
  EXPECT_TRUE(query->Eof());
  EXPECT_FALSE(query->GetTransaction().Active());
}

}  // namespace
}  // namespace qdz::db
