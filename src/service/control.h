#pragma once
// Control requests from outside (stop, pause, continue) and the state they put the service in.
// The host's handler only queues a request; the main loop carries out what is queued once a
// turn, through ServiceController::ProcessRequests, so a request never cuts into a cycle.
#include <functional>
#include <optional>
#include <string_view>

namespace qdz::service {

// A shutdown of the machine is a Stop as well.
enum class ControlRequest { Stop, Pause, Continue };

class ControlRequestSource {
 public:
  virtual ~ControlRequestSource() = default;
  // The oldest queued request, or nothing when none is queued. With wait set, blocks until one
  // is queued.
  virtual std::optional<ControlRequest> Next(bool wait) = 0;
};

// Where status texts go ("Paused", "Running", "Stopping", ...); the host shows them.
using StatusReporter = std::function<void(std::string_view)>;

class ServiceController {
 public:
  explicit ServiceController(ControlRequestSource& source, StatusReporter report = {});

  // Set by a stop; the loop looks at it at the head of every turn.
  bool Terminated() const { return terminated_; }
  bool Paused() const { return paused_; }

  // Carries out every queued request in order. While paused it waits for continue or stop,
  // so the caller stands still until then.
  void ProcessRequests();

 private:
  void Apply(ControlRequest request);
  void Report(std::string_view status) const;

  ControlRequestSource& source_;
  StatusReporter report_;
  bool terminated_ = false;
  bool paused_ = false;
};

}  // namespace qdz::service
