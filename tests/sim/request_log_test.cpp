// requests.jsonl: every request, refused ones included, with its exact bytes, in the order received.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "marketplace-sim/encoding.h"
#include "sim_fixture.h"

namespace qdz::sim {
namespace {

std::string AllByteValues() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

bool HasHeader(const Json& line, const std::string& name, const std::string& value) {
  for (const Json& pair : line["headers"]) {
    if (pair[0] == name && pair[1] == value) return true;
  }
  return false;
}

bool HasHeaderNamed(const Json& line, const std::string& name) {
  for (const Json& pair : line["headers"]) {
    if (pair[0] == name) return true;
  }
  return false;
}

TEST_F(SimTest, LogsEveryRequestWithItsExactBytesBeforeAnswering) {
  const std::string binary = AllByteValues();
  const std::string text = R"({"store_id": "Склад 1"})";
  ASSERT_EQ(Send("POST", "/exch/v4/orders", binary)->status, 400);
  ASSERT_EQ(SendRaw("DELETE", "/exch/v1/prices?mc=MC-17", {{"auth_token", "wrong"}}, text)->status, 401);
  ASSERT_EQ(GetOrders()->status, 200);

  const std::vector<Json> lines = JsonLines("requests.jsonl");
  ASSERT_EQ(lines.size(), 3u);

  EXPECT_EQ(lines[0]["method"], "POST");
  EXPECT_EQ(lines[0]["path"], "/exch/v4/orders");
  EXPECT_EQ(lines[0]["query"], "mc=MC-17");
  EXPECT_EQ(lines[0]["body_base64"], Base64Encode(binary));
  EXPECT_FALSE(lines[0].contains("body")) << "the bytes are not UTF-8 and have no text form";
  EXPECT_TRUE(HasHeader(lines[0], "auth_token", kToken));
  EXPECT_TRUE(HasHeader(lines[0], "Content-Length", "256"));

  EXPECT_EQ(lines[1]["method"], "DELETE");
  EXPECT_EQ(lines[1]["body"], text);
  EXPECT_EQ(lines[1]["body_base64"], Base64Encode(text));
  EXPECT_TRUE(HasHeader(lines[1], "auth_token", "wrong"));

  EXPECT_EQ(lines[2]["method"], "GET");
  EXPECT_EQ(lines[2]["query"], std::string("mc=MC-17&data=") + kStoreS1Data) << "the query as sent, not decoded";
  EXPECT_EQ(lines[2]["body"], "");
  for (const Json& line : lines) {
    EXPECT_FALSE(HasHeaderNamed(line, "REMOTE_ADDR")) << "only headers the client sent";
    EXPECT_FALSE(line.contains("fault"));
  }
}

}  // namespace
}  // namespace qdz::sim
