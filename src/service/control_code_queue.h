#pragma once
// Control codes handed from the thread that receives them to the service thread. The receiving
// side (the service control manager's handler on Windows) only pushes a code and returns; the
// service thread takes the codes in order in the loop's request step, where a translation turns
// each into a control request or carries it out on the spot (an interrogation) and skips it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "service/control.h"

namespace qdz::service {

class ControlCodeQueue : public ControlRequestSource {
 public:
  // Runs on the service thread, inside Next; nothing means the code asks for no request.
  using Translation = std::function<std::optional<ControlRequest>(std::uint32_t code)>;

  explicit ControlCodeQueue(Translation translation);

  // Any thread; never waits for the service thread.
  void Push(std::uint32_t code);

  std::optional<ControlRequest> Next(bool wait) override;

 private:
  Translation translation_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::uint32_t> codes_;
};

}  // namespace qdz::service
