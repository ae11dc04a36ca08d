#include "service/signal_requests.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace qdz::service {
namespace {

TEST(SignalRequestQueue, TurnsSignalsIntoRequestsInTheOrderTheyCame) {
  SignalRequestQueue queue;
  EXPECT_EQ(queue.Next(false), std::nullopt);
  // SIGTSTP must queue a pause, not stop this process.
  for (const int signal : {SIGTSTP, SIGCONT, SIGINT, SIGTERM}) ASSERT_EQ(::raise(signal), 0);
  EXPECT_EQ(queue.Next(false), ControlRequest::Pause);
  EXPECT_EQ(queue.Next(false), ControlRequest::Continue);
  EXPECT_EQ(queue.Next(false), ControlRequest::Stop);
  EXPECT_EQ(queue.Next(false), ControlRequest::Stop);
  EXPECT_EQ(queue.Next(false), std::nullopt);
}

TEST(SignalRequestQueue, WaitingReturnsWhenASignalComesFromAnotherThread) {
  SignalRequestQueue queue;
  std::thread sender([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(::getpid(), SIGCONT);
  });
  const std::optional<ControlRequest> request = queue.Next(true);
  sender.join();
  EXPECT_EQ(request, ControlRequest::Continue);
}

TEST(SignalRequestQueue, OnlyOneAtATimeAndPreviousHandlersComeBack) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGTSTP, &ignore, &before), 0);
  {
    SignalRequestQueue queue;
    EXPECT_THROW(SignalRequestQueue second, std::logic_error);
  }
  struct sigaction after {};
  ::sigaction(SIGTSTP, &before, &after);
  EXPECT_EQ(after.sa_handler, SIG_IGN);
  SignalRequestQueue again;  // the slot is free once the first queue is gone
  ::raise(SIGTERM);
  EXPECT_EQ(again.Next(false), ControlRequest::Stop);
}

}  // namespace
}  // namespace qdz::service
