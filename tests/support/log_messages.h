// Reads the service log back into its messages, for tests that check what the program wrote.
#pragma once

#include <string>
#include <vector>

namespace qdz::testing {

// Every log entry starts with a time stamp and a TAB and ends with CR LF; a message may span
// physical lines (the database client's texts do), and only the first of them carries the stamp.
struct LogEntries {
  std::vector<std::string> messages;  // without their stamps, continuation lines joined by CR LF
  std::string unstampedStart;         // lines before the first stamp; empty in a sound log
};

LogEntries SplitLog(const std::string& bytes);

}  // namespace qdz::testing
