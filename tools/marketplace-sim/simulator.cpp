#include "marketplace-sim/simulator.h"

#include <iostream>
#include <optional>
#include <stdexcept>
#include <utility>

#include "util/codepage.h"

namespace qdz::sim {
namespace {

const std::filesystem::path& CreatedFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  return folder;
}

std::string BodyOrDefault(const FaultRule& rule) {
  return rule.body ? *rule.body : DumpLine(Json{{"error", "injected fault"}});
}

}  // namespace

Simulator::Simulator(SimulatorSettings settings)
    : log_(CreatedFolder(settings.dataDir) / "requests.jsonl"),
      faults_(std::move(settings.faults), settings.dataDir / "faults.json"),
      marketplace_(settings.dataDir, std::move(settings.credentials)) {}

Reply Simulator::Receive(const IncomingRequest& request) {
  std::lock_guard lock(mutex_);
  std::optional<FaultRule> rule;
  try {
    rule = faults_.Take(request.method, request.path);
  } catch (const std::exception& e) {
    std::cerr << "marketplace-sim: " << e.what() << std::endl;
    log_.Append(request, Json{{"fault_error", e.what()}});
    return {ErrorAnswer(500, e.what())};
  }
  log_.Append(request, rule ? Json{{"fault", rule->source}} : Json::object());
  if (!rule) return {marketplace_.Handle(request)};
  return ApplyFault(*rule, request);
}

Reply Simulator::ApplyFault(const FaultRule& rule, const IncomingRequest& request) {
  Reply reply;
  reply.delayMs = rule.delayMs;
  const int status = rule.status.value_or(200);
  switch (rule.breakage) {
    case Breakage::none:
      reply.answer = rule.ReplacesAnswer() ? Answer{status, BodyOrDefault(rule)} : marketplace_.Handle(request);
      break;
    case Breakage::malformed:
      reply.answer = {status, kMalformedBody};
      break;
    case Breakage::non_utf8:
      reply.answer = marketplace_.Handle(request);
      if (rule.status) reply.answer.status = *rule.status;
      if (rule.body) reply.answer.body = *rule.body;
      reply.answer.body = util::Utf8ToCp1251(reply.answer.body);
      break;
    case Breakage::drop_no_answer:
      reply.delivery = Delivery::no_answer;
      break;
    case Breakage::drop_mid_answer:
      reply.answer = {status, BodyOrDefault(rule)};
      reply.delivery = Delivery::half_then_close;
      break;
  }
  return reply;
}

}  // namespace qdz::sim
