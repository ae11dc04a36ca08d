#pragma once
// Tolerant number parsing and zero-padded numbers shared by the exchange code.
#include <cstdint>
#include <string>

namespace qdz::util {

// Decimal text padded with zeros in front to three digits ("007"); longer numbers are not cut.
std::string IntToStr3(std::int32_t value);

}  // namespace qdz::util
