#pragma once
// Tolerant reading of the marketplace's JSON: a member that is missing, null or of another kind
// than wanted reads as 0 or the empty text instead of failing, and numbers may come as strings.
// Texts stay UTF-8 here; the caller converts them to the system's code page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qdz::exchange {

using Json = nlohmann::json;

// Deepest nesting of objects and arrays that ParseFirstJsonValue takes. Answers need a handful of
// levels; the limit keeps a hostile answer from overflowing the stack, because the JSON library
// writes nested values out (a member read as text) recursively.
inline constexpr std::size_t kMaxJsonDepth = 512;

// The first JSON value at the start of the text; whatever follows it is ignored. Fails with the
// parser's message (Json::exception) when the text does not begin with a JSON value, and with
// std::runtime_error when that value is nested deeper than kMaxJsonDepth.
Json ParseFirstJsonValue(const std::string& utf8Text);

// The member of an object, read as wanted:
// - integer: a float rounds to the nearest integer, a tie to the even one (0 when out of range);
//   true/false give 1/0; a string counts when the whole of it is a decimal integer;
// - float: a string counts when the whole of it is a decimal number with "." as separator;
// - text: a string with its escapes decoded, any other value as its JSON text, null as empty.
// A missing member, null, an object or an array give 0 for the numbers.
std::int64_t ReadInt64(const Json& object, std::string_view name);
std::int32_t ReadInt32(const Json& object, std::string_view name);  // the low 32 bits of ReadInt64
double ReadFloat(const Json& object, std::string_view name);
std::string ReadText(const Json& object, std::string_view name);

}  // namespace qdz::exchange
