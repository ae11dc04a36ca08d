#pragma once
// A statement with ":name" parameters on one transaction, read forward only.
// Names match without regard to case; ":" inside string literals and comments is no parameter.
// A parameter never set is NULL. A value goes to the server in its own type (a text as VARCHAR,
// an integer as BIGINT, ...) and the server converts it to the parameter's type; a text for a
// BLOB parameter is written into a BLOB. Open and ExecSQL run any statement: a select opens its
// cursor with the first row current; a statement with output values but no cursor (EXECUTE
// PROCEDURE, ... RETURNING) gives them as one row; others leave Eof. Without a current row
// (before Open, after the last row) every field reads as NULL. One row buffer serves all fetches.
// The transaction must outlive a query that borrows it.
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
    // NULL gives ""; BLOB read whole; NUMERIC "35.50"; floating "2.5", "1E-5"; timestamp
    // "dd.mm.yyyy hh:nn:ss", date "dd.mm.yyyy", time "hh:nn:ss"; boolean "True"/"False".
    std::string AsString() const;
    // NULL gives 0; exact numbers with a scale and floating values are cut toward zero; a text
    // must be a whole number, else util::ConvertError "'<text>' is not a valid integer value".
    std::int32_t AsInt() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    // NULL gives the zero date; a text in the form "yyyy-mm-dd hh:nn:ss" or "dd.mm.yyyy hh:nn:ss".
    util::DateTime AsDateTime() const;

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
