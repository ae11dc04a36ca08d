#include "exchange/settings.h"

namespace qdz::exchange {

ExchangeSettings Settings;

}  // namespace qdz::exchange
