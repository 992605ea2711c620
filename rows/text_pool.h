// TextPool: the long texts met in one table's data lines, by column, so
// that a text that repeats (a department, a city, a key) is stored once and
// every row that holds it shares its block. Short texts live in their
// values anyway. A column whose long texts mostly differ (names, remarks)
// stops being pooled: looking them up would cost more than sharing saves.
// A column's pooled values lie in a HashSlots table (rows/hash_slots.h);
// what is the pool's own is when to give a column up.
#ifndef TABLOG_ROWS_TEXT_POOL_H_
#define TABLOG_ROWS_TEXT_POOL_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rows/data_value.h"
#include "rows/hash_slots.h"

namespace tablog {

class TextPool {
 public:
  // Sets `v` from `literal` by the literal rule. When the text is too long
  // to be held in place and an equal value came before in `column`, `v`
  // shares that value's text.
  void setLiteral(DataValue& v, std::string_view literal, std::size_t column) {
    const auto [kind, text] = DataValue::parse(literal);
    if (text.size() <= kShortest) {
      v.setLiteral(literal);
    } else {
      setLong(v, literal, kind, text, column);
    }
  }

 private:
  static constexpr std::size_t kShortest = 10;  // longer texts leave their values
  static constexpr std::size_t kFirstRoom = 32;
  static constexpr std::size_t kJudgedFrom = 4096;

  struct Column {
    HashSlots<DataValue> pooled;  // no slots until the column's first long text
    std::size_t lookups = 0;
    std::size_t hits = 0;
    bool off = false;
  };

  // setLiteral for a text too long to be held in place, `kind` and `text`
  // being what the literal rule makes of `literal`.
  void setLong(DataValue& v, std::string_view literal, ValueKind kind, std::string_view text,
               std::size_t column) {
    if (column >= columns_.size()) columns_.resize(column + 1);
    Column& c = columns_[column];
    if (c.off) {
      v.setLiteral(literal);
      return;
    }
    if (c.pooled.slotCount() == 0) c.pooled = HashSlots<DataValue>(kFirstRoom);
    const std::uint64_t hash = DataValue::hashOf(kind, text);
    auto& slot = c.pooled.find(
        hash, [kind, text](const DataValue& p) { return p.kind() == kind && p.text() == text; });
    ++c.lookups;
    if (slot.filled()) {
      ++c.hits;
      v = slot.entry;
    } else {
      v.setLiteral(literal);
      c.pooled.fill(slot, hash, v);
    }
    // Every doubling of the lookups, from a few thousand on, asks whether
    // at least half of them found their text.
    if (c.lookups >= kJudgedFrom && (c.lookups & (c.lookups - 1)) == 0 && 2 * c.hits < c.lookups) {
      c = Column();
      c.off = true;
    }
  }

  std::vector<Column> columns_;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_TEXT_POOL_H_
