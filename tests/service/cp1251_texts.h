#pragma once
// The service's Cyrillic log lines as the Windows-1251 bytes that must reach the file, written
// out byte by byte so that no conversion of ours can hide a wrong code page.
namespace qdz::service::cp1251 {

inline constexpr const char* kStartLine = "\xD1\xF2\xE0\xF0\xF2 \xF1\xEB\xF3\xE6\xE1\xFB";  // Старт службы
inline constexpr const char* kStopLine =
    "\xD8\xF2\xE0\xF2\xED\xE0\xFF \xEE\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 \xF1\xEB\xF3\xE6\xE1\xFB";  // Штатная остановка службы

}  // namespace qdz::service::cp1251
