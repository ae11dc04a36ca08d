// qdz-service-control <pause|continue|interrogate> <service>: sends the control to the service
// and waits (at most 15 s) for the state it should lead to, then prints "STATE <n>" with the
// state the manager reports. Wine's sc and net cannot pause or continue a service; the Wine
// smoke test uses this instead. Exit status 0 when the expected state was reached.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

namespace {

struct Control {
  const char* name;
  DWORD code;
  DWORD expectedState;  // 0: whatever the service reports
};

constexpr Control kControls[] = {
    {"pause", SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
    {"continue", SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
    {"interrogate", SERVICE_CONTROL_INTERROGATE, 0},
};
struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

constexpr int kPolls = 150;
constexpr DWORD kPollMs = 100;

const Control* FindControl(const char* name) {
  for (const Control& control : kControls) {
    if (std::strcmp(control.name, name) == 0) return &control;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const Control* control = argc == 3 ? FindControl(argv[1]) : nullptr;
  if (control == nullptr) {
    std::fprintf(stderr, "usage: qdz-service-control <pause|continue|interrogate> <service>\n");
    return 2;
  }
  const ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const ServiceHandle service(manager ? ::OpenServiceA(manager.get(), argv[2],
                                                       SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                                                           SERVICE_QUERY_STATUS)
                                      : nullptr);
  int result = 1;
  SERVICE_STATUS status{};
  if (!service) {
    std::fprintf(stderr, "cannot open %s: error %lu\n", argv[2], ::GetLastError());
  } else if (!::ControlService(service.get(), control->code, &status)) {
    std::fprintf(stderr, "%s failed: error %lu\n", control->name, ::GetLastError());
  } else {
    for (int poll = 0; poll < kPolls; ++poll) {
      if (!::QueryServiceStatus(service.get(), &status)) break;
      if (control->expectedState == 0 || status.dwCurrentState == control->expectedState) {
        result = 0;
        break;
      }
      ::Sleep(kPollMs);
    }
    std::printf("STATE %lu\n", status.dwCurrentState);
  }
  return result;
}
