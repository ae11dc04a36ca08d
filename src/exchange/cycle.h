#pragma once
// One pass of the exchange with the marketplace: lock, settings, price uploads, order import,
// status push, commit. Uses the connected db::ExchangeDatabase.
#include "exchange/log.h"

namespace qdz::exchange {

void RunExchangeCycle(const LogCallback& log);

}  // namespace qdz::exchange
