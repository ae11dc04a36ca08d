#include "support/test_database.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace qdz::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSchemaDir = fs::path(QDZ_SOURCE_DIR) / "schema";
const fs::path kTemplatePath = fs::path(QDZ_BINARY_DIR) / "test-template.fdb";

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

struct CommandResult {
  int exitCode;
  std::string output;  // stdout and stderr together
};

CommandResult RunCommand(const std::string& command) {
  struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
  };
  FILE* raw = popen((command + " 2>&1").c_str(), "r");
  if (raw == nullptr) throw std::runtime_error("cannot run: " + command);
  std::unique_ptr<FILE, PipeCloser> pipe(raw);

  std::string output;
  std::array<char, 4096> buffer{};
  std::size_t count = 0;
  while ((count = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
    output.append(buffer.data(), count);
  }
  const int status = pclose(pipe.release());
  const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return {exitCode, output};
}

// isql waits for the terminator of the last statement and would report an unexpected end
// without it: "select 1 from rdb$database" is accepted as a whole statement.
std::string Terminated(const std::string& sql) {
  const std::size_t last = sql.find_last_not_of(" \t\r\n");
  if (last == std::string::npos || sql[last] == ';' || sql[last] == '^') return sql;
  return sql + ";";
}

CommandResult RunIsqlScript(const std::string& dbPath, const std::string& sql, bool bail) {
  TempDir scratch;
  const fs::path script = scratch / "script.sql";
  std::ofstream(script, std::ios::binary) << Terminated(sql) << "\n";
  return RunCommand(std::string("isql-fb -q -u SYSDBA -ch UTF8 ") + (bail ? "-b " : "") +
                    "-i " + ShellQuote(script.string()) + " " + ShellQuote(dbPath));
}

// The template is out of date when the schema changed after it was made.
bool TemplateIsCurrent() {
  std::error_code error;
  const auto made = fs::last_write_time(kTemplatePath, error);
  if (error) return false;
  for (const char* source : {"pharmacy.sql", "create-db"}) {
    if (fs::last_write_time(kSchemaDir / source) > made) return false;
  }
  return true;
}

// Made under a private name and renamed into place, so that programs running at the
// same time each see either the old template or a complete new one.
void MakeTemplate() {
  const fs::path work = kTemplatePath.string() + "." + std::to_string(getpid()) + ".tmp";
  fs::remove(work);
  CreateDatabase(work);
  fs::rename(work, kTemplatePath);
}

// isql pads column names to 31 characters and one blank in "set list on" output.
constexpr std::size_t kListValueColumn = 32;

bool IsListColumnLine(const std::string& line) {
  if (line.size() < kListValueColumn || line[kListValueColumn - 1] != ' ') return false;
  if (line[0] == ' ') return false;
  const std::size_t nameEnd = line.find(' ');
  return line.find_first_not_of(' ', nameEnd) >= kListValueColumn - 1;
}

// A blob's value line holds its id ("0:1b"); its text follows on the next lines.
bool IsBlobId(const std::string& value) {
  static const std::regex id("[0-9a-f]+:[0-9a-f]+");
  return std::regex_match(value, id);
}

// Reads "set list on" output: "NAME<blanks>value" lines, a value that spans lines (a blob's
// text, a text holding line breaks) continuing on the lines after. Blank lines may belong to
// such a value, so a row ends where a column name comes again, not at a blank line.
class ListOutputParser {
 public:
  void Line(const std::string& line) {
    if (IsListColumnLine(line)) {
      FinishColumn();
      const std::string name = line.substr(0, line.find(' '));
      if (row_.contains(name)) rows_.push_back(std::exchange(row_, {}));
      row_[name] = line.substr(kListValueColumn);
      column_ = name;
    } else if (!column_.empty()) {
      if (continued_) continuation_ += "\n";
      continuation_ += line;
      continued_ = true;
    }
  }

  std::vector<IsqlRow> Finish() {
    FinishColumn();
    if (!row_.empty()) rows_.push_back(std::move(row_));
    return std::move(rows_);
  }

 private:
  // The blank lines that part rows are no part of a value: trailing line breaks go.
  void FinishColumn() {
    if (column_.empty()) return;
    continuation_.erase(continuation_.find_last_not_of('\n') + 1);
    std::string& value = row_[column_];
    if (continued_ && IsBlobId(value)) {
      value = continuation_;
    } else if (!continuation_.empty()) {
      value += "\n" + continuation_;
    }
    column_.clear();
    continuation_.clear();
    continued_ = false;
  }

  std::vector<IsqlRow> rows_;
  IsqlRow row_;
  std::string column_;
  std::string continuation_;
  bool continued_ = false;
};

std::vector<IsqlRow> ParseListOutput(const std::string& output) {
  ListOutputParser parser;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    parser.Line(output.substr(start, end - start));
    start = end + 1;
  }
  return parser.Finish();
}

}  // namespace

TestDatabase::TestDatabase() : path_(dir_ / "pharmacy.fdb") {
  fs::copy_file(TemplateDatabasePath(), path_);
}

fs::path TemplateDatabasePath() {
  static std::once_flag checked;
  std::call_once(checked, [] {
    if (!TemplateIsCurrent()) MakeTemplate();
  });
  return kTemplatePath;
}

void CreateDatabase(const fs::path& dbPath, const std::string& arguments) {
  const CommandResult result = RunCommand(ShellQuote((kSchemaDir / "create-db").string()) + " " +
                                          ShellQuote(dbPath.string()) + " " + arguments);
  if (result.exitCode != 0) {
    throw std::runtime_error("schema/create-db " + dbPath.string() + " " + arguments +
                             " failed:\n" + result.output);
  }
}

std::string RunIsql(const std::string& dbPath, const std::string& sql) {
  return RunIsqlScript(dbPath, sql, false).output;
}

std::string ExecuteIsql(const std::string& dbPath, const std::string& sql) {
  const CommandResult result = RunIsqlScript(dbPath, sql, true);
  if (result.exitCode != 0) {
    [&] { FAIL() << "isql-fb failed on " << dbPath << ":\n" << sql << "\n" << result.output; }();
  }
  return result.output;
}

std::vector<IsqlRow> QueryIsql(const std::string& dbPath, const std::string& select) {
  const std::string output = ExecuteIsql(dbPath, "set list on;\n" + select);
  return ParseListOutput(output);
}

}  // namespace qdz::testing
