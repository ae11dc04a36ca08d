#pragma once
// What every fuzz target shares: the input as a text, and a property check that stops the run
// with a message, so that libFuzzer records the input as a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qdz::fuzz {

inline std::string InputText(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  __builtin_trap();
}

}  // namespace qdz::fuzz
