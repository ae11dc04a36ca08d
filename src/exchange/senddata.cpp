#include "exchange/senddata.h"

namespace qdz::exchange {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool IsSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

constexpr char kQuote = '"';

// The quoted element that starts at `pos` (on its opening quote); `pos` moves past the closing
// quote. Without a closing quote the element runs to the end of the text.
std::string ReadQuotedElement(std::string_view text, std::size_t& pos) {
  std::string element;
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c != kQuote) {
      element += c;
    } else if (pos < text.size() && text[pos] == kQuote) {
      element += kQuote;
      ++pos;
    } else {
      break;
    }
  }
  return element;
}

std::string ReadPlainElement(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) > 32) ++pos;
  return std::string(text.substr(start, pos - start));
}

}  // namespace

SendData::SendData(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines_.emplace_back(text.substr(pos));
      break;
    }
    lines_.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
}

std::string SendData::Value(std::string_view name) const {
  for (const std::string& line : lines_) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && EqualsIgnoringCase(std::string_view(line).substr(0, equals), name))
      return line.substr(equals + 1);
  }
  return {};
}

std::vector<std::string> SplitDelimitedList(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> elements;
  std::size_t pos = 0;
  while (pos < text.size() && IsSeparator(text[pos])) ++pos;
  while (pos < text.size()) {
    elements.push_back(text[pos] == kQuote ? ReadQuotedElement(text, pos) : ReadPlainElement(text, pos));
    while (pos < text.size() && IsSeparator(text[pos])) ++pos;
  }
  return elements;
}

}  // namespace qdz::exchange
