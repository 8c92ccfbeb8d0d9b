// 32-bit two's complement arithmetic for counters that may overflow on hostile input.
#pragma once

namespace zelbo {

inline int wrapAdd(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}
inline int wrapNeg(int a) { return static_cast<int>(0u - static_cast<unsigned>(a)); }

}  // namespace zelbo
