#include "service/signal_requests.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qdz::service {
namespace {

// The write end of the queue's pipe: the one thing a signal handler may touch.
std::atomic<int> queueWriteEnd{-1};

void QueueSignal(int signal) {
  const int savedErrno = errno;
  const char code = static_cast<char>(signal);
  const int fd = queueWriteEnd.load();
  // A full pipe drops the request; thousands of requests are already waiting then.
  if (fd >= 0) [[maybe_unused]] const ssize_t written = ::write(fd, &code, 1);
  errno = savedErrno;
}

std::optional<ControlRequest> RequestFor(int signal) {
  switch (signal) {
    case SIGTERM:
    case SIGINT:
      return ControlRequest::Stop;
    case SIGTSTP:
      return ControlRequest::Pause;
    case SIGCONT:
      return ControlRequest::Continue;
    default:
      return std::nullopt;
  }
}

void WaitReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

SignalRequestQueue::SignalRequestQueue() {
  int ends[2];
  if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("Cannot create the control request pipe: ") + std::strerror(errno));
  }
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
  int expected = -1;
  if (!queueWriteEnd.compare_exchange_strong(expected, writeEnd_)) {
    ::close(readEnd_);
    ::close(writeEnd_);
    throw std::logic_error("Only one signal request queue may exist at a time");
  }
  struct sigaction action {};
  action.sa_handler = QueueSignal;
  sigemptyset(&action.sa_mask);
  // Restart interrupted system calls, so a request never breaks a cycle's I/O.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
}

SignalRequestQueue::~SignalRequestQueue() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
  queueWriteEnd.store(-1);
  ::close(readEnd_);
  ::close(writeEnd_);
}

std::optional<ControlRequest> SignalRequestQueue::Next(bool wait) {
  for (;;) {
    char code = 0;
    const ssize_t got = ::read(readEnd_, &code, 1);
    if (got == 1) {
      if (const auto request = RequestFor(code)) return request;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    // A broken pipe can bring nothing any more; waiting on it would spin.
    if (got < 0 && errno != EAGAIN) return std::nullopt;
    if (!wait) return std::nullopt;
    WaitReadable(readEnd_);
  }
}

}  // namespace qdz::service
