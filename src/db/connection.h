#pragma once
// One attachment to a Firebird database through the client library loaded at run time.
// A database name that is a plain file path opens the file with the embedded engine; SQL dialect 3.
// When a statement, fetch or commit fails because the connection is gone (the server died, the
// attachment was killed), the connection closes itself before the error is raised: Connected()
// is false and the next Connect() attaches anew. Transactions and queries made on a connection
// that closed keep no handles; they can be released safely, and work again after Connect().
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

  void Connect();  // nothing to do when connected
  // Commits what is still open on the connection (rolls back what cannot be committed) and
  // detaches; raises nothing.
  void Disconnect();
  bool Connected() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qdz::db
