// The percent-encoding of the data element of a "GET" address. Properties: only the letters,
// digits and ! $ ' ( ) * , - . appear as themselves; every other byte, the space included,
// becomes "%" and two upper-case hex digits; and decoding the result gives the input back.
#include <string>
#include <string_view>

#include "exchange/url_encoding.h"
#include "fuzz_support.h"

namespace {

using qdz::fuzz::Require;

// Written out from the list of bytes that pass, independently of the encoder's own table.
constexpr std::string_view kUnreserved =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*,-.";
constexpr std::string_view kUpperHexDigits = "0123456789ABCDEF";

bool PassesUnchanged(char c) { return kUnreserved.find(c) != std::string_view::npos; }

int HexValue(char c) {
  const auto pos = kUpperHexDigits.find(c);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

// Decodes the encoder's output and checks its form on the way.
std::string Decode(const std::string& encoded) {
  std::string decoded;
  for (std::size_t pos = 0; pos < encoded.size(); ++pos) {
    const char c = encoded[pos];
    if (c != '%') {
      Require(PassesUnchanged(c), "only unreserved characters stand as themselves");
      decoded += c;
      continue;
    }
    Require(encoded.size() - pos > 2, "a percent sign is followed by two digits");
    const int high = HexValue(encoded[pos + 1]);
    const int low = HexValue(encoded[pos + 2]);
    Require(high >= 0 && low >= 0, "escapes use upper-case hex digits");
    const char byte = static_cast<char>(high * 16 + low);
    Require(!PassesUnchanged(byte), "no unreserved character is escaped");
    decoded += byte;
    pos += 2;
  }
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = qdz::fuzz::InputText(data, size);
  const std::string encoded = qdz::exchange::EncodeUrlElement(input);
  Require(Decode(encoded) == input, "decoding gives the input back");
  return 0;
}
