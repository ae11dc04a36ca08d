#include "sim_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qdz::sim {

Options SimTest::DefaultOptions() const {
  Options options;
  options.dataDir = dir_.path();
  options.merchantCode = kMerchantCode;
  options.authToken = kToken;
  return options;
}

void SimTest::Start(Options options) {
  server_.reset();
  server_ = std::make_unique<SimServer>(options);
  port_ = server_->Start(0);
}

httplib::Result SimTest::Send(const std::string& method, const std::string& path, const std::string& body,
                              const std::string& moreQuery) {
  httplib::Headers headers = {{"auth_token", kToken}};
  if (!body.empty()) headers.emplace("Content-Type", "application/json");
  return SendRaw(method, path + "?mc=" + kMerchantCode + moreQuery, headers, body);
}

httplib::Result SimTest::SendRaw(const std::string& method, const std::string& target,
                                 const httplib::Headers& headers, const std::string& body) {
  httplib::Client client("127.0.0.1", port_);
  client.set_url_encode(false);
  httplib::Request request;
  request.method = method;
  request.path = target;
  request.headers = headers;
  request.body = body;
  return client.send(request);
}

void SimTest::WriteDataFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(DataFile(name), std::ios::binary | std::ios::trunc) << bytes;
}

std::string SimTest::ReadDataFile(const std::string& name) const { return testing::ReadFileBytes(DataFile(name)); }

std::vector<Json> SimTest::JsonLines(const std::string& name) const {
  std::vector<Json> lines;
  std::istringstream text(ReadDataFile(name));
  for (std::string line; std::getline(text, line);) lines.push_back(Json::parse(line));
  return lines;
}

std::string RawExchange(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  // A bound on a broken server, not a timing assumption.
  timeval limit{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string received;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return received;
}

}  // namespace qdz::sim
