// Positions on the enabled list: the k-th transition of a long list without walking k links.
//
// A uniform draw opens some stages and chooses every firing of the destination's tail; on a
// net with hundreds of concurrently enabled transitions, walking the list to the drawn one
// cost more than the firing itself. Once a draw meets a long list, every transition on the
// list holds a slot, given in append order; a slot's bit is set while its transition is on
// the list. The list only grows at its tail, so list order is slot order and the k-th
// transition is the k-th set bit. Slots of removed transitions are reclaimed by numbering the
// list afresh once they outnumber the live ones. While the positions are kept, they are the
// list: a removal clears a bit instead of relinking two neighbours, which on a net of
// thousands of transitions were two more misses per firing. A draw counts the set bits word by
// word from the first word that has any; past kCountedWords words, it counts blocks of words
// and then the words of one block instead: on a list of thousands, counting every word cost
// more per draw the longer the list. Blocks of 8 words from 8 words on keep both counts near
// the square root of the words, so that a list of 1,600 takes some 20 steps, not 30.
#pragma once

#include <cstdint>
#include <vector>

namespace zelbo {

struct RunState;

// A list this long is kept in positions from its first draw, or from the start of an
// unfolding that enables as many at once; a shorter one is walked.
constexpr int kLongList = 32;
constexpr std::uint32_t kWordsPerBlock = 8;
constexpr std::uint32_t kSlotsPerBlock = 64 * kWordsPerBlock;
constexpr std::size_t kCountedWords = 8;

struct ListPositions {
  bool active = false;
  std::uint32_t slots = 0;              // slots given since the list was last numbered
  std::uint32_t firstWord = 0;          // the words before it have no bit set
  std::vector<std::uint64_t> present;   // one bit per slot, whole blocks
  std::vector<std::uint16_t> counts;    // set bits of each word of `present`
  std::vector<std::uint16_t> blockCounts;  // set bits of each block of kWordsPerBlock words
  std::vector<std::int32_t> transAt;    // by slot; each transition's own slot is in its state
};

// Numbers the transitions on the linked list from the head, empties the linked list, and keeps
// the list in the positions from then on.
void startPositions(RunState& s);
// Numbers the list afresh once the slots of transitions no longer on it outnumber the live
// ones 4 to 1, so that the slots stay in proportion to the list between draws too.
void renumberIfSparse(RunState& s);
inline bool positionsSparse(const ListPositions& p, int listLength) {
  return p.slots > 4 * static_cast<std::uint32_t>(listLength) + 256;
}
// A new block of words every kSlotsPerBlock slots, and room in transAt.
void makeRoomForSlot(ListPositions& p, std::uint32_t slot);
// The list changed: `t` was appended at the tail, or taken off. Inline, as every append and
// removal of a long list asks.
// `slotOfT` is t's TransState::slot.
inline void positionAppended(ListPositions& p, std::int32_t t, std::int32_t& slotOfT) {
  const std::uint32_t slot = p.slots++;
  if (slot % kSlotsPerBlock == 0 || slot >= p.transAt.size()) makeRoomForSlot(p, slot);
  p.present[slot >> 6] |= std::uint64_t{1} << (slot & 63);
  ++p.counts[slot >> 6];
  ++p.blockCounts[slot / kSlotsPerBlock];
  p.transAt[slot] = t;
  slotOfT = static_cast<std::int32_t>(slot);
}
// `t` is on the list; it is taken off.
inline void positionRemoved(ListPositions& p, std::int32_t& slotOfT) {
  const std::uint32_t slot = static_cast<std::uint32_t>(slotOfT);
  slotOfT = -1;
  p.present[slot >> 6] &= ~(std::uint64_t{1} << (slot & 63));
  --p.counts[slot >> 6];
  --p.blockCounts[slot / kSlotsPerBlock];
}
// Calls f(t) for each transition on the list, in list order.
template <class F>
void forEachPositioned(const ListPositions& p, F&& f) {
  for (std::size_t w = p.firstWord; w < p.present.size(); ++w)
    for (std::uint64_t bits = p.present[w]; bits != 0; bits &= bits - 1)
      f(p.transAt[w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))]);
}
// The transition at position `k` (0 = head) of the list; k is below the list's length.
std::int32_t transAtPosition(RunState& s, int k);
// Forgets the numbering, and with it the list.
void clearPositions(RunState& s);

}  // namespace zelbo
