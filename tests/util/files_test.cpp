#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"
#include "util/files.h"

namespace qdz::util {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

std::string ErrorOf(const std::string& text, const fs::path& file) {
  try {
    SaveStringToFile(text, file);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(SaveStringToFile, WritesExactlyTheBytes) {
  const testing::TempDir dir;
  const std::string text = "{\"id\":\"\xc0\xe1\"}\r\n\x00\xff"s;
  SaveStringToFile(text, dir / "part.json");
  EXPECT_EQ(testing::ReadFileBytes(dir / "part.json"), text);
}

TEST(SaveStringToFile, EmptyTextLeavesAnEmptyFile) {
  const testing::TempDir dir;
  SaveStringToFile("", dir / "empty.json");
  ASSERT_TRUE(fs::exists(dir / "empty.json"));
  EXPECT_EQ(fs::file_size(dir / "empty.json"), 0u);
}

TEST(SaveStringToFile, ReplacesALongerFile) {
  const testing::TempDir dir;
  std::ofstream(dir / "f.txt") << "a much longer old content";
  SaveStringToFile("new", dir / "f.txt");
  EXPECT_EQ(testing::ReadFileBytes(dir / "f.txt"), "new");
}

TEST(SaveStringToFile, FailureNamesTheFullPathAndTheReason) {
  const testing::TempDir dir;
  EXPECT_EQ(ErrorOf("x", dir / "missing" / "f.json"),
            "Cannot create file \"" + (dir / "missing" / "f.json").string() + "\". No such file or directory");
  EXPECT_EQ(ErrorOf("x", dir.path()), "Cannot create file \"" + dir.path().string() + "\". Is a directory");

  const fs::path relative = "qdz-no-such-folder/sub/../f.json";
  EXPECT_EQ(ErrorOf("x", relative), "Cannot create file \"" + (fs::current_path() / "qdz-no-such-folder/f.json").string() +
                                        "\". No such file or directory");
}

TEST(SaveStringToFile, AFullDeviceIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(ErrorOf(std::string(1 << 16, 'x'), "/dev/full"), "Cannot write file \"/dev/full\". No space left on device");
}

TEST(ExecutableFolder, IsTheFolderOfTheRunningProgram) {
  const fs::path folder = ExecutableFolder();
  EXPECT_TRUE(folder.is_absolute());
  EXPECT_TRUE(fs::equivalent(folder, fs::path(QDZ_BINARY_DIR) / "tests" / "util"));
}

}  // namespace
}  // namespace qdz::util
