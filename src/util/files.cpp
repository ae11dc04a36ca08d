#include "util/files.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace qdz::util {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string FullPath(const std::filesystem::path& fileName) {
  std::error_code ignored;
  const std::filesystem::path full = std::filesystem::absolute(fileName, ignored);
  return (full.empty() ? fileName : full.lexically_normal()).string();
}

[[noreturn]] void ThrowFileError(const char* what, const std::filesystem::path& fileName, int error) {
  if (error == 0) error = EIO;  // a short write need not say why
  // An errno value: the generic category (on Windows the system category means Win32 codes).
  throw std::runtime_error(std::string(what) + " \"" + FullPath(fileName) + "\". " +
                           std::generic_category().message(error));
}

}  // namespace

void SaveStringToFile(const std::string& text, const std::filesystem::path& fileName) {
  FileHandle file(std::fopen(fileName.string().c_str(), "wb"));
  if (!file) ThrowFileError("Cannot create file", fileName, errno);

  // A full disk must not pass for a saved file: every byte written and the close confirmed.
  errno = 0;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    ThrowFileError("Cannot write file", fileName, errno);
  }
  if (std::fclose(file.release()) != 0) ThrowFileError("Cannot write file", fileName, errno);
}

std::filesystem::path ExecutableFolder() { return ExecutablePath().parent_path(); }

}  // namespace qdz::util
