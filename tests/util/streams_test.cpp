#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "util/streams.h"

namespace qdz::util {
namespace {

using namespace std::string_literals;

TEST(StreamToString, ReadsTheWholeStreamWhateverItsPositionAndEndsAtItsEnd) {
  const std::string content = "{\"a\":1}\r\n\x00\xff\xd0\x90 end"s;
  std::stringstream stream(content);
  stream.seekg(5);
  EXPECT_EQ(StreamToString(stream), content);
  EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(content.size()));
}

TEST(StreamToString, ReadsAgainAfterTheStreamWasReadToItsEnd) {
  std::stringstream stream("abc");
  std::string word;
  stream >> word >> word;  // runs into the end and sets eof and fail
  ASSERT_TRUE(stream.fail());
  EXPECT_EQ(StreamToString(stream), "abc");
}

TEST(StreamToString, EmptyStreamGivesEmptyText) {
  std::stringstream stream;
  EXPECT_EQ(StreamToString(stream), "");
}

TEST(WriteStringToStream, WritesBytesAtThePositionAndMovesPastThem) {
  std::stringstream stream("abcdef");
  stream.seekp(2);
  WriteStringToStream("X\x00Y"s, stream);
  EXPECT_EQ(stream.tellp(), 5);
  EXPECT_EQ(stream.str(), "abX\x00Yf"s);
  WriteStringToStream("", stream);
  EXPECT_EQ(stream.str(), "abX\x00Yf"s);
}

TEST(WriteStringToStream, AStreamThatRefusesBytesIsAnError) {
  std::ostream broken(nullptr);
  try {
    WriteStringToStream("data", broken);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

}  // namespace
}  // namespace qdz::util
