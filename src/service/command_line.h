#pragma once
// The program's switches: a word after "-" or "/", in any case. INSTALL wins over UNINSTALL;
// SILENT only quiets their success message; ONCE runs one exchange cycle and ends; REPORT
// prints the journal's state for an administrator: an optional whole number right after it is
// how many recent rows to show, and "-json" or "--json" anywhere asks for JSON. Any other
// argument is ignored.
#include <string>
#include <string_view>
#include <vector>

namespace qdz::service {

enum class RunMode { Service, Install, Uninstall, Once, Report };

struct CommandLine {
  RunMode mode = RunMode::Service;
  bool silent = false;
  int reportCount = 20;
  bool reportJson = false;
};

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view name);
// The arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace qdz::service
