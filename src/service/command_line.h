#pragma once
// The program's switches: a word after "-" or "/", in any case. INSTALL wins over UNINSTALL;
// SILENT only quiets their success message; ONCE runs one exchange cycle and ends. Any other
// argument is ignored.
#include <string>
#include <string_view>
#include <vector>

namespace qdz::service {

enum class RunMode { Service, Install, Uninstall, Once };

struct CommandLine {
  RunMode mode = RunMode::Service;
  bool silent = false;
};

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view name);
// The arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace qdz::service
