// Control codes handed from the receiving thread (the Windows service control manager's handler)
// to the service thread, which translates them where the loop processes its requests.
#include "service/control_code_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace qdz::service {
namespace {

using namespace std::chrono_literals;

// Codes of this test: 1 stop, 2 pause, 3 continue, 4 asks for nothing (an interrogation).
constexpr std::uint32_t kStop = 1, kPause = 2, kContinue = 3, kInterrogate = 4;

std::optional<ControlRequest> Translate(std::uint32_t code) {
  switch (code) {
    case kStop:
      return ControlRequest::Stop;
    case kPause:
      return ControlRequest::Pause;
    case kContinue:
      return ControlRequest::Continue;
    default:
      return std::nullopt;
  }
}

TEST(ControlCodeQueue, HandsOutRequestsInOrderAndSkipsCodesThatAskForNothing) {
  std::vector<std::uint32_t> translated;
  ControlCodeQueue queue([&translated](std::uint32_t code) {
    translated.push_back(code);
    return Translate(code);
  });
  EXPECT_EQ(queue.Next(false), std::nullopt) << "an empty queue hands out nothing";
  for (const std::uint32_t code : {kPause, kInterrogate, 99u, kContinue, kStop}) queue.Push(code);

  EXPECT_EQ(queue.Next(false), ControlRequest::Pause);
  EXPECT_EQ(queue.Next(false), ControlRequest::Continue);
  EXPECT_EQ(queue.Next(false), ControlRequest::Stop);
  EXPECT_EQ(queue.Next(false), std::nullopt);
  EXPECT_EQ(translated, (std::vector<std::uint32_t>{kPause, kInterrogate, 99u, kContinue, kStop}))
      << "every code is translated exactly once, in the order it came";
}

// A paused service waits in Next(true): only a code that asks for a request ends the wait, and
// the translation runs on the waiting (service) thread, never on the thread that pushed.
TEST(ControlCodeQueue, AWaitingServiceThreadWakesForARequestAndTranslatesItItself) {
  std::thread::id translatingThread;
  ControlCodeQueue queue([&translatingThread](std::uint32_t code) {
    translatingThread = std::this_thread::get_id();
    return Translate(code);
  });
  std::promise<std::thread::id> waiterId;
  std::future<std::optional<ControlRequest>> request = std::async(std::launch::async, [&queue, &waiterId] {
    waiterId.set_value(std::this_thread::get_id());
    return queue.Next(true);
  });
  const std::thread::id serviceThread = waiterId.get_future().get();
  EXPECT_EQ(request.wait_for(50ms), std::future_status::timeout) << "Next(true) returned with nothing queued";

  queue.Push(kInterrogate);
  EXPECT_EQ(request.wait_for(50ms), std::future_status::timeout) << "a code that asks for nothing ended the wait";

  std::thread handler([&queue] { queue.Push(kStop); });
  handler.join();
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready) << "the waiting thread was not woken";
  EXPECT_EQ(request.get(), ControlRequest::Stop);
  EXPECT_EQ(translatingThread, serviceThread);
}

// The loop's controller over the queue: pause holds the loop until continue, a stop while
// paused ends the pause and terminates.
TEST(ControlCodeQueue, DrivesTheControllerThroughPauseAndAStopWhilePaused) {
  ControlCodeQueue queue(Translate);
  std::vector<std::string> statuses;
  ServiceController controller(queue, [&statuses](std::string_view status) { statuses.emplace_back(status); });

  queue.Push(kPause);
  std::thread handler([&queue] { queue.Push(kStop); });
  controller.ProcessRequests();  // waits while paused until the stop arrives
  handler.join();
  EXPECT_TRUE(controller.Terminated());
  EXPECT_FALSE(controller.Paused());
  EXPECT_EQ(statuses, (std::vector<std::string>{"Paused", "Stopping"}));
}

}  // namespace
}  // namespace qdz::service
