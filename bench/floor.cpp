// The floor of a whole estimation on a ring: the work that no implementation can avoid per
// event. Each event draws one delay from the 48-bit linear congruential stream of drand48
// (x = 0x5DEECE66D * x + 0xB mod 2^48, value x / 2^48) and takes one max-plus step (the
// event's time is the latest arrival of its input tokens, each its producer's time plus the
// token's delay). Two loops: the stream's arithmetic written inline, and erand48 on a local
// state. Both start from the same state, so they must end on the same time; the program
// says so, and prints the times so that the compiler keeps the work.
//
// Usage: floor [EVENTS]   (default 100,000,000); prints CPU nanoseconds per event.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint64_t kSeed = 0x1234ABCD330EULL;  // srand48(0x1234ABCD)'s state
constexpr std::uint64_t kMask = (std::uint64_t{1} << 48) - 1;
constexpr double kLocation = 1.0, kScale = 2.0;  // a .uni 1 2 delay

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One token per event, as on a ring; the max against the previous time stands for the
// comparison of the other inputs of an event.
double ringInline(long events) {
  std::uint64_t x = kSeed;
  double t = 0.0;
  for (long i = 0; i < events; ++i) {
    x = (0x5DEECE66DULL * x + 0xB) & kMask;
    const double delay = kLocation + kScale * (static_cast<double>(x) * 0x1p-48);
    t = std::max(t + delay, t);
  }
  return t;
}

double ringErand48(long events) {
  unsigned short state[3] = {static_cast<unsigned short>(kSeed), static_cast<unsigned short>(kSeed >> 16),
                             static_cast<unsigned short>(kSeed >> 32)};
  double t = 0.0;
  for (long i = 0; i < events; ++i) {
    const double delay = kLocation + kScale * erand48(state);
    t = std::max(t + delay, t);
  }
  return t;
}

double nsPerEvent(double (*ring)(long), long events, double& t) {
  const double start = cpuSeconds();
  t = ring(events);
  return (cpuSeconds() - start) * 1e9 / static_cast<double>(events);
}

}  // namespace

int main(int argc, char** argv) {
  const long events = argc > 1 ? atol(argv[1]) : 100000000L;
  if (events <= 0) {
    fprintf(stderr, "usage: floor [EVENTS]\n");
    return 1;
  }
  double inlineTime = 0, erandTime = 0;
  const double inlineNs = nsPerEvent(ringInline, events, inlineTime);
  const double erandNs = nsPerEvent(ringErand48, events, erandTime);
  printf("floor inline LCG: %.2f ns/event (%ld events, t = %.17g)\n", inlineNs, events, inlineTime);
  printf("floor erand48:    %.2f ns/event (%ld events, t = %.17g)\n", erandNs, events, erandTime);
  if (inlineTime != erandTime) {
    fprintf(stderr, "floor: the inline stream differs from erand48's\n");
    return 1;
  }
  return 0;
}
