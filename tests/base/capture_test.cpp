// The in-memory stream: takes hand over each piece once, a look leaves it in place.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/capture.h"

namespace {

using zelbo::Capture;

TEST(Capture, TakesHandOverEachPieceOnceAndLooksLeaveItInPlace) {
  Capture capture;
  EXPECT_EQ(capture.take(), "");
  EXPECT_EQ(capture.text(), "");

  fputs("first line\n", capture.file());
  EXPECT_EQ(capture.text(), "first line\n");
  EXPECT_EQ(capture.text(), "first line\n");
  EXPECT_EQ(capture.take(), "first line\n");
  EXPECT_EQ(capture.take(), "");

  // A shorter piece after a take is not followed by what the longer one left behind.
  fputs("two", capture.file());
  EXPECT_EQ(capture.text(), "two");
  EXPECT_EQ(capture.take(), "two");

  // More than a stream buffer holds, written in one piece and in many.
  const std::string large(100000, 'x');
  fputs(large.c_str(), capture.file());
  for (int i = 0; i < 1000; ++i) fputc('y', capture.file());
  EXPECT_EQ(capture.take(), large + std::string(1000, 'y'));
}

}  // namespace
