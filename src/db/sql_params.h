#pragma once
// ":name" parameters of a statement text turned into the positional "?" that the server takes.
// A name is letters, digits, "_" and "$"; names match without regard to case, and one name may
// stand at several places. A colon inside '...' literals (also q'{...}'), "..." identifiers,
// -- line comments and /* */ comments is left alone.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qdz::db {

struct NamedSql {
  std::string text;                    // the statement with "?" for every parameter
  std::vector<std::string> names;      // distinct names, upper case, in order of first use
  std::vector<std::size_t> positions;  // for every "?" in text: its index in names
};

NamedSql RewriteNamedParameters(std::string_view sql);

// ASCII upper case; names of parameters and columns compare in this form.
std::string UpperAscii(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace qdz::db
