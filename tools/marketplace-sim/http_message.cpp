#include "marketplace-sim/http_message.h"

#include <algorithm>
#include <cctype>

#include "marketplace-sim/json_file.h"

namespace qdz::sim {
namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::optional<std::string> IncomingRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (SameNameIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

Answer ErrorAnswer(int status, const std::string& message) {
  return {status, DumpLine(Json{{"error", message}})};
}

}  // namespace qdz::sim
