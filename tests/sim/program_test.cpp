// The marketplace-sim program itself: its ready line, its port, its exit on SIGTERM and SIGINT,
// and TLS.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace qdz::sim {
namespace {

const std::string kProgram = std::string(QDZ_BINARY_DIR) + "/marketplace-sim";

// The program running with its standard output on a pipe; killed if a test leaves it running.
class Program {
 public:
  explicit Program(const std::vector<std::string>& arguments) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      ::close(fds[0]);
      ::close(fds[1]);
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(kProgram.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    stdout_ = fds[0];
  }
  ~Program() {
    if (!exitStatus_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(stdout_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // One line of its standard output, without the line feed; what there is at end of output.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    while (::read(stdout_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // The exit code; nullopt when it did not exit normally within ten seconds.
  std::optional<int> WaitForExit() {
    for (int turn = 0; turn < 1000 && !exitStatus_; ++turn) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exitStatus_ = status;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!exitStatus_ || !WIFEXITED(*exitStatus_)) return std::nullopt;
    return WEXITSTATUS(*exitStatus_);
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::optional<int> exitStatus_;
};

TEST(SimProgramTest, PrintsWhereItListensServesAndStopsCleanlyOnSigtermAndSigint) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    testing::TempDir dir;
    Program program({"--port", "0", "--data", dir.path().string(), "--mc", "M1", "--token", "T1"});
    const std::string line = program.ReadLine();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"))) << line;

    httplib::Client client("127.0.0.1", std::stoi(match[1]));
    const auto result = client.Get(std::string("/exch/v4/orders?mc=M1&data=") + kStoreS1Data, {{"auth_token", "T1"}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, R"({"list":[]})");

    program.Signal(signal);
    EXPECT_EQ(program.WaitForExit(), 0);
  }
}

TEST(SimProgramTest, ABadCommandLineEndsWithExitCode2) {
  Program program({"--port", "http"});
  EXPECT_EQ(program.ReadLine(), "");
  EXPECT_EQ(program.WaitForExit(), 2);
}

TEST_F(SimTest, ServesOverTlsWithTheGivenCertificate) {
  testing::TempDir certificates;
  const testing::TestCertificates files = testing::MakeTestCertificates(certificates.path());
  Options options = DefaultOptions();
  options.tlsCert = files.serverCert;
  options.tlsKey = files.serverKey;
  Start(options);

  httplib::SSLClient client("127.0.0.1", port());
  client.set_ca_cert_path(files.caFile.c_str());
  client.enable_server_certificate_verification(true);
  const auto result = client.Get(std::string("/exch/v4/orders?mc=MC-17&data=") + kStoreS1Data, {{"auth_token", kToken}});
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
}

TEST(SimProgramTest, RefusesACertificateItCannotLoad) {
  testing::TempDir dir;
  Options options;
  options.dataDir = dir.path();
  options.tlsCert = dir / "missing.pem";
  options.tlsKey = dir / "missing.key";
  EXPECT_THROW(SimServer server(options), std::runtime_error);
}

}  // namespace
}  // namespace qdz::sim
