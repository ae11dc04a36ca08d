#pragma once
// <data>/requests.jsonl: one JSON line for every request received, written before it is answered.
//
//   {"time": "2024-03-05T11:07:09.640Z", "method": "POST", "path": "/exch/v4/prices",
//    "query": "mc=M1", "headers": [["Content-Type", "application/json"], ...],
//    "body_base64": "...", "body": "...", "fault": {...}}
//
// "body_base64" holds the exact bytes; "body" repeats them as text only when they are valid UTF-8;
// "fault" is the fault rule applied to the request, if any ("fault_error" when the faults file
// could not be read). Header values and the query are text, invalid UTF-8 in them shows as U+FFFD.
#include <filesystem>

#include "marketplace-sim/http_message.h"
#include "marketplace-sim/json_file.h"

namespace qdz::sim {

class RequestLog {
 public:
  explicit RequestLog(std::filesystem::path file);

  // Not thread-safe: the caller serialises requests. `notes` (an object) is added to the line.
  void Append(const IncomingRequest& request, const Json& notes);

 private:
  std::filesystem::path file_;
};

}  // namespace qdz::sim
