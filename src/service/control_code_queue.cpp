#include "service/control_code_queue.h"

#include <utility>

namespace qdz::service {

ControlCodeQueue::ControlCodeQueue(Translation translation) : translation_(std::move(translation)) {}

void ControlCodeQueue::Push(std::uint32_t code) {
  {
    const std::lock_guard lock(mutex_);
    codes_.push_back(code);
  }
  arrived_.notify_one();
}

std::optional<ControlRequest> ControlCodeQueue::Next(bool wait) {
  for (;;) {
    std::uint32_t code = 0;
    {
      std::unique_lock lock(mutex_);
      if (codes_.empty()) {
        if (!wait) return std::nullopt;
        arrived_.wait(lock, [this] { return !codes_.empty(); });
      }
      code = codes_.front();
      codes_.pop_front();
    }
    // Translated outside the lock: the translation may report a status, which can take a while.
    if (const std::optional<ControlRequest> request = translation_(code)) return request;
  }
}

}  // namespace qdz::service
