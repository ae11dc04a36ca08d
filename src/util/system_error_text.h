#pragma once
// The system's own text for a Windows error code ("Access is denied."), in the system's ANSI
// code page, without the line break Windows ends it with. Windows only.
#include <cstdint>
#include <string>

namespace qdz::util {

// module: a DLL whose message table holds the code (WinHTTP's), or none for the system's.
std::string SystemErrorText(std::uint32_t code, const char* module = nullptr);

}  // namespace qdz::util
