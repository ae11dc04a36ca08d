#pragma once
// Files beside the executable: where that is, writing a text into one, and a file that only
// ever grows at its end (the service log).
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qdz::util {

// Creates the file, replacing one of that name, and writes exactly the text's bytes into it.
// Throws std::runtime_error "Cannot create file "<full path>". <system reason>" when it cannot be
// created, and "Cannot write file "<full path>". <system reason>" when the bytes do not all land.
void SaveStringToFile(const std::string& text, const std::filesystem::path& fileName);

// The full path of the running program (symbolic links resolved) and the folder that holds it.
std::filesystem::path ExecutablePath();
std::filesystem::path ExecutableFolder();

// A file opened for writing at its end only. Other programs may read and write it meanwhile;
// child processes do not inherit it. Each Append lands at the end of the file, whoever else
// wrote there, in one unbuffered write.
class AppendOnlyFile {
 public:
  // Creates the file when missing, keeps what it holds. Throws std::runtime_error
  // "Cannot open file "<name>". <system reason>" when neither is possible.
  explicit AppendOnlyFile(const std::filesystem::path& fileName);
  ~AppendOnlyFile();
  AppendOnlyFile(const AppendOnlyFile&) = delete;
  AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

  // True when every byte was written.
  bool Append(std::string_view bytes) noexcept;

 private:
  std::intptr_t handle_;  // a descriptor or a Windows handle, whichever the platform has
};

}  // namespace qdz::util
