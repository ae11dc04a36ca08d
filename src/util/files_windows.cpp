// The Windows side of the files beside the executable.
#include <windows.h>

#include <stdexcept>
#include <vector>

#include "util/files.h"
#include "util/system_error_text.h"

namespace qdz::util {

std::filesystem::path ExecutablePath() {
  // Paths longer than MAX_PATH exist; the buffer grows until the whole name fits.
  std::vector<char> name(MAX_PATH);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) throw std::runtime_error("GetModuleFileName: " + SystemErrorText(::GetLastError()));
    if (length < name.size()) return std::filesystem::path(std::string(name.data(), length));
    name.resize(name.size() * 2);
  }
  throw std::runtime_error("GetModuleFileName: the program's path is too long");
}

AppendOnlyFile::AppendOnlyFile(const std::filesystem::path& fileName) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA makes every write an append, as O_APPEND does;
  // a handle made without security attributes is not inherited.
  const HANDLE file = ::CreateFileA(fileName.string().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("Cannot open file \"" + fileName.string() + "\". " + SystemErrorText(::GetLastError()));
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

AppendOnlyFile::~AppendOnlyFile() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool AppendOnlyFile::Append(std::string_view bytes) noexcept {
  DWORD written = 0;
  const BOOL ok = ::WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr);
  return ok && written == bytes.size();
}

}  // namespace qdz::util
