#pragma once
// Sends the order status changes the pharmacy system queued in I_ORDER_TASKS. Reads the queue on
// the caller's transaction (the cycle's) and leaves it open; each row is closed by itself. A row
// whose data would not make valid JSON is closed with -2 before it is taken, and nothing is sent.
#include "exchange/log.h"

namespace qdz::db {
class Transaction;
}

namespace qdz::exchange {

void PushOrderStatuses(db::Transaction& transaction, const LogCallback& log);

}  // namespace qdz::exchange
