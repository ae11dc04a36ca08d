#pragma once
// The one error type of the database layer: the client's formatted message (the exact text that
// journal rows and the log receive), the gds code and the SQLCODE.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qdz::db {

class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& message, std::intptr_t gdsCode = 0, int sqlCode = 0,
                         std::string sqlState = {});

  std::intptr_t GdsCode() const { return gdsCode_; }
  int SqlCode() const { return sqlCode_; }
  const std::string& SqlState() const { return sqlState_; }

  // The connection to the server is gone: SQLCODE -902, SQLSTATE class 08, or one of the
  // network gds codes (335544721, 335544726, 335544727, 335544856).
  bool IsConnectionLost() const;
  // Another transaction holds the row (nowait): gds 335544336 and its relatives.
  bool IsLockConflict() const;

 private:
  std::intptr_t gdsCode_;
  int sqlCode_;
  std::string sqlState_;
};

}  // namespace qdz::db
