#pragma once
// A statement with ":name" parameters on one transaction, read forward only.
// Names match without regard to case; ":" inside string literals and comments is no parameter.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/datetime.h"

namespace qdz::db {

class Transaction;

class Query {
 public:
  // A query that owns its transaction (made by CreateQuery).
  explicit Query(std::unique_ptr<Transaction> owned);
  // A query on a transaction that someone else owns (made by CreateQueryOn).
  explicit Query(Transaction& borrowed);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // Replacing the text closes an open result; the transaction stays.
  void SetSql(std::string sql);
  const std::string& Sql() const;
  void Prepare();   // starts the transaction when needed
  void Open();      // runs a select; the first row (if any) is current
  void ExecSQL();   // runs a statement without a result set
  void Close();
  bool Eof() const;
  void Next();

  class Param {
   public:
    void SetString(std::string_view value);  // also for BLOB SUB_TYPE TEXT
    void SetInt(std::int32_t value);
    void SetInt64(std::int64_t value);
    void SetDouble(double value);
    void SetDateTime(util::DateTime value);
    void SetNull();

   private:
    friend class Query;
    Param(Query& q, std::size_t i) : query_(q), index_(i) {}
    Query& query_;
    std::size_t index_;
  };

  class Field {
   public:
    bool IsNull() const;
    std::string AsString() const;  // NULL gives ""; BLOB SUB_TYPE TEXT read whole
    std::int32_t AsInt() const;    // NULL gives 0
    std::int64_t AsInt64() const;
    double AsDouble() const;
    util::DateTime AsDateTime() const;  // NULL gives the zero date

   private:
    friend class Query;
    Field(const Query& q, std::size_t i) : query_(q), index_(i) {}
    const Query& query_;
    std::size_t index_;
  };

  // "Parameter '%s' not found" / "Field '%s' not found"
  Param ParamByName(std::string_view name);
  Field FieldByName(std::string_view name) const;

  Transaction& GetTransaction() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qdz::db
