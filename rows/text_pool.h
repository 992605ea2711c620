// TextPool: the long texts met in one table's data lines, by column, so
// that a text that repeats (a department, a city, a key) is stored once and
// every row that holds it shares its block. Short texts live in their
// values anyway. A column whose long texts mostly differ (names, remarks)
// stops being pooled: looking them up would cost more than sharing saves.
#ifndef TABLOG_ROWS_TEXT_POOL_H_
#define TABLOG_ROWS_TEXT_POOL_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "rows/data_value.h"

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
      return;
    }
    if (column >= columns_.size()) columns_.resize(column + 1);
    Column& c = columns_[column];
    if (c.off) {
      v.setLiteral(literal);
      return;
    }
    std::uint64_t hash = (std::hash<std::string_view>()(text) * 3 + kind) | 1;  // 0: empty slot
    std::size_t slot = find(c, text, kind, hash);
    ++c.lookups;
    if (c.hashes.empty() || c.hashes[slot] == 0) {
      v.setLiteral(literal);
      enter(c, v, hash);
    } else {
      ++c.hits;
      v = c.values[slot];
    }
    // Every doubling of the lookups, from a few thousand on, asks whether
    // at least half of them found their text.
    if (c.lookups >= kJudgedFrom && (c.lookups & (c.lookups - 1)) == 0 && 2 * c.hits < c.lookups) {
      c = Column();
      c.off = true;
    }
  }

 private:
  static constexpr std::size_t kShortest = 10;  // longer texts leave their values
  static constexpr std::size_t kJudgedFrom = 4096;

  struct Column {
    std::vector<std::uint64_t> hashes;  // a power of two of slots, 0 for an empty one
    std::vector<DataValue> values;
    std::size_t used = 0;
    std::size_t lookups = 0;
    std::size_t hits = 0;
    bool off = false;
  };

  // The slot holding the value of `text` and `kind`, else the empty slot
  // where it would go; 0 when there are no slots yet.
  static std::size_t find(const Column& c, std::string_view text, ValueKind kind,
                          std::uint64_t hash) {
    if (c.hashes.empty()) return 0;
    std::size_t mask = c.hashes.size() - 1;
    std::size_t i = hash & mask;
    while (c.hashes[i] != 0 &&
           (c.hashes[i] != hash || c.values[i].kind() != kind || c.values[i].text() != text)) {
      i = (i + 1) & mask;
    }
    return i;
  }
  static void enter(Column& c, const DataValue& v, std::uint64_t hash) {
    if (2 * (c.used + 1) > c.hashes.size()) {
      Column grown;
      grown.hashes.assign(c.hashes.empty() ? 64 : 2 * c.hashes.size(), 0);
      grown.values.resize(grown.hashes.size());
      for (std::size_t i = 0; i < c.hashes.size(); ++i) {
        if (c.hashes[i] != 0) place(grown, c.values[i], c.hashes[i]);
      }
      grown.lookups = c.lookups;
      grown.hits = c.hits;
      c = std::move(grown);
    }
    place(c, v, hash);
  }
  static void place(Column& c, const DataValue& v, std::uint64_t hash) {
    std::size_t mask = c.hashes.size() - 1;
    std::size_t i = hash & mask;
    while (c.hashes[i] != 0) i = (i + 1) & mask;
    c.hashes[i] = hash;
    c.values[i] = v;
    ++c.used;
  }

  std::vector<Column> columns_;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_TEXT_POOL_H_
