#include "support/test_connection.h"

#include "db/query_factory.h"

namespace qdz::testing {

std::unique_ptr<db::Connection> ConnectTo(const std::string& databaseName) {
  auto connection = std::make_unique<db::Connection>();
  connection->SetDatabaseName(databaseName);
  connection->SetParams(kTestConnectionParams);
  connection->Connect();
  return connection;
}

ExchangeDatabaseGuard::ExchangeDatabaseGuard(db::Connection& connection) {
  db::ExchangeDatabase = &connection;
}

ExchangeDatabaseGuard::~ExchangeDatabaseGuard() { db::ExchangeDatabase = nullptr; }

}  // namespace qdz::testing
