#include "service/systemd_unit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "support/temp_dir.h"

namespace qdz::service {
namespace {

using qdz::testing::ReadFileBytes;
using qdz::testing::TempDir;

std::string ExecStartLine(const std::string& unitText) {
  const std::size_t start = unitText.find("\nExecStart=");
  if (start == std::string::npos) return {};
  const std::size_t end = unitText.find('\n', start + 1);
  return unitText.substr(start + 1, end - start - 1);
}

TEST(UnitFile, StartsTheProgramAtBootAsANotifyService) {
  const std::string text = UnitFileText("/opt/qdz/qdzelvorant");
  EXPECT_NE(text.find("\n[Service]\nType=notify\n"), std::string::npos) << text;
  EXPECT_EQ(ExecStartLine(text), "ExecStart=/opt/qdz/qdzelvorant");
  EXPECT_NE(text.find("\n[Install]\nWantedBy=multi-user.target\n"), std::string::npos) << text;
}

struct ExecCase {
  const char* name;
  const char* path;
  const char* line;
};

// Readable test names.
void PrintTo(const ExecCase& c, std::ostream* out) { *out << c.name; }

class ExecStartPath : public ::testing::TestWithParam<ExecCase> {};

// systemd would expand "%" and split on blanks; a path must come through whole.
TEST_P(ExecStartPath, IsEscaped) {
  EXPECT_EQ(ExecStartLine(UnitFileText(GetParam().path)), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExecStartPath,
                         ::testing::Values(ExecCase{"Plain", "/opt/qdz/qdzelvorant", "ExecStart=/opt/qdz/qdzelvorant"},
                                           ExecCase{"Percent", "/opt/100%/qdz", "ExecStart=/opt/100%%/qdz"},
                                           ExecCase{"Blank", "/opt/my apps/qdz", "ExecStart=\"/opt/my apps/qdz\""},
                                           ExecCase{"QuoteAndBackslash", "/opt/a\"b\\c/qdz", "ExecStart=\"/opt/a\\\"b\\\\c/qdz\""}));

TEST(UnitInstaller, InstallsOnceAndUninstallsOnce) {
  const TempDir dir;
  const UnitInstaller installer(dir.path(), false);
  installer.Install("/opt/qdz/qdzelvorant");
  EXPECT_EQ(ReadFileBytes(dir / "QDZELVORANTService.service"), UnitFileText("/opt/qdz/qdzelvorant"));
  try {
    installer.Install("/elsewhere/qdzelvorant");
    FAIL() << "installed twice";
  } catch (const UnitError& e) {
    EXPECT_STREQ(e.what(), "The specified service already exists.");
  }
  // The first unit is left as it was.
  EXPECT_EQ(ReadFileBytes(dir / "QDZELVORANTService.service"), UnitFileText("/opt/qdz/qdzelvorant"));
  installer.Uninstall();
  EXPECT_FALSE(std::filesystem::exists(dir / "QDZELVORANTService.service"));
  try {
    installer.Uninstall();
    FAIL() << "uninstalled what is not there";
  } catch (const UnitError& e) {
    EXPECT_STREQ(e.what(), "The specified service does not exist as an installed service.");
  }
}

TEST(UnitInstaller, MissingFolderIsAFailureWithTheSystemsText) {
  const TempDir dir;
  const UnitInstaller installer(dir / "no-such-folder", false);
  try {
    installer.Install("/opt/qdz/qdzelvorant");
    FAIL() << "installed into a missing folder";
  } catch (const UnitError& e) {
    EXPECT_STREQ(e.what(), "No such file or directory");
  }
}

TEST(UnitInstaller, RedirectedFolderNeverTouchesSystemd) {
  const TempDir dir;
  const char* previous = std::getenv(kUnitFolderVariable);
  const std::string saved = previous ? previous : "";
  ::setenv(kUnitFolderVariable, dir.path().c_str(), 1);
  const UnitInstaller installer = UnitInstaller::ForThisMachine();
  previous ? ::setenv(kUnitFolderVariable, saved.c_str(), 1) : ::unsetenv(kUnitFolderVariable);
  EXPECT_EQ(installer.UnitFile(), dir / "QDZELVORANTService.service");
  EXPECT_FALSE(installer.UsesSystemctl());
}

}  // namespace
}  // namespace qdz::service
