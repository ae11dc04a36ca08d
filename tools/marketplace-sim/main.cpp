// marketplace-sim: the marketplace's exchange interface on 127.0.0.1, for demos, end-to-end tests
// and benchmarks. See the README section "Marketplace simulator".
#include <signal.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "marketplace-sim/options.h"
#include "marketplace-sim/server.h"

namespace {

// Blocked in every thread (the server's threads inherit the mask) and taken by sigwait in main.
sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

int Run(const qdz::sim::Options& options) {
  const sigset_t stopSignals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client that hangs up must not kill the server through a write on its socket.
  signal(SIGPIPE, SIG_IGN);

  qdz::sim::SimServer server(options);
  const int port = server.Start(options.port);
  std::cout << "listening on 127.0.0.1:" << port << std::endl;
  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const qdz::sim::Options options = qdz::sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << qdz::sim::UsageText();
      return 0;
    }
    return Run(options);
  } catch (const qdz::sim::UsageError& e) {
    std::cerr << "marketplace-sim: " << e.what() << "\n" << qdz::sim::UsageText();
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "marketplace-sim: " << e.what() << std::endl;
    return 1;
  }
}
