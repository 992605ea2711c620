// NameIndex: the first position of each name of a list of column names.
// Wide tables (the running result of a rule of many atoms has a column per
// variable) find their columns by name through it: a short list is
// searched directly, a long one through a hash table of positions, so that
// finding every column of a table costs time linear in its width. The
// index holds the list it indexes; names appended to that list later are
// taken in by catchUp, so a list that grows need not be indexed again.
#ifndef TABLOG_TABLES_NAME_INDEX_H_
#define TABLOG_TABLES_NAME_INDEX_H_

#include <cassert>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

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
    const Names& names = *names_;
    assert(first_.size() <= names.size());
    if (names.size() > kSearched && 2 * names.size() > slots_.size()) grow();
    for (std::size_t p = first_.size(); p < names.size(); ++p) {
      int first = slots_.empty() ? search(names[p], p + 1) : enter(names[p], static_cast<int>(p));
      if (first != static_cast<int>(p)) ++repeats_;
      first_.push_back(first);
    }
  }

  // Position of the first entry equal to `name`, or -1.
  int find(std::string_view name) const {
    return slots_.empty() ? search(name, first_.size())
                          : slots_[slotOf(name, hashOf(name))].position;
  }
  // The first position of the name at position `p`.
  // REQUIRES: 0 <= p < the number of entries indexed.
  int firstOf(int p) const {
    assert(p >= 0 && static_cast<std::size_t>(p) < first_.size());
    return first_[static_cast<std::size_t>(p)];
  }
  // True when no name occurs twice.
  bool unique() const { return repeats_ == 0; }

 private:
  static constexpr std::size_t kSearched = 16;
  struct Slot {
    std::size_t hash;
    int position;  // -1 for an empty slot
  };

  static std::size_t hashOf(std::string_view name) { return std::hash<std::string_view>()(name); }
  const std::string& at(int p) const { return (*names_)[static_cast<std::size_t>(p)]; }

  // The first of the entries before `end` equal to `name`, or -1.
  int search(std::string_view name, std::size_t end) const {
    for (std::size_t p = 0; p < end; ++p) {
      if ((*names_)[p] == name) return static_cast<int>(p);
    }
    return -1;
  }
  // The slot holding `name`, else the empty slot where it would go.
  std::size_t slotOf(std::string_view name, std::size_t hash) const {
    std::size_t s = hash & (slots_.size() - 1);
    while (slots_[s].position >= 0 && (slots_[s].hash != hash || at(slots_[s].position) != name)) {
      s = (s + 1) & (slots_.size() - 1);
    }
    return s;
  }
  // Enters position `p` of `name` unless an earlier entry has the name;
  // returns the first position of the name.
  int enter(std::string_view name, int p) {
    std::size_t hash = hashOf(name);
    Slot& slot = slots_[slotOf(name, hash)];
    if (slot.position < 0) slot = Slot{hash, p};
    return slot.position;
  }
  // A table of at least four slots per name, so that it stays at most half
  // full while the list doubles.
  void grow() {
    std::size_t size = 1;
    while (size < 4 * names_->size()) size *= 2;
    slots_.assign(size, Slot{0, -1});
    for (std::size_t p = 0; p < first_.size(); ++p) {
      if (first_[p] == static_cast<int>(p)) enter(at(static_cast<int>(p)), static_cast<int>(p));
    }
  }

  SharedNames names_;
  std::vector<int> first_;  // per indexed entry, the first position of its name
  std::vector<Slot> slots_;
  std::size_t repeats_ = 0;
};

}  // namespace tablog

#endif  // TABLOG_TABLES_NAME_INDEX_H_
