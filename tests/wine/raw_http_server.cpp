// raw-http-server PORT_FILE: a tiny HTTP/1.1 server on 127.0.0.1 for the Wine smoke test, built
// for Linux by scripts/test-windows. It writes its port into PORT_FILE and answers by path:
//   /echo      200 "Fine Thanks", the body is the whole request as it arrived
//   /redirect  302 "Found" with a Location, which the client must not follow
//   /teapot    418 "I'm a teapot, short and stout", a reason phrase with blanks
// It serves at most 16 connections and ends after 60 s without one.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kMaxConnections = 16;
constexpr int kIdleMs = 60000;
constexpr std::size_t kMaxRequest = 1 << 20;

// Headers up to the blank line, then Content-Length bytes of body.
std::string ReadRequest(int fd) {
  std::string request;
  char buffer[4096];
  for (;;) {
    const std::size_t end = request.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::size_t length = 0;
      const std::size_t field = request.find("Content-Length: ");
      if (field != std::string::npos && field < end) length = std::strtoul(request.c_str() + field + 16, nullptr, 10);
      if (request.size() >= end + 4 + length) return request;
    }
    if (request.size() > kMaxRequest) return request;
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 10000) <= 0) return request;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return request;
    request.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string Answer(const std::string& request) {
  const std::string target = request.substr(0, request.find("\r\n"));
  std::string status = "404 Not Found", extra, body = "no such path";
  if (target.find(" /echo") != std::string::npos) {
    status = "200 Fine Thanks";
    body = request;
  } else if (target.find(" /redirect") != std::string::npos) {
    status = "302 Found";
    extra = "Location: /echo\r\n";
    body = "moved";
  } else if (target.find(" /teapot") != std::string::npos) {
    status = "418 I'm a teapot, short and stout";
    body = "tea";
  }
  return "HTTP/1.1 " + status + "\r\n" + extra + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("raw-http-server");
    return 1;
  }
  std::ofstream(argv[1]) << ntohs(address.sin_port) << "\n";
  for (int served = 0; served < kMaxConnections; ++served) {
    pollfd entry{listener, POLLIN, 0};
    if (::poll(&entry, 1, kIdleMs) <= 0) break;
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    const std::string answer = Answer(ReadRequest(client));
    [[maybe_unused]] const ssize_t written = ::write(client, answer.data(), answer.size());
    ::close(client);
  }
  ::close(listener);
  return 0;
}
