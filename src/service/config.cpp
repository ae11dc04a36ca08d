#include "service/config.h"

#include <charconv>
#include <limits>
#include <optional>

#include "service/ini_file.h"

namespace qdz::service {
namespace {

// Whole number in the given base with an optional sign in front; nothing when any character
// is out of place or the value does not fit 32 bits.
std::optional<std::int32_t> ParseSignedInt32(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  }
  // from_chars would take a second sign or the hex prefix again; only digits may follow here.
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  std::int64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t MainIntervalFromText(std::string_view text) {
  const std::int32_t value = ParseSignedInt32(text).value_or(kDefaultMainInterval);
  if (value > kMaxMainInterval) return kDefaultMainInterval;
  if (value < kMinMainInterval) return kMinMainInterval;
  return value;
}

std::string ConnectionParamsText(std::string_view user, std::string_view password, std::string_view role,
                                 std::string_view charset) {
  std::string text;
  text.append("user_name=").append(user).append("\r\n");
  text.append("password=").append(password).append("\r\n");
  text.append("sql_role_name=").append(role).append("\r\n");
  text.append("lc_ctype=").append(charset);
  return text;
}

ServiceConfig ReadServiceConfig(const IniFile& ini) {
  ServiceConfig config;
  config.DatabaseName = ini.ReadString("dbParams", "DatabaseName", "");
  const std::string user = ini.ReadString("dbParams", "user_name", "sysdba");
  const std::string password = ini.ReadString("dbParams", "password", "pondwheel");
  const std::string role = ini.ReadString("dbParams", "sql_role_name", "");
  const std::string charset = ini.ReadString("dbParams", "lc_ctype", "WIN1251");
  config.ConnectionParams = ConnectionParamsText(user, password, role, charset);
  config.MainInterval = MainIntervalFromText(ini.ReadString("main", "Interval", "300"));
  config.CaBundle = ini.ReadString("main", "CaBundle", "");
  return config;
}

ServiceConfig ReadServiceConfig(const std::filesystem::path& file) { return ReadServiceConfig(IniFile(file)); }

}  // namespace qdz::service
