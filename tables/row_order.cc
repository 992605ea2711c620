// The normalised order of a row list, column by column.
//
// Why it is exact: a row only ever moves left past rows greater than it, and
// a row is greater than another only at their first unequal column, where
// both values have one kind and the first is greater (Plain by number, the
// others by bytes). So among rows that agree on the columns before c, the
// normal form at column c is: runs of one kind in arrival order (no row
// passes a row of another kind; a row that has ended counts as a kind of its
// own); inside a run, the values in order; inside one Plain number, runs of
// one text in arrival order (two such texts never compare); and among rows of
// one value, the same again at column c + 1. Rows that end together are
// equal: the first to arrive stays. A stable sort of each level by (value,
// text run) within each kind run builds exactly that list. A range starts
// every level in arrival order, so a stable sort by key alone (the radix
// sort of large ranges) orders it by key and arrival; only keys that tie
// in their first 8 bytes need the whole texts.
#include "tables/row_order.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/radix_sort.h"

namespace tablog {

namespace {

// A row's place while the levels are sorted, in 16 bytes: a key, and the
// row's address with a tag in the three bits that the alignment of rows
// leaves free. The tag is the row's kind at the current column. Every sort
// of entries is stable, so ties keep the order in which a range starts its
// level, which is arrival order.
struct Entry {
  // The value's sort key: its number, or its first 8 bytes; within one
  // Plain number, the text run of the value.
  std::uint64_t key;
  std::uintptr_t word;  // the row | the tag

  static constexpr std::uintptr_t kTagBits = 7;
  DataCol* row() const { return reinterpret_cast<DataCol*>(word & ~kTagBits); }
  std::uint32_t tag() const { return static_cast<std::uint32_t>(word & kTagBits); }
  void setTag(std::uint32_t tag) { word = (word & ~kTagBits) | tag; }
};
static_assert(alignof(DataCol) > Entry::kTagBits);

// Entries are made in memory that nothing fills first: the first to write
// an entry is the part of the work that owns it, on its own thread, so a
// large list's pages are first touched in parallel and only once.
template <class T>
struct LeftUnset : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = LeftUnset<U>;
  };
  LeftUnset() = default;
  template <class U>
  LeftUnset(const LeftUnset<U>&) {}
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using Entries = std::vector<Entry, LeftUnset<Entry>>;

constexpr std::uint32_t kEnded = 3;    // the kind of a row that has no value here
constexpr std::uint32_t kDropped = 4;  // a row equal to the one before it

std::uint32_t kindAt(const DataCol& row, int column) {
  return column < row.size() ? static_cast<std::uint32_t>(row.at(column).kind()) : kEnded;
}

// The first 8 bytes of `t`, big-endian and zero-padded: a smaller key means
// a text earlier in byte order; equal keys need the whole texts compared.
std::uint64_t textPrefix(std::string_view t) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    word = (word << 8) | (i < t.size() ? static_cast<unsigned char>(t[i]) : 0u);
  }
  return word;
}

struct Range {
  std::uint32_t begin, end;
  int column;
};

// Ranges of fewer rows than this are not worth cutting over threads.
constexpr std::size_t kLeastPart = std::size_t{1} << 15;

class Leveller {
 public:
  Leveller(Entries& entries, std::size_t radixFrom, Workers workers = Workers())
      : e_(entries), radixFrom_(radixFrom), workers_(workers) {}

  // Normalises the whole list.
  void run() {
    if (e_.size() > 1) work_.push_back({0, static_cast<std::uint32_t>(e_.size()), 0});
    drain();
  }
  // Normalises each range of more than one row on its own, from `column` on.
  // REQUIRES: the rows of a range agree on every column before `column`.
  void run(const std::vector<std::uint32_t>& ends, int column) {
    for (std::size_t g = 0, begin = 0; g < ends.size(); begin = ends[g++]) {
      if (ends[g] - begin > 1)
        work_.push_back({static_cast<std::uint32_t>(begin), ends[g], column});
    }
    drain();
  }

 private:
  // Ranges are disjoint, and each is normalised by its own entries alone,
  // so they may be taken in any order and on any thread. With several
  // threads, a large range is levelled with its walks and sorts spread
  // over them; the small ones are left to the end and shared out.
  void drain() {
    std::vector<Range> small;
    while (!work_.empty()) {
      Range r = work_.back();
      work_.pop_back();
      if (workers_.threads() > 1 && r.end - r.begin < kLeastPart) {
        small.push_back(r);
      } else {
        level(r);
      }
    }
    if (!small.empty()) spread(small);
  }

  // Normalises the disjoint `ranges`, cut into parts of about equal rows,
  // each part on one thread by a one-thread Leveller of its own.
  void spread(const std::vector<Range>& ranges) {
    std::size_t total = 0;
    for (const Range& r : ranges) total += r.end - r.begin;
    const std::size_t parts = workers_.partsFor(total, kLeastPart);
    std::vector<std::size_t> cuts{0};
    for (std::size_t i = 0, rows = 0; i < ranges.size(); ++i) {
      rows += ranges[i].end - ranges[i].begin;
      if (rows * parts >= total * cuts.size() && cuts.size() < parts) cuts.push_back(i + 1);
    }
    cuts.resize(parts + 1, ranges.size());
    cuts.back() = ranges.size();
    workers_.run(parts, [&](std::size_t k) {
      Leveller one(e_, radixFrom_);
      one.work_.assign(ranges.begin() + static_cast<std::ptrdiff_t>(cuts[k]),
                       ranges.begin() + static_cast<std::ptrdiff_t>(cuts[k + 1]));
      one.drain();
    });
  }

  // Sets the tag and key of e_[begin, end) from their values at `column`.
  void readKeys(std::uint32_t begin, std::uint32_t end, int column) {
    for (std::uint32_t i = begin; i < end; ++i) {
      if (i + 2 * kPrefetchDistance < end) prefetchRow(e_[i + 2 * kPrefetchDistance].row());
      if (i + kPrefetchDistance < end) prefetchText(e_[i + kPrefetchDistance], column);
      Entry& x = e_[i];
      const DataCol& row = *x.row();
      const std::uint32_t kind = kindAt(row, column);
      x.setTag(kind);
      if (kind == Quoted) {
        x.key = textPrefix(row.at(column).text());
      } else if (kind == Plain) {
        x.key = static_cast<std::uint32_t>(row.at(column).number()) ^ 0x80000000u;
      }
    }
  }

  // Splits a range of rows that agree before `column` into kind runs and
  // orders each. One walk over the rows reads each value's kind and key.
  void level(Range r) {
    const std::size_t size = r.end - r.begin, parts = workers_.partsFor(size, kLeastPart);
    workers_.run(parts, [&](std::size_t k) {
      readKeys(static_cast<std::uint32_t>(r.begin + size * k / parts),
               static_cast<std::uint32_t>(r.begin + size * (k + 1) / parts), r.column);
    });
    for (std::uint32_t s = r.begin; s < r.end;) {
      std::uint32_t t = s + 1;
      while (t < r.end && e_[t].tag() == e_[s].tag()) ++t;
      if (t - s > 1) kindRun(s, t, r.column, e_[s].tag());
      s = t;
    }
  }

  void kindRun(std::uint32_t s, std::uint32_t t, int column, std::uint32_t kind) {
    if (kind == kEnded) {
      for (std::uint32_t i = s + 1; i < t; ++i) e_[i].setTag(kDropped);
    } else if (kind == Null) {
      work_.push_back({s, t, column + 1});  // Null values are all equal
    } else if (kind == Quoted) {
      quotedRun(s, t, column);
    } else {
      plainRun(s, t, column);
    }
  }

  std::string_view text(const Entry& x, int column) const { return x.row()->at(column).text(); }
  // Fetches ahead the text of x at `column`, held apart when it is long;
  // x's row should be on its way already.
  void prefetchText(const Entry& x, int column) const {
    if (const DataCol* row = x.row(); column < row->size()) row->at(column).prefetchText();
  }

  void quotedRun(std::uint32_t s, std::uint32_t t, int column) {
    auto less = [column, this](const Entry& a, const Entry& b) {
      if (a.key != b.key) return a.key < b.key;
      return text(a, column) < text(b, column);
    };
    auto same = [column, this](const Entry& a, const Entry& b) {
      return a.key == b.key && text(a, column) == text(b, column);
    };
    // A large range is put in order unless its keys alone show it is: its
    // texts are then each read once, ahead of their use, where checking
    // the order would compare neighbours' texts whenever keys tie.
    if (t - s >= radixFrom_ && !keysIncrease(s, t)) {
      radixByKey(s, t);
      refine(s, t, column, less, same);
    } else {
      sortIfNeeded(s, t, less);
      groups(s, t, column, same);
    }
  }

  // Orders the runs of equal keys of e_[s, t), which is in key order, by
  // their whole texts. A large run, whose texts share their first 8 bytes
  // (a common prefix such as "employee "), takes the next 8 bytes as its
  // key and another radix sort, and so on, so that texts far longer than a
  // key still sort in n log n without comparing them byte by byte; a small
  // run, or one whose texts have all ended, is sorted by comparison, and
  // its groups of equal texts go on to the next column while its texts are
  // at hand. A row alone in its run is alone in its group.
  template <class Less, class Same>
  void refine(std::uint32_t s, std::uint32_t t, int column, Less less, Same same) {
    std::vector<Range> runs;  // Range::column holds the depth in 8-byte words
    auto pushRuns = [&](std::uint32_t from, std::uint32_t to, int depth) {
      for (std::uint32_t b = from; b < to;) {
        std::uint32_t e = b + 1;
        while (e < to && e_[e].key == e_[b].key) ++e;
        if (e - b > 1) runs.push_back({b, e, depth});
        b = e;
      }
    };
    pushRuns(s, t, 1);
    while (!runs.empty()) {
      Range r = runs.back();
      runs.pop_back();
      const std::size_t skip = 8 * static_cast<std::size_t>(r.column);
      bool ended = true;
      if (r.end - r.begin >= radixFrom_) {
        for (std::uint32_t i = r.begin; i < r.end; ++i) {
          if (i + 2 * kPrefetchDistance < r.end) prefetchRow(e_[i + 2 * kPrefetchDistance].row());
          if (i + kPrefetchDistance < r.end) prefetchText(e_[i + kPrefetchDistance], column);
          std::string_view v = text(e_[i], column);
          ended = ended && v.size() <= skip;
          e_[i].key = textPrefix(v.size() > skip ? v.substr(skip) : std::string_view());
        }
      }
      if (ended) {
        sortIfNeeded(r.begin, r.end, less);
        groups(r.begin, r.end, column, same);
      } else {
        radixByKey(r.begin, r.end);
        pushRuns(r.begin, r.end, r.column + 1);
      }
    }
  }

  void plainRun(std::uint32_t s, std::uint32_t t, int column) {
    auto less = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    if (t - s >= radixFrom_) {
      radixByKey(s, t);
    } else {
      sortIfNeeded(s, t, less);
    }
    // Within one number the rows stand in arrival order; each change of
    // text starts a new text run, whose number becomes the key.
    for (std::uint32_t b = s; b < t;) {
      std::uint32_t e = b + 1;
      while (e < t && e_[e].key == e_[b].key) ++e;
      std::uint64_t runs = 0;
      for (std::uint32_t i = b + 1; i < e; ++i) {
        if (text(e_[i], column) != text(e_[i - 1], column)) ++runs;
        e_[i].key = runs;
      }
      e_[b].key = 0;
      if (runs > 0) sortIfNeeded(b, e, less);
      groups(b, e, column, [](const Entry& x, const Entry& y) { return x.key == y.key; });
      b = e;
    }
  }

  bool keysIncrease(std::uint32_t s, std::uint32_t t) const {
    for (std::uint32_t i = s + 1; i < t; ++i) {
      if (e_[i - 1].key >= e_[i].key) return false;
    }
    return true;
  }
  template <class Less>
  bool sorted(std::uint32_t s, std::uint32_t t, Less less) const {
    return std::is_sorted(e_.begin() + s, e_.begin() + t, less);
  }
  // Sorts e_[s, t) stably: small ranges by insertion, with no room taken.
  template <class Less>
  void sortIfNeeded(std::uint32_t s, std::uint32_t t, Less less) {
    if (sorted(s, t, less)) return;
    if (t - s > 16) {
      std::stable_sort(e_.begin() + s, e_.begin() + t, less);
      return;
    }
    for (std::uint32_t i = s + 1; i < t; ++i) {
      Entry x = e_[i];
      std::uint32_t j = i;
      for (; j > s && less(x, e_[j - 1]); --j) e_[j] = e_[j - 1];
      e_[j] = x;
    }
  }

  // Sorts e_[s, t) by key, stably, a byte at a time (tables/radix_sort.h).
  void radixByKey(std::uint32_t s, std::uint32_t t) {
    radixSort<8>(
        std::span(e_).subspan(s, t - s), buffer_, [](const Entry& x) { return x.key; }, workers_);
  }

  // Hands each run of entries with equal values (as `same` tells) that
  // holds more than one row to the next column.
  template <class Same>
  void groups(std::uint32_t s, std::uint32_t t, int column, Same same) {
    for (std::uint32_t b = s; b < t;) {
      std::uint32_t e = b + 1;
      while (e < t && same(e_[b], e_[e])) ++e;
      if (e - b > 1) work_.push_back({b, e, column + 1});
      b = e;
    }
  }

  Entries& e_;
  std::size_t radixFrom_;
  Workers workers_;
  std::vector<Range> work_;
  Entries buffer_;  // the radix sort's other half
};

// Puts the kept rows of `entries` (rows[begin, ...) in their normalised
// order) back into rows[begin, ...) and frees the dropped ones; returns
// how many were kept.
std::size_t collect(RowList& rows, std::size_t begin, const Entries& entries) {
  std::size_t kept = begin;
  for (std::size_t i = 0; i < entries.size(); ++i) rows[begin + i].release();
  for (const Entry& x : entries) {
    if (x.tag() == kDropped) {
      delete x.row();
    } else {
      rows[kept++].reset(x.row());
    }
  }
  return kept - begin;
}

Entries entriesOf(const RowList& rows, std::size_t begin, std::size_t end,
                  const Workers& workers = Workers()) {
  Entries entries(end - begin);
  const std::size_t size = end - begin, parts = workers.partsFor(size, kLeastPart);
  workers.run(parts, [&](std::size_t k) {
    for (std::size_t i = begin + size * k / parts; i < begin + size * (k + 1) / parts; ++i) {
      entries[i - begin] = {0, reinterpret_cast<std::uintptr_t>(rows[i].get())};
    }
  });
  return entries;
}

// True when the rows of each group agree on the columns before `column`
// (and so have them all). For assertions.
[[maybe_unused]] bool groupsAgreeBefore(const RowList& rows, const std::vector<std::uint32_t>& ends,
                                        int column) {
  for (std::size_t g = 0, begin = 0; g < ends.size(); begin = ends[g++]) {
    for (std::size_t i = begin + 1; i < ends[g]; ++i) {
      if (rows[i]->size() < column || rows[begin]->size() < column) return false;
      for (int c = 0; c < column; ++c) {
        if (!rows[i]->at(c).equals(rows[begin]->at(c))) return false;
      }
    }
  }
  return true;
}

// Normalises rows[begin, end) as a list of its own: its kept rows come first
// in the range, in their normalised order, and nullptr fills the rest. If
// memory runs out, the range is left as it was.
std::size_t normalizeRange(RowList& rows, std::size_t begin, std::size_t end, std::size_t radixFrom,
                           const Workers& workers = Workers()) {
  Entries entries = entriesOf(rows, begin, end, workers);
  Leveller(entries, radixFrom, workers).run();
  return collect(rows, begin, entries);
}

// The first value of `row`, or nullptr when it has none.
const DataValue* firstValue(const DataCol& row) { return row.size() > 0 ? &row.at(0) : nullptr; }

bool sameFirst(const DataValue* a, const DataValue* b) {
  return a == nullptr || b == nullptr ? a == b : a->equals(*b);
}

}  // namespace

// A list whose first values stand in order (no first value greater than
// the next) is normalised a run of equal first values at a time: rows of
// two runs differ at the first column, so no exchange or drop ever joins
// them, and the sort needs room for the longest run only. At the first
// pair out of order, the runs normalised so far and the rest are normalised as
// one list, whose normal form is the same.
void normalizeRows(RowList& rows, std::size_t radixFrom, const Workers& workers) {
  std::size_t kept = 0;  // rows[0, kept) is normalised; rows[kept, begin) is empty
  std::size_t begin = 0;
  auto closeGap = [&] {
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(kept),
               rows.begin() + static_cast<std::ptrdiff_t>(begin));
  };
  bool inOrder = true;
  try {
    while (inOrder && begin < rows.size()) {
      const DataValue* first = firstValue(*rows[begin]);
      std::size_t end = begin + 1;
      for (; end < rows.size(); ++end) {
        if (end + 2 * kPrefetchDistance < rows.size()) {
          prefetchRow(rows[end + 2 * kPrefetchDistance].get());
        }
        if (end + kPrefetchDistance < rows.size()) {
          if (const DataValue* ahead = firstValue(*rows[end + kPrefetchDistance]))
            ahead->prefetchText();
        }
        const DataValue* next = firstValue(*rows[end]);
        if (sameFirst(first, next)) continue;
        inOrder = first == nullptr || next == nullptr || !first->greaterThan(*next);
        break;
      }
      if (!inOrder) break;
      std::size_t n = end - begin > 1 ? normalizeRange(rows, begin, end, radixFrom, workers) : 1;
      for (std::size_t i = 0; i < n; ++i) rows[kept++] = std::move(rows[begin + i]);
      begin = end;
    }
  } catch (...) {
    closeGap();
    throw;
  }
  closeGap();
  if (!inOrder) rows.resize(normalizeRange(rows, 0, rows.size(), radixFrom, workers));
  assert(isNormalized(rows));
}

// The groups, as rows, are normalised: two rows of neighbouring groups
// compare as their groups' shared columns do, so no exchange or drop ever
// crosses a group's edge, and each group normalises on its own, where only
// the columns from `column` on can differ.
void normalizeGroups(RowList& rows, const std::vector<std::uint32_t>& ends, int column,
                     std::size_t radixFrom, const Workers& workers) {
  assert(ends.empty() || ends.back() == rows.size());
  assert(groupsAgreeBefore(rows, ends, column));
  Entries entries = entriesOf(rows, 0, rows.size(), workers);
  Leveller(entries, radixFrom, workers).run(ends, column);
  rows.resize(collect(rows, 0, entries));
  assert(isNormalized(rows));
}

bool isNormalized(const RowList& rows) {
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (rows[i - 1]->greaterThan(*rows[i]) || rows[i - 1]->equals(*rows[i])) return false;
  }
  return true;
}

// Addresses go eleven bits at a time: the 2,048 places that a pass writes
// to stay within the caches, where digits of sixteen bits scatter writes
// over the whole buffer once it outgrows them (bench/README.md).
void freeInAddressOrder(RowList& rows) {
  constexpr int kDigitBits = 11;
  std::vector<std::unique_ptr<DataCol>> buffer;
  try {
    radixSort<kDigitBits>(rows, buffer, [](const std::unique_ptr<DataCol>& row) {
      return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(row.get()));
    });
  } catch (const std::bad_alloc&) {
    // No room for the buffer: the rows go in list order.
  }
  for (auto& row : rows) row.reset();
  rows.clear();
}

}  // namespace tablog
