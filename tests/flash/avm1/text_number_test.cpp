// Number printing: pure functions, no machine needed.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flash/avm1/value.h"

namespace vantrel::flash::avm1 {
namespace {

TEST(NumberToString, PrintsFifteenDigitsAndPlayerExponents) {
  EXPECT_EQ(NumberToString(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberToString(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(NumberToString(-2.5), "-2.5");
  EXPECT_EQ(NumberToString(123456789012345.0), "123456789012345");
  EXPECT_EQ(NumberToString(1e15), "1e+15");
  EXPECT_EQ(NumberToString(8.64e15), "8.64e+15");
  EXPECT_EQ(NumberToString(-6.77681005680783e19), "-6.77681005680783e+19");
  EXPECT_EQ(NumberToString(0.00001), "0.00001");
  EXPECT_EQ(NumberToString(0.000001), "1e-6");
  EXPECT_EQ(NumberToString(0.0001234), "0.0001234");
  EXPECT_EQ(NumberToString(5e-324), "4.94065645841247e-324");
  EXPECT_EQ(NumberToString(1e21), "1e+21");
  // The player's digits are not exactly rounded; these are what it prints.
  EXPECT_EQ(NumberToString(std::numeric_limits<double>::max()), "1.79769313486231e+308");
  EXPECT_EQ(NumberToString(-22222222.222222222), "-22222222.2222222");
  EXPECT_EQ(NumberToString(2147483648.5), "2147483648.5");
  EXPECT_EQ(NumberToString(4294967296.0), "4294967296");
  EXPECT_EQ(NumberToString(-0.0), "0");
  EXPECT_EQ(NumberToString(std::nan("")), "NaN");
  EXPECT_EQ(NumberToString(-INFINITY), "-Infinity");
  // Rounding to 15 digits carries into the integer part.
  EXPECT_EQ(NumberToString(0.9999999999999999), "1");
  EXPECT_EQ(NumberToString(99999999999999.99), "100000000000000");
}

}  // namespace
}  // namespace vantrel::flash::avm1
