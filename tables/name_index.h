// NameIndex: the first position of each name of a list of column names.
// Wide tables (the running result of a rule of many atoms has a column per
// variable) find their columns by name through it: a short list is
// searched directly, a long one through a hash table of first positions
// (rows/hash_slots.h), so that finding every column of a table costs time
// linear in its width. The index holds the list it indexes; names appended
// to that list later are taken in by catchUp, so a list that grows need not
// be indexed again.
#ifndef TABLOG_TABLES_NAME_INDEX_H_
#define TABLOG_TABLES_NAME_INDEX_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "rows/hash_slots.h"
#include "rows/shared_names.h"

namespace tablog {

class NameIndex {
 public:
  // Indexes no list.
  NameIndex() = default;
  explicit NameIndex(SharedNames names) : names_(std::move(names)) { catchUp(); }

  // True when this indexes the list `names`, every entry of it.
  bool indexes(const SharedNames& names) const {
    return names_ == names && first_.size() == names->size();
  }
  // Takes in the entries appended to the list since it was last indexed.
  // REQUIRES: the entries indexed before are unchanged.
  void catchUp() {
    assert(names_.use_count() > 0 && first_.size() <= names_->size());
    const Names& names = *names_;
    if (!hashed() && names.size() > kSearched) startHashing();
    for (std::size_t p = first_.size(); p < names.size(); ++p) {
      int first = hashed() ? enter(names[p], static_cast<int>(p)) : search(names[p], p + 1);
      if (first != static_cast<int>(p)) ++repeats_;
      first_.push_back(first);
    }
  }

  // Position of the first entry equal to `name`, or -1.
  int find(std::string_view name) const {
    if (!hashed()) return search(name, first_.size());
    const auto& slot = slots_.find(hashOf(name), Named{*this, name});
    return slot.filled() ? slot.entry : -1;
  }
  // The first position of the name at position `p`.
  // REQUIRES: 0 <= p < the number of entries indexed.
  int firstOf(int p) const {
    assert(p >= 0 && static_cast<std::size_t>(p) < first_.size());
    return first_[static_cast<std::size_t>(p)];
  }
  // The list indexed. REQUIRES: a list.
  const Names& names() const { return *names_; }
  // True when no name occurs twice.
  bool unique() const { return repeats_ == 0; }

 private:
  static constexpr std::size_t kSearched = 16;

  static std::uint64_t hashOf(std::string_view name) { return std::hash<std::string_view>()(name); }
  const std::string& at(int p) const { return (*names_)[static_cast<std::size_t>(p)]; }
  // Whether a slot's first position holds `name`.
  struct Named {
    const NameIndex& index;
    std::string_view name;
    bool operator()(int p) const { return index.at(p) == name; }
  };
  bool hashed() const { return slots_.slotCount() > 0; }

  // The first of the entries before `end` equal to `name`, or -1.
  int search(std::string_view name, std::size_t end) const {
    for (std::size_t p = 0; p < end; ++p) {
      if ((*names_)[p] == name) return static_cast<int>(p);
    }
    return -1;
  }
  // Enters position `p` of `name` unless an earlier entry has the name;
  // returns the first position of the name.
  int enter(std::string_view name, int p) {
    const std::uint64_t hash = hashOf(name);
    auto& slot = slots_.find(hash, Named{*this, name});
    if (slot.filled()) return slot.entry;
    slots_.fill(slot, hash, p);
    return p;
  }
  // Moves from searching to hashing: room for twice the names of the list,
  // so that it need not grow while the list doubles, and the first
  // positions indexed so far entered.
  void startHashing() {
    slots_ = HashSlots<int>(2 * names_->size());
    for (std::size_t p = 0; p < first_.size(); ++p) {
      if (first_[p] == static_cast<int>(p)) enter(at(static_cast<int>(p)), static_cast<int>(p));
    }
  }

  SharedNames names_;
  std::vector<int> first_;  // per indexed entry, the first position of its name
  HashSlots<int> slots_;    // the first positions by name; no slots while searched
  std::size_t repeats_ = 0;
};

}  // namespace tablog

#endif  // TABLOG_TABLES_NAME_INDEX_H_
