#include "support/http_test_server.h"

#include <chrono>
#include <stdexcept>

namespace qdz::testing {

HttpTestServer::HttpTestServer() : server_(std::make_unique<httplib::Server>()) {
  RecordEveryRequest();
}

HttpTestServer::HttpTestServer(const std::filesystem::path& certFile,
                               const std::filesystem::path& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())), tls_(true) {
  if (!server_->is_valid()) throw std::runtime_error("TLS test server: certificate not usable");
  RecordEveryRequest();
}

HttpTestServer::~HttpTestServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

// Recorded after the body was read and before the answer goes out, so the record exists before
// the client can see any answer.
void HttpTestServer::RecordEveryRequest() {
  server_->set_post_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    const std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back({request.method, request.target, request.path, request.headers, request.body});
  });
}

void HttpTestServer::Start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test server: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int attempt = 0; attempt < 500 && !server_->is_running(); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!server_->is_running()) throw std::runtime_error("test server: did not start");
}

std::string HttpTestServer::Url() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<ReceivedRequest> HttpTestServer::Received() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

}  // namespace qdz::testing
