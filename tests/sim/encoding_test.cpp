// Byte helpers: base64 of the request log, the query's percent-decoding, UTF-8 checking, file names.
#include "marketplace-sim/encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qdz::sim {
namespace {

TEST(SimEncodingTest, Base64EncodesLikeTheStandardVectors) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\x00\xFF\xFE\r\n", 5), "AP/+DQo="},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(Base64Encode(bytes), expected) << bytes;
}

TEST(SimEncodingTest, QueryValueFindsTheElementAndDecodesIt) {
  struct Case {
    const char* query;
    const char* name;
    std::optional<std::string> value;
  };
  const std::vector<Case> cases = {
      {"mc=MC-17&data=%7B%22store%5Fid%22%3A%20%223f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f%22%7D", "data",
       R"({"store_id": "3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f"})"},
      {"mc=MC-17&data=", "data", ""},
      {"mc=MC-17&data", "data", ""},
      {"mc=MC-17", "data", std::nullopt},
      {"", "mc", std::nullopt},
      {"mcx=1&mc=2", "mc", "2"},
      {"mc=1&mc=2", "mc", "1"},
      {"mc=a+b", "mc", "a+b"},
      {"mc=%d0%98", "mc", "\xD0\x98"},
      {"mc=%4&x", "mc", "%4"},
      {"mc=%zz", "mc", "%zz"},
      {"mc=100%", "mc", "100%"},
  };
  for (const Case& c : cases) EXPECT_EQ(QueryValue(c.query, c.name), c.value) << c.query;
}

TEST(SimEncodingTest, IsValidUtf8RejectsWhatADecoderMustRefuse) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", true},
      {"plain ASCII", true},
      {"Иванов", true},
      {"\xF0\x9F\x98\x80", true},   // U+1F600
      {"\xC8\xE2\xE0", false},      // Windows-1251 letters
      {"\xC0\x80", false},          // overlong NUL
      {"\xE0\x80\x80", false},      // overlong three-byte form
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xD0", false},              // cut short
      {"\x80", false},              // a lone continuation byte
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}

TEST(SimEncodingTest, SafeFileNameKeepsUuidsAndEscapesTheRest) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f", "3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f"},
      {"store_1.a", "store_1.a"},
      {"../x", "%2E.%2Fx"},
      {"a b%", "a%20b%25"},
      {"\xC0", "%C0"},
  };
  for (const auto& [text, name] : cases) EXPECT_EQ(SafeFileName(text), name) << text;
}

}  // namespace
}  // namespace qdz::sim
