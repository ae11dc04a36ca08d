#pragma once
// The two ways every statement of the system is made, so that all queries share one setting.
#include <memory>

#include "db/query.h"

namespace qdz::db {

class Connection;
class Transaction;

// A query with a new transaction of its own ("read_committed rec_version nowait"); the
// transaction is released together with the query, committed if still active.
std::unique_ptr<Query> CreateQuery(Connection& db);
// A query on a transaction the caller already has; releasing the query leaves it alone.
std::unique_ptr<Query> CreateQueryOn(Transaction& transaction);

// The one process-wide reference to the service's connection; set by the service before its
// main loop (and by tests).
extern Connection* ExchangeDatabase;

}  // namespace qdz::db
