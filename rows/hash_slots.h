// HashSlots: the program's one open-addressing hash table, under the text
// pool (rows/text_pool.h), the name index (tables/name_index.h) and the
// join's value index (tables/value_index.h). Each of them keeps one entry
// per distinct key (a shared value, a name's first position, a value's
// first row) and knows what its keys are; this class keeps only the slots:
// a power of two of them, linear probing from the low bits of the key's
// hash, and the hash stored beside each entry, so that a probe asks the
// user about a key only where the hashes agree. The table doubles before it
// would become more than half full, moving entries by their stored hashes
// without a look at a key. Entries are never removed.
#ifndef TABLOG_ROWS_HASH_SLOTS_H_
#define TABLOG_ROWS_HASH_SLOTS_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace tablog {

template <class Entry>
class HashSlots {
  static_assert(std::is_nothrow_move_assignable_v<Entry>, "growth moves entries");

 public:
  // One slot: empty, or an entry with the hash of its key.
  class Slot {
   private:
    friend class HashSlots;
    std::uint64_t tag_ = 0;  // the key's hash with its top bit set; 0: empty

   public:
    bool filled() const { return tag_ != 0; }

    Entry entry{};  // meaningful when filled
  };

  // A table with no slots: find and fill wait for one that has them.
  HashSlots() = default;
  // Room for `entries` entries before the first growth: the least power of
  // two of slots that is at least twice as many. REQUIRES: entries > 0.
  explicit HashSlots(std::size_t entries) {
    assert(entries > 0);
    std::size_t slots = 2;
    while (slots < 2 * entries) slots *= 2;
    slots_.resize(slots);
  }

  std::size_t size() const { return used_; }
  // The number of slots: 0, or a power of two.
  std::size_t slotCount() const { return slots_.size(); }

  // The slot holding the entry whose key has hash `hash` and for which
  // holds(entry) is true, else the empty slot where that entry goes.
  // `holds` is asked only about entries stored with the same hash (in all
  // but its top bit, which the table takes to mark a slot filled).
  // REQUIRES: slotCount() > 0.
  template <class Holds>
  const Slot& find(std::uint64_t hash, Holds holds) const {
    return slots_[slotOf(hash, holds)];
  }
  template <class Holds>
  Slot& find(std::uint64_t hash, Holds holds) {
    return slots_[slotOf(hash, holds)];
  }

  // Puts `entry`, whose key has hash `hash`, into `slot`. When that would
  // fill more than half of the slots, the table first doubles, which moves
  // every entry: a reference to a slot no longer holds after a fill. If the
  // growth throws, the table is as it was.
  // REQUIRES: `slot` is the empty slot that find gave for the key, and no
  // slot was filled since.
  void fill(Slot& slot, std::uint64_t hash, Entry entry) {
    assert(&slot >= slots_.data() && &slot < slots_.data() + slots_.size());
    assert(!slot.filled());
    Slot* at = &slot;
    if (2 * (used_ + 1) > slots_.size()) {
      grow();
      at = &emptySlotFrom(hash);
    }
    at->tag_ = tagOf(hash);
    at->entry = std::move(entry);
    ++used_;
  }

 private:
  static constexpr std::uint64_t kFilled = std::uint64_t{1} << 63;

  // The tag keeps the low bits that choose the first slot to probe.
  static std::uint64_t tagOf(std::uint64_t hash) { return hash | kFilled; }

  template <class Holds>
  std::size_t slotOf(std::uint64_t hash, Holds& holds) const {
    assert(!slots_.empty());
    const std::uint64_t tag = tagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.tag_ == 0 || (s.tag_ == tag && holds(s.entry))) return i;
    }
  }
  // The first empty slot from the place of `hash` on.
  Slot& emptySlotFrom(std::uint64_t hash) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].filled()) i = (i + 1) & mask;
    return slots_[i];
  }
  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (Slot& s : old) {
      if (!s.filled()) continue;
      Slot& to = emptySlotFrom(s.tag_);
      to.tag_ = s.tag_;
      to.entry = std::move(s.entry);
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_HASH_SLOTS_H_
