#include "service/control.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

namespace qdz::service {
namespace {

// Requests queued up front; waiting for one that never comes is a test failure, not a hang.
class QueuedRequests : public ControlRequestSource {
 public:
  explicit QueuedRequests(std::vector<ControlRequest> requests) : requests_(requests.begin(), requests.end()) {}

  std::optional<ControlRequest> Next(bool wait) override {
    if (requests_.empty()) {
      if (wait) ADD_FAILURE() << "waited for a request that never comes";
      return std::nullopt;
    }
    const ControlRequest request = requests_.front();
    requests_.pop_front();
    return request;
  }

 private:
  std::deque<ControlRequest> requests_;
};

struct ControlCase {
  const char* name;
  std::vector<ControlRequest> requests;
  bool terminated;
  bool paused;
  std::vector<std::string> statuses;
};

// Readable test names.
void PrintTo(const ControlCase& c, std::ostream* out) { *out << c.name; }

class ControllerRequests : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControllerRequests, AreCarriedOutInOrder) {
  const ControlCase& c = GetParam();
  QueuedRequests source(c.requests);
  std::vector<std::string> statuses;
  ServiceController controller(source, [&statuses](std::string_view status) { statuses.emplace_back(status); });
  controller.ProcessRequests();
  EXPECT_EQ(controller.Terminated(), c.terminated);
  EXPECT_EQ(controller.Paused(), c.paused);
  EXPECT_EQ(statuses, c.statuses);
}

using R = ControlRequest;

INSTANTIATE_TEST_SUITE_P(
    Cases, ControllerRequests,
    ::testing::Values(ControlCase{"Nothing", {}, false, false, {}},
                      ControlCase{"Stop", {R::Stop}, true, false, {"Stopping"}},
                      ControlCase{"ContinueWithoutPause", {R::Continue}, false, false, {}},
                      ControlCase{"PauseContinue", {R::Pause, R::Continue}, false, false, {"Paused", "Running"}},
                      ControlCase{"PauseTwice", {R::Pause, R::Pause, R::Continue}, false, false, {"Paused", "Running"}},
                      ControlCase{"PauseStop", {R::Pause, R::Stop}, true, false, {"Paused", "Stopping"}},
                      // A pause after a stop must not make the stopping loop wait forever.
                      ControlCase{"StopPause", {R::Stop, R::Pause}, true, false, {"Stopping"}}));

}  // namespace
}  // namespace qdz::service
