#include "service/control.h"

#include <utility>

namespace qdz::service {

ServiceController::ServiceController(ControlRequestSource& source, StatusReporter report)
    : source_(source), report_(std::move(report)) {}

void ServiceController::ProcessRequests() {
  while (const std::optional<ControlRequest> request = source_.Next(paused_)) {
    Apply(*request);
  }
}

void ServiceController::Apply(ControlRequest request) {
  switch (request) {
    case ControlRequest::Stop:
      terminated_ = true;
      paused_ = false;
      Report("Stopping");
      break;
    case ControlRequest::Pause:
      if (paused_ || terminated_) break;
      paused_ = true;
      Report("Paused");
      break;
    case ControlRequest::Continue:
      if (!paused_) break;
      paused_ = false;
      Report("Running");
      break;
  }
}

void ServiceController::Report(std::string_view status) const {
  if (report_) report_(status);
}

}  // namespace qdz::service
