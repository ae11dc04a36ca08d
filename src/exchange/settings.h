#pragma once
// The process-wide exchange settings. The cycle fills the marketplace part from the database's
// params table at the start of every cycle; the service sets the local part once at start.
#include <cstdint>
#include <filesystem>
#include <string>

namespace qdz::exchange {

struct ExchangeSettings {
  // Read afresh by every cycle.
  std::string BaseUrl;
  std::string MerchantCode;
  std::string AuthToken;
  std::int32_t PartPricesInterval = 0;  // minutes

  // Set by the service at start: the folder for the scratch files ("_answer", part files, the
  // store payload) and an optional CA bundle for a marketplace with a private authority.
  std::filesystem::path ScratchFolder = ".";
  std::string CaBundle;
};

extern ExchangeSettings Settings;

}  // namespace qdz::exchange
