#pragma once
// The simulator on the network: an HTTP (or HTTPS) server on 127.0.0.1 that hands every request to
// the Simulator and delivers its reply, with the delays and dropped connections faults ask for.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "marketplace-sim/options.h"
#include "marketplace-sim/simulator.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace qdz::sim {

class SimServer {
 public:
  // Loads the data folder and, with --tls-cert/--tls-key, the certificate; throws on failure.
  explicit SimServer(const Options& options);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Listens on 127.0.0.1:port (0: any free port) and serves on a thread of its own.
  // Returns the port; throws when it cannot listen.
  int Start(int port);

  // Stops serving, cuts pending delays short and waits for the serving thread. Idempotent.
  void Stop();

 private:
  void Serve(const httplib::Request& request, httplib::Response& response);
  void WaitUnlessStopping(long long milliseconds);
  void WaitUntilServing() const;

  Simulator simulator_;
  std::unique_ptr<httplib::Server> http_;
  std::thread serving_;
  bool servingEnded_ = false;
  mutable std::mutex mutex_;
  std::condition_variable stopRequested_;
  bool stopping_ = false;
};

}  // namespace qdz::sim
