#include "service/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace qdz::service {

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  return std::ranges::any_of(arguments, [name](const std::string& argument) {
    if (argument.size() != name.size() + 1 || (argument.front() != '-' && argument.front() != '/')) return false;
    return std::equal(name.begin(), name.end(), argument.begin() + 1, [](char expected, char given) {
      return std::toupper(static_cast<unsigned char>(given)) == std::toupper(static_cast<unsigned char>(expected));
    });
  });
}

namespace {

// The number that may follow REPORT; anything else after it leaves the default.
std::optional<int> ReportCountAfterSwitch(const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (!HasSwitch({arguments[i]}, "REPORT")) continue;
    const std::string& next = arguments[i + 1];
    int count = 0;
    const auto [end, error] = std::from_chars(next.data(), next.data() + next.size(), count);
    if (error == std::errc() && end == next.data() + next.size() && count > 0) return count;
  }
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  commandLine.silent = HasSwitch(arguments, "SILENT");
  if (HasSwitch(arguments, "INSTALL")) {
    commandLine.mode = RunMode::Install;
  } else if (HasSwitch(arguments, "UNINSTALL")) {
    commandLine.mode = RunMode::Uninstall;
  } else if (HasSwitch(arguments, "ONCE")) {
    commandLine.mode = RunMode::Once;
  } else if (HasSwitch(arguments, "REPORT")) {
    commandLine.mode = RunMode::Report;
    commandLine.reportCount = ReportCountAfterSwitch(arguments).value_or(commandLine.reportCount);
    commandLine.reportJson = HasSwitch(arguments, "JSON") || HasSwitch(arguments, "-JSON");
  }
  return commandLine;
}

}  // namespace qdz::service
