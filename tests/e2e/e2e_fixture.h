#pragma once
// What the end-to-end scenarios are made of: a Firebird server of our own on 127.0.0.1
// (tests/e2e/firebird-server), a fresh reference database on it, the marketplace simulator in
// the test process, and the real service program copied into a folder of its own.
//
// The shared server lives in the build tree; CTest starts and stops it (fixture e2e_firebird).
// A test program started by hand starts it itself when it is not running and stops it at exit.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marketplace-sim/json_file.h"
#include "support/temp_dir.h"
#include "support/test_database.h"

namespace qdz::sim {
class SimServer;
}

namespace qdz::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::Json;

inline constexpr const char* kSysdbaPassword = "masterkey";
// The store id the reference database (schema/) starts with.
inline constexpr const char* kStoreId = "7c9e6679-7425-40de-944b-e07fc1f90ae7";
// Long enough for a loaded 2-core machine, short enough that a hang fails within the test.
inline constexpr auto kWaitLimit = 30s;

// Runs a command through the shell; its output (stdout and stderr) and exit status.
struct CommandResult {
  int exitCode;
  std::string output;
};
CommandResult RunCommand(const std::string& command);
std::string ShellQuote(const std::string& text);

// A server instance driven by tests/e2e/firebird-server in a folder.
class FirebirdServer {
 public:
  // The run's shared server (started if needed; see the header comment).
  static FirebirdServer& Shared();
  // A private instance in a folder of its own, stopped when the object goes.
  FirebirdServer();
  ~FirebirdServer();
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1/<port>:<file>", as the service's DatabaseName and isql-fb take it.
  std::string DatabaseName(const fs::path& file) const;
  // Creates the reference database through the server.
  void CreateDatabase(const fs::path& file) const;
  void Start();
  void Stop();
  bool Running() const;

 private:
  explicit FirebirdServer(fs::path dir, bool owned);
  std::string Script(const std::string& command, const std::string& argument = "") const;

  std::unique_ptr<testing::TempDir> ownDir_;
  fs::path dir_;
  bool owned_;
  int port_ = 0;
};

// A fresh reference pharmacy database on a server, in a temporary folder of the test.
class ScenarioDatabase {
 public:
  explicit ScenarioDatabase(const FirebirdServer& server = FirebirdServer::Shared());

  const std::string& name() const { return name_; }
  // isql-fb over TCP (user SYSDBA, UTF-8 texts); failures fail the test.
  std::vector<testing::IsqlRow> Query(const std::string& select) const;
  void Execute(const std::string& sql) const;
  std::string Value(const std::string& select) const;  // the first column of the one row
  // Sets a params row (inserts it when missing).
  void SetParam(const std::string& id, const std::string& value) const;
  // Adds `count` goods with codes from 1, dated a minute ago.
  void AddGoods(int count) const;
  // Queues a status change as the pharmacy system does; returns its task id.
  long long QueueStatusChange(const std::string& sendData) const;
  // A successful full upload a minute ago, its change mark five minutes old: no full upload
  // is due, and goods added since (dated a minute ago) count as changed.
  void MarkFullUploadDone() const;

 private:
  testing::TempDir dir_;
  std::string name_;
};

// The marketplace simulator on 127.0.0.1 in this process, over a data folder of the test.
class Marketplace {
 public:
  static constexpr const char* kMerchantCode = "mc-e2e";
  static constexpr const char* kToken = "token-e2e-5a7c";

  Marketplace();
  // HTTPS with the certificate and key.
  Marketplace(fs::path certFile, fs::path keyFile);
  ~Marketplace();
  Marketplace(const Marketplace&) = delete;
  Marketplace& operator=(const Marketplace&) = delete;

  // Stops listening (connections are then refused) and starts again on the same port.
  void Stop();
  void Start();

  std::string Url() const;
  // Points the database's params at this marketplace.
  void Serve(const ScenarioDatabase& db) const;

  // faults.json: re-read by the simulator on every request.
  void SetFaults(const Json& rules) const;
  void SetOrders(const Json& orderList) const;
  std::vector<Json> Requests() const;  // requests.jsonl
  std::vector<Json> Requests(const std::string& method, const std::string& path) const;
  std::vector<Json> Statuses() const;  // statuses.jsonl
  std::vector<long long> Exported() const;  // exported.json
  // The items the store has published now.
  std::vector<Json> Published(const std::string& storeId) const;
  // True once a request of this method and path is in the log (it is logged before it is
  // answered, so a delayed request is there while the service still waits).
  bool WaitForRequest(const std::string& method, const std::string& path, std::size_t count = 1) const;
  const fs::path& dataDir() const { return data_.path(); }

 private:
  testing::TempDir data_;
  std::optional<fs::path> cert_, key_;
  std::unique_ptr<sim::SimServer> server_;
  int port_ = 0;
};

// A copy of the real program in a folder of its own, with its INI, log and scratch files there.
class ServiceCopy {
 public:
  // INI: the database, user SYSDBA with our password, the interval, the CA bundle if any.
  explicit ServiceCopy(const std::string& databaseName, int interval = 30, const std::string& caBundle = "");
  ~ServiceCopy();
  ServiceCopy(const ServiceCopy&) = delete;
  ServiceCopy& operator=(const ServiceCopy&) = delete;

  const fs::path& folder() const { return folder_; }
  fs::path log() const { return folder_ / "QDZELVORANT.log"; }
  std::string LogBytes() const;
  // The log's entries without their time stamps; an entry may span lines (CR LF inside).
  std::vector<std::string> LogMessages() const;

  // Starts the program with the arguments; as another user when `user` is given.
  void Start(const std::vector<std::string>& arguments = {}, std::optional<uid_t> user = std::nullopt);
  // One cycle with -once; the exit status (-1 when it did not end in time: the process is killed).
  int RunOnce(std::optional<uid_t> user = std::nullopt);
  std::optional<int> WaitExit(std::chrono::milliseconds limit = kWaitLimit);
  void Signal(int signal) const;
  bool Running() const;
  // True once the log holds the text `times` times; polls for a bounded time.
  bool WaitForLog(const std::string& text, int times = 1, std::chrono::milliseconds limit = kWaitLimit) const;
  std::string Output() const;  // stdout and stderr of the last start

 private:
  testing::TempDir dir_;
  fs::path folder_;
  pid_t pid_ = -1;
};

// How often the text occurs in the bytes.
int Occurrences(const std::string& bytes, const std::string& text);

// An order list as the marketplace serves it: orders first, first+1, ... each with one item of
// the goods code 1 + (number mod 20) and a customer name in Cyrillic letters.
Json OrderList(long long first, int count);
std::vector<long long> OrderNumbers(long long first, int count);
// Windows-1251 bytes of a UTF-8 literal, as the service writes its log.
std::string Cp1251(const std::string& utf8);

}  // namespace qdz::e2e
