#pragma once
// The system's trimmed text: characters of codes 0 to 32 removed at both ends.
#include <string>
#include <string_view>

namespace qdz::util {

std::string Trim(std::string_view text);

}  // namespace qdz::util
