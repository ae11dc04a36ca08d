#include "net/http_client.h"

namespace qdz::net {

HttpClient::HttpClient(HttpClientLimits limits) : limits_(limits) {}

std::vector<std::string> OutgoingHeaderLines(const HttpRequest& request) {
  std::vector<std::string> lines = request.headerLines;
  if (!request.body.empty() && !request.contentType.empty()) {
    lines.push_back("Content-Type: " + request.contentType);
  }
  return lines;
}

std::string ReasonPhraseOfStatusLine(const std::string& statusLine) {
  std::string line = statusLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  // "HTTP/1.1" SP status-code SP reason-phrase; the phrase may hold blanks of its own.
  const std::size_t afterVersion = line.find(' ');
  if (afterVersion == std::string::npos) return {};
  const std::size_t afterCode = line.find(' ', afterVersion + 1);
  if (afterCode == std::string::npos) return {};
  return line.substr(afterCode + 1);
}

}  // namespace qdz::net
