#include "service/command_line.h"

#include <algorithm>
#include <cctype>

namespace qdz::service {

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  return std::ranges::any_of(arguments, [name](const std::string& argument) {
    if (argument.size() != name.size() + 1 || (argument.front() != '-' && argument.front() != '/')) return false;
    return std::equal(name.begin(), name.end(), argument.begin() + 1, [](char expected, char given) {
      return std::toupper(static_cast<unsigned char>(given)) == std::toupper(static_cast<unsigned char>(expected));
    });
  });
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  commandLine.silent = HasSwitch(arguments, "SILENT");
  if (HasSwitch(arguments, "INSTALL")) {
    commandLine.mode = RunMode::Install;
  } else if (HasSwitch(arguments, "UNINSTALL")) {
    commandLine.mode = RunMode::Uninstall;
  } else if (HasSwitch(arguments, "ONCE")) {
    commandLine.mode = RunMode::Once;
  }
  return commandLine;
}

}  // namespace qdz::service
