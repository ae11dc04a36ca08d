// The real program, copied into a temporary folder and run as a person or systemd would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cp1251_texts.h"
#include "support/log_messages.h"
#include "support/temp_dir.h"

extern char** environ;

namespace qdz::service {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qdz::testing::ReadFileBytes;
using qdz::testing::TempDir;

constexpr auto kWaitLimit = 10s;

// A datagram socket in the role of systemd's notification socket.
class NotifySocket {
 public:
  explicit NotifySocket(fs::path path) : path_(std::move(path)) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ADD_FAILURE() << "cannot bind " << path_ << ": " << std::strerror(errno);
    }
  }
  ~NotifySocket() { ::close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const fs::path& path() const { return path_; }

  // Collects messages until one contains the text; false when none does in time.
  bool WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd entry{fd_, POLLIN, 0};
      if (::poll(&entry, 1, 100) <= 0) continue;
      char buffer[512];
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) continue;
      received.emplace_back(buffer, static_cast<std::size_t>(got));
      if (received.back().find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::vector<std::string> received;

 private:
  fs::path path_;
  int fd_ = -1;
};

struct Finished {
  int exitStatus;
  std::string out;
  std::string err;
};

// A copy of build/qdzelvorant in a folder of its own, with its log and configuration there.
class ProgramCopy {
 public:
  ProgramCopy() {
    fs::create_directory(folder());
    fs::copy_file(QDZ_PROGRAM, program());
    fs::permissions(program(), fs::perms::owner_all, fs::perm_options::add);
    environment_["QDZ_SYSTEMD_UNIT_DIR"] = (dir / "units").string();
    fs::create_directory(dir / "units");
#if defined(__SANITIZE_ADDRESS__)
    // libfbclient leaves a thread of its own waiting on a semaphore that the library's exit
    // handlers destroy. LeakSanitizer stops every thread with ptrace at exit, which wakes that
    // thread on the destroyed semaphore and crashes the process after a clean stop. Leak checks
    // of the program copy are off for that reason; the suites check our code for leaks in-process.
    environment_["ASAN_OPTIONS"] = "detect_leaks=0";
#endif
  }
  ~ProgramCopy() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ProgramCopy(const ProgramCopy&) = delete;
  ProgramCopy& operator=(const ProgramCopy&) = delete;

  // The program's folder; output, notification socket and units lie beside it.
  fs::path folder() const { return dir / "bin"; }
  fs::path program() const { return folder() / "qdzelvorant"; }
  fs::path log() const { return folder() / "QDZELVORANT.log"; }
  fs::path ini() const { return folder() / "QDZELVORANT.ini"; }
  fs::path unit() const { return dir / "units" / "QDZELVORANTService.service"; }
  void SetEnv(const std::string& name, const std::string& value) { environment_[name] = value; }

  void Start(const std::vector<std::string>& arguments, const fs::path& executable = {}) {
    std::vector<std::string> argv{executable.empty() ? program().string() : executable.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (std::string& argument : argv) argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);
    std::vector<std::string> env = Environment();
    std::vector<char*> envPointers;
    for (std::string& entry : env) envPointers.push_back(entry.data());
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Run from elsewhere: the files must follow the executable, not the working folder.
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    const int error = ::posix_spawn(&pid_, argvPointers[0], &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(error, 0) << std::strerror(error);
  }

  // The exit status, or nothing when the program still runs after the wait.
  std::optional<int> WaitExit(std::chrono::milliseconds limit = kWaitLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(10ms);
    }
  }

  Finished Run(const std::vector<std::string>& arguments) {
    Start(arguments);
    const std::optional<int> status = WaitExit();
    EXPECT_TRUE(status.has_value()) << "still running";
    return {status.value_or(-1), ReadFileBytes(dir / "stdout.txt"), ReadFileBytes(dir / "stderr.txt")};
  }

  void Signal(int signal) const { ::kill(pid_, signal); }
  bool Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  // True once the log holds the text; polls for a bounded time.
  bool WaitForLog(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (ReadFileBytes(log()).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  TempDir dir;

 private:
  std::vector<std::string> Environment() const {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::size_t equals = text.find('=');
      if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    merged.erase("NOTIFY_SOCKET");  // only where a test gives one
    for (const auto& [name, value] : environment_) merged[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : merged) result.push_back(name + "=" + value);
    return result;
  }

  std::map<std::string, std::string> environment_;
  pid_t pid_ = -1;
};

// The messages of the log's entries; a sound log ends with CR LF and starts with a stamp.
std::vector<std::string> LogMessages(const std::string& bytes) {
  EXPECT_TRUE(bytes.ends_with("\r\n")) << "log does not end with CR LF";
  const qdz::testing::LogEntries log = qdz::testing::SplitLog(bytes);
  EXPECT_EQ(log.unstampedStart, "") << "log starts without a time stamp";
  return log.messages;
}

TEST(Program, RunsWithoutConfigurationUntilSigterm) {
  ProgramCopy copy;
  NotifySocket notify(copy.dir / "notify.sock");
  copy.SetEnv("NOTIFY_SOCKET", notify.path().string());
  copy.Start({});
  ASSERT_TRUE(notify.WaitFor("READY=1"));
  ASSERT_TRUE(copy.WaitForLog("EXCEPTION in MAIN: ")) << ReadFileBytes(copy.log());
  EXPECT_TRUE(copy.Running()) << "a failed cycle must not end the service";

  copy.Signal(SIGTERM);
  EXPECT_EQ(copy.WaitExit(), 0);
  EXPECT_TRUE(notify.WaitFor("STOPPING=1"));

  const std::vector<std::string> messages = LogMessages(ReadFileBytes(copy.log()));
  ASSERT_EQ(messages.size(), 6u) << ReadFileBytes(copy.log());
  EXPECT_EQ(messages[0], cp1251::kStartLine);
  EXPECT_EQ(messages[1], "DatabaseName: ");
  EXPECT_EQ(messages[2], "MainInterval: 300");
  EXPECT_EQ(messages[3], "-------ZELVORANT_MAIN...");
  EXPECT_TRUE(messages[4].starts_with("EXCEPTION in MAIN: ")) << messages[4];
  EXPECT_GT(messages[4].size(), std::strlen("EXCEPTION in MAIN: ")) << "the client's message is missing";
  EXPECT_EQ(messages[5], cp1251::kStopLine);
}

TEST(Program, SigtstpPausesWithoutStoppingTheProcessAndSigtermStillEndsIt) {
  ProgramCopy copy;
  NotifySocket notify(copy.dir / "notify.sock");
  copy.SetEnv("NOTIFY_SOCKET", notify.path().string());
  copy.Start({});
  ASSERT_TRUE(copy.WaitForLog("EXCEPTION in MAIN: "));
  copy.Signal(SIGTSTP);
  ASSERT_TRUE(notify.WaitFor("STATUS=Paused"));
  copy.Signal(SIGCONT);
  ASSERT_TRUE(notify.WaitFor("STATUS=Running"));
  copy.Signal(SIGTSTP);
  ASSERT_TRUE(notify.WaitFor("STATUS=Paused"));
  copy.Signal(SIGTERM);
  EXPECT_EQ(copy.WaitExit(), 0) << ReadFileBytes(copy.dir / "stderr.txt");
  EXPECT_EQ(LogMessages(ReadFileBytes(copy.log())).back(), cp1251::kStopLine);
}

TEST(Program, OnceRunsOneCycleAndAppendsToAnExistingLog) {
  ProgramCopy copy;
  std::ofstream(copy.log(), std::ios::binary) << "01.02.2024 7:00:00\tearlier run\r\n";
  std::ofstream(copy.ini(), std::ios::binary)
      << "[DBPARAMS]\r\ndatabasename = \"" << (copy.dir / "missing.fdb").string() << "\"\r\n[Main]\r\nInterval=0x3C\r\n";
  const Finished finished = copy.Run({"-ONCE"});
  EXPECT_EQ(finished.exitStatus, 1) << "the cycle raised at the connect";
  const std::string bytes = ReadFileBytes(copy.log());
  EXPECT_TRUE(bytes.starts_with("01.02.2024 7:00:00\tearlier run\r\n")) << bytes;
  const std::vector<std::string> messages = LogMessages(bytes);
  ASSERT_EQ(messages.size(), 6u) << bytes;
  EXPECT_EQ(messages[1], cp1251::kStartLine);
  EXPECT_EQ(messages[2], "DatabaseName: " + (copy.dir / "missing.fdb").string());
  EXPECT_EQ(messages[3], "MainInterval: 60");
  EXPECT_EQ(messages[4], "-------ZELVORANT_MAIN...");
  EXPECT_TRUE(messages[5].starts_with("EXCEPTION in MAIN: ")) << messages[5];
}

// A database made from schema/ and no marketplace listening: the stages record their own
// failures, so the cycle returns normally; its scratch files land beside the program even
// though the program runs from another working folder.
TEST(Program, OnceAgainstADatabaseEndsWithOkAndKeepsScratchFilesBesideTheProgram) {
  ProgramCopy copy;
  const fs::path database = copy.folder() / "pharmacy.fdb";
  const std::string createDb =
      std::string(QDZ_SOURCE_DIR) + "/schema/create-db '" + database.string() + "' >/dev/null";
  ASSERT_EQ(std::system(createDb.c_str()), 0) << createDb;
  if (::geteuid() != 0) copy.SetEnv("FIREBIRD_LOCK", (copy.dir / "firebird-lock").string());
  std::ofstream(copy.ini(), std::ios::binary) << "[dbParams]\nDatabaseName=" << database.string() << "\n";

  const Finished finished = copy.Run({"-once"});
  const std::string bytes = ReadFileBytes(copy.log());
  EXPECT_EQ(finished.exitStatus, 0) << bytes;
  const std::vector<std::string> messages = LogMessages(bytes);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "-------ZELVORANT_MAIN - OK") << bytes;
  bool storePayloadBesideProgram = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(copy.folder())) {
    storePayloadBesideProgram = storePayloadBesideProgram || entry.path().filename().string().starts_with("_delete_");
  }
  EXPECT_TRUE(storePayloadBesideProgram) << "no _delete_*.json in " << copy.folder();
}

TEST(Program, FilesLiveBesideTheResolvedExecutable) {
  ProgramCopy copy;
  const TempDir elsewhere;
  fs::create_symlink(copy.program(), elsewhere / "qdzelvorant");
  copy.Start({"-once"}, elsewhere / "qdzelvorant");
  EXPECT_EQ(copy.WaitExit(), 1);
  EXPECT_FALSE(fs::exists(elsewhere / "QDZELVORANT.log"));
  EXPECT_NE(ReadFileBytes(copy.log()).find("MainInterval: 300"), std::string::npos);
}

TEST(Program, InstallAndUninstallAgainstARedirectedUnitFolder) {
  ProgramCopy copy;
  struct Step {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string out;
    std::string err;
    bool unitAfter;
  };
  const std::string installFailed =
      "Service \"QDZELVORANTService\" failed to install with error: \"The specified service already exists.\"\n";
  const std::string uninstallFailed =
      "Service \"QDZELVORANTService\" failed to uninstall with error: "
      "\"The specified service does not exist as an installed service.\"\n";
  const std::vector<Step> steps{
      {{"-install"}, 0, "Service installed successfully\n", "", true},
      {{"-install", "-silent"}, 1, "", installFailed, true},  // failures are shown under SILENT too
      {{"/UNINSTALL"}, 0, "Service uninstalled successfully\n", "", false},
      {{"/uninstall", "/SILENT"}, 1, "", uninstallFailed, false},
      {{"-install", "-silent"}, 0, "", "", true},
      {{"-uninstall", "-silent"}, 0, "", "", false},
      {{"-uninstall", "-install"}, 0, "Service installed successfully\n", "", true},
  };
  for (const Step& step : steps) {
    const Finished finished = copy.Run(step.arguments);
    const std::string what = ::testing::PrintToString(step.arguments);
    EXPECT_EQ(finished.exitStatus, step.exitStatus) << what;
    EXPECT_EQ(finished.out, step.out) << what;
    EXPECT_EQ(finished.err, step.err) << what;
    EXPECT_EQ(fs::exists(copy.unit()), step.unitAfter) << what;
  }
  const std::string unit = ReadFileBytes(copy.unit());
  EXPECT_NE(unit.find("\nType=notify\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nExecStart=" + copy.program().string() + "\n"), std::string::npos) << unit;
  // The log is opened in every mode, but nothing is written to it outside the service.
  ASSERT_TRUE(fs::exists(copy.log()));
  EXPECT_EQ(fs::file_size(copy.log()), 0u);
}

TEST(Program, RefusesToRunWithoutALog) {
  ProgramCopy copy;
  fs::create_directory(copy.log());  // a folder where the log file should be
  const Finished finished = copy.Run({});
  EXPECT_NE(finished.exitStatus, 0);
  EXPECT_NE(finished.err.find("Cannot open file \"" + copy.log().string() + "\""), std::string::npos) << finished.err;
}

TEST(Program, RefusesToRunInAFolderWithoutWritePermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ProgramCopy copy;
  fs::permissions(copy.folder(), fs::perms::owner_write, fs::perm_options::remove);
  const Finished finished = copy.Run({});
  fs::permissions(copy.folder(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_NE(finished.exitStatus, 0);
  EXPECT_NE(finished.err.find("Permission denied"), std::string::npos) << finished.err;
}

}  // namespace
}  // namespace qdz::service
