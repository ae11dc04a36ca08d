#pragma once
// The service's configuration file "QDZELVORANT.ini": the database to connect to and how, and
// the main interval between exchange cycles. Read once at start, never written.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qdz::service {

class IniFile;

inline constexpr const char* kConfigFileName = "QDZELVORANT.ini";

inline constexpr std::int32_t kDefaultMainInterval = 300;
inline constexpr std::int32_t kMinMainInterval = 30;
inline constexpr std::int32_t kMaxMainInterval = 600;

struct ServiceConfig {
  std::string DatabaseName;
  std::string ConnectionParams;  // the connection's whole parameter list
  std::int32_t MainInterval = kDefaultMainInterval;  // loop turns of one second
  std::string CaBundle;  // CA bundle file for a marketplace with a private authority; may be empty
};

// "Interval" as written: decimal with an optional sign, or hexadecimal after 0x, 0X or $.
// Anything else, the empty text included, counts as 300. The result is bounded: above 600
// gives 300, below 30 gives 30.
std::int32_t MainIntervalFromText(std::string_view text);

// "user_name=...", "password=...", "sql_role_name=...", "lc_ctype=..." joined by CR LF, with
// the values unchanged and no line break after the last.
std::string ConnectionParamsText(std::string_view user, std::string_view password, std::string_view role,
                                 std::string_view charset);

ServiceConfig ReadServiceConfig(const IniFile& ini);
ServiceConfig ReadServiceConfig(const std::filesystem::path& file);

}  // namespace qdz::service
