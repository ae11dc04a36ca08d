#pragma once
// Files of the data folder: JSON documents read and replaced whole, and JSON-lines journals.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qdz::sim {

// Objects keep their members in the order they were written, so what we hand back looks like
// what a person or the service put in.
using Json = nlohmann::ordered_json;

// The whole file as bytes; nullopt when it does not exist. Throws when it exists but cannot be read.
std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file);

// The file parsed as JSON; nullopt when it does not exist or holds only white space.
// Throws std::runtime_error naming the file when the text is not JSON.
std::optional<Json> ReadJsonFile(const std::filesystem::path& file);

// Replaces the file through a temporary file and a rename, so a reader never sees half of it.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// Appends the text and a line feed, and closes the file again so the line is with the system
// before the caller goes on.
void AppendLine(const std::filesystem::path& file, std::string_view line);

// One-line JSON text; invalid UTF-8 in strings becomes U+FFFD instead of failing.
std::string DumpLine(const Json& value);

}  // namespace qdz::sim
