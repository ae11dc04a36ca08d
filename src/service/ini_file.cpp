#include "service/ini_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace qdz::service {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view WithoutEnclosingQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The name of a "[name]" line, or nothing when the line does not open a section.
std::optional<std::string_view> SectionName(std::string_view line) {
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

std::vector<std::string> SplitLines(std::string_view text) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

IniFile::IniFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  lines_ = SplitLines(text);
}

IniFile IniFile::FromText(std::string_view text) {
  IniFile ini;
  ini.lines_ = SplitLines(text);
  return ini;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (const std::string& rawLine : lines_) {
    const std::string_view line = TrimBlanks(rawLine);
    if (const auto name = SectionName(line)) {
      inSection = SameName(*name, section);
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || !SameName(TrimBlanks(line.substr(0, equals)), key)) continue;
    return std::string(WithoutEnclosingQuotes(TrimBlanks(line.substr(equals + 1))));
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  std::string value = Find(section, key).value_or(std::string(defaultValue));
  if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
  return value;
}

}  // namespace qdz::service
