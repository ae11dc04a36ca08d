#include "util/trim.h"

namespace qdz::util {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace qdz::util
