#pragma once
// A transaction on one connection. It starts by itself with the first statement run on it and
// stays open until committed. One still active when released is committed; when that commit
// fails it is rolled back, and nothing is raised.
// The parameter text has one word per line: read_committed, rec_version, no_rec_version, nowait,
// wait, concurrency, consistency, read, write (an "isc_tpb_" prefix is allowed; an unknown word
// fails the start). Starting on a closed connection fails with
// "Cannot perform operation -- DB is not open"; Commit and Rollback of a transaction that is not
// active fail with "Transaction is not active".
#include <memory>
#include <string>

namespace qdz::db {

class Connection;

inline constexpr const char* kDefaultTransactionParams = "read_committed\r\nrec_version\r\nnowait";

class Transaction {
 public:
  explicit Transaction(Connection& db, std::string paramsText = kDefaultTransactionParams);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  Connection& DefaultDatabase() const;
  bool Active() const;
  void Start();  // no-op when already active
  void Commit();
  void Rollback();

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qdz::db
