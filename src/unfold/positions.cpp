#include "unfold/positions.h"

#include <bit>

#include "unfold/state.h"

namespace zelbo {

namespace {

void emptyPositions(ListPositions& p) {
  p.slots = 0;
  p.firstWord = 0;
  p.present.clear();
  p.counts.clear();
  p.blockCounts.clear();
}

// Numbers the list afresh from slot 0, in its order: each transition's new slot is at most
// its old one, so the slots are moved down in place.
void numberList(RunState& s) {
  ListPositions& p = s.positions;
  std::uint32_t live = 0;
  forEachPositioned(p, [&](std::int32_t t) { p.transAt[live++] = t; });
  emptyPositions(p);
  for (std::uint32_t i = 0; i < live; ++i) positionAppended(p, p.transAt[i], s.trans[p.transAt[i]].slot);
}

// The position of the k-th set bit of each byte value (k below its count), for selectBit.
struct BitsInByte {
  std::uint8_t at[256][8] = {};
  constexpr BitsInByte() {
    for (int value = 0; value < 256; ++value)
      for (int bit = 0, k = 0; bit < 8; ++bit)
        if (value >> bit & 1) at[value][k++] = static_cast<std::uint8_t>(bit);
  }
};
constexpr BitsInByte kBitsInByte;

// The position of the k-th set bit of `word` (k below its count), without a branch that
// depends on the word: a draw among hundreds of enabled transitions would otherwise miss
// one prediction in every step. The bytes' counts side by side in one word, summed into
// running totals by a multiplication, tell the byte: the totals never fall, so the bytes whose
// total is at most k are the ones before it, and each compares in its top bit.
int selectBit(std::uint64_t word, int k) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kTops = 0x8080808080808080ull;
  std::uint64_t x = word - ((word >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0full;
  const std::uint64_t totals = x * kOnes;  // byte i: set bits of bytes 0..i, at most 64
  const std::uint64_t atMostK = ((kOnes * static_cast<std::uint64_t>(k) | kTops) - totals) & kTops;
  const int byte = static_cast<int>(((atMostK >> 7) * kOnes) >> 56);
  const int before = static_cast<int>(((totals << 8) >> (8 * byte)) & 0xff);
  const unsigned bits = static_cast<unsigned>(word >> (8 * byte)) & 0xff;
  return 8 * byte + kBitsInByte.at[bits][k - before];
}

}  // namespace

void startPositions(RunState& s) {
  ListPositions& p = s.positions;
  p.active = true;
  emptyPositions(p);
  for (std::int32_t t = s.enabledHead; t != kNoTrans;) {
    const std::int32_t next = s.enabledLinks[t].next;
    s.enabledLinks[t] = ListLinks{};
    positionAppended(p, t, s.trans[t].slot);
    t = next;
  }
  s.enabledHead = s.enabledTail = kNoTrans;
}

void clearPositions(RunState& s) {
  ListPositions& p = s.positions;
  if (!p.active) return;
  forEachPositioned(p, [&](std::int32_t t) { s.trans[t].slot = -1; });
  emptyPositions(p);
  p.active = false;
}

void makeRoomForSlot(ListPositions& p, std::uint32_t slot) {
  if (slot % kSlotsPerBlock == 0) {
    p.present.resize(p.present.size() + kWordsPerBlock);
    p.counts.resize(p.counts.size() + kWordsPerBlock);
    p.blockCounts.push_back(0);
  }
  if (p.transAt.size() <= slot) p.transAt.resize(slot + 1 + slot / 2);
}

void renumberIfSparse(RunState& s) {
  if (positionsSparse(s.positions, s.numEnabled)) numberList(s);
}

namespace {

// The word that holds the k-th set bit among the words [first, end), counting from `below`
// set bits before `first`: every word is counted, without a branch on the totals, as stopping
// where the count passes k would miss a prediction at every draw. `below` becomes the set bits
// before the word found.
// kWords, when not 0, is end - first, known to the compiler: a block's words are unrolled.
template <std::size_t kWords = 0>
std::size_t wordOfBit(const std::uint16_t* counts, std::size_t first, std::size_t end, int k, int& below) {
  if constexpr (kWords != 0) end = first + kWords;
  std::size_t at = first;
  int through = below;
#pragma GCC unroll 8
  for (std::size_t w = first; w < end; ++w) {
    through += counts[w];
    const bool passed = through <= k;
    at += passed;
    below = passed ? through : below;
  }
  return at;
}

}  // namespace

std::int32_t transAtPosition(RunState& s, int k) {
  ListPositions& p = s.positions;
  if (positionsSparse(p, s.numEnabled)) [[unlikely]] numberList(s);
  int below = 0;
  std::size_t at;
  if (p.counts.size() - p.firstWord <= kCountedWords) {
    // Slots are given only at the end, so a word that has emptied stays empty; the count
    // starts past those at the front.
    std::size_t first = p.firstWord;
    while (p.counts[first] == 0) ++first;
    p.firstWord = static_cast<std::uint32_t>(first);
    at = wordOfBit(p.counts.data(), first, p.counts.size(), k, below);
  } else {
    // The blocks from the first, whose number changes only when the list is numbered or
    // grows a block, so that the loop's end is predicted; then the words of the block found.
    std::size_t block = 0;
    int through = 0;
    for (const std::uint16_t count : p.blockCounts) {
      through += count;
      const bool passed = through <= k;
      block += passed;
      below = passed ? through : below;
    }
    at = wordOfBit<kWordsPerBlock>(p.counts.data(), block * kWordsPerBlock, (block + 1) * kWordsPerBlock, k, below);
  }
  return p.transAt[at * 64 + static_cast<std::size_t>(selectBit(p.present[at], k - below))];
}

}  // namespace zelbo
