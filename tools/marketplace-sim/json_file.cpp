#include "marketplace-sim/json_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qdz::sim {
namespace {

bool OnlyWhiteSpace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

void WriteAll(const std::filesystem::path& file, std::string_view bytes, std::ios::openmode mode) {
  std::ofstream out(file, std::ios::binary | mode);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (!std::filesystem::exists(file)) return std::nullopt;
    throw std::runtime_error("cannot read " + file.string());
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<Json> ReadJsonFile(const std::filesystem::path& file) {
  const std::optional<std::string> text = ReadFileIfExists(file);
  if (!text || OnlyWhiteSpace(*text)) return std::nullopt;
  try {
    return Json::parse(*text);
  } catch (const Json::parse_error& e) {
    throw std::runtime_error(file.filename().string() + ": " + e.what());
  }
}

void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  WriteAll(temporary, bytes, std::ios::trunc);
  std::filesystem::rename(temporary, file);
}

void AppendLine(const std::filesystem::path& file, std::string_view line) {
  std::string text(line);
  text += '\n';
  WriteAll(file, text, std::ios::app);
}

std::string DumpLine(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace qdz::sim
