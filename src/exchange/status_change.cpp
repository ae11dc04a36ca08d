#include "exchange/status_change.h"

#include <cmath>
#include <stdexcept>
#include <string_view>

#include "exchange/senddata.h"
#include "exchange/time_zone.h"
#include "util/numbers.h"

namespace qdz::exchange {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::size_t CountDigits(std::string_view text, std::size_t pos) {
  std::size_t count = 0;
  while (pos + count < text.size() && IsDigit(text[pos + count])) ++count;
  return count;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)? and nothing else.
bool IsJsonNumber(std::string_view text) {
  std::size_t pos = 0;
  if (pos < text.size() && text[pos] == '-') ++pos;
  const std::size_t integerDigits = CountDigits(text, pos);
  if (integerDigits == 0 || (integerDigits > 1 && text[pos] == '0')) return false;
  pos += integerDigits;
  if (pos < text.size() && text[pos] == '.') {
    const std::size_t fractionDigits = CountDigits(text, ++pos);
    if (fractionDigits == 0) return false;
    pos += fractionDigits;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t exponentDigits = CountDigits(text, pos);
    if (exponentDigits == 0) return false;
    pos += exponentDigits;
  }
  return pos == text.size();
}

// True when the text can stand between the quotes of a JSON string as it is: no control
// character, no bare quote, and every backslash the start of a valid escape.
bool IsValidInsideJsonString(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') return false;
    if (c != '\\') continue;
    if (++pos >= text.size()) return false;
    const char escaped = text[pos];
    if (escaped == 'u') {
      if (text.size() - pos <= 4) return false;
      for (std::size_t i = 1; i <= 4; ++i)
        if (!IsHexDigit(text[pos + i])) return false;
      pos += 4;
    } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::int64_t ReadReservationEnd(const std::string& text) {
  double days = 0.0;
  if (!util::TryParseFloat(text, days)) return 0;
  return ReservationEndUnixTime(days);
}

std::vector<std::string> ReadItems(const std::string& text) {
  std::vector<std::string> items = SplitDelimitedList(text);
  for (const std::string& item : items) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos || !IsJsonNumber(std::string_view(item).substr(0, equals)) ||
        !IsJsonNumber(std::string_view(item).substr(equals + 1)))
      throw std::runtime_error("items is incorrect");
  }
  return items;
}

std::string ItemsPiece(const std::vector<std::string>& items) {
  if (items.empty()) return {};
  std::string piece = ",\"items\":[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::size_t equals = items[i].find('=');
    if (i > 0) piece += ',';
    piece += "{\"id\":" + items[i].substr(0, equals) + ",\"quantity\":" + items[i].substr(equals + 1) + "}";
  }
  return piece + "]";
}

}  // namespace

std::int64_t ReservationEndUnixTime(double localDays) {
  if (!(localDays > 0.0)) return 0;
  const double utcDays = (localDays * 24.0 + TimeZoneHours()) / 24.0;
  const double seconds = std::nearbyint((utcDays - 25569.0) * 86400.0);
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(seconds >= -kLimit && seconds < kLimit)) return 0;
  return static_cast<std::int64_t>(seconds);
}

StatusChange ReadStatusChange(const std::string& sendData) {
  const SendData data(sendData);
  StatusChange change;
  if (!util::TryParseInt64(data.Value("id"), change.orderId)) throw std::runtime_error("order_id is incorrect");
  if (!util::TryParseInt(data.Value("status_id"), change.statusId))
    throw std::runtime_error("status_id is incorrect");
  change.reservationEnd = ReadReservationEnd(data.Value("reservation_end_date"));
  change.items = ReadItems(data.Value("items"));
  change.cancelReason = data.Value("cancel_reason");
  if (!IsValidInsideJsonString(change.cancelReason)) throw std::runtime_error("cancel_reason is incorrect");
  return change;
}

std::string StatusChangeBody(const StatusChange& change) {
  const std::string orderId = std::to_string(change.orderId);
  return "{\"list\": [{\"id\": " + orderId + ",\"external_id\": \"" + orderId +
         "\",\"status_id\": " + std::to_string(change.statusId) + ",\"cancel_reason\": \"" +
         change.cancelReason + "\",\"reservation_end_date\": " + std::to_string(change.reservationEnd) +
         ItemsPiece(change.items) + "}]}";
}

}  // namespace qdz::exchange
