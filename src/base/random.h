// The random stream of one sampler: the 48-bit linear congruential generator
//   x' = (0x5DEECE66D * x + 0xB) mod 2^48,  value = x' / 2^48,
// with the arithmetic and seeding of the C library's drand48/srand48, so that a stream seeded
// with s gives the numbers drand48() gives after srand48(s).
#pragma once

#include <cstdint>

namespace zelbo {

class Random48 {
 public:
  static constexpr std::uint64_t kMultiplier = 0x5DEECE66Dull;
  static constexpr std::uint64_t kIncrement = 0xB;
  static constexpr std::uint64_t kMask = (std::uint64_t{1} << 48) - 1;
  // The multiplier is odd, so it has an inverse modulo 2^48 and a step can be undone.
  static constexpr std::uint64_t kInverse = [] {
    std::uint64_t inverse = kMultiplier;  // right in 3 bits; each Newton step doubles them
    for (int i = 0; i < 5; ++i) inverse *= 2 - kMultiplier * inverse;
    return inverse & kMask;
  }();

  // As srand48: the high 32 bits of the state are the low 32 bits of the seed, the low 16
  // bits are 0x330E.
  explicit Random48(long seed = 0) { reseed(seed); }

  void reseed(long seed) {
    state_ = ((static_cast<std::uint64_t>(seed) & 0xFFFFFFFFull) << 16) | 0x330E;
  }

  // The next value in [0, 1), exact as drand48's.
  double next() {
    state_ = (kMultiplier * state_ + kIncrement) & kMask;
    return valueOf(state_);
  }

  // The value of the draw that left the stream in `state`.
  static double valueOf(std::uint64_t state) {
    return static_cast<double>(state) * (1.0 / static_cast<double>(std::uint64_t{1} << 48));
  }
  // The state before the draw that left the stream in `state`.
  static std::uint64_t previous(std::uint64_t state) { return (kInverse * (state - kIncrement)) & kMask; }
  // Continues the stream from `state`, as state() gave it.
  void setState(std::uint64_t state) { state_ = state & kMask; }

  // A number of draws taken as one step x -> a x + c (mod 2^48).
  struct Leap {
    std::uint64_t a = 1, c = 0;
  };
  // The leap over `steps` draws, in O(log steps): the step composed with itself by repeated
  // squaring.
  static Leap leapOver(std::uint64_t steps) {
    std::uint64_t a = kMultiplier, c = kIncrement;  // the step raised to the current power of two
    Leap leap;                                      // the composed steps so far
    for (; steps; steps >>= 1) {
      if (steps & 1) {
        leap.a = (leap.a * a) & kMask;
        leap.c = (leap.c * a + c) & kMask;
      }
      c = ((a + 1) * c) & kMask;
      a = (a * a) & kMask;
    }
    return leap;
  }
  // Advances the stream over the leap's draws.
  void take(const Leap& leap) { state_ = (leap.a * state_ + leap.c) & kMask; }
  // Advances the stream by `steps` draws.
  void jump(std::uint64_t steps) { take(leapOver(steps)); }

  std::uint64_t state() const { return state_; }

 private:
  std::uint64_t state_ = 0;
};

}  // namespace zelbo
