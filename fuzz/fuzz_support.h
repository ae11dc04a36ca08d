#pragma once
// What every fuzz target shares: the input as a text, a property check that stops the run with
// a message, so that libFuzzer records the input as a finding, and a UTF-8 check that does not
// rely on the code under test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

namespace qdz::fuzz {

inline std::string InputText(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  __builtin_trap();
}

// Well-formed UTF-8, as nlohmann's serializer judges it (it rejects malformed sequences).
inline bool IsValidUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace qdz::fuzz
