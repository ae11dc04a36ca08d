#pragma once
// A fresh reference database with one open connection, for the tests of the database layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "db/connection.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "support/test_connection.h"
#include "support/test_database.h"

namespace qdz::db {

class DatabaseTest : public ::testing::Test {
 protected:
  // Runs one statement on a transaction of its own and commits it.
  static void Execute(Connection& connection, const std::string& sql) {
    auto query = CreateQuery(connection);
    query->SetSql(sql);
    query->ExecSQL();
    query->GetTransaction().Commit();
  }
  void Execute(const std::string& sql) { Execute(*db, sql); }

  // The first column of the first row of a select, as text, read on a transaction of its own.
  static std::string SelectText(Connection& connection, const std::string& sql) {
    auto query = CreateQuery(connection);
    query->SetSql(sql);
    query->Open();
    if (query->Eof()) return "<no row>";
    return query->FieldByName("v").AsString();
  }

  std::unique_ptr<Connection> SecondConnection() const { return testing::ConnectTo(database.path()); }

  testing::TestDatabase database;
  std::unique_ptr<Connection> db = testing::ConnectTo(database.path());
};

}  // namespace qdz::db
