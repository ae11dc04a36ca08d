#include "marketplace-sim/options.h"

#include <charconv>

#include "marketplace-sim/json_file.h"

namespace qdz::sim {
namespace {

int ParsePort(const std::string& text) {
  int port = -1;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, port);
  if (text.empty() || error != std::errc() || stop != end || port < 0 || port > 65535) {
    throw UsageError("--port needs a number from 0 to 65535, not \"" + text + "\"");
  }
  return port;
}

FaultRule ParseFaultOption(const std::string& text) {
  try {
    return ParseFaultRule(Json::parse(text));
  } catch (const std::exception& e) {
    throw UsageError("--fault " + text + ": " + e.what());
  }
}

std::string ConfigText(const Json& config, const std::string& key, std::string fallback) {
  if (!config.contains(key)) return fallback;
  if (!config[key].is_string()) throw std::runtime_error("config.json: \"" + key + "\" must be a string");
  return config[key].get<std::string>();
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments) {
  Options options;
  bool dataGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      return options;
    }
    if (i + 1 >= arguments.size()) throw UsageError(name + ": unknown option or missing value");
    const std::string& value = arguments[++i];
    if (name == "--port") {
      options.port = ParsePort(value);
    } else if (name == "--data") {
      options.dataDir = value;
      dataGiven = true;
    } else if (name == "--mc") {
      options.merchantCode = value;
    } else if (name == "--token") {
      options.authToken = value;
    } else if (name == "--tls-cert") {
      options.tlsCert = value;
    } else if (name == "--tls-key") {
      options.tlsKey = value;
    } else if (name == "--fault") {
      options.faults.push_back(ParseFaultOption(value));
    } else {
      throw UsageError(name + ": unknown option");
    }
  }
  if (!dataGiven || options.dataDir.empty()) throw UsageError("--data DIR is required");
  if (options.tlsCert.has_value() != options.tlsKey.has_value()) {
    throw UsageError("--tls-cert and --tls-key go together");
  }
  return options;
}

std::string UsageText() {
  return "usage: marketplace-sim --data DIR [--port N] [--tls-cert FILE --tls-key FILE]\n"
         "                       [--mc CODE] [--token TOKEN] [--fault RULE]...\n"
         "  --port N      port on 127.0.0.1; 0 (the default) picks a free one\n"
         "  --data DIR    data folder: config.json, orders.json, faults.json in;\n"
         "                requests.jsonl, statuses.jsonl, exported.json, published/ out\n"
         "  --mc, --token the merchant code and auth_token header expected\n"
         "                (default " + std::string(kDefaultMerchantCode) + " / " + kDefaultAuthToken +
         ", or \"mc\"/\"token\" of DIR/config.json)\n"
         "  --fault RULE  a fault rule as JSON, applied before those of DIR/faults.json\n"
         "Prints \"listening on 127.0.0.1:<port>\" when ready; SIGTERM or SIGINT stops it.\n";
}

Credentials ResolveCredentials(const Options& options) {
  const Json config = ReadJsonFile(options.dataDir / "config.json").value_or(Json::object());
  if (!config.is_object()) throw std::runtime_error("config.json: not a JSON object");
  Credentials credentials{ConfigText(config, "mc", kDefaultMerchantCode),
                          ConfigText(config, "token", kDefaultAuthToken)};
  if (options.merchantCode) credentials.merchantCode = *options.merchantCode;
  if (options.authToken) credentials.authToken = *options.authToken;
  return credentials;
}

}  // namespace qdz::sim
