#include "marketplace-sim/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>

#include <httplib.h>

namespace qdz::sim {
namespace {

// httplib adds these to the request's headers itself; they were not sent by the client.
const std::set<std::string> kHeadersAddedByHttplib = {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR",
                                                      "LOCAL_PORT"};

constexpr const char* kJson = "application/json";

std::unique_ptr<httplib::Server> MakeHttpServer(const Options& options) {
  if (!options.tlsCert) return std::make_unique<httplib::Server>();
  auto server = std::make_unique<httplib::SSLServer>(options.tlsCert->c_str(), options.tlsKey->c_str());
  if (!server->is_valid()) {
    throw std::runtime_error("cannot use the TLS certificate " + options.tlsCert->string() + " and key " +
                             options.tlsKey->string());
  }
  return server;
}

SimulatorSettings SettingsFrom(const Options& options) {
  return {options.dataDir, ResolveCredentials(options), options.faults};
}

IncomingRequest ToIncoming(const httplib::Request& request) {
  IncomingRequest incoming;
  incoming.method = request.method;
  const std::size_t question = request.target.find('?');
  incoming.path = request.target.substr(0, question);
  if (question != std::string::npos) incoming.query = request.target.substr(question + 1);
  for (const auto& [name, value] : request.headers) {
    if (!kHeadersAddedByHttplib.contains(name)) incoming.headers.emplace_back(name, value);
  }
  incoming.body = request.body;
  return incoming;
}

std::uint16_t PortOf(const sockaddr_in& address) { return ntohs(address.sin_port); }

// httplib gives a handler no hold of its socket; the open descriptors are searched for the one
// connected between the request's two ports, and shut down, so the client gets no byte of answer.
void CutConnection(const httplib::Request& request) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 || local.sin_family != AF_INET ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
      continue;
    }
    if (PortOf(local) == request.local_port && PortOf(peer) == request.remote_port) {
      shutdown(fd, SHUT_RDWR);
      return;
    }
  }
  std::cerr << "marketplace-sim: connection to cut not found" << std::endl;
}

// Sends the status line, the headers with the full length, and half of the body; then the
// provider gives up and httplib closes the connection.
void SendHalf(const Answer& answer, httplib::Response& response) {
  response.status = answer.status;
  const std::string body = answer.body;
  response.set_content_provider(body.size(), kJson,
                                [body](std::size_t, std::size_t, httplib::DataSink& sink) {
                                  sink.write(body.data(), body.size() / 2);
                                  return false;
                                });
}

}  // namespace

SimServer::SimServer(const Options& options)
    : simulator_(SettingsFrom(options)), http_(MakeHttpServer(options)) {
  const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response);
  };
  http_->Get(".*", handler);
  http_->Post(".*", handler);
  http_->Put(".*", handler);
  http_->Patch(".*", handler);
  http_->Delete(".*", handler);
  http_->Options(".*", handler);
}

SimServer::~SimServer() { Stop(); }

int SimServer::Start(int port) {
  const char* host = "127.0.0.1";
  const int bound = port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
  if (bound <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  serving_ = std::thread([this] {
    if (!http_->listen_after_bind()) std::cerr << "marketplace-sim: serving failed" << std::endl;
    std::lock_guard lock(mutex_);
    servingEnded_ = true;
  });
  WaitUntilServing();
  return bound;
}

void SimServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopRequested_.notify_all();
  http_->stop();
  if (serving_.joinable()) serving_.join();
}

void SimServer::Serve(const httplib::Request& request, httplib::Response& response) {
  const Reply reply = simulator_.Receive(ToIncoming(request));
  WaitUnlessStopping(reply.delayMs);
  switch (reply.delivery) {
    case Delivery::whole:
      response.status = reply.answer.status;
      response.set_content(reply.answer.body, kJson);
      break;
    case Delivery::no_answer:
      CutConnection(request);
      break;
    case Delivery::half_then_close:
      SendHalf(reply.answer, response);
      break;
  }
}

void SimServer::WaitUnlessStopping(long long milliseconds) {
  if (milliseconds <= 0) return;
  std::unique_lock lock(mutex_);
  stopRequested_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_; });
}

// httplib's stop() does nothing until the server runs, so Stop() right after Start() would be
// lost without this wait (a few microseconds in practice).
void SimServer::WaitUntilServing() const {
  while (!http_->is_running()) {
    {
      std::lock_guard lock(mutex_);
      if (servingEnded_) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace qdz::sim
