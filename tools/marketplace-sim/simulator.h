#pragma once
// What the simulator does with one request, apart from the HTTP transport: log it, look for a
// fault rule, let the marketplace answer (or the fault answer instead), and say how the transport
// is to deliver the answer.
#include <filesystem>
#include <mutex>
#include <vector>

#include "marketplace-sim/faults.h"
#include "marketplace-sim/http_message.h"
#include "marketplace-sim/marketplace.h"
#include "marketplace-sim/request_log.h"

namespace qdz::sim {

struct SimulatorSettings {
  std::filesystem::path dataDir;
  Credentials credentials;
  std::vector<FaultRule> faults;  // from the command line, before those of the faults file
};

enum class Delivery { whole, no_answer, half_then_close };

struct Reply {
  Answer answer;
  long long delayMs = 0;
  Delivery delivery = Delivery::whole;
};

// The truncated text a "malformed" fault answers with.
inline constexpr const char* kMalformedBody = "{\"list\": [{\"id\": ";

class Simulator {
 public:
  // Creates the data folder if needed and loads what earlier runs kept there.
  explicit Simulator(SimulatorSettings settings);

  // Thread-safe; the request is in the log when this returns.
  Reply Receive(const IncomingRequest& request);

 private:
  Reply ApplyFault(const FaultRule& rule, const IncomingRequest& request);

  std::mutex mutex_;
  RequestLog log_;
  FaultBook faults_;
  Marketplace marketplace_;
};

}  // namespace qdz::sim
