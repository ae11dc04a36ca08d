#include "util/system_error_text.h"

#include <windows.h>

namespace qdz::util {

std::string SystemErrorText(std::uint32_t code, const char* module) {
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (module != nullptr) {
    source = ::GetModuleHandleA(module);
    if (source != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  char text[512] = {};
  DWORD length = ::FormatMessageA(flags, source, code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
  if (length == 0) return "system error " + std::to_string(code);
  return std::string(text, length);
}

}  // namespace qdz::util
