#pragma once
// One attachment to a Firebird database through the client library loaded at run time.
#include <memory>
#include <string>

namespace qdz::db {

class Client;  // the loaded client library (client.h)

class Connection {
 public:
  // Loads the client library; when it cannot be loaded this fails with
  // "InterBase library <name> not found in the path. Please install InterBase to use this functionality".
  Connection();
  explicit Connection(const std::string& clientLibrary);
  ~Connection();  // disconnects silently
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void SetDatabaseName(std::string name);
  const std::string& DatabaseName() const;
  // Lines "name=value" separated by CR LF (or LF): user_name, password, sql_role_name, lc_ctype.
  void SetParams(std::string paramsText);
  const std::string& Params() const;

  void Connect();
  void Disconnect();
  bool Connected() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qdz::db
