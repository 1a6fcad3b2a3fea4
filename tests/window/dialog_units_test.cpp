#include "window/dialog_units.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct MulDivCase {
  int number, numerator, denominator, expected;
};

TEST(MulDiv, RoundsHalfAwayFromZeroAndFlagsWhatCannotBeComputed) {
  const MulDivCase cases[] = {
      {10, 7, 4, 18},    // 17.5
      {-10, 7, 4, -18},  // -17.5
      {3, 13, 8, 5},     // 4.875
      {1, 13, 8, 2},     // 1.625
      {4, 6, 8, 3},      // exact
      {5, 1, 2, 3},      // 2.5
      {5, -1, 2, -3},    // -2.5
      {5, 1, -2, -3},    // -2.5
      {-5, -1, -2, -3},  // -2.5
      {0, 9, 4, 0},
      {7, 3, 0, -1},              // no denominator
      {INT_MAX, INT_MAX, 1, -1},  // too large for an int
      {INT_MAX, 4, 4, INT_MAX},   // the 64-bit intermediate keeps it exact
  };
  for (const auto& c : cases)
    EXPECT_EQ(window::MulDiv(c.number, c.numerator, c.denominator), c.expected)
        << c.number << " * " << c.numerator << " / " << c.denominator;
}

TEST(DialogUnitsToPixels, QuarterCharacterAcrossEighthCharacterDown) {
  const window::BaseUnits units{6, 13};
  EXPECT_EQ(window::DialogUnitsToPixels({312, 255, 74, 14}, units), QRect(468, 414, 111, 23));
  EXPECT_EQ(window::DialogUnitsToPixels({0, 0, 420, 301}, units), QRect(0, 0, 630, 489));
  const window::BaseUnits larger{9, 20};
  EXPECT_EQ(window::DialogUnitsToPixels({33, 57, 48, 30}, larger), QRect(74, 143, 108, 75));
}

}  // namespace
