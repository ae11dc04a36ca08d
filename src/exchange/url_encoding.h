#pragma once
// Percent-encoding of a text for one element of a query: every byte outside the letters, digits
// and ! $ ' ( ) * , - . becomes "%" and two upper-case hex digits; a space gives "%20".
#include <string>

namespace qdz::exchange {

std::string EncodeUrlElement(const std::string& data);

}  // namespace qdz::exchange
