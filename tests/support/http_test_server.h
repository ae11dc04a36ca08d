#pragma once
// A real cpp-httplib server on 127.0.0.1 for one test: plain or TLS, routes registered by the test
// before Start(), every request it handled recorded as received. Stopped and joined on destruction.
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qdz::testing {

struct ReceivedRequest {
  std::string method;
  std::string target;  // the request target as sent: path and raw query
  std::string path;    // decoded path, without the query
  httplib::Headers headers;
  std::string body;
};

class HttpTestServer {
 public:
  HttpTestServer();
  // TLS with the given PEM certificate chain and key.
  HttpTestServer(const std::filesystem::path& certFile, const std::filesystem::path& keyFile);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  httplib::Server& Routes() { return *server_; }
  void Start();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" or "https://..." for a TLS server.
  std::string Url() const;
  std::vector<ReceivedRequest> Received() const;

 private:
  void RecordEveryRequest();

  std::unique_ptr<httplib::Server> server_;
  bool tls_ = false;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<ReceivedRequest> received_;
};

}  // namespace qdz::testing
