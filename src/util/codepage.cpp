#include "util/codepage.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace qdz::util {
namespace {

constexpr char32_t kUndefined = 0;

// Unicode code points of the bytes 0x80-0xFF; 0x98 is the one byte Windows-1251 leaves undefined.
constexpr std::array<char32_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    kUndefined, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    // 0xC0-0xFF: А..я, in the order of the Unicode block.
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char kReplacement = '?';

// The Windows-1251 byte of a code point, or false when the code page lacks it.
bool EncodeCp1251(char32_t codePoint, char& byte) {
  if (codePoint < 0x80) {
    byte = static_cast<char>(codePoint);
    return true;
  }
  if (codePoint >= 0x0410 && codePoint <= 0x044F) {  // the common case: А..я
    byte = static_cast<char>(0xC0 + (codePoint - 0x0410));
    return true;
  }
  for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
    if (kUpperHalf[i] == codePoint) {
      byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

void AppendUtf8(char32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {  // the table holds nothing beyond the Basic Multilingual Plane
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// Reads one UTF-8 sequence at `pos` and moves past it. False for anything that is not the
// shortest encoding of a Unicode scalar value: stray continuation bytes, truncated sequences,
// overlong forms, surrogates and values above U+10FFFF.
bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    codePoint = lead;
    ++pos;
    return true;
  }
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
    codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
    codePoint = lead & 0x07u;
  } else {
    return false;  // a continuation byte, C0/C1 (always overlong) or F5..FF
  }
  if (text.size() - pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF) return false;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
  pos += length;
  return true;
}

enum class Conversion { kExact, kWithReplacements, kMalformed };

Conversion ConvertUtf8ToCp1251(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  Conversion outcome = Conversion::kExact;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t codePoint = 0;
    if (!DecodeUtf8(utf8, pos, codePoint)) {
      out.clear();
      return Conversion::kMalformed;
    }
    char byte = kReplacement;
    if (!EncodeCp1251(codePoint, byte)) outcome = Conversion::kWithReplacements;
    out += byte;
  }
  return outcome;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  ConvertUtf8ToCp1251(utf8, out);
  return out;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (const char c : cp1251) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
      continue;
    }
    const char32_t codePoint = kUpperHalf[byte - 0x80u];
    if (codePoint == kUndefined) {
      out += kReplacement;
    } else {
      AppendUtf8(codePoint, out);
    }
  }
  return out;
}

std::string W1251(std::string_view utf8Literal) {
  std::string out;
  if (ConvertUtf8ToCp1251(utf8Literal, out) != Conversion::kExact) {
    // A literal of our own sources: a wrong one is a defect, not something to send on.
    throw std::logic_error("Text literal has no exact Windows-1251 form: " + std::string(utf8Literal));
  }
  return out;
}

}  // namespace qdz::util
