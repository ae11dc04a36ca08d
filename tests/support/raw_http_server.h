#pragma once
// A tiny HTTP peer on 127.0.0.1 that answers every request with fixed raw bytes: for answers a
// well-behaved server library will not give (a custom reason phrase, a body cut off, silence) and
// for requests it would refuse (a lower-case method). Each connection serves one request; the
// request's raw bytes (head and body) are recorded before the reply goes out.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qdz::testing {

// A port on 127.0.0.1 where nothing listens: free a moment ago, refused when connected to.
int UnusedLocalPort();

class RawHttpServer {
 public:
  enum class AfterReply { Close, StaySilent };

  // StaySilent keeps the connection open without sending more until the server is destroyed.
  explicit RawHttpServer(std::string reply, AfterReply after = AfterReply::Close);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Url() const;  // "http://127.0.0.1:<port>"
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void ServeOne(int connection);
  void WaitForStop();

  std::string reply_;
  AfterReply after_;
  int listener_ = -1;
  int port_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<std::string> requests_;
};

}  // namespace qdz::testing
