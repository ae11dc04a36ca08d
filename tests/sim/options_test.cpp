// The command line and where the expected merchant code and token come from.
#include "marketplace-sim/options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qdz::sim {
namespace {

using Arguments = std::vector<std::string>;

TEST(SimOptionsTest, ReadsEveryOption) {
  const Options options = ParseCommandLine({"--port", "8443", "--data", "/tmp/d", "--mc", "M", "--token", "",
                                            "--tls-cert", "c.pem", "--tls-key", "k.pem", "--fault",
                                            R"({"path": "/exch/v4/orders", "status": 500})", "--fault",
                                            R"({"path": "/exch/v4/prices", "delay_ms": 10})"});
  EXPECT_EQ(options.port, 8443);
  EXPECT_EQ(options.dataDir, "/tmp/d");
  EXPECT_EQ(options.merchantCode, "M");
  EXPECT_EQ(options.authToken, "");
  EXPECT_EQ(options.tlsCert, "c.pem");
  EXPECT_EQ(options.tlsKey, "k.pem");
  ASSERT_EQ(options.faults.size(), 2u);
  EXPECT_EQ(options.faults[1].path, "/exch/v4/prices");
  EXPECT_FALSE(options.help);
}

TEST(SimOptionsTest, DefaultsToAnyPortAndNoOverrides) {
  const Options options = ParseCommandLine({"--data", "d"});
  EXPECT_EQ(options.port, 0);
  EXPECT_FALSE(options.merchantCode);
  EXPECT_FALSE(options.authToken);
  EXPECT_FALSE(options.tlsCert);
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
}

TEST(SimOptionsTest, RefusesCommandLinesItCannotUse) {
  const std::vector<std::pair<Arguments, std::string>> cases = {
      {{}, "--data DIR is required"},
      {{"--port", "1"}, "--data DIR is required"},
      {{"--data", ""}, "--data DIR is required"},
      {{"--data", "d", "--port"}, "--port: unknown option or missing value"},
      {{"--data", "d", "--port", "x"}, "--port needs a number from 0 to 65535, not \"x\""},
      {{"--data", "d", "--port", "65536"}, "--port needs a number from 0 to 65535, not \"65536\""},
      {{"--data", "d", "--port", "-1"}, "--port needs a number from 0 to 65535, not \"-1\""},
      {{"--data", "d", "--verbose", "1"}, "--verbose: unknown option"},
      {{"--data", "d", "--tls-cert", "c"}, "--tls-cert and --tls-key go together"},
      {{"--data", "d", "--fault", R"({"path": "/x"})"}, "--fault {\"path\": \"/x\"}: the rule has no effect"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(message);
    try {
      ParseCommandLine(arguments);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(SimOptionsTest, CommandLineOverridesConfigFileOverridesDefaults) {
  struct Case {
    const char* config;  // nullptr: no config.json
    std::optional<std::string> mc;
    std::optional<std::string> token;
    std::string expectedMc;
    std::string expectedToken;
  };
  const std::vector<Case> cases = {
      {nullptr, std::nullopt, std::nullopt, kDefaultMerchantCode, kDefaultAuthToken},
      {R"({"mc": "FILE-MC"})", std::nullopt, std::nullopt, "FILE-MC", kDefaultAuthToken},
      {R"({"mc": "FILE-MC", "token": "file-token"})", std::nullopt, std::nullopt, "FILE-MC", "file-token"},
      {R"({"mc": "FILE-MC", "token": "file-token"})", "CLI-MC", std::nullopt, "CLI-MC", "file-token"},
      {R"({"mc": "FILE-MC", "token": "file-token"})", std::nullopt, "", "FILE-MC", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config ? c.config : "no config.json");
    testing::TempDir dir;
    if (c.config) std::ofstream(dir / "config.json") << c.config;
    Options options;
    options.dataDir = dir.path();
    options.merchantCode = c.mc;
    options.authToken = c.token;
    const Credentials credentials = ResolveCredentials(options);
    EXPECT_EQ(credentials.merchantCode, c.expectedMc);
    EXPECT_EQ(credentials.authToken, c.expectedToken);
  }
}

TEST(SimOptionsTest, RefusesAConfigFileWithWrongTypes) {
  testing::TempDir dir;
  std::ofstream(dir / "config.json") << R"({"mc": 17})";
  Options options;
  options.dataDir = dir.path();
  EXPECT_THROW(ResolveCredentials(options), std::runtime_error);
}

}  // namespace
}  // namespace qdz::sim
