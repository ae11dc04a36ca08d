#pragma once
// The service's main loop, free of any platform: it turns once a second, lets the controller
// carry out queued control requests, and runs one guarded exchange cycle each time the main
// interval has run out (and in the very first turn). The host injects the sleep, the
// controller and the cycle, so the loop runs the same under systemd, Windows or a test clock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "exchange/log.h"
#include "service/control.h"

namespace qdz::service {

using Sleeper = std::function<void(std::chrono::milliseconds)>;
// Connect when needed, run the exchange cycle, disconnect; raises what goes wrong.
using CycleSteps = std::function<void()>;

// "Старт службы", "DatabaseName: " + name, "MainInterval: " + interval.
void WriteStartLines(const exchange::LogCallback& log, const std::string& databaseName,
                     std::int32_t mainInterval);

// One cycle between "-------ZELVORANT_MAIN..." and "-------ZELVORANT_MAIN - OK". Whatever it
// raises becomes one line "EXCEPTION in MAIN: " + message. True when the cycle returned.
bool RunGuardedCycle(const exchange::LogCallback& log, const CycleSteps& cycle);

struct LoopDrivers {
  Sleeper sleep;
  ServiceController& control;
  StatusReporter report;  // optional
};

// Turns until the controller is terminated, then writes "Штатная остановка службы". The
// period is counted in turns from the end of one cycle to the start of the next; a stop that
// comes during a cycle takes effect after it.
void RunMainLoop(std::int32_t mainInterval, const exchange::LogCallback& log, const CycleSteps& cycle,
                 const LoopDrivers& drivers);

}  // namespace qdz::service
