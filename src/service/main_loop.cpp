#include "service/main_loop.h"

#include <exception>

#include "util/codepage.h"

namespace qdz::service {
namespace {

constexpr std::chrono::milliseconds kTurn{1000};
// Larger than any main interval, so the first cycle runs in the first turn.
constexpr std::int32_t kFirstTurnCounter = 10000;

void Report(const LoopDrivers& drivers, std::string_view status) {
  if (drivers.report) drivers.report(status);
}

}  // namespace

void WriteStartLines(const exchange::LogCallback& log, const std::string& databaseName,
                     std::int32_t mainInterval) {
  log(util::W1251("Старт службы"));
  log("DatabaseName: " + databaseName);
  log("MainInterval: " + std::to_string(mainInterval));
}

bool RunGuardedCycle(const exchange::LogCallback& log, const CycleSteps& cycle) {
  try {
    log("-------ZELVORANT_MAIN...");
    cycle();
    log("-------ZELVORANT_MAIN - OK");
    return true;
  } catch (const std::exception& e) {
    log(std::string("EXCEPTION in MAIN: ") + e.what());
  } catch (...) {
    log("EXCEPTION in MAIN: unknown exception");
  }
  return false;
}

void RunMainLoop(std::int32_t mainInterval, const exchange::LogCallback& log, const CycleSteps& cycle,
                 const LoopDrivers& drivers) {
  std::int32_t turns = kFirstTurnCounter;
  while (!drivers.control.Terminated()) {
    ++turns;
    drivers.sleep(kTurn);
    drivers.control.ProcessRequests();
    if (turns < mainInterval) continue;
    turns = 0;
    Report(drivers, "Exchange cycle running");
    RunGuardedCycle(log, cycle);
    if (!drivers.control.Terminated()) Report(drivers, "Waiting for the next exchange cycle");
  }
  log(util::W1251("Штатная остановка службы"));
}

}  // namespace qdz::service
