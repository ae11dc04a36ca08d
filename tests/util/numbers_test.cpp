#include <gtest/gtest.h>

#include "util/numbers.h"

namespace qdz::util {
namespace {

TEST(IntToStr3, PadsToThreeDigitsWithoutCutting) {
  const struct {
    std::int32_t value;
    const char* expected;
  } cases[] = {{0, "000"}, {7, "007"}, {42, "042"}, {100, "100"}, {1234, "1234"}, {-5, "00-5"}};
  for (const auto& c : cases) EXPECT_EQ(IntToStr3(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace qdz::util
