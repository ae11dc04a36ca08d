#pragma once
// A request as the simulator received it and the answer it gives, free of any HTTP library, so the
// marketplace logic can be driven directly.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdz::sim {

struct IncomingRequest {
  std::string method;
  std::string path;   // as sent, not percent-decoded
  std::string query;  // the raw text after "?", empty when there was none
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;   // the exact bytes

  // The value of the first header of that name, compared without regard to case.
  std::optional<std::string> Header(const std::string& name) const;
};

// Every answer of the simulator is JSON.
struct Answer {
  int status = 200;
  std::string body;
};

// {"error": message} with the given status.
Answer ErrorAnswer(int status, const std::string& message);

}  // namespace qdz::sim
