// Normalisation of row lists: the fast stable sort with its proof check,
// the exchange sort it falls back to, and one-by-one insertion.
#include "tables/row_order.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// Sorts `rows` stably by the total order and removes the repeats, if the
// result provably equals the exchange sort's; otherwise leaves them
// untouched and returns false.
bool sortRowsIfExact(RowList& rows) {
  std::size_t n = rows.size();
  bool inOrder = true;
  for (std::size_t i = 1; i < n && inOrder; ++i) {
    inOrder = !totalLess(*rows[i], *rows[i - 1]) && neighboursAgree(*rows[i - 1], *rows[i]);
  }
  if (inOrder) {
    removeRepeats(rows);
    return true;
  }

  struct Entry {
    SortKey key;
    std::uint32_t index;
  };
  std::vector<Entry> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = {sortKey(*rows[i]), static_cast<std::uint32_t>(i)};
  std::sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
    if (a.key != b.key) return a.key < b.key;
    int c = 0;
    const DataCol& x = *rows[a.index];
    const DataCol& y = *rows[b.index];
    for (int i = 0; i < std::min(x.size(), y.size()) && c == 0; ++i)
      c = compareValues(x.at(i), y.at(i));
    if (c == 0) c = x.size() - y.size();
    return c != 0 ? c < 0 : a.index < b.index;  // ties keep their order
  });
  // Neighbours whose keys differ differ in their first value: they agree
  // exactly when that value has the same kind in both.
  std::vector<bool> repeat(n, false);
  for (std::size_t i = 1; i < n; ++i) {
    const Entry& a = order[i - 1];
    const Entry& b = order[i];
    if (a.key != b.key) {
      if ((a.key.high >> 62) != (b.key.high >> 62)) return false;
      continue;
    }
    const DataCol& x = *rows[a.index];
    const DataCol& y = *rows[b.index];
    if (!neighboursAgree(x, y)) return false;
    repeat[i] = x.equals(y);
  }
  RowList sorted;
  sorted.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!repeat[i]) sorted.push_back(std::move(rows[order[i].index]));
  }
  rows = std::move(sorted);  // the repeats go with the old list
  return true;
}

// Inserts `row` into settled `rows` where the exchange sort would move it:
// after the last row that is not greater than it; dropped if equal to
// that row. The rows stay settled.
void insertSettled(RowList& rows, std::unique_ptr<DataCol> row) {
  std::size_t i = rows.size();
  while (i > 0 && rows[i - 1]->greaterThan(*row)) --i;
  if (i > 0 && rows[i - 1]->equals(*row)) return;
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(i), std::move(row));
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

bool isSettled(const RowList& rows) {
  for (std::size_t i = 1; i < rows.size(); ++i) {
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

void normalizeRows(RowList& rows) {
  if (!sortIfExact(rows)) exchangeNormalize(rows);
}

void settlePending(RowList& rows, std::size_t pending) {
  // When the whole list is provably ordered by the stable sort, inserting
  // one row at a time gives the stable sort of the list as it stands.
  if (sortIfExact(rows)) return;
  std::size_t start = rows.size() - pending;
  RowList incoming(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(start)),
                   std::make_move_iterator(rows.end()));
  rows.resize(start);
  bool settled = isSettled(rows);
  for (auto& row : incoming) {
    if (settled) {
      insertSettled(rows, std::move(row));
    } else {
      rows.push_back(std::move(row));
      exchangeNormalize(rows);
      settled = isSettled(rows);
    }
  }
}

}  // namespace tablog
