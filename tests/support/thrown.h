// What a call threw: the library's error as the command line prints it, and its exit status,
// to compare in one expectation.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "zelbo/error.h"

struct Thrown {
  std::string message;
  int status = 0;
  bool operator==(const Thrown&) const = default;
};
inline void PrintTo(const Thrown& t, std::ostream* os) {
  *os << "status " << t.status << ", " << ::testing::PrintToString(t.message);
}

// Runs `f` and gives the zelbo::Error it throws, or "(nothing thrown)" with status 0.
template <class F>
Thrown thrown(F&& f) {
  try {
    f();
  } catch (const zelbo::Error& e) {
    return {zelbo::printedText(e), e.status()};
  }
  return {"(nothing thrown)", 0};
}
