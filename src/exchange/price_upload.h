#pragma once
// Publishes the pharmacy's price and stock list: runs the pharmacy's own price SQL, cuts the rows
// into JSON parts and posts them; a full run sends the whole list, a partial run what changed
// since the stored change mark. Records its own failure in its task row and returns normally.
#include "exchange/log.h"

namespace qdz::db {
class Connection;
}

namespace qdz::exchange {

void UploadPrices(db::Connection& db, bool full, const LogCallback& log);

}  // namespace qdz::exchange
