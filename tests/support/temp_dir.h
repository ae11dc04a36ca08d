#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.
#include <filesystem>
#include <string>

namespace qdz::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The whole content of a file as bytes; empty when it does not exist.
std::string ReadFileBytes(const std::filesystem::path& file);

}  // namespace qdz::testing
