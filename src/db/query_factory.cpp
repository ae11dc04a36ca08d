#include "db/query_factory.h"

#include "db/transaction.h"

namespace qdz::db {

Connection* ExchangeDatabase = nullptr;

std::unique_ptr<Query> CreateQuery(Connection& db) {
  return std::make_unique<Query>(std::make_unique<Transaction>(db, kDefaultTransactionParams));
}

std::unique_ptr<Query> CreateQueryOn(Transaction& transaction) { return std::make_unique<Query>(transaction); }

}  // namespace qdz::db
