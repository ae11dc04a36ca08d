#include "e2e_fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "marketplace-sim/options.h"
#include "support/log_messages.h"
#include "util/codepage.h"
#include "marketplace-sim/server.h"

extern char** environ;

namespace qdz::e2e {
namespace {

const fs::path kServerScript = fs::path(QDZ_SOURCE_DIR) / "tests" / "e2e" / "firebird-server";

std::string ReadText(const fs::path& file) { return testing::ReadFileBytes(file); }

int ParsePort(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    throw std::runtime_error("firebird-server printed no port: " + text);
  }
}

// The shared server, stopped at the end of a test program that had to start it itself.
class SharedServerStopper {
 public:
  ~SharedServerStopper() {
    if (startedHere) RunCommand(ShellQuote(kServerScript.string()) + " stop " + ShellQuote(QDZ_E2E_SERVER_DIR));
  }
  bool startedHere = false;
};

// isql-fb and our checks connect over TCP as SYSDBA; the service gets its password from its INI.
void UseSysdbaForIsql() {
  ::setenv("ISC_USER", "SYSDBA", 1);
  ::setenv("ISC_PASSWORD", kSysdbaPassword, 1);
}

std::vector<Json> JsonLines(const fs::path& file) {
  std::vector<Json> lines;
  std::istringstream text(ReadText(file));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty()) lines.push_back(Json::parse(line));
  }
  return lines;
}

std::string SqlQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
  std::string output;
  std::array<char, 4096> buffer{};
  for (std::size_t count; (count = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) output.append(buffer.data(), count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

int Occurrences(const std::string& bytes, const std::string& text) {
  int count = 0;
  for (std::size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + text.size())) ++count;
  return count;
}

Json OrderList(long long first, int count) {
  Json list = Json::array();
  for (long long number = first; number < first + count; ++number) {
    list.push_back({{"id", number},
                    {"fio", "Иванова Мария"},
                    {"status_id", 1},
                    {"creation_date", 1700000000 + number},
                    {"email", "buyer@example.com"},
                    {"phone", "+79001234567"},
                    {"total_amount", 25.5},
                    {"items", Json::array({{{"id", 1}, {"item_id", std::to_string(1 + number % 20)}, {"price", 12.75},
                                            {"quantity", 2}}})}});
  }
  return {{"list", list}};
}

std::vector<long long> OrderNumbers(long long first, int count) {
  std::vector<long long> numbers;
  for (long long number = first; number < first + count; ++number) numbers.push_back(number);
  return numbers;
}

std::string Cp1251(const std::string& utf8) { return util::W1251(utf8); }

// ---------------------------------------------------------------------------------------------
// FirebirdServer

FirebirdServer& FirebirdServer::Shared() {
  static SharedServerStopper stopper;
  static const std::unique_ptr<FirebirdServer> server = [] {
    UseSysdbaForIsql();
    std::unique_ptr<FirebirdServer> shared(new FirebirdServer(QDZ_E2E_SERVER_DIR, false));
    if (!shared->Running()) {
      shared->Start();
      stopper.startedHere = true;
    }
    shared->port_ = ParsePort(ReadText(fs::path(QDZ_E2E_SERVER_DIR) / "port"));
    return shared;
  }();
  return *server;
}

FirebirdServer::FirebirdServer() : ownDir_(std::make_unique<testing::TempDir>()), dir_(ownDir_->path()), owned_(true) {
  UseSysdbaForIsql();
  Start();
}

FirebirdServer::FirebirdServer(fs::path dir, bool owned) : dir_(std::move(dir)), owned_(owned) {}

FirebirdServer::~FirebirdServer() {
  if (owned_) Script("stop");
}

std::string FirebirdServer::Script(const std::string& command, const std::string& argument) const {
  std::string line = ShellQuote(kServerScript.string()) + " " + command + " " + ShellQuote(dir_.string());
  if (!argument.empty()) line += " " + ShellQuote(argument);
  const CommandResult result = RunCommand(line);
  if (result.exitCode != 0) throw std::runtime_error("firebird-server " + command + " failed:\n" + result.output);
  return result.output;
}

std::string FirebirdServer::DatabaseName(const fs::path& file) const {
  return "127.0.0.1/" + std::to_string(port_) + ":" + file.string();
}

void FirebirdServer::CreateDatabase(const fs::path& file) const { Script("create-db", file.string()); }

void FirebirdServer::Start() {
  port_ = ParsePort(Script("start", port_ > 0 ? std::to_string(port_) : ""));
}

void FirebirdServer::Stop() { Script("stop"); }

bool FirebirdServer::Running() const {
  return RunCommand(ShellQuote(kServerScript.string()) + " status " + ShellQuote(dir_.string())).exitCode == 0;
}

// ---------------------------------------------------------------------------------------------
// ScenarioDatabase

ScenarioDatabase::ScenarioDatabase(const FirebirdServer& server) {
  const fs::path file = dir_ / "pharmacy.fdb";
  server.CreateDatabase(file);
  name_ = server.DatabaseName(file);
}

std::vector<testing::IsqlRow> ScenarioDatabase::Query(const std::string& select) const {
  return testing::QueryIsql(name_, select);
}

void ScenarioDatabase::Execute(const std::string& sql) const { testing::ExecuteIsql(name_, sql + ";\ncommit;"); }

std::string ScenarioDatabase::Value(const std::string& select) const {
  const auto rows = Query(select);
  if (rows.size() != 1 || rows[0].size() != 1) {
    ADD_FAILURE() << "not one value: " << select;
    return {};
  }
  return rows[0].begin()->second;
}

void ScenarioDatabase::SetParam(const std::string& id, const std::string& value) const {
  Execute("update or insert into params (param_id, PARAM_VALUE) values (" + SqlQuote(id) + ", " + SqlQuote(value) +
          ") matching (param_id)");
}

void ScenarioDatabase::AddGoods(int count) const {
  Execute("set term ^;\nexecute block as declare i integer = 0; begin while (i < " + std::to_string(count) +
          ") do begin i = i + 1; insert into GOODS (PART_ID, BARCODE, NAME, PRODUCER, SERIES, PRICE, QUANTITY, "
          "UPDATEDT) values (:i, '460' || lpad(:i, 10, '0'), 'Товар ' || :i, 'Завод', 'S' || :i, 10 + :i, "
          "mod(:i, 50), dateadd(-1 minute to current_timestamp)); end end^\nset term ;^");
}

long long ScenarioDatabase::QueueStatusChange(const std::string& sendData) const {
  const std::string id = Value("select gen_id(gen_i_order_tasks_id, 1) as ID from rdb$database");
  Execute("insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT) values (" + id +
          ", 'SET_ORDER_STATUS', " + SqlQuote(sendData) + ", 0, 'now')");
  return std::stoll(id);
}

void ScenarioDatabase::MarkFullUploadDone() const {
  const std::string id = Value("select gen_id(gen_i_order_tasks_id, 1) as ID from rdb$database");
  Execute("insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT, endflag, endtext, ENDDT) values (" +
          id + ", 'POSTALLPRICES', '', 1, dateadd(-2 minute to current_timestamp), 1, '', " +
          "dateadd(-1 minute to current_timestamp));\n"
          "update params set PARAM_VALUE = substring(cast(dateadd(-5 minute to current_timestamp) as varchar(24)) "
          "from 1 for 19) "
          "where param_id = 'ZELVORANT_WB_UPDATEDT'");
}

// ---------------------------------------------------------------------------------------------
// Marketplace

Marketplace::Marketplace() { Start(); }

Marketplace::Marketplace(fs::path certFile, fs::path keyFile) : cert_(std::move(certFile)), key_(std::move(keyFile)) {
  Start();
}

Marketplace::~Marketplace() { Stop(); }

void Marketplace::Start() {
  Stop();
  sim::Options options;
  options.dataDir = data_.path();
  options.merchantCode = kMerchantCode;
  options.authToken = kToken;
  options.tlsCert = cert_;
  options.tlsKey = key_;
  server_ = std::make_unique<sim::SimServer>(options);
  port_ = server_->Start(port_);
}

void Marketplace::Stop() {
  if (server_) server_->Stop();
  server_.reset();
}

std::string Marketplace::Url() const {
  return std::string(cert_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void Marketplace::Serve(const ScenarioDatabase& db) const {
  db.SetParam("ZELVORANT_URL", Url());
  db.SetParam("ZELVORANT_MC", kMerchantCode);
  db.SetParam("ZELVORANT_AUTH_TOKEN", kToken);
}

void Marketplace::SetFaults(const Json& rules) const {
  std::ofstream(data_ / "faults.json", std::ios::binary | std::ios::trunc) << rules.dump();
}

void Marketplace::SetOrders(const Json& orderList) const {
  std::ofstream(data_ / "orders.json", std::ios::binary | std::ios::trunc) << orderList.dump();
}

std::vector<Json> Marketplace::Requests() const { return JsonLines(data_ / "requests.jsonl"); }

std::vector<Json> Marketplace::Requests(const std::string& method, const std::string& path) const {
  std::vector<Json> matching;
  for (const Json& request : Requests()) {
    if (request["method"] == method && request["path"] == path) matching.push_back(request);
  }
  return matching;
}

std::vector<Json> Marketplace::Statuses() const { return JsonLines(data_ / "statuses.jsonl"); }

std::vector<long long> Marketplace::Exported() const {
  const std::optional<Json> saved = sim::ReadJsonFile(data_ / "exported.json");
  std::vector<long long> numbers;
  if (saved) {
    for (const Json& number : *saved) numbers.push_back(number.get<long long>());
  }
  return numbers;
}

std::vector<Json> Marketplace::Published(const std::string& storeId) const {
  const std::optional<Json> list = sim::ReadJsonFile(data_ / "published" / (storeId + ".json"));
  if (!list) return {};
  return (*list)["list"].get<std::vector<Json>>();
}

bool Marketplace::WaitForRequest(const std::string& method, const std::string& path, std::size_t count) const {
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Requests(method, path).size() >= count) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// ServiceCopy

ServiceCopy::ServiceCopy(const std::string& databaseName, int interval, const std::string& caBundle)
    : folder_(dir_ / "bin") {
  fs::create_directory(folder_);
  fs::copy_file(QDZ_PROGRAM, folder_ / "qdzelvorant");
  std::ofstream ini(folder_ / "QDZELVORANT.ini", std::ios::binary);
  ini << "[dbParams]\r\nDatabaseName=" << databaseName << "\r\nuser_name=SYSDBA\r\npassword=" << kSysdbaPassword
      << "\r\n[main]\r\nInterval=" << interval << "\r\n";
  if (!caBundle.empty()) ini << "CaBundle=" << caBundle << "\r\n";
}

ServiceCopy::~ServiceCopy() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  // A folder made read-only by a test must still be removable.
  std::error_code ignored;
  fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
}

std::string ServiceCopy::LogBytes() const { return ReadText(log()); }

std::vector<std::string> ServiceCopy::LogMessages() const {
  return qdz::testing::SplitLog(LogBytes()).messages;
}

void ServiceCopy::Start(const std::vector<std::string>& arguments, std::optional<uid_t> user) {
  ASSERT_LE(pid_, 0) << "already running";
  // Everything the child needs is made before fork: after it only async-signal-safe calls.
  std::vector<std::string> argv{(folder_ / "qdzelvorant").string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> argvPointers;
  for (std::string& argument : argv) argvPointers.push_back(argument.data());
  argvPointers.push_back(nullptr);
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    // The service must work with what its INI says, not with our isql credentials.
    if (!text.starts_with("ISC_") && !text.starts_with("NOTIFY_SOCKET=")) env.push_back(text);
  }
  std::vector<char*> envPointers;
  for (std::string& entry : env) envPointers.push_back(entry.data());
  envPointers.push_back(nullptr);
  const std::string outFile = (dir_ / "output.txt").string();

  const pid_t child = ::fork();
  ASSERT_GE(child, 0) << "fork failed";
  if (child == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::setpgid(0, 0);
    if (user && (::setgroups(0, nullptr) != 0 || ::setresgid(*user, *user, *user) != 0 ||
                 ::setresuid(*user, *user, *user) != 0)) {
      ::_exit(125);
    }
    // Started from elsewhere: the files must follow the executable, not the working folder.
    if (::chdir("/") != 0) ::_exit(124);
    ::execve(argvPointers[0], argvPointers.data(), envPointers.data());
    ::_exit(127);
  }
  pid_ = child;
}

int ServiceCopy::RunOnce(std::optional<uid_t> user) {
  Start({"-once"}, user);
  const std::optional<int> status = WaitExit();
  if (!status) {
    ADD_FAILURE() << "-once did not end in time; log:\n" << LogBytes();
    Signal(SIGKILL);
    WaitExit();
    return -1;
  }
  return *status;
}

std::optional<int> ServiceCopy::WaitExit(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

void ServiceCopy::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

bool ServiceCopy::Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

bool ServiceCopy::WaitForLog(const std::string& text, int times, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Occurrences(LogBytes(), text) >= times) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::string ServiceCopy::Output() const { return ReadText(dir_ / "output.txt"); }

}  // namespace qdz::e2e
