#include "marketplace-sim/faults.h"

#include <set>
#include <stdexcept>
#include <utility>

namespace qdz::sim {
namespace {

const std::set<std::string> kKnownKeys = {"path",   "method",    "count",    "delay_ms", "status",
                                          "body",   "malformed", "non_utf8", "drop"};

[[noreturn]] void Reject(const std::string& reason) { throw std::invalid_argument(reason); }

const Json* Find(const Json& rule, const std::string& key) {
  return rule.contains(key) ? &rule[key] : nullptr;
}

long long NonNegativeInteger(const Json& rule, const std::string& key) {
  const Json& value = rule[key];
  if (!value.is_number_integer() || value.get<long long>() < 0) Reject("\"" + key + "\" must be an integer >= 0");
  return value.get<long long>();
}

bool Flag(const Json& rule, const std::string& key) {
  const Json* value = Find(rule, key);
  if (value == nullptr) return false;
  if (!value->is_boolean()) Reject("\"" + key + "\" must be true or false");
  return value->get<bool>();
}

std::optional<std::string> OptionalText(const Json& rule, const std::string& key) {
  const Json* value = Find(rule, key);
  if (value == nullptr) return std::nullopt;
  if (!value->is_string()) Reject("\"" + key + "\" must be a string");
  return value->get<std::string>();
}

Breakage DropKind(const Json& rule) {
  const std::optional<std::string> drop = OptionalText(rule, "drop");
  if (!drop) return Breakage::none;
  if (*drop == "no_answer") return Breakage::drop_no_answer;
  if (*drop == "mid_answer") return Breakage::drop_mid_answer;
  Reject("\"drop\" must be \"no_answer\" or \"mid_answer\"");
}

Breakage ChosenBreakage(const Json& rule) {
  std::vector<Breakage> chosen;
  if (Flag(rule, "malformed")) chosen.push_back(Breakage::malformed);
  if (Flag(rule, "non_utf8")) chosen.push_back(Breakage::non_utf8);
  if (const Breakage drop = DropKind(rule); drop != Breakage::none) chosen.push_back(drop);
  if (chosen.size() > 1) Reject("at most one of \"malformed\", \"non_utf8\" and \"drop\"");
  return chosen.empty() ? Breakage::none : chosen.front();
}

std::optional<int> OptionalStatus(const Json& rule) {
  if (!rule.contains("status")) return std::nullopt;
  const long long status = NonNegativeInteger(rule, "status");
  if (status < 100 || status > 599) Reject("\"status\" must be from 100 to 599");
  return static_cast<int>(status);
}

void CheckKeys(const Json& rule) {
  for (const auto& [key, value] : rule.items()) {
    if (!kKnownKeys.contains(key)) Reject("unknown key \"" + key + "\"");
  }
}

// Every rule is checked, so a mistake shows at once and not only when an earlier rule is used up.
std::vector<FaultRule> ParseRuleFile(const Json& document) {
  if (!document.is_array()) throw std::runtime_error("faults.json: not an array of rules");
  std::vector<FaultRule> rules;
  for (std::size_t i = 0; i < document.size(); ++i) {
    try {
      rules.push_back(ParseFaultRule(document[i]));
    } catch (const std::invalid_argument& e) {
      throw std::runtime_error("faults.json: rule " + std::to_string(i + 1) + ": " + e.what());
    }
  }
  return rules;
}

bool HasEffect(const FaultRule& rule) {
  return rule.delayMs > 0 || rule.status || rule.body || rule.breakage != Breakage::none;
}

}  // namespace

bool FaultRule::Matches(const std::string& requestMethod, const std::string& requestPath) const {
  return requestPath == path && (!method || *method == requestMethod);
}

bool FaultRule::ReplacesAnswer() const {
  if (breakage == Breakage::non_utf8) return false;
  return breakage != Breakage::none || status || body;
}

FaultRule ParseFaultRule(const Json& rule) {
  if (!rule.is_object()) Reject("a rule must be a JSON object");
  CheckKeys(rule);
  FaultRule parsed;
  const std::optional<std::string> path = OptionalText(rule, "path");
  if (!path || path->empty() || path->front() != '/') Reject("\"path\" must be a string beginning with \"/\"");
  parsed.path = *path;
  parsed.method = OptionalText(rule, "method");
  if (rule.contains("count")) parsed.count = NonNegativeInteger(rule, "count");
  if (rule.contains("delay_ms")) parsed.delayMs = NonNegativeInteger(rule, "delay_ms");
  parsed.status = OptionalStatus(rule);
  parsed.body = OptionalText(rule, "body");
  parsed.breakage = ChosenBreakage(rule);
  if (parsed.breakage == Breakage::malformed && parsed.body) Reject("\"malformed\" brings its own body");
  if (!HasEffect(parsed)) Reject("the rule has no effect");
  parsed.source = rule;
  return parsed;
}

FaultBook::FaultBook(std::vector<FaultRule> fixedRules, std::filesystem::path file)
    : fixedRules_(std::move(fixedRules)), file_(std::move(file)) {}

std::optional<FaultRule> FaultBook::Take(const std::string& method, const std::string& path) {
  if (std::optional<FaultRule> rule = TakeFixed(method, path)) return rule;
  return TakeFromFile(method, path);
}

std::optional<FaultRule> FaultBook::TakeFixed(const std::string& method, const std::string& path) {
  for (FaultRule& rule : fixedRules_) {
    if (rule.UsedUp() || !rule.Matches(method, path)) continue;
    if (rule.count) --*rule.count;
    return rule;
  }
  return std::nullopt;
}

std::optional<FaultRule> FaultBook::TakeFromFile(const std::string& method, const std::string& path) {
  std::optional<Json> document = ReadJsonFile(file_);
  if (!document) return std::nullopt;
  const std::vector<FaultRule> rules = ParseRuleFile(*document);
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const FaultRule& rule = rules[i];
    if (rule.UsedUp() || !rule.Matches(method, path)) continue;
    if (rule.count) {
      (*document)[i]["count"] = *rule.count - 1;
      WriteFileAtomically(file_, document->dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
    }
    return rule;
  }
  return std::nullopt;
}

}  // namespace qdz::sim
