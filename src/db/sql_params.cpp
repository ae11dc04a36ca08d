#include "db/sql_params.h"

namespace qdz::db {

namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// End (one past) of a quoted run that starts at `start` with `quote`; a doubled quote stays inside.
std::size_t QuotedEnd(std::string_view sql, std::size_t start, char quote) {
  std::size_t i = start + 1;
  while (i < sql.size()) {
    if (sql[i] == quote) {
      if (i + 1 < sql.size() && sql[i + 1] == quote) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return sql.size();
}

char ClosingOf(char open) {
  switch (open) {
    case '(': return ')';
    case '[': return ']';
    case '{': return '}';
    case '<': return '>';
    default: return open;
  }
}

// End of a q'<c>...<c>' literal starting at `start` (the q), or 0 when this is none.
std::size_t AlternativeQuoteEnd(std::string_view sql, std::size_t start) {
  if (start + 2 >= sql.size() || sql[start + 1] != '\'') return 0;
  if (start > 0 && IsNameChar(sql[start - 1])) return 0;  // the end of a name such as "seq"
  const char close = ClosingOf(sql[start + 2]);
  for (std::size_t i = start + 3; i + 1 < sql.size(); ++i)
    if (sql[i] == close && sql[i + 1] == '\'') return i + 2;
  return sql.size();
}

// End of the comment or literal starting at i, or i itself when none starts there.
std::size_t SkipInert(std::string_view sql, std::size_t i) {
  const char c = sql[i];
  const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
  if (c == '\'' || c == '"') return QuotedEnd(sql, i, c);
  if (c == '-' && next == '-') {
    const std::size_t end = sql.find('\n', i);
    return end == std::string_view::npos ? sql.size() : end;
  }
  if (c == '/' && next == '*') {
    const std::size_t end = sql.find("*/", i + 2);
    return end == std::string_view::npos ? sql.size() : end + 2;
  }
  if (c == 'q' || c == 'Q') {
    const std::size_t end = AlternativeQuoteEnd(sql, i);
    if (end != 0) return end;
  }
  return i;
}

std::size_t IndexOfName(std::vector<std::string>& names, std::string name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return i;
  names.push_back(std::move(name));
  return names.size() - 1;
}

}  // namespace

NamedSql RewriteNamedParameters(std::string_view sql) {
  NamedSql result;
  result.text.reserve(sql.size());
  std::size_t i = 0;
  while (i < sql.size()) {
    const std::size_t inertEnd = SkipInert(sql, i);
    if (inertEnd != i) {
      result.text.append(sql.substr(i, inertEnd - i));
      i = inertEnd;
      continue;
    }
    if (sql[i] == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1])) {
      std::size_t end = i + 1;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      result.positions.push_back(IndexOfName(result.names, UpperAscii(sql.substr(i + 1, end - i - 1))));
      result.text.push_back('?');
      i = end;
      continue;
    }
    result.text.push_back(sql[i]);
    ++i;
  }
  return result;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperChar(c);
  return upper;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

}  // namespace qdz::db
