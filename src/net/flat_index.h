// A hash index of records by a key each record carries, with open addressing: one flat array
// of (hash, record) slots, so that looking up or adding a record costs one hash and, mostly,
// one cache miss. Records are never removed.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace zelbo {

template <class Record, class Key, class KeyOf, class Hash>
class FlatIndex {
 public:
  Record* find(const Key& key) const {
    if (slots_.empty()) return nullptr;
    return slots_[probe(key, Hash{}(key))].record;
  }

  // The record with that key, or the one `make()` returns, which is added; second is true
  // when it was added.
  template <class Make>
  std::pair<Record*, bool> findOrAdd(const Key& key, Make make) {
    const std::size_t hash = Hash{}(key);
    if (2 * (size_ + 1) > slots_.size()) grow();
    std::size_t at = probe(key, hash);
    if (slots_[at].record) return {slots_[at].record, false};
    Record* added = make();
    slots_[at] = {hash, added};
    ++size_;
    return {added, true};
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    Record* record = nullptr;
  };

  // The slot holding `key`, or the empty slot where it belongs.
  std::size_t probe(const Key& key, std::size_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (!slot.record || (slot.hash == hash && KeyOf{}(slot.record) == key)) return at;
    }
  }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (!slot.record) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].record) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;  // a power of two in size, at most half full
  std::size_t size_ = 0;
};

}  // namespace zelbo
