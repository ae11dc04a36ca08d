#include "util/numbers.h"

namespace qdz::util {

std::string IntToStr3(std::int32_t value) {
  // A negative number is "below 10" too, which gives "00-5"; kept as callers never pass one.
  const char* prefix = value < 10 ? "00" : value < 100 ? "0" : "";
  return prefix + std::to_string(value);
}

}  // namespace qdz::util
