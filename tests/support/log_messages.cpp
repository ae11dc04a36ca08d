#include "support/log_messages.h"

#include <regex>

namespace qdz::testing {

LogEntries SplitLog(const std::string& bytes) {
  static const std::regex stamped(R"(^\d\d\.\d\d\.\d{4}( \d{1,2}:\d\d:\d\d)?\t)");
  LogEntries log;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    std::smatch match;
    if (std::regex_search(line, match, stamped)) {
      log.messages.push_back(line.substr(static_cast<std::size_t>(match.length(0))));
    } else if (log.messages.empty()) {
      log.unstampedStart += line + "\r\n";
    } else {
      log.messages.back() += "\r\n" + line;
    }
    start = end + 2;
  }
  return log;
}

}  // namespace qdz::testing
