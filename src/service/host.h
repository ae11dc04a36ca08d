#pragma once
// The host: what the service framework of the platform does for the service. It reads the
// command line, creates the service object and installs, removes or runs the service; each
// platform has its own (host_linux.cpp for systemd, host_windows.cpp for the service control
// manager).

namespace qdz::service {

// The whole life of the program; the result is its exit status.
int RunHost(int argc, char** argv);

}  // namespace qdz::service
