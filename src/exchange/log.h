#pragma once
// The log callback the service hands to the cycle and the cycle to every stage: one text, one
// log entry (Windows-1251 bytes as given).
#include <functional>
#include <string>

namespace qdz::exchange {

using LogCallback = std::function<void(const std::string&)>;

}  // namespace qdz::exchange
