// ValueIndex: the rows of a table by their values in some of its columns,
// the index step of every join. Per column, an open-addressing table from
// each value to its first row, and for every row the next row of the same
// value: a value's rows come out in table order, which is what keeps a
// join's rows in the order of the literal nested loops. Rows are numbered
// by their place in the table. A slot keeps the value's hash, so a lookup
// touches a value's text only when the hashes agree.
#ifndef TABLOG_TABLES_VALUE_INDEX_H_
#define TABLOG_TABLES_VALUE_INDEX_H_

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "rows/data_value.h"

namespace tablog {

class ValueIndex {
 public:
  // Indexes `rows` rows at `columns` columns; valueAt(s, c) is the value of
  // row s at column c. REQUIRES: the values stay where they are while the
  // index lives, and rows < 2^32 - 1.
  template <class ValueAt>
  ValueIndex(std::size_t columns, std::size_t rows, ValueAt valueAt)
      : rows_(rows), columns_(columns), next_(columns * rows, kNone) {
    assert(rows < kNone);
    for (std::size_t c = 0; c < columns; ++c) {
      Column& column = columns_[c];
      column.slots.assign(16, Slot{});
      for (std::uint32_t s = static_cast<std::uint32_t>(rows); s-- > 0;) {
        const DataValue& v = valueAt(s, c);
        std::size_t hash = hashOf(v);
        Slot& slot = column.slots[find(column, v, hash)];
        if (slot.value != nullptr) {
          next_[c * rows_ + s] = slot.first;
          slot.first = s;
          continue;
        }
        slot = Slot{&v, hash, s};
        if (2 * ++column.used > column.slots.size()) grow(column);
      }
    }
  }

  // Appends the rows whose value at column c equals `v`, in row order.
  void appendMatches(std::size_t c, const DataValue& v, std::vector<std::uint32_t>& out) const {
    const Slot& slot = columns_[c].slots[find(columns_[c], v, hashOf(v))];
    if (slot.value == nullptr) return;
    for (std::uint32_t s = slot.first; s != kNone; s = next_[c * rows_ + s]) out.push_back(s);
  }
  // True when some row's value at column c equals `v`.
  bool contains(std::size_t c, const DataValue& v) const {
    return columns_[c].slots[find(columns_[c], v, hashOf(v))].value != nullptr;
  }
  // The number of distinct values at column c.
  std::size_t distinct(std::size_t c) const { return columns_[c].used; }

 private:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};
  struct Slot {
    const DataValue* value = nullptr;  // nullptr: an empty slot
    std::size_t hash = 0;
    std::uint32_t first = kNone;
  };
  struct Column {
    std::vector<Slot> slots;  // a power of two of them, at most half full
    std::size_t used = 0;
  };

  static std::size_t hashOf(const DataValue& v) {
    return std::hash<std::string_view>()(v.text()) * 3 + v.kind();
  }
  // The slot holding `v`, else the empty slot where it would go.
  static std::size_t find(const Column& column, const DataValue& v, std::size_t hash) {
    std::size_t mask = column.slots.size() - 1;
    std::size_t i = hash & mask;
    for (;;) {
      const Slot& slot = column.slots[i];
      if (slot.value == nullptr || (slot.hash == hash && slot.value->equals(v))) return i;
      i = (i + 1) & mask;
    }
  }
  static void grow(Column& column) {
    std::vector<Slot> old(2 * column.slots.size());
    old.swap(column.slots);
    std::size_t mask = column.slots.size() - 1;
    for (const Slot& slot : old) {
      if (slot.value == nullptr) continue;
      std::size_t i = slot.hash & mask;
      while (column.slots[i].value != nullptr) i = (i + 1) & mask;
      column.slots[i] = slot;
    }
  }

  std::size_t rows_;
  std::vector<Column> columns_;
  std::vector<std::uint32_t> next_;  // next_[c * rows + s]: the next row after s
};

// The probe of one row: `matches` becomes the indexed rows that agree with
// it on some indexed column, in row order, a row once for each column it
// agrees on. valueOf(c) is the row's value at indexed column c.
template <class ValueOf>
void probeRow(const ValueIndex& index, std::size_t columns, ValueOf valueOf,
              std::vector<std::uint32_t>& matches) {
  matches.clear();
  for (std::size_t c = 0; c < columns; ++c) index.appendMatches(c, valueOf(c), matches);
  if (columns > 1) std::sort(matches.begin(), matches.end());
}

// True when some indexed row agrees with the row on some indexed column:
// one lookup per column, the partners themselves never listed.
template <class ValueOf>
bool hasPartner(const ValueIndex& index, std::size_t columns, ValueOf valueOf) {
  for (std::size_t c = 0; c < columns; ++c) {
    if (index.contains(c, valueOf(c))) return true;
  }
  return false;
}

}  // namespace tablog

#endif  // TABLOG_TABLES_VALUE_INDEX_H_
