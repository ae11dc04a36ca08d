#include "support/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace qdz::testing {
namespace {

constexpr int kPollMillis = 50;
constexpr int kReadTimeoutMillis = 5000;
constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

bool WaitReadable(int fd, int timeoutMillis) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, timeoutMillis) > 0;
}

std::size_t ContentLength(const std::string& head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::stoul(lower.substr(at + 17));
}

// The head up to the blank line and as many body bytes as Content-Length announces.
std::string ReadRequest(int fd) {
  std::string request;
  std::size_t expected = std::string::npos;
  char buffer[16384];
  while (request.size() < kMaxRequestBytes) {
    if (expected == std::string::npos) {
      const std::size_t headEnd = request.find("\r\n\r\n");
      if (headEnd != std::string::npos) expected = headEnd + 4 + ContentLength(request.substr(0, headEnd));
    }
    if (expected != std::string::npos && request.size() >= expected) break;
    if (!WaitReadable(fd, kReadTimeoutMillis)) break;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  return request;
}

void SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

int UnusedLocalPort() {
  const Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(socket.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return ntohs(address.sin_port);
}

RawHttpServer::RawHttpServer(std::string reply, AfterReply after)
    : reply_(std::move(reply)), after_(after) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ < 0) throw std::runtime_error("raw server: socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 8) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    throw std::runtime_error("raw server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  thread_.join();
  ::close(listener_);
}

std::string RawHttpServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> RawHttpServer::Requests() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RawHttpServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listener_, kPollMillis)) continue;
    const int connection = ::accept(listener_, nullptr, nullptr);
    if (connection >= 0) ServeOne(connection);
  }
}

void RawHttpServer::ServeOne(int connection) {
  const Socket socket(connection);
  std::string request = ReadRequest(socket.Fd());
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(std::move(request));
  }
  SendAll(socket.Fd(), reply_);
  if (after_ == AfterReply::StaySilent) WaitForStop();
}

void RawHttpServer::WaitForStop() {
  std::unique_lock<std::mutex> lock(mutex_);
  stopped_.wait_for(lock, std::chrono::seconds(60), [this] { return stop_.load(); });
}

}  // namespace qdz::testing
