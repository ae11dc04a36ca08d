#include "service/main_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cp1251_texts.h"

namespace qdz::service {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// The loop on a simulated clock: the sleeper moves the clock, a cycle takes the time it is
// given, control requests are queued at given moments and waiting for one (while paused)
// moves the clock to it. Nothing sleeps for real.
class SimulatedLoop : public ControlRequestSource {
 public:
  std::int32_t mainInterval = 300;
  Ms cycleDuration{0};
  std::function<void()> cycleBody;  // runs inside every cycle, after its duration has passed

  std::vector<Ms> cycleStarts;
  std::vector<std::string> log;
  Ms now{0};

  void RequestAt(Ms when, ControlRequest request) {
    auto position = requests_.begin();
    while (position != requests_.end() && position->first <= when) ++position;
    requests_.insert(position, {when, request});
  }

  void Run() {
    ServiceController controller(*this);
    const LoopDrivers drivers{[this](Ms period) { Sleep(period); }, controller, {}};
    RunMainLoop(mainInterval, [this](const std::string& line) { log.push_back(line); },
                [this] { Cycle(); }, drivers);
  }

  std::optional<ControlRequest> Next(bool wait) override {
    if (requests_.empty()) {
      if (!wait) return std::nullopt;
      ADD_FAILURE() << "paused with nothing left to continue or stop it";
      return ControlRequest::Stop;
    }
    if (wait && requests_.front().first > now) now = requests_.front().first;
    if (requests_.front().first > now) return std::nullopt;
    const ControlRequest request = requests_.front().second;
    requests_.pop_front();
    return request;
  }

 private:
  static constexpr Ms kSimulatedDayLimit = 24h;

  void Sleep(Ms period) {
    now += period;
    if (now > kSimulatedDayLimit && !stopForced_) {
      ADD_FAILURE() << "the loop ran a whole simulated day without stopping";
      stopForced_ = true;
      RequestAt(now, ControlRequest::Stop);
    }
  }

  void Cycle() {
    cycleStarts.push_back(now);
    now += cycleDuration;
    if (cycleBody) cycleBody();
  }

  std::deque<std::pair<Ms, ControlRequest>> requests_;
  bool stopForced_ = false;
};

std::vector<Ms> Seconds(std::initializer_list<double> values) {
  std::vector<Ms> result;
  for (const double value : values) result.push_back(Ms(static_cast<Ms::rep>(value * 1000)));
  return result;
}

TEST(MainLoop, FirstCycleRunsInTheFirstTurnWhateverTheInterval) {
  for (const std::int32_t interval : {30, 300, 600}) {
    SimulatedLoop loop;
    loop.mainInterval = interval;
    loop.RequestAt(5500ms, ControlRequest::Stop);
    loop.Run();
    EXPECT_EQ(loop.cycleStarts, Seconds({1})) << "interval " << interval;
  }
}

TEST(MainLoop, WritesCycleLinesAndTheStopLine) {
  SimulatedLoop loop;
  loop.RequestAt(2500ms, ControlRequest::Stop);
  loop.Run();
  const std::vector<std::string> expected{"-------ZELVORANT_MAIN...", "-------ZELVORANT_MAIN - OK",
                                          cp1251::kStopLine};
  EXPECT_EQ(loop.log, expected);
}

TEST(MainLoop, StartLinesNameTheDatabaseAndTheInterval) {
  std::vector<std::string> log;
  WriteStartLines([&log](const std::string& line) { log.push_back(line); }, "srv:/data/pharmacy.fdb", 45);
  const std::vector<std::string> expected{cp1251::kStartLine, "DatabaseName: srv:/data/pharmacy.fdb",
                                          "MainInterval: 45"};
  EXPECT_EQ(log, expected);
}

struct PeriodCase {
  std::int32_t interval;
  Ms cycleDuration;
  Ms stopAt;
  std::vector<Ms> expectedStarts;
};

// Readable test names.
void PrintTo(const PeriodCase& c, std::ostream* out) {
  *out << "interval " << c.interval << ", cycle " << c.cycleDuration.count() << " ms";
}

class MainLoopPeriod : public ::testing::TestWithParam<PeriodCase> {};

// The period runs from the end of one cycle to the start of the next: a 10 s cycle with an
// interval of 30 is followed 30 s after it ended, not 20.
TEST_P(MainLoopPeriod, CountsFromTheEndOfACycle) {
  const PeriodCase& c = GetParam();
  SimulatedLoop loop;
  loop.mainInterval = c.interval;
  loop.cycleDuration = c.cycleDuration;
  loop.RequestAt(c.stopAt, ControlRequest::Stop);
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, c.expectedStarts);
}

INSTANTIATE_TEST_SUITE_P(Cases, MainLoopPeriod,
                         ::testing::Values(PeriodCase{30, 10s, 100s, Seconds({1, 41, 81})},
                                           PeriodCase{30, 0s, 100s, Seconds({1, 31, 61, 91})},
                                           PeriodCase{300, 0s, 700s, Seconds({1, 301, 601})},
                                           PeriodCase{600, 125s, 1500s, Seconds({1, 726, 1451})}));

TEST(MainLoop, PauseFreezesTheCounter) {
  SimulatedLoop loop;
  loop.mainInterval = 300;
  loop.RequestAt(100500ms, ControlRequest::Pause);     // carried out in the turn at 101 s, 100 turns counted
  loop.RequestAt(700500ms, ControlRequest::Continue);  // ten minutes later
  loop.RequestAt(1000s, ControlRequest::Stop);
  loop.Run();
  // The remaining 200 turns follow the continue; without the freeze the cycle would come at 301 s.
  EXPECT_EQ(loop.cycleStarts, Seconds({1, 900.5}));
}

TEST(MainLoop, PauseAndContinueQueuedTogetherLoseNoTurn) {
  SimulatedLoop loop;
  loop.mainInterval = 30;
  loop.RequestAt(10500ms, ControlRequest::Pause);
  loop.RequestAt(10600ms, ControlRequest::Continue);
  loop.RequestAt(40s, ControlRequest::Stop);
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, Seconds({1, 31}));
}

TEST(MainLoop, StopWhilePausedEndsTheLoopWithoutAnotherCycle) {
  SimulatedLoop loop;
  loop.mainInterval = 30;
  loop.RequestAt(10500ms, ControlRequest::Pause);
  loop.RequestAt(50500ms, ControlRequest::Stop);
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, Seconds({1}));
  EXPECT_EQ(loop.now, 50500ms);
  EXPECT_EQ(loop.log.back(), cp1251::kStopLine);
}

TEST(MainLoop, StopDuringACycleLetsItFinish) {
  SimulatedLoop loop;
  loop.mainInterval = 30;
  loop.cycleDuration = 50s;
  bool stopRequested = false;
  loop.cycleBody = [&] {
    if (stopRequested) return;
    stopRequested = true;
    loop.RequestAt(loop.now - 30s, ControlRequest::Stop);  // came 20 s into the cycle
    loop.log.push_back("cycle work done");
  };
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, Seconds({1}));
  const std::vector<std::string> expected{"-------ZELVORANT_MAIN...", "cycle work done", "-------ZELVORANT_MAIN - OK",
                                          cp1251::kStopLine};
  EXPECT_EQ(loop.log, expected);
  EXPECT_EQ(loop.now, 52s);  // one more turn after the cycle ended at 51 s
}

TEST(MainLoop, StopInTheTurnThePeriodRunsOutStillRunsThatCycle) {
  SimulatedLoop loop;
  loop.mainInterval = 30;
  loop.RequestAt(30500ms, ControlRequest::Stop);
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, Seconds({1, 31}));
  EXPECT_EQ(loop.log.back(), cp1251::kStopLine);
}

TEST(MainLoop, FailedCycleIsOneLineAndTheNextFollowsAfterTheFullPeriod) {
  SimulatedLoop loop;
  loop.mainInterval = 30;
  loop.cycleDuration = 5s;
  loop.cycleBody = [] { throw std::runtime_error("Unable to complete network request to host \"db\"."); };
  loop.RequestAt(40s, ControlRequest::Stop);
  loop.Run();
  EXPECT_EQ(loop.cycleStarts, Seconds({1, 36}));
  const std::vector<std::string> expected{
      "-------ZELVORANT_MAIN...", "EXCEPTION in MAIN: Unable to complete network request to host \"db\".",
      "-------ZELVORANT_MAIN...", "EXCEPTION in MAIN: Unable to complete network request to host \"db\".",
      cp1251::kStopLine};
  EXPECT_EQ(loop.log, expected);
}

TEST(GuardedCycle, ReportsWhetherTheCycleReturned) {
  std::vector<std::string> log;
  const exchange::LogCallback write = [&log](const std::string& line) { log.push_back(line); };
  EXPECT_TRUE(RunGuardedCycle(write, [] {}));
  EXPECT_FALSE(RunGuardedCycle(write, [] { throw std::runtime_error("boom"); }));
  EXPECT_FALSE(RunGuardedCycle(write, [] { throw 42; }));  // not even a std::exception ends the service
  const std::vector<std::string> expected{"-------ZELVORANT_MAIN...", "-------ZELVORANT_MAIN - OK",
                                          "-------ZELVORANT_MAIN...", "EXCEPTION in MAIN: boom",
                                          "-------ZELVORANT_MAIN...", "EXCEPTION in MAIN: unknown exception"};
  EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace qdz::service
