// The data element of a GET address, byte for byte.
#include "exchange/url_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace qdz::exchange {
namespace {

TEST(EncodeUrlElement, EncodesExactlyTheBytesOutsideTheSafeSet) {
  struct Case {
    std::string data;
    std::string encoded;
  };
  const Case cases[] = {
      {"", ""},
      {"{\"store_id\": \"3f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f\"}",
       "%7B%22store%5Fid%22%3A%20%223f2b8c1e-5d6a-4b7c-9e0f-1a2b3c4d5e6f%22%7D"},
      {"AZaz09!$'()*,-.", "AZaz09!$'()*,-."},
      {"\"#%&+/:;<=>?@[\\]^_`{|}~",
       "%22%23%25%26%2B%2F%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%5F%60%7B%7C%7D%7E"},
      {"a b", "a%20b"},
      {std::string("\x00\x01\x1F\x20\x7F", 5), "%00%01%1F%20%7F"},
      {"\x80\xC8\xFF", "%80%C8%FF"},
      {"\xD0\x98", "%D0%98"},  // a Cyrillic letter in UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeUrlElement(c.data), c.encoded) << c.data;
}

}  // namespace
}  // namespace qdz::exchange
