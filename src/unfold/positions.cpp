#include "unfold/positions.h"

#include <bit>

#include "unfold/state.h"

namespace zelbo {

namespace {

void numberList(RunState& s) {
  ListPositions& p = s.positions;
  p.slots = 0;
  p.present.clear();
  p.counts.clear();
  for (std::int32_t t = s.enabledHead; t != kNoTrans; t = s.enabledLinks[t].next) positionAppended(p, t);
}

// The position of the k-th set bit of `word` (k below its count): the bytes' counts side by
// side in one word, summed into running totals by a multiplication, give the byte; its bits
// are then counted off one by one.
int selectBit(std::uint64_t word, int k) {
  std::uint64_t x = word - ((word >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0full;
  const std::uint64_t totals = x * 0x0101010101010101ull;  // byte i: set bits of bytes 0..i
  int byte = 0;
  while (static_cast<int>((totals >> (8 * byte)) & 0xff) <= k) ++byte;
  if (byte > 0) k -= static_cast<int>((totals >> (8 * (byte - 1))) & 0xff);
  unsigned bits = static_cast<unsigned>(word >> (8 * byte)) & 0xff;
  for (; k > 0; --k) bits &= bits - 1;
  return 8 * byte + std::countr_zero(bits);
}

}  // namespace

void startPositions(RunState& s) {
  ListPositions& p = s.positions;
  p.active = true;
  if (p.slotOf.size() < s.trans.size()) p.slotOf.resize(s.trans.size());
  numberList(s);
}

void makeRoomForSlot(ListPositions& p, std::uint32_t slot) {
  if ((slot & 63) == 0) {
    p.present.push_back(0);
    p.counts.push_back(0);
  }
  if (p.transAt.size() <= slot) p.transAt.resize(slot + 1 + slot / 2);
}

void renumberIfSparse(RunState& s) {
  if (positionsSparse(s.positions, s.numEnabled)) numberList(s);
}

std::int32_t transAtPosition(RunState& s, int k) {
  ListPositions& p = s.positions;
  renumberIfSparse(s);
  std::size_t w = 0;
  for (; k >= p.counts[w]; ++w) k -= p.counts[w];
  return p.transAt[w * 64 + static_cast<std::size_t>(selectBit(p.present[w], k))];
}

}  // namespace zelbo
