#include "marketplace-sim/encoding.h"

#include <array>
#include <cstdint>

namespace qdz::sim {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentEscape(unsigned char byte) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  return {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
}

// Length of the sequence a lead byte opens, 0 for a byte that cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The second byte of a sequence carries the checks against overlong forms, surrogates and values
// above U+10FFFF.
bool SecondByteAllowed(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0: return second >= 0xA0;
    case 0xED: return second <= 0x9F;
    case 0xF0: return second >= 0x90;
    case 0xF4: return second <= 0x8F;
    default: return true;
  }
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kBase64Alphabet[(group >> shift) & 0x3F];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kBase64Alphabet[(group >> 18) & 0x3F];
    out += kBase64Alphabet[(group >> 12) & 0x3F];
    out += rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexDigitValue(text[i + 1]);
      const int low = HexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::optional<std::string> QueryValue(std::string_view rawQuery, std::string_view name) {
  while (!rawQuery.empty()) {
    const std::size_t end = rawQuery.find('&');
    const std::string_view element = rawQuery.substr(0, end);
    const std::size_t equals = element.find('=');
    if (element.substr(0, equals) == name) {
      return equals == std::string_view::npos ? std::string() : PercentDecode(element.substr(equals + 1));
    }
    if (end == std::string_view::npos) break;
    rawQuery.remove_prefix(end + 1);
  }
  return std::nullopt;
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = Utf8SequenceLength(lead);
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if (!IsContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
    }
    if (length > 1 && !SecondByteAllowed(lead, static_cast<unsigned char>(bytes[i + 1]))) return false;
    i += length;
  }
  return true;
}

std::string SafeFileName(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' ||
                       (byte == '.' && i > 0);
    out += plain ? std::string(1, static_cast<char>(byte)) : PercentEscape(byte);
  }
  return out;
}

}  // namespace qdz::sim
