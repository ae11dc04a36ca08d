#include <gtest/gtest.h>

#include "exchange/float_format.h"

namespace qdz::exchange {
namespace {

TEST(FormatGeneralFloat, WritesUpTo15SignificantDigitsWithADecimalComma) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {
      {0.0, "0"},
      {2.0, "2"},
      {2.5, "2,5"},
      {-35.5, "-35,5"},
      {0.1, "0,1"},
      {0.05, "0,05"},
      {123456.789, "123456,789"},
      {1.0 / 3.0, "0,333333333333333"},
      {2.0 / 3.0, "0,666666666666667"},
      {100000000000000.0, "100000000000000"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E15"},
      {1.5e20, "1,5E20"},
      {0.0001, "0,0001"},
      {0.00001, "1E-5"},
      {0.000015, "1,5E-5"},
      {-2.5e-7, "-2,5E-7"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGeneralFloat(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace qdz::exchange
