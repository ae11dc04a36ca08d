// The POSIX side of the files beside the executable.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "util/files.h"

namespace qdz::util {

std::filesystem::path ExecutablePath() { return std::filesystem::read_symlink("/proc/self/exe"); }

AppendOnlyFile::AppendOnlyFile(const std::filesystem::path& fileName)
    // O_APPEND: every write lands at the end even when another program writes the file too.
    : handle_(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
  if (handle_ < 0) {
    throw std::runtime_error("Cannot open file \"" + fileName.string() + "\". " + std::strerror(errno));
  }
}

AppendOnlyFile::~AppendOnlyFile() { ::close(static_cast<int>(handle_)); }

bool AppendOnlyFile::Append(std::string_view bytes) noexcept {
  const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
  return written >= 0 && static_cast<std::size_t>(written) == bytes.size();
}

}  // namespace qdz::util
