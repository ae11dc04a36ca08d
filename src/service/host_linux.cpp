#include "service/host_linux.h"

#include <syslog.h>
#include <systemd/sd-daemon.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/command_line.h"
#include "service/config.h"
#include "service/qdzelvorant_service.h"
#include "service/report.h"
#include "service/signal_requests.h"
#include "service/systemd_unit.h"
#include "util/files.h"

namespace qdz::service {
namespace {

// There is no event log: the host's own failures go to stderr (the journal under systemd)
// and to syslog.
void ReportFailure(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  ::openlog(kServiceName, LOG_PID, LOG_DAEMON);
  ::syslog(LOG_ERR, "%s", text.c_str());
  ::closelog();
}

void ReportServiceFailure(const char* operation, const std::string& message) {
  ReportFailure(std::string("Service failed on ") + operation + ": " + message);
}

// Without NOTIFY_SOCKET (a person at a terminal) this does nothing.
void Notify(const std::string& state) { ::sd_notify(0, state.c_str()); }

void NotifyStatus(std::string_view status) { Notify("STATUS=" + std::string(status)); }

int Install(bool silent) {
  try {
    UnitInstaller::ForThisMachine().Install(util::ExecutablePath());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Service \"%s\" failed to install with error: \"%s\"\n", kServiceName, e.what());
    return 1;
  }
  if (!silent) std::printf("Service installed successfully\n");
  return 0;
}

int Uninstall(bool silent) {
  try {
    UnitInstaller::ForThisMachine().Uninstall();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Service \"%s\" failed to uninstall with error: \"%s\"\n", kServiceName, e.what());
    return 1;
  }
  if (!silent) std::printf("Service uninstalled successfully\n");
  return 0;
}

int RunService(TQDZELVORANTService& service, SignalRequestQueue& requests) {
  ServiceController controller(requests, NotifyStatus);
  const LoopDrivers drivers{[](std::chrono::milliseconds period) { std::this_thread::sleep_for(period); },
                            controller, NotifyStatus};
  Notify("READY=1\nSTATUS=Running");
  try {
    service.ServiceExecute(drivers);
  } catch (const std::exception& e) {
    ReportServiceFailure("execute", e.what());
    Notify("STOPPING=1");
    return 1;
  }
  Notify("STOPPING=1");
  return 0;
}

}  // namespace

int RunHost(int argc, char** argv) {
  const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  // The report only reads: it neither opens the log nor creates the service.
  if (commandLine.mode == RunMode::Report) {
    return RunReport(util::ExecutableFolder() / kConfigFileName, commandLine.reportCount,
                     commandLine.reportJson, std::cout, std::cerr);
  }
  std::optional<SignalRequestQueue> requests;
  std::unique_ptr<TQDZELVORANTService> service;
  try {
    if (commandLine.mode == RunMode::Service) {
      // Queue requests from the first moment; a peer that closes a connection must not end the process.
      requests.emplace();
      std::signal(SIGPIPE, SIG_IGN);
    }
    service = std::make_unique<TQDZELVORANTService>(util::ExecutableFolder());
  } catch (const std::exception& e) {
    ReportServiceFailure("create", e.what());
    return 1;
  }
  switch (commandLine.mode) {
    case RunMode::Install:
      return Install(commandLine.silent);
    case RunMode::Uninstall:
      return Uninstall(commandLine.silent);
    case RunMode::Once:
      return service->ExecuteOnce() ? 0 : 1;
    case RunMode::Service:
    case RunMode::Report:
      break;
  }
  return RunService(*service, *requests);
}

}  // namespace qdz::service
