#include "exchange/price_part.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "exchange/json_text.h"
#include "util/codepage.h"

namespace qdz::exchange {
namespace {

constexpr std::size_t kBytesPerItemGuess = 320;
constexpr std::size_t kSignificantDigits = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TakeDigits(std::string_view text, std::size_t& pos) {
  const std::size_t begin = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return text.substr(begin, pos - begin);
}

// A number text cut into its pieces: [sign] integer [. fraction] [E [sign] digits].
struct NumberPieces {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  std::string_view exponent;  // with its sign, empty when there is none
  bool hasExponent = false;
};

// False when the text is no number. The first "," counts as the decimal point, as the database
// client may write the locale's separator.
bool SplitNumber(std::string_view text, NumberPieces& pieces) {
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) pieces.negative = text[pos++] == '-';
  pieces.integer = TakeDigits(text, pos);
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    ++pos;
    pieces.fraction = TakeDigits(text, pos);
  }
  if (pieces.integer.empty() && pieces.fraction.empty()) return false;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    pieces.hasExponent = true;
    const std::size_t begin = ++pos;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
    if (TakeDigits(text, pos).empty()) return false;
    pieces.exponent = text.substr(begin, pos - begin);
  }
  return pos == text.size();
}

std::string_view StripLeadingZeros(std::string_view digits) {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

std::string_view StripTrailingZeros(std::string_view digits) {
  while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1);
  return digits;
}

// More digits than a double carries: the value is rounded like a floating value.
bool NeedsRounding(std::string_view integer, std::string_view fraction) {
  if (fraction.empty()) return false;  // whole numbers (BIGINT too) stay exact
  const std::string_view leading = StripLeadingZeros(integer);
  if (!leading.empty()) return leading.size() + fraction.size() > kSignificantDigits;
  return StripLeadingZeros(fraction).size() > kSignificantDigits;
}

void AppendPlainDecimal(std::string& out, const NumberPieces& pieces) {
  std::string_view integer = StripLeadingZeros(pieces.integer);
  const std::string_view fraction = StripTrailingZeros(pieces.fraction);
  if (integer.empty()) integer = "0";
  const bool zero = integer == "0" && fraction.empty();
  if (pieces.negative && !zero) out += '-';
  out += integer;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
}

// "1e-05" as C writes it becomes "1E-5".
void AppendExponentForm(std::string& out, std::string_view formatted) {
  const std::size_t e = formatted.find('e');
  out += formatted.substr(0, e);
  if (e == std::string_view::npos) return;
  out += 'E';
  std::size_t pos = e + 1;
  if (formatted[pos] == '-') out += '-';
  if (formatted[pos] == '-' || formatted[pos] == '+') ++pos;
  std::string_view digits = StripLeadingZeros(formatted.substr(pos));
  out += digits.empty() ? std::string_view("0") : digits;
}

void AppendFloating(std::string& out, const NumberPieces& pieces) {
  std::string plain;
  if (pieces.negative) plain += '-';
  plain.append(pieces.integer.empty() ? std::string_view("0") : pieces.integer);
  plain += '.';
  plain.append(pieces.fraction.empty() ? std::string_view("0") : pieces.fraction);
  if (pieces.hasExponent) plain.append("e").append(pieces.exponent);

  double value = 0.0;
  const auto parsed = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (parsed.ec != std::errc() || !std::isfinite(value)) {
    out += "null";
    return;
  }
  if (value == 0.0) value = 0.0;  // no "-0"
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                     std::chars_format::general, static_cast<int>(kSignificantDigits));
  AppendExponentForm(out, std::string_view(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data())));
}

void AppendQuoted(std::string& out, std::string_view key, const std::string& escapedValue) {
  out += '"';
  out += key;
  out += "\": \"";
  out += escapedValue;
  out += '"';
}

void AppendNumberMember(std::string& out, std::string_view key, std::string_view text) {
  out += '"';
  out += key;
  out += "\": ";
  AppendJsonNumber(out, text);
}

}  // namespace

void AppendJsonNumber(std::string& out, std::string_view text) {
  NumberPieces pieces;
  if (!SplitNumber(TrimBlanks(text), pieces)) {
    out += "null";
  } else if (pieces.hasExponent || NeedsRounding(pieces.integer, pieces.fraction)) {
    AppendFloating(out, pieces);
  } else {
    AppendPlainDecimal(out, pieces);
  }
}

PricePart::PricePart(std::string_view storeId, std::size_t expectedItems) {
  text_.reserve(64 + expectedItems * kBytesPerItemGuess);
  // Escaped although the store id has always been a plain uuid: a stray quote must not break
  // every part. A plain id keeps its bytes.
  text_ += "{\"store_id\": \"";
  text_ += JsonEscapeString(storeId);
  text_ += "\",\"list\": [";
  openingSize_ = text_.size();
}

void PricePart::Add(const PriceItem& item) {
  if (count_ > 0) text_ += ",\r\n";
  text_ += '{';
  // The id goes out untrimmed ("  12" stays "  12"); only quotes and backslashes are escaped,
  // so that one odd code cannot break the whole part.
  AppendQuoted(text_, "id", JsonEscapeString(item.id));
  text_ += ",\"barcodes\": [\"";
  text_ += JsonEscape(item.barcode);
  text_ += "\"],\"protek\": [],\"katren\": [],\"egk\": [],";
  AppendQuoted(text_, "name", JsonEscape(item.name));
  text_ += ',';
  AppendNumberMember(text_, "price", item.price);
  text_ += ',';
  AppendNumberMember(text_, "available_count", item.available);
  text_ += ',';
  AppendQuoted(text_, "series", JsonEscape(item.series));
  text_ += ',';
  AppendQuoted(text_, "brand_name", JsonEscape(item.brand));
  text_ += '}';
  ++count_;
}

std::string PricePart::Finish() {
  text_ += "]}";
  std::string utf8 = util::Cp1251ToUtf8(text_);
  text_.resize(openingSize_);  // keeps the capacity for the next part
  count_ = 0;
  return utf8;
}

}  // namespace qdz::exchange
