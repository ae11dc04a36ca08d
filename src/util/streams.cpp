#include "util/streams.h"

#include <stdexcept>

namespace qdz::util {

std::string StreamToString(std::istream& stream) {
  // A stream read to its end earlier carries eof/fail flags that would block the seeks.
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff size = stream.tellg();
  stream.seekg(0, std::ios::beg);
  if (!stream || size < 0) throw std::runtime_error("Stream read error");

  std::string text(static_cast<std::size_t>(size), '\0');
  stream.read(text.data(), size);
  if (stream.gcount() != size) throw std::runtime_error("Stream read error");
  return text;
}

void WriteStringToStream(const std::string& text, std::ostream& stream) {
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!stream) throw std::runtime_error("Stream write error");
}

}  // namespace qdz::util
