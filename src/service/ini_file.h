#pragma once
// A read-only INI file ("[section]" lines followed by "key=value" lines) read the way the
// Windows profile reader reads it, so that a configuration written for the Windows service
// means the same here.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qdz::service {

class IniFile {
 public:
  // The longest value handed out; the rest of a longer value is cut off.
  static constexpr std::size_t kMaxValueLength = 2047;

  // A file that is missing or cannot be read is an empty file: every key takes its default.
  explicit IniFile(const std::filesystem::path& file);
  static IniFile FromText(std::string_view text);

  // Section and key names match without regard to case. Blanks around the value and one pair
  // of quotation marks (double or single) enclosing the whole value are dropped. A key written
  // with nothing after "=" gives the empty text, not the default.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

 private:
  IniFile() = default;
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;
};

}  // namespace qdz::service
