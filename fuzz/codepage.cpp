// The conversions between UTF-8 and Windows-1251. Properties:
// - Windows-1251 to UTF-8 always gives well-formed UTF-8, and converting back gives the input,
//   with the one undefined byte 0x98 as "?";
// - UTF-8 to Windows-1251 gives one byte per character of well-formed input: the character's own
//   byte where the code page has it, "?" where it lacks it; malformed input gives the empty text;
// - W1251 gives the same bytes, or refuses a text that does not convert exactly.
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "util/codepage.h"

namespace {

using qdz::fuzz::IsValidUtf8;
using qdz::fuzz::Require;

// The UTF-8 form of every byte of the upper half, as the decoding direction gives it.
const std::array<std::string, 128>& UpperHalfInUtf8() {
  static const std::array<std::string, 128> table = [] {
    std::array<std::string, 128> forms;
    for (std::size_t i = 0; i < forms.size(); ++i)
      forms[i] = qdz::util::Cp1251ToUtf8(std::string(1, static_cast<char>(0x80 + i)));
    return forms;
  }();
  return table;
}

bool CodePageHas(std::string_view utf8Character) {
  if (utf8Character.size() == 1) return true;
  for (const std::string& form : UpperHalfInUtf8())
    if (form == utf8Character) return true;
  return false;
}

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

void CheckFromCp1251(const std::string& input) {
  const std::string utf8 = qdz::util::Cp1251ToUtf8(input);
  Require(IsValidUtf8(utf8), "Windows-1251 to UTF-8 gives well-formed UTF-8");
  std::string expected = input;
  for (char& c : expected)
    if (static_cast<unsigned char>(c) == 0x98) c = '?';
  Require(qdz::util::Utf8ToCp1251(utf8) == expected, "Windows-1251 survives the round trip");
}

// Gives true when every character converted exactly.
bool CheckFromUtf8(const std::string& input, const std::string& converted) {
  std::size_t pos = 0;
  bool exact = true;
  for (const char byte : converted) {
    Require(pos < input.size(), "one byte per character");
    const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(input[pos]));
    const std::string_view character = std::string_view(input).substr(pos, length);
    pos += length;
    if (CodePageHas(character)) {
      Require(qdz::util::Cp1251ToUtf8(std::string(1, byte)) == character, "a character the code page has keeps its byte");
    } else {
      Require(byte == '?', "a character the code page lacks becomes \"?\"");
      exact = false;
    }
  }
  Require(pos == input.size(), "one byte per character");
  return exact;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = qdz::fuzz::InputText(data, size);
  CheckFromCp1251(input);

  const std::string converted = qdz::util::Utf8ToCp1251(input);
  bool exact = false;
  if (IsValidUtf8(input)) {
    exact = CheckFromUtf8(input, converted);
  } else {
    Require(converted.empty(), "malformed UTF-8 gives the empty text");
  }

  try {
    const std::string literal = qdz::util::W1251(input);
    Require(exact && literal == converted, "W1251 converts only exact texts, as Utf8ToCp1251 does");
  } catch (const std::logic_error&) {
    Require(!exact, "W1251 refuses only texts without an exact form");
  }
  return 0;
}
