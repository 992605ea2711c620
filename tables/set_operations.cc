// The set operations of tables/set_operations.h.
#include "tables/set_operations.h"

#include <functional>
#include <string_view>
#include <unordered_set>

#include "tables/row_order.h"

namespace tablog {

namespace {

struct RowHash {
  std::size_t operator()(const DataCol* row) const {
    std::size_t h = static_cast<std::size_t>(row->size());
    for (int i = 0; i < row->size(); ++i) {
      h = h * 1000003u ^ (std::hash<std::string_view>()(row->at(i).text()) + row->at(i).kind());
    }
    return h;
  }
};
struct RowEq {
  bool operator()(const DataCol* a, const DataCol* b) const { return a->equals(*b); }
};

}  // namespace

void uniteRows(RowList& rows, RowList added, const Workers& workers) {
  if (rows.empty()) {
    rows.swap(added);
  } else {
    rows.reserve(rows.size() + added.size());
    for (auto& row : added) rows.push_back(std::move(row));
  }
  const std::size_t before = rows.size();
  normalizeRows(rows, kRadixSortFrom, workers);
  // The list usually stays as it is for the rest of the run: the room of
  // the repeats it dropped goes back when that is much. Room it never used
  // costs no memory, and a copy would.
  if (before - rows.size() > rows.size() / 4) rows.shrink_to_fit();
}

RowList rowsNotIn(const RowList& rows, const RowList& other, RowStore* store) {
  std::unordered_set<const DataCol*, RowHash, RowEq> drop;
  for (const auto& row : other) drop.insert(row.get());
  RowList kept;
  for (const auto& row : rows) {
    if (!drop.contains(row.get())) kept.push_back(DataCol::make(store, *row));
  }
  return kept;
}

RowList rowsNotMatching(const RowList& rows, const DataCol& wanted, RowStore* store) {
  RowList kept;
  for (const auto& row : rows) {
    if (!row->matches(wanted)) kept.push_back(DataCol::make(store, *row));
  }
  return kept;
}

}  // namespace tablog
