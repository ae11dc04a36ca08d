#pragma once
// One of two values chosen by a flag, where a conditional expression would read poorly inline.
#include <type_traits>

namespace qdz::util {

// Both values are evaluated before the call. The type comes from the first value, so a text
// and a string literal mix: IfThenValue(flag, std::string("a"), "b").
template <typename T>
T IfThenValue(bool flag, T valueIfTrue, std::type_identity_t<T> valueIfFalse) {
  return flag ? valueIfTrue : valueIfFalse;
}

}  // namespace qdz::util
