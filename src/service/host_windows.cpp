#include "service/host_windows.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "service/command_line.h"
#include "service/config.h"
#include "service/control_code_queue.h"
#include "service/qdzelvorant_service.h"
#include "service/report.h"
#include "util/files.h"
#include "util/system_error_text.h"

namespace qdz::service {
namespace {

constexpr DWORD kWaitHintMs = 5000;
constexpr DWORD kAcceptedWhileRunning = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PAUSE_CONTINUE;
// The exit code the manager shows ("service-specific error 1") when the service ends by a failure.
constexpr DWORD kServiceFailed = 1;

// ---- messages and the event log

void ShowMessage(const std::string& text, bool failure) {
  // The console gets it when there is one; without one this goes nowhere.
  std::FILE* stream = failure ? stderr : stdout;
  std::fprintf(stream, "%s\n", text.c_str());
  std::fflush(stream);
  ::MessageBoxA(nullptr, text.c_str(), kServiceName, MB_OK | MB_SETFOREGROUND | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
}

void ReportErrorEvent(const std::string& source, const std::string& text) {
  HANDLE log = ::RegisterEventSourceA(nullptr, source.c_str());
  if (log == nullptr) return;
  const char* strings[] = {text.c_str()};
  ::ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(log);
}

void ReportServiceFailure(const char* operation, const std::string& message) {
  const std::string text = std::string("Service failed on ") + operation + ": " + message;
  std::fprintf(stderr, "%s\n", text.c_str());
  ReportErrorEvent(kServiceName, text);
}

std::string LastErrorText() { return util::SystemErrorText(::GetLastError()); }

// ---- INSTALL and UNINSTALL

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

std::string ExecutablePathForService() {
  const std::string path = util::ExecutablePath().string();
  // A path with blanks goes in quotes, or the manager would try "C:\Program.exe" first.
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

int Install(bool silent) {
  const ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  std::optional<std::string> failure;
  if (!manager) {
    failure = LastErrorText();
  } else {
    const std::string command = ExecutablePathForService();
    const ServiceHandle service(::CreateServiceA(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                                 command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) failure = LastErrorText();
  }
  if (failure) {
    ShowMessage(std::string("Service \"") + kServiceName + "\" failed to install with error: \"" + *failure + "\"", true);
    return 1;
  }
  if (!silent) ShowMessage("Service installed successfully", false);
  return 0;
}

int Uninstall(bool silent) {
  const ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  std::optional<std::string> failure;
  if (!manager) {
    failure = LastErrorText();
  } else {
    const ServiceHandle service(::OpenServiceA(manager.get(), kServiceName, DELETE));
    if (!service || !::DeleteService(service.get())) failure = LastErrorText();
  }
  if (failure) {
    ShowMessage(std::string("Service \"") + kServiceName + "\" failed to uninstall with error: \"" + *failure + "\"", true);
    return 1;
  }
  if (!silent) ShowMessage("Service uninstalled successfully", false);
  return 0;
}

// ---- running under the service control manager

// Status reports of one run; only the service thread calls SetServiceStatus.
class StatusReports {
 public:
  explicit StatusReports(SERVICE_STATUS_HANDLE handle) : handle_(handle) {
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  }

  void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    status_.dwCurrentState = state;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
    // Nothing is accepted while starting or stopping.
    const bool accepting = state != SERVICE_START_PENDING && state != SERVICE_STOP_PENDING && state != SERVICE_STOPPED;
    status_.dwControlsAccepted = accepting ? kAcceptedWhileRunning : 0;
    status_.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = exitCode;
    status_.dwCheckPoint = pending ? ++checkPoint_ : 0;
    status_.dwWaitHint = kWaitHintMs;
    ::SetServiceStatus(handle_, &status_);
  }
  // An interrogation: the manager hears the current status again.
  void Repeat() { ::SetServiceStatus(handle_, &status_); }

  // The controller's status texts; the loop's own progress texts change nothing.
  void ReportText(std::string_view text) {
    if (text == "Stopping") Report(SERVICE_STOP_PENDING);
    if (text == "Paused") Report(SERVICE_PAUSED);
    if (text == "Running") Report(SERVICE_RUNNING);
  }

 private:
  SERVICE_STATUS_HANDLE handle_;
  SERVICE_STATUS status_{};
  DWORD checkPoint_ = 0;
};

std::optional<ControlRequest> TranslateControl(DWORD code, StatusReports& status) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      return ControlRequest::Stop;
    case SERVICE_CONTROL_PAUSE:
      status.Report(SERVICE_PAUSE_PENDING);
      return ControlRequest::Pause;
    case SERVICE_CONTROL_CONTINUE:
      status.Report(SERVICE_CONTINUE_PENDING);
      return ControlRequest::Continue;
    case SERVICE_CONTROL_INTERROGATE:
      status.Repeat();
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// What the dispatcher's threads share with the main thread: the service object made before the
// dispatcher started (or why it could not be made) and the queue the handler feeds. It lives
// until the dispatcher has returned, so a late control code still finds its queue. The manager
// calls the handler without any context, hence the one process-wide reference.
struct ServiceRun {
  TQDZELVORANTService* service = nullptr;
  std::string createFailure;
  StatusReports* status = nullptr;  // set by the service thread before it reads the queue
  ControlCodeQueue queue{[this](std::uint32_t code) { return TranslateControl(code, *status); }};
  int exitCode = 0;
};
std::atomic<ServiceRun*> theRun{nullptr};

// Runs on the dispatcher's thread: queue the code and return at once.
void WINAPI ControlHandler(DWORD code) {
  if (ServiceRun* run = theRun.load()) run->queue.Push(code);
}

int ExecuteService(TQDZELVORANTService& service, StatusReports& status, ControlCodeQueue& queue) {
  const StatusReporter report = [&status](std::string_view text) { status.ReportText(text); };
  ServiceController controller(queue, report);
  const LoopDrivers drivers{[](std::chrono::milliseconds period) { std::this_thread::sleep_for(period); },
                            controller, report};
  status.Report(SERVICE_RUNNING);
  try {
    service.ServiceExecute(drivers);
  } catch (const std::exception& e) {
    ReportServiceFailure("execute", e.what());
    return 1;
  }
  return 0;
}

// The service thread: the dispatcher starts it when the manager starts the service.
void WINAPI ServiceMain(DWORD, LPSTR*) {
  ServiceRun& run = *theRun.load();
  const SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerA(kServiceName, ControlHandler);
  if (handle == nullptr) {
    ReportServiceFailure("start", LastErrorText());
    run.exitCode = 1;
    return;
  }
  StatusReports status(handle);
  run.status = &status;
  status.Report(SERVICE_START_PENDING);
  if (run.service == nullptr) {
    // Only the service mode comes this far without a service object: the manager learns of
    // the failure from the exit code, the administrator from the event log.
    ReportServiceFailure("create", run.createFailure);
    run.exitCode = 1;
  } else {
    run.exitCode = ExecuteService(*run.service, status, run.queue);
  }
  status.Report(SERVICE_STOPPED, run.exitCode == 0 ? NO_ERROR : kServiceFailed);
}

int Dispatch(ServiceRun& run) {
  theRun.store(&run);
  char name[] = "QDZELVORANTService";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  const bool dispatched = ::StartServiceCtrlDispatcherA(table) != FALSE;
  const DWORD error = ::GetLastError();
  theRun.store(nullptr);
  if (dispatched) return run.exitCode;
  // Started by a person or another program, not by the manager.
  const std::string text = util::SystemErrorText(error);
  std::fprintf(stderr, "%s\n", text.c_str());
  if (!run.createFailure.empty()) std::fprintf(stderr, "%s\n", run.createFailure.c_str());
  ReportErrorEvent(util::ExecutablePath().filename().string(), text);
  return 1;
}

}  // namespace

int RunHost(int argc, char** argv) {
  const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  // The report only reads: it neither opens the log nor creates the service.
  if (commandLine.mode == RunMode::Report) {
    return RunReport(util::ExecutableFolder() / kConfigFileName, commandLine.reportCount,
                     commandLine.reportJson, std::cout, std::cerr);
  }
  std::unique_ptr<TQDZELVORANTService> service;
  std::string createFailure;
  try {
    service = std::make_unique<TQDZELVORANTService>(util::ExecutableFolder());
  } catch (const std::exception& e) {
    createFailure = e.what();
  }
  if (!service && commandLine.mode != RunMode::Service) {
    ReportServiceFailure("create", createFailure);
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
  ServiceRun run;
  run.service = service.get();
  run.createFailure = createFailure;
  return Dispatch(run);
}

}  // namespace qdz::service
