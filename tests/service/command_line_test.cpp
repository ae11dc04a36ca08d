#include "service/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace qdz::service {
namespace {

struct SwitchCase {
  std::vector<std::string> arguments;
  RunMode mode;
  bool silent;
};

// Readable test names.
void PrintTo(const SwitchCase& c, std::ostream* out) {
  if (c.arguments.empty()) *out << "no arguments";
  for (const std::string& argument : c.arguments) *out << "'" << argument << "' ";
}

class Switches : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(Switches, AreWordsAfterDashOrSlashInAnyCase) {
  const CommandLine commandLine = ParseCommandLine(GetParam().arguments);
  EXPECT_EQ(commandLine.mode, GetParam().mode);
  EXPECT_EQ(commandLine.silent, GetParam().silent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Switches,
    ::testing::Values(SwitchCase{{}, RunMode::Service, false},
                      SwitchCase{{"-install"}, RunMode::Install, false},
                      SwitchCase{{"/INSTALL"}, RunMode::Install, false},
                      SwitchCase{{"-install", "-silent"}, RunMode::Install, true},
                      SwitchCase{{"/UNINSTALL"}, RunMode::Uninstall, false},
                      SwitchCase{{"/Silent", "-UnInstall"}, RunMode::Uninstall, true},
                      SwitchCase{{"-uninstall", "-install"}, RunMode::Install, false},  // INSTALL wins
                      SwitchCase{{"-once"}, RunMode::Once, false},
                      SwitchCase{{"-once", "/install"}, RunMode::Install, false},
                      SwitchCase{{"-report"}, RunMode::Report, false},
                      SwitchCase{{"/REPORT", "-once"}, RunMode::Once, false},
                      SwitchCase{{"-silent"}, RunMode::Service, true},
                      SwitchCase{{"install"}, RunMode::Service, false},
                      SwitchCase{{"--install"}, RunMode::Service, false},
                      SwitchCase{{"-installed"}, RunMode::Service, false},
                      SwitchCase{{"-"}, RunMode::Service, false},
                      SwitchCase{{""}, RunMode::Service, false}));

struct ReportCase {
  std::vector<std::string> arguments;
  int count;
  bool json;
};

void PrintTo(const ReportCase& c, std::ostream* out) {
  for (const std::string& argument : c.arguments) *out << "'" << argument << "' ";
}

class ReportOptions : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportOptions, TakeTheCountRightAfterTheSwitchAndJsonAnywhere) {
  const CommandLine commandLine = ParseCommandLine(GetParam().arguments);
  EXPECT_EQ(commandLine.mode, RunMode::Report);
  EXPECT_EQ(commandLine.reportCount, GetParam().count);
  EXPECT_EQ(commandLine.reportJson, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportOptions,
    ::testing::Values(ReportCase{{"-report"}, 20, false},
                      ReportCase{{"/Report", "5"}, 5, false},
                      ReportCase{{"-report", "50", "--json"}, 50, true},
                      ReportCase{{"--json", "-REPORT"}, 20, true},
                      ReportCase{{"-report", "-json", "7"}, 20, true},  // the count must follow the switch
                      ReportCase{{"-report", "0"}, 20, false},
                      ReportCase{{"-report", "-3"}, 20, false},
                      ReportCase{{"-report", "12x"}, 20, false},
                      ReportCase{{"-report", "99999999999"}, 20, false},
                      ReportCase{{"-report", "json"}, 20, false}));

}  // namespace
}  // namespace qdz::service
