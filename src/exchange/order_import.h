#pragma once
// Takes the marketplace's new orders into the pharmacy database through its procedures and
// acknowledges them. Records its own failure in its task row and returns normally. A download is
// taken over whole or not at all: a failure part-way rolls its orders back and acknowledges none,
// so the next download brings them again.
#include "exchange/log.h"

namespace qdz::db {
class Connection;
}

namespace qdz::exchange {

void ImportOrders(db::Connection& db, const LogCallback& log);

}  // namespace qdz::exchange
