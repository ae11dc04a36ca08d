#pragma once
// Signals as control requests: SIGTERM and SIGINT ask to stop, SIGTSTP to pause, SIGCONT to
// continue. The handlers only queue the signal in a pipe; Next hands the requests out in the
// order they came. One queue at a time; it puts the previous handlers back when released.
#include <array>
#include <csignal>
#include <optional>

#include "service/control.h"

namespace qdz::service {

class SignalRequestQueue : public ControlRequestSource {
 public:
  SignalRequestQueue();
  ~SignalRequestQueue() override;
  SignalRequestQueue(const SignalRequestQueue&) = delete;
  SignalRequestQueue& operator=(const SignalRequestQueue&) = delete;

  std::optional<ControlRequest> Next(bool wait) override;

 private:
  static constexpr std::array<int, 4> kSignals{SIGTERM, SIGINT, SIGTSTP, SIGCONT};

  int readEnd_ = -1;
  int writeEnd_ = -1;
  std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace qdz::service
