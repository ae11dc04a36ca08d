#include "marketplace-sim/request_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

#include "marketplace-sim/encoding.h"

namespace qdz::sim {
namespace {

std::string UtcNow() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis % 1000));
  return text;
}

Json HeaderPairs(const IncomingRequest& request) {
  Json pairs = Json::array();
  for (const auto& [name, value] : request.headers) pairs.push_back(Json::array({name, value}));
  return pairs;
}

}  // namespace

RequestLog::RequestLog(std::filesystem::path file) : file_(std::move(file)) {}

void RequestLog::Append(const IncomingRequest& request, const Json& notes) {
  Json line = {{"time", UtcNow()},
               {"method", request.method},
               {"path", request.path},
               {"query", request.query},
               {"headers", HeaderPairs(request)},
               {"body_base64", Base64Encode(request.body)}};
  if (IsValidUtf8(request.body)) line["body"] = request.body;
  line.update(notes);
  AppendLine(file_, DumpLine(line));
}

}  // namespace qdz::sim
