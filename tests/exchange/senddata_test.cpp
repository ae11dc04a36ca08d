#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/senddata.h"

namespace qdz::exchange {
namespace {

TEST(SendData, FindsValuesByNameWhateverTheLineEndsAndCase) {
  const struct {
    const char* text;
    const char* name;
    const char* expected;
  } cases[] = {
      {"id=42\r\nstatus_id=2", "status_id", "2"},
      {"id=42\nstatus_id=2\n", "status_id", "2"},
      {"id=42\rstatus_id=2\r", "status_id", "2"},
      {"id=42\r\rstatus_id=2", "status_id", "2"},
      {"ID=42\r\nStatus_Id=2", "id", "42"},
      {"ID=42\r\nStatus_Id=2", "status_id", "2"},
      {"id=1\r\nid=2", "id", "1"},                       // the first line counts
      {"id= 42 \r\n", "id", " 42 "},                     // values are not trimmed
      {"cancel_reason=a=b\r\n", "cancel_reason", "a=b"},  // only the first "=" splits
      {"status_id=\r\n", "status_id", ""},
      {"id=42", "status_id", ""},                  // absent
      {"status_id\r\nid=5", "status_id", ""},      // a line without "=" is no name
      {" id=42", "id", ""},                        // names are not trimmed either
      {"", "id", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SendData(c.text).Value(c.name), c.expected) << c.text << " / " << c.name;
}

TEST(SplitDelimitedList, SplitsOnRunsOfControlCharactersAndBlanks) {
  using List = std::vector<std::string>;
  const struct {
    const char* text;
    List expected;
  } cases[] = {
      {"1001=2\t1002=1", {"1001=2", "1002=1"}},
      {"1001=2 1002=1", {"1001=2", "1002=1"}},
      {"1001=2\t1002=1\t", {"1001=2", "1002=1"}},
      {" \t 1001=2 \t\t \x01 1002=1 \r\n", {"1001=2", "1002=1"}},
      {"", {}},
      {"   \t ", {}},
      {"\"1001 = 2\"\t1002=1", {"1001 = 2", "1002=1"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"a\"b", {"a", "b"}},
      {"\"unclosed 1", {"unclosed 1"}},
      {"1001=2\t\"\"", {"1001=2", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitDelimitedList(c.text), c.expected) << c.text;
}

TEST(SplitDelimitedList, EndsAtACharacterZero) {
  EXPECT_EQ(SplitDelimitedList(std::string("1=2\0003=4", 7)), std::vector<std::string>{"1=2"});
}

}  // namespace
}  // namespace qdz::exchange
