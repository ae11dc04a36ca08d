#pragma once
// Reading the send data that the pharmacy system queues with a status change: lines of the form
// name=value, and the TAB-separated list of the "items" value.
#include <string>
#include <string_view>
#include <vector>

namespace qdz::exchange {

// Lines end with CR LF, LF or CR. A name is the text before a line's first "="; the value is the
// rest of the line, untrimmed. Names match without regard to case and the first line counts.
class SendData {
 public:
  explicit SendData(std::string_view text);
  // The empty text when no line carries the name.
  std::string Value(std::string_view name) const;

 private:
  std::vector<std::string> lines_;
};

// The elements of a delimited list: runs of characters 1 to 32 separate them and are skipped at
// both ends; an element that begins with a double quote runs to its closing quote (two quotes
// inside stand for one) and may hold blanks. The list ends at a character 0.
std::vector<std::string> SplitDelimitedList(std::string_view text);

}  // namespace qdz::exchange
