#pragma once
// The systemd unit that makes the program a service started at boot ("QDZELVORANTService.service",
// Type=notify, running the executable with no arguments). INSTALL writes and enables it,
// UNINSTALL disables and removes it. Failures raise UnitError with the system's error text.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace qdz::service {

inline constexpr const char* kUnitFileName = "QDZELVORANTService.service";
// Redirects the unit folder (tests, packaging); systemctl is then left alone.
inline constexpr const char* kUnitFolderVariable = "QDZ_SYSTEMD_UNIT_DIR";
inline constexpr const char* kSystemUnitFolder = "/etc/systemd/system";

class UnitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The unit's text; the path is escaped for ExecStart (quotes, backslashes, "%").
std::string UnitFileText(const std::filesystem::path& executable);

class UnitInstaller {
 public:
  // useSystemctl: reload systemd and enable/disable the unit after writing/removing the file.
  UnitInstaller(std::filesystem::path folder, bool useSystemctl);
  // The machine's installer: the folder from the environment or the system's, and systemctl
  // only when the folder is the system's and systemd runs.
  static UnitInstaller ForThisMachine();

  std::filesystem::path UnitFile() const { return folder_ / kUnitFileName; }
  bool UsesSystemctl() const { return useSystemctl_; }
  // Fails when the unit exists already.
  void Install(const std::filesystem::path& executable) const;
  // Fails when there is no unit.
  void Uninstall() const;

 private:
  std::filesystem::path folder_;
  bool useSystemctl_;
};

}  // namespace qdz::service
