#pragma once
// Fault injection. A rule names the requests it applies to and what goes wrong with them:
//
//   {"path": "/exch/v4/orders", "method": "GET", "count": 2, "status": 503, "body": "{...}"}
//
//   "path"      required; the request path, compared exactly
//   "method"    optional; the method, compared exactly; any method when absent
//   "count"     optional; how many more requests the rule applies to; forever when absent
//   "delay_ms"  wait this long before answering (the request is still carried out)
//   "status"    answer with this status instead of carrying the request out
//   "body"      the answer body instead of carrying the request out (with "status", or 200)
//   "malformed": true   answer with a truncated JSON text (status as above, 200 by default)
//   "non_utf8": true    carry the request out but send the answer (or "body") in Windows-1251
//   "drop": "no_answer"   close the connection without a byte of answer
//   "drop": "mid_answer"  send the status line, headers and half of the body (or of a default
//                         body), then close the connection
//
// At least one effect, at most one of "malformed", "non_utf8" and "drop". Requests that a rule
// answers in place of the marketplace ("status", "body", "malformed", "drop") change nothing.
//
// Rules come from the command line (kept in memory) and from <data>/faults.json, a JSON array of
// rules re-read on every request. The first rule that matches and is not used up applies; a file
// rule's "count" is counted down in the file itself, so the file shows what is left.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "marketplace-sim/json_file.h"

namespace qdz::sim {

enum class Breakage { none, malformed, non_utf8, drop_no_answer, drop_mid_answer };

struct FaultRule {
  std::string path;
  std::optional<std::string> method;
  std::optional<long long> count;
  long long delayMs = 0;
  std::optional<int> status;
  std::optional<std::string> body;
  Breakage breakage = Breakage::none;
  Json source;  // the rule as written, for the request log

  bool Matches(const std::string& requestMethod, const std::string& requestPath) const;
  bool UsedUp() const { return count && *count <= 0; }
  // True when the rule answers in place of the marketplace.
  bool ReplacesAnswer() const;
};

// Throws std::invalid_argument with the reason when the rule is not of the form above.
FaultRule ParseFaultRule(const Json& rule);

class FaultBook {
 public:
  FaultBook(std::vector<FaultRule> fixedRules, std::filesystem::path file);

  // The first rule that matches and is not used up, counted down; nullopt when none applies.
  // Throws std::runtime_error when the faults file cannot be read or holds a bad rule.
  // Not thread-safe: the caller serialises requests.
  std::optional<FaultRule> Take(const std::string& method, const std::string& path);

 private:
  std::optional<FaultRule> TakeFixed(const std::string& method, const std::string& path);
  std::optional<FaultRule> TakeFromFile(const std::string& method, const std::string& path);

  std::vector<FaultRule> fixedRules_;
  std::filesystem::path file_;
};

}  // namespace qdz::sim
