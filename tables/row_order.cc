// Normalisation of row lists: the fast stable sort with its proof check,
// the exchange sort it falls back to, and one-by-one insertion.
#include "tables/row_order.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <unordered_map>

namespace tablog {

namespace {

int compareValues(const DataValue& a, const DataValue& b) {
  if (a.kind() != b.kind()) return a.kind() < b.kind() ? -1 : 1;
  if (a.kind() == Plain) return a.number() < b.number() ? -1 : a.number() > b.number() ? 1 : 0;
  return a.text().compare(b.text());
}

// A 128-bit prefix of a row's place in the total order, from its first
// value: equal rows have equal keys, and a smaller key means a row that is
// not later.
struct SortKey {
  std::uint64_t high, low;
  bool operator<(const SortKey& o) const { return high != o.high ? high < o.high : low < o.low; }
  bool operator!=(const SortKey& o) const { return high != o.high || low != o.low; }
  bool operator==(const SortKey& o) const { return high == o.high && low == o.low; }
};

SortKey sortKey(const DataCol& row) {
  if (row.size() == 0) return {0, 0};
  const DataValue& v = row.at(0);
  std::uint64_t kind = static_cast<std::uint64_t>(v.kind()) << 62;
  if (v.kind() == Plain) {
    return {kind | (static_cast<std::uint32_t>(v.number()) ^ 0x80000000u), 0};
  }
  // Then 15 bytes of text: 7 in the high word, 8 in the low one.
  std::string_view t = v.text();
  auto byte = [&t](std::size_t i) -> std::uint64_t {
    return i < t.size() ? static_cast<unsigned char>(t[i]) : 0;
  };
  std::uint64_t high = 0, low = 0;
  for (std::size_t i = 0; i < 7; ++i) high = (high << 8) | byte(i);
  for (std::size_t i = 7; i < 15; ++i) low = (low << 8) | byte(i);
  return {kind | high, low};
}

// Whether two rows that stand next to each other after the stable sort
// keep the exchange sort's result: they are equal, or at their first
// unequal position they have the same kind and are ordered (two Plain
// values of the same number are allowed in the last position only).
bool neighboursAgree(const DataCol& a, const DataCol& b) {
  if (a.size() != b.size()) return false;
  for (int i = 0; i < a.size(); ++i) {
    const DataValue& x = a.at(i);
    const DataValue& y = b.at(i);
    if (x.equals(y)) continue;
    if (x.kind() != y.kind()) return false;
    return x.kind() != Plain || x.number() != y.number() || i == a.size() - 1;
  }
  return true;
}

void removeRepeats(RowList& rows) {
  if (rows.empty()) return;
  std::size_t kept = 1;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (!rows[i]->equals(*rows[kept - 1])) rows[kept++] = std::move(rows[i]);
  }
  rows.resize(kept);
}

// How the values at one column relate among rows that agree on every
// column before it. Rows whose values there are not equal compare by those
// values alone, which lets the work split along them.
enum class Shape {
  kKindRuns,   // more than one kind: values of different kinds never compare
  kGroups,     // one kind, different values ordered: groups in value order
  kValueRuns,  // one kind, no two different values ordered (plain texts of one number)
  kTangled,    // anything else
};

// The shape at `column` of the rows in `lists`; kTangled also when the rows
// are not all of one width. In the last column, plain values of one number
// count as one group: they never compare, and nothing comes after them.
Shape shapeAt(std::initializer_list<const std::vector<DataCol*>*> lists, int column, int width) {
  const DataValue* first = nullptr;
  bool kinds = false, clean = true, oneNumber = true;
  std::unordered_map<std::int32_t, std::string_view> textOf;
  for (const auto* list : lists) {
    for (const DataCol* row : *list) {
      if (row->size() != width) return Shape::kTangled;
      const DataValue& v = row->at(column);
      if (first == nullptr) first = &v;
      if (v.kind() != first->kind()) kinds = true;
      if (kinds || v.kind() != Plain) continue;
      oneNumber = oneNumber && v.number() == first->number();
      auto [it, added] = textOf.try_emplace(v.number(), v.text());
      clean = clean && (added || it->second == v.text());
    }
  }
  if (kinds) return Shape::kKindRuns;
  if (first == nullptr || first->kind() != Plain || clean || column == width - 1)
    return Shape::kGroups;
  return oneNumber ? Shape::kValueRuns : Shape::kTangled;
}

// Sorts `rows` stably by the total order and removes the repeats, if the
// result provably equals the exchange sort's; otherwise leaves them
// untouched and returns false.
bool sortRowsIfExact(RowList& rows) {
  std::size_t n = rows.size();
  if (n <= 1) return true;
  struct Entry {
    SortKey key;
    DataCol* row;
    std::uint32_t index;
  };
  std::vector<Entry> order(n);
  // Values of different kinds in a column make failing neighbours certain
  // in the first column and likely in the others, and so do plain texts of
  // one number in the first column (of two or more): leave such rows to the
  // split along columns, which is exact too.
  int width = rows[0]->size();
  std::vector<ValueKind> kinds;
  for (int c = 0; c < width; ++c) kinds.push_back(rows[0]->at(c).kind());
  std::unordered_map<std::int32_t, std::string_view> textOf;
  bool plainFirst = width > 1 && kinds[0] == Plain;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPrefetchDistance < n) prefetchRow(rows[i + kPrefetchDistance].get());
    DataCol& row = *rows[i];
    order[i] = {sortKey(row), &row, static_cast<std::uint32_t>(i)};
    if (row.size() != width) return false;
    for (int c = 0; c < width; ++c) {
      if (row.at(c).kind() != kinds[c]) return false;
    }
    if (plainFirst) {
      auto [it, added] = textOf.try_emplace(row.at(0).number(), row.at(0).text());
      if (!added && it->second != row.at(0).text()) return false;
    }
  }
  bool inOrder = true;
  for (std::size_t i = 1; i < n && inOrder; ++i) {
    inOrder = order[i - 1].key < order[i].key ||
              (order[i - 1].key == order[i].key && !totalLess(*order[i].row, *order[i - 1].row));
  }
  if (!inOrder) {
    std::sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
      if (a.key != b.key) return a.key < b.key;
      int c = 0;
      for (int i = 0; i < std::min(a.row->size(), b.row->size()) && c == 0; ++i) {
        c = compareValues(a.row->at(i), b.row->at(i));
      }
      if (c == 0) c = a.row->size() - b.row->size();
      return c != 0 ? c < 0 : a.index < b.index;  // ties keep their order
    });
  }
  // Neighbours whose keys differ differ in their first value: they agree
  // exactly when that value has the same kind in both.
  std::vector<bool> repeat(n, false);
  for (std::size_t i = 1; i < n; ++i) {
    std::size_t ahead = i + kPrefetchDistance;
    if (ahead < n && order[ahead].key == order[ahead - 1].key) {
      prefetchRow(order[ahead - 1].row);
      prefetchRow(order[ahead].row);
    }
    const Entry& a = order[i - 1];
    const Entry& b = order[i];
    if (a.key != b.key) {
      if ((a.key.high >> 62) != (b.key.high >> 62)) return false;
      continue;
    }
    if (!neighboursAgree(*a.row, *b.row)) return false;
    repeat[i] = a.row->equals(*b.row);
  }
  for (auto& row : rows) row.release();  // now held by `order`
  rows.clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (repeat[i]) {
      delete order[i].row;
    } else {
      rows.emplace_back(order[i].row);
    }
  }
  return true;
}

// Inserts `row` into the settled `rows` where the exchange sort would move
// it: after the last row that is not greater than it. Returns false, and
// leaves the list alone, when that row equals it. The rows stay settled.
bool insertSettled(std::vector<DataCol*>& rows, DataCol* row) {
  std::size_t i = rows.size();
  while (i > 0 && rows[i - 1]->greaterThan(*row)) --i;
  if (i > 0 && rows[i - 1]->equals(*row)) return false;
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(i), row);
  return true;
}

// A value's place among groups: plain values by number, the others by
// their bytes (a part in groups holds values of one kind).
struct GroupKey {
  std::int32_t number;
  std::string_view text;
  bool operator<(const GroupKey& o) const {
    return number != o.number ? number < o.number : text < o.text;
  }
};

GroupKey groupKey(const DataValue& v) {
  return v.kind() == Plain ? GroupKey{v.number(), {}} : GroupKey{0, v.text()};
}

// Whether two rows fall into the same run at `column` of that shape.
bool sameRun(Shape shape, const DataCol& a, const DataCol& b, int column) {
  return shape == Shape::kKindRuns ? a.at(column).kind() == b.at(column).kind()
                                   : a.at(column).equals(b.at(column));
}

void appendRows(RowList& rows, RowList& out) {
  for (auto& row : rows) out.push_back(std::move(row));
}

// Normalises `rows` and appends the result to `out`. Where the values at a
// column split the rows (which agree on every column before it) into parts
// that the exchange sort provably keeps apart (rows of different kinds, or
// plain texts of one number, never trade places; groups of ordered values
// end up in value order), each part is normalised on its own; otherwise the
// exchange sort runs on the part. Parts wait on a stack, not in nested
// calls, so that no input can exhaust the call stack.
void normalizeSplit(RowList rows, RowList& out) {
  struct Part {
    RowList rows;
    int column;
    bool ready;  // normalised: goes to `out` as it is
  };
  std::vector<Part> stack, parts;
  stack.push_back({std::move(rows), 0, false});
  while (!stack.empty()) {
    Part part = std::move(stack.back());
    stack.pop_back();
    RowList& rows = part.rows;
    int column = part.column;
    if (part.ready || rows.size() <= 1) {
      appendRows(rows, out);
      continue;
    }
    int width = rows[0]->size();
    std::vector<DataCol*> view;
    for (const auto& row : rows) view.push_back(row.get());
    Shape shape = column < width ? shapeAt({&view}, column, width) : Shape::kTangled;
    if (column >= width && std::all_of(view.begin(), view.end(),
                                       [width](DataCol* row) { return row->size() == width; })) {
      out.push_back(std::move(rows[0]));  // equal rows: the first stays
      continue;
    }
    if (shape == Shape::kTangled) {
      exchangeNormalize(rows);
      appendRows(rows, out);
      continue;
    }
    parts.clear();
    if (shape == Shape::kGroups) {
      bool plain = rows[0]->at(column).kind() == Plain;
      std::map<GroupKey, RowList> groups;
      for (auto& row : rows) {
        GroupKey key = groupKey(row->at(column));
        groups[key].push_back(std::move(row));
      }
      for (auto& [key, group] : groups) {
        bool ties = plain && column == width - 1;
        if (ties) exchangeNormalize(group);  // no exchange; the repeats go
        parts.push_back({std::move(group), column + 1, ties});
      }
    } else {
      int next = shape == Shape::kKindRuns ? column : column + 1;
      for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i + 1;
        while (j < rows.size() && sameRun(shape, *rows[i], *rows[j], column)) ++j;
        RowList run(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(i)),
                    std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(j)));
        parts.push_back({std::move(run), next, false});
        i = j;
      }
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) stack.push_back(std::move(*it));
  }
}

// Inserts `incoming`, one row at a time, into `settled`, a settled list,
// and appends the result to `out` (and the rows that go to `dropped`). A
// row moves left past the rows greater than it, stops at the first that is
// not, and is dropped when that row equals it. The values at a column split
// this as they split the normalisation: a row never moves past a row of
// another run, so it only ever joins the last run if it belongs there; and
// within groups of ordered values, a row only ever moves within its own
// group. Parts wait on a stack, as above.
void insertSplit(std::vector<DataCol*> settled, std::vector<DataCol*> incoming,
                 std::vector<DataCol*>& out, std::vector<DataCol*>& dropped) {
  struct Part {
    std::vector<DataCol*> settled, incoming;
    int column;
  };
  std::vector<Part> stack, parts;
  stack.push_back({std::move(settled), std::move(incoming), 0});
  auto ready = [&parts](std::vector<DataCol*> rows) { parts.push_back({std::move(rows), {}, 0}); };
  while (!stack.empty()) {
    Part part = std::move(stack.back());
    stack.pop_back();
    const std::vector<DataCol*>& settled = part.settled;
    const std::vector<DataCol*>& incoming = part.incoming;
    int column = part.column;
    if (incoming.empty()) {
      out.insert(out.end(), settled.begin(), settled.end());
      continue;
    }
    int width = (settled.empty() ? incoming.front() : settled.front())->size();
    if (column >= width) {
      // Equal rows: the first stays.
      out.push_back(settled.empty() ? incoming.front() : settled.front());
      dropped.insert(dropped.end(), incoming.begin() + (settled.empty() ? 1 : 0), incoming.end());
      continue;
    }
    Shape shape = shapeAt({&settled, &incoming}, column, width);
    if (shape == Shape::kTangled) {
      std::vector<DataCol*> list(settled);
      for (DataCol* row : incoming) {
        if (!insertSettled(list, row)) dropped.push_back(row);
      }
      out.insert(out.end(), list.begin(), list.end());
      continue;
    }
    parts.clear();
    if (shape == Shape::kGroups) {
      bool plain = (settled.empty() ? incoming : settled)[0]->at(column).kind() == Plain;
      std::map<GroupKey, Part> groups;
      for (DataCol* row : settled) groups[groupKey(row->at(column))].settled.push_back(row);
      for (DataCol* row : incoming) groups[groupKey(row->at(column))].incoming.push_back(row);
      for (auto& [key, group] : groups) {
        if (plain && column == width - 1 && !group.incoming.empty()) {
          // Ties only: each row goes to the end unless it equals the row there.
          std::vector<DataCol*>& list = group.settled;
          for (DataCol* row : group.incoming) {
            if (!list.empty() && list.back()->equals(*row)) {
              dropped.push_back(row);
            } else {
              list.push_back(row);
            }
          }
          ready(std::move(list));
        } else {
          group.column = column + 1;
          parts.push_back(std::move(group));
        }
      }
    } else {
      // Runs: everything but the last settled run stays as it is.
      std::size_t lastRun = settled.size();
      while (lastRun > 0 && sameRun(shape, *settled[lastRun - 1], *settled.back(), column)) {
        --lastRun;
      }
      ready({settled.begin(), settled.begin() + static_cast<std::ptrdiff_t>(lastRun)});
      int next = shape == Shape::kKindRuns ? column : column + 1;
      Part run{{settled.begin() + static_cast<std::ptrdiff_t>(lastRun), settled.end()}, {}, next};
      for (DataCol* row : incoming) {
        const DataCol* last = !run.incoming.empty()  ? run.incoming.back()
                              : !run.settled.empty() ? run.settled.back()
                                                     : nullptr;
        if (last != nullptr && !sameRun(shape, *last, *row, column)) {
          parts.push_back(std::move(run));
          run = Part{{}, {}, next};
        }
        run.incoming.push_back(row);
      }
      parts.push_back(std::move(run));
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) stack.push_back(std::move(*it));
  }
}

}  // namespace

bool sortIfExact(RowList& rows) { return sortRowsIfExact(rows); }

bool totalLess(const DataCol& a, const DataCol& b) {
  for (int i = 0; i < std::min(a.size(), b.size()); ++i) {
    int c = compareValues(a.at(i), b.at(i));
    if (c != 0) return c < 0;
  }
  return a.size() < b.size();
}

bool isSettled(const RowList& rows, std::size_t count) {
  for (std::size_t i = 1; i < count; ++i) {
    if (rows[i - 1]->greaterThan(*rows[i]) || rows[i - 1]->equals(*rows[i])) return false;
  }
  return true;
}

void exchangeNormalize(RowList& rows) {
  std::size_t n = rows.size();
  for (std::size_t pass = 0; pass < n; ++pass) {
    // Passes 0 and 1 visit the pairs up to (n-2, n-1); pass p >= 2 stops at
    // (n-1-p, n-p).
    std::size_t last = pass <= 1 ? n - 2 : n - 1 - pass;
    bool exchanged = false;
    for (std::size_t k = 0; k + 1 < n && k <= last; ++k) {
      if (rows[k]->greaterThan(*rows[k + 1])) {
        std::swap(rows[k], rows[k + 1]);
        exchanged = true;
      }
    }
    if (!exchanged) break;
  }
  removeRepeats(rows);
}

bool normalizeRows(RowList& rows) {
  if (sortRowsIfExact(rows)) return true;
  RowList out;
  out.reserve(rows.size());
  normalizeSplit(std::move(rows), out);
  rows = std::move(out);
  return isSettled(rows, rows.size());  // then the exchange sort finds nothing to do
}

bool settlePending(RowList& rows, std::size_t pending) {
  // When the whole list is provably ordered by the stable sort, inserting
  // one row at a time gives the stable sort of the list as it stands.
  if (sortIfExact(rows)) return true;
  std::size_t start = rows.size() - pending;
  if (isSettled(rows, start)) {
    // The split works on borrowed pointers; ownership moves only at the end,
    // where nothing can fail, so running out of memory loses no row.
    std::vector<DataCol*> settled, incoming, order, dropped;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      (i < start ? settled : incoming).push_back(rows[i].get());
    }
    insertSplit(std::move(settled), std::move(incoming), order, dropped);
    for (auto& row : rows) row.release();
    rows.clear();
    for (DataCol* row : order) rows.emplace_back(row);  // within the old capacity
    for (DataCol* row : dropped) delete row;
    return true;  // settled: the exchange sort finds nothing to do
  }
  // Not settled: the first insertion sorts the whole list.
  RowList incoming(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(start)),
                   std::make_move_iterator(rows.end()));
  rows.resize(start);
  for (auto& row : incoming) {
    if (isSettled(rows, rows.size())) {
      std::size_t i = rows.size();
      while (i > 0 && rows[i - 1]->greaterThan(*row)) --i;
      if (i > 0 && rows[i - 1]->equals(*row)) continue;  // a repeat: it goes with `incoming`
      rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(i), std::move(row));
    } else {
      rows.push_back(std::move(row));
      exchangeNormalize(rows);
    }
  }
  return isSettled(rows, rows.size());
}

}  // namespace tablog
