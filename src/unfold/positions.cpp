#include "unfold/positions.h"

#include <bit>

#include "unfold/state.h"

namespace zelbo {

namespace {

void numberList(RunState& s) {
  ListPositions& p = s.positions;
  p.slots = 0;
  p.present.clear();
  for (std::int32_t t = s.enabledHead; t != kNoTrans; t = s.enabledLinks[t].next) positionAppended(p, t);
}

// The position of the k-th set bit of `word` (k below its count).
int selectBit(std::uint64_t word, int k) {
  int position = 0;
  for (int width = 32; width > 0; width /= 2) {
    const int low = std::popcount(word & ((std::uint64_t{1} << width) - 1));
    if (k >= low) {
      k -= low;
      word >>= width;
      position += width;
    }
  }
  return position;
}

}  // namespace

void startPositions(RunState& s) {
  ListPositions& p = s.positions;
  p.active = true;
  if (p.slotOf.size() < s.trans.size()) p.slotOf.resize(s.trans.size());
  numberList(s);
}

void positionAppended(ListPositions& p, std::int32_t t) {
  const std::uint32_t slot = p.slots++;
  if ((slot & 63) == 0) p.present.push_back(0);
  if (p.transAt.size() <= slot) p.transAt.resize(slot + 1 + slot / 2);
  p.present[slot >> 6] |= std::uint64_t{1} << (slot & 63);
  p.transAt[slot] = t;
  p.slotOf[t] = static_cast<std::int32_t>(slot);
}

std::int32_t transAtPosition(RunState& s, int k) {
  ListPositions& p = s.positions;
  if (p.slots > 4 * static_cast<std::uint32_t>(s.numEnabled) + 256) numberList(s);
  for (std::size_t w = 0;; ++w) {
    const int count = std::popcount(p.present[w]);
    if (k < count) return p.transAt[w * 64 + static_cast<std::size_t>(selectBit(p.present[w], k))];
    k -= count;
  }
}

}  // namespace zelbo
