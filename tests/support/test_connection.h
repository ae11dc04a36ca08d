#pragma once
// A database connection for a test, made the way the service makes its own (user SYSDBA,
// character set WIN1251), and a guard that points db::ExchangeDatabase at it for one test.
#include <memory>
#include <string>

#include "db/connection.h"

namespace qdz::testing {

inline constexpr const char* kTestConnectionParams = "user_name=SYSDBA\r\nlc_ctype=WIN1251";

// Connected to the database file (or any database name the client takes).
std::unique_ptr<db::Connection> ConnectTo(const std::string& databaseName);

class ExchangeDatabaseGuard {
 public:
  explicit ExchangeDatabaseGuard(db::Connection& connection);
  ~ExchangeDatabaseGuard();
  ExchangeDatabaseGuard(const ExchangeDatabaseGuard&) = delete;
  ExchangeDatabaseGuard& operator=(const ExchangeDatabaseGuard&) = delete;
};

}  // namespace qdz::testing
