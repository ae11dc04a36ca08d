#pragma once
// How the simulator is started: the command line, and the credentials it resolves to.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "marketplace-sim/faults.h"
#include "marketplace-sim/marketplace.h"

namespace qdz::sim {

inline constexpr const char* kDefaultMerchantCode = "demo-pharmacy";
inline constexpr const char* kDefaultAuthToken = "demo-token";

struct Options {
  int port = 0;  // 0: any free port
  std::filesystem::path dataDir;
  std::optional<std::string> merchantCode;
  std::optional<std::string> authToken;
  std::optional<std::filesystem::path> tlsCert;
  std::optional<std::filesystem::path> tlsKey;
  std::vector<FaultRule> faults;
  bool help = false;
};

// A command line that cannot be used; the message says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The arguments after the program name.
Options ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

// The merchant code and token: the built-in defaults, replaced by "mc" and "token" of
// <data>/config.json when it has them, replaced by the command line's --mc and --token.
Credentials ResolveCredentials(const Options& options);

}  // namespace qdz::sim
