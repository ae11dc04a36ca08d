#include "service/systemd_unit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

extern char** environ;

namespace qdz::service {
namespace {

// The texts Windows gives for the same two failures, so both hosts say the same.
constexpr const char* kAlreadyInstalled = "The specified service already exists.";
constexpr const char* kNotInstalled = "The specified service does not exist as an installed service.";

// ExecStart takes C-like escapes and quotes, and expands "%" specifiers.
std::string EscapedExecPath(const std::string& path) {
  bool needsQuotes = false;
  std::string escaped;
  for (const char c : path) {
    if (c == '%') {
      escaped += "%%";
    } else if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else {
      escaped += c;
    }
    needsQuotes = needsQuotes || c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\';
  }
  return needsQuotes ? "\"" + escaped + "\"" : escaped;
}

std::string SystemErrorText(int error) { return std::strerror(error); }

// A file descriptor closed on every path out.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

void WriteNewFile(const std::filesystem::path& file, const std::string& text) {
  FileHandle handle(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (handle.get() < 0) throw UnitError(errno == EEXIST ? kAlreadyInstalled : SystemErrorText(errno));
  const ssize_t written = ::write(handle.get(), text.data(), text.size());
  const int writeError = errno;
  const bool complete = written == static_cast<ssize_t>(text.size()) && ::close(handle.release()) == 0;
  if (!complete) {
    ::unlink(file.c_str());
    throw UnitError(written < 0 ? SystemErrorText(writeError) : "The unit file could not be written completely.");
  }
}

void RunSystemctl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "systemctl");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawnError = ::posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv.data(), environ);
  if (spawnError != 0) throw UnitError("systemctl: " + SystemErrorText(spawnError));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw UnitError("systemctl: " + SystemErrorText(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string command;
    for (const std::string& argument : arguments) command += (command.empty() ? "" : " ") + argument;
    const std::string outcome = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                  : "signal " + std::to_string(WTERMSIG(status));
    throw UnitError(command + " failed with " + outcome);
  }
}

}  // namespace

std::string UnitFileText(const std::filesystem::path& executable) {
  return "[Unit]\n"
         "Description=QDZELVORANTService\n"
         "Wants=network-online.target\n"
         "After=network-online.target\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" + EscapedExecPath(executable.string()) + "\n"
         // A stop waits for a running exchange cycle to end; its requests have their own time limits.
         "TimeoutStopSec=10min\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

UnitInstaller::UnitInstaller(std::filesystem::path folder, bool useSystemctl)
    : folder_(std::move(folder)), useSystemctl_(useSystemctl) {}

UnitInstaller UnitInstaller::ForThisMachine() {
  const char* redirected = std::getenv(kUnitFolderVariable);
  if (redirected != nullptr && *redirected != '\0') return UnitInstaller(redirected, false);
  return UnitInstaller(kSystemUnitFolder, sd_booted() > 0);
}

void UnitInstaller::Install(const std::filesystem::path& executable) const {
  WriteNewFile(UnitFile(), UnitFileText(executable));
  if (!useSystemctl_) return;
  try {
    RunSystemctl({"daemon-reload"});
    RunSystemctl({"enable", kUnitFileName});
  } catch (const UnitError&) {
    // Leave no half-installed service behind.
    ::unlink(UnitFile().c_str());
    try {
      RunSystemctl({"daemon-reload"});
    } catch (const UnitError&) {
    }
    throw;
  }
}

void UnitInstaller::Uninstall() const {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(UnitFile(), error);
  if (error && error != std::errc::no_such_file_or_directory) throw UnitError(error.message());
  if (!std::filesystem::exists(status)) throw UnitError(kNotInstalled);
  if (useSystemctl_) RunSystemctl({"disable", kUnitFileName});
  if (::unlink(UnitFile().c_str()) != 0) throw UnitError(SystemErrorText(errno));
  if (useSystemctl_) RunSystemctl({"daemon-reload"});
}

}  // namespace qdz::service
