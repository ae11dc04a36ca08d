#include "exchange/url_encoding.h"

namespace qdz::exchange {
namespace {

bool PassesUnchanged(unsigned char byte) {
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
    return true;
  }
  switch (byte) {
    case '!': case '$': case '\'': case '(': case ')': case '*': case ',': case '-': case '.':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string EncodeUrlElement(const std::string& data) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(data.size() * 3);
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (PassesUnchanged(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace qdz::exchange
