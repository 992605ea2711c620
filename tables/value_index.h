// ValueIndex: the rows of a table by their values in some of its columns,
// the index step of every join. Per column, an open-addressing table from
// each value to its first row, and for every row the next row of the same
// value: a value's rows come out in table order, which is what keeps a
// join's rows in the order of the literal nested loops. Rows are numbered
// by their place in the table. The tables are HashSlots (rows/hash_slots.h),
// which keep each value's hash, so a lookup touches a value's text only
// when the hashes agree.
#ifndef TABLOG_TABLES_VALUE_INDEX_H_
#define TABLOG_TABLES_VALUE_INDEX_H_

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rows/data_value.h"
#include "rows/hash_slots.h"

namespace tablog {

class ValueIndex {
 public:
  // Indexes `rows` rows at `columns` columns; valueAt(s, c) is the value of
  // row s at column c. REQUIRES: the values stay where they are while the
  // index lives, and rows < 2^32 - 1.
  template <class ValueAt>
  ValueIndex(std::size_t columns, std::size_t rows, ValueAt valueAt)
      : rows_(rows), next_(columns * rows, kNone) {
    assert(rows < kNone);
    columns_.reserve(columns);
    for (std::size_t c = 0; c < columns; ++c) {
      HashSlots<First>& column = columns_.emplace_back(kFirstRoom);
      for (std::uint32_t s = static_cast<std::uint32_t>(rows); s-- > 0;) {
        const DataValue& v = valueAt(s, c);
        const std::uint64_t hash = v.hash();
        auto& slot = column.find(hash, Holding{v});
        if (slot.filled()) {
          next_[c * rows_ + s] = slot.entry.row;
          slot.entry.row = s;
        } else {
          column.fill(slot, hash, First{&v, s});
        }
      }
    }
  }

  // Appends the rows whose value at column c equals `v`, in row order.
  void appendMatches(std::size_t c, const DataValue& v, std::vector<std::uint32_t>& out) const {
    const auto& slot = columns_[c].find(v.hash(), Holding{v});
    if (!slot.filled()) return;
    for (std::uint32_t s = slot.entry.row; s != kNone; s = next_[c * rows_ + s]) out.push_back(s);
  }
  // True when some row's value at column c equals `v`.
  bool contains(std::size_t c, const DataValue& v) const {
    return columns_[c].find(v.hash(), Holding{v}).filled();
  }
  // The number of distinct values at column c.
  std::size_t distinct(std::size_t c) const { return columns_[c].size(); }

 private:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};
  static constexpr std::size_t kFirstRoom = 8;
  // A value's entry: the value as its first row holds it, and that row.
  struct First {
    const DataValue* value = nullptr;
    std::uint32_t row = kNone;
  };

  // Whether an entry is that of `v`.
  struct Holding {
    const DataValue& v;
    bool operator()(const First& f) const { return f.value->equals(v); }
  };

  std::size_t rows_;
  std::vector<HashSlots<First>> columns_;  // per column, each distinct value's first row
  std::vector<std::uint32_t> next_;        // next_[c * rows + s]: the next row after s
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
