// The configuration file reader and the service configuration built from it. Properties: reading
// never fails and gives the same result twice; the main interval always lies within its bounds;
// every value read is either its default or a piece of the file, at most 2047 characters long;
// and a file with CR LF line ends means the same as the file with LF line ends.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "service/config.h"
#include "service/ini_file.h"

namespace {

using qdz::fuzz::Require;
using qdz::service::IniFile;
using qdz::service::ServiceConfig;

struct Key {
  std::string_view section;
  std::string_view name;
  std::string_view defaultValue;
};

constexpr Key kKeys[] = {
    {"dbParams", "DatabaseName", ""},     {"dbParams", "user_name", "sysdba"},
    {"dbParams", "password", "pondwheel"}, {"dbParams", "sql_role_name", ""},
    {"dbParams", "lc_ctype", "WIN1251"},  {"main", "Interval", "300"},
    {"main", "CaBundle", ""},
};

bool SameConfig(const ServiceConfig& a, const ServiceConfig& b) {
  return a.DatabaseName == b.DatabaseName && a.ConnectionParams == b.ConnectionParams &&
         a.MainInterval == b.MainInterval && a.CaBundle == b.CaBundle;
}

std::string WithCrLfLineEnds(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = qdz::fuzz::InputText(data, size);
  const IniFile ini = IniFile::FromText(input);

  for (const Key& key : kKeys) {
    const std::string value = ini.ReadString(key.section, key.name, key.defaultValue);
    Require(value.size() <= IniFile::kMaxValueLength, "values are cut at 2047 characters");
    Require(value == key.defaultValue || input.find(value) != std::string::npos,
            "a value is its default or a piece of the file");
  }

  const ServiceConfig config = qdz::service::ReadServiceConfig(ini);
  Require(config.MainInterval >= qdz::service::kMinMainInterval &&
              config.MainInterval <= qdz::service::kMaxMainInterval,
          "the main interval lies within its bounds");
  Require(config.ConnectionParams.starts_with("user_name="), "the parameter text starts with the user");
  Require(SameConfig(config, qdz::service::ReadServiceConfig(IniFile::FromText(input))),
          "reading is deterministic");
  Require(SameConfig(config, qdz::service::ReadServiceConfig(IniFile::FromText(WithCrLfLineEnds(input)))),
          "CR LF and LF line ends read alike");
  return 0;
}
