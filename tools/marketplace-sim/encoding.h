#pragma once
// Byte-level helpers: how request bodies are kept in the log, how the query is read, and how a
// store id becomes a file name.
#include <optional>
#include <string>
#include <string_view>

namespace qdz::sim {

// Standard base64 (RFC 4648) with "=" padding.
std::string Base64Encode(std::string_view bytes);

// Turns every "%" followed by two hexadecimal digits into that byte; everything else, "+" included,
// stays as it is. A "%" without two digits after it is kept literally.
std::string PercentDecode(std::string_view text);

// The value of the first element "name=value" of a raw query, percent-decoded; nullopt when the
// query has no element of that name.
std::optional<std::string> QueryValue(std::string_view rawQuery, std::string_view name);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// A file name for any text: letters, digits, "-" and "_" stay, every other byte (and a leading
// ".") becomes "%XX", so distinct texts give distinct names and none can leave the folder.
std::string SafeFileName(std::string_view text);

}  // namespace qdz::sim
