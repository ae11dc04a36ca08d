#pragma once
// Moving 8-bit texts into and out of streams, byte for byte, with nothing added.
#include <istream>
#include <ostream>
#include <string>

namespace qdz::util {

// The whole content of the stream, whatever its position was; the stream is left at its end.
// Throws std::runtime_error "Stream read error" when the stream cannot deliver its bytes.
std::string StreamToString(std::istream& stream);

// The text's bytes at the stream's current position, which moves past them. No length, terminator
// or byte-order mark. Throws std::runtime_error "Stream write error" when the stream refuses them.
void WriteStringToStream(const std::string& text, std::ostream& stream);

}  // namespace qdz::util
