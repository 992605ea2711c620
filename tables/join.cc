// The join of two tables, in three steps: the header plan (which columns
// are common, and where each result column takes its value from), the
// index of the other table's rows by their values in the common columns,
// and the probe, which walks this table's rows and makes a result row for
// each partner the index names. The in-place join of the rule evaluator
// shares the index and the probe.
//
// Why the rows come out as the literal join gives them: the index lists a
// value's rows in table order, and the probe merges the lists of the
// common columns in that order, so each row meets its partners in the
// other table's order, and a pair that agrees on k columns is seen k times.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <utility>

#include "tables/data_table.h"
#include "tables/name_index.h"
#include "tables/row_order.h"

namespace tablog {

namespace {

// Where a row keeps the value of a column of its table, the column given by
// its header position: the row's first field of the column's name, else (a
// row whose names drifted from a header with repeated names) the header's
// first position of the name, else nowhere (-1).
class FieldFinder {
 public:
  FieldFinder(const SharedNames& header, const NameIndex& headerIndex, std::vector<int> wanted)
      : header_(header), wanted_(std::move(wanted)) {
    headerPos_.reserve(wanted_.size());
    for (int p : wanted_) headerPos_.push_back(headerIndex.firstOf(p));
  }
  // Positions in `row` of the wanted columns, in their order.
  const std::vector<int>& positions(const DataCol& row) {
    // A row named by the header list itself finds each name where the
    // header has it first.
    if (row.sharedNames() == header_) return headerPos_;
    if (row.sharedNames() != names_) {
      names_ = row.sharedNames();
      positions_.clear();
      NameIndex index(names_);
      for (std::size_t i = 0; i < wanted_.size(); ++i) {
        int p = index.find(nameOf(wanted_[i]));
        if (p < 0) p = headerPos_[i] < row.size() ? headerPos_[i] : -1;
        positions_.push_back(p);
      }
    }
    return positions_;
  }

 private:
  const std::string& nameOf(int p) const { return (*header_)[static_cast<std::size_t>(p)]; }

  SharedNames header_;
  std::vector<int> wanted_;
  std::vector<int> headerPos_;
  SharedNames names_;  // the last list of row names seen, held so its address stays unique
  std::vector<int> positions_;
};

bool sameRows(const RowList& a, const RowList& b) {
  if (&a == &b) return true;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a[i]->equals(*b[i])) return false;
  }
  return true;
}

const DataValue& fieldOr(const DataCol& row, int position, const DataValue& fallback) {
  return position >= 0 ? row.at(position) : fallback;
}

std::size_t hashOf(const DataValue& v) {
  return std::hash<std::string_view>()(v.text()) * 3 + v.kind();
}

// The index of the other table: per common column, an open-addressing
// table from each value to its first row, and for every row the next row
// of the same value. Rows are numbered by their place in the table. A slot
// keeps the value's hash, so a probe touches a value's text only when the
// hashes agree.
class ValueIndex {
 public:
  // Indexes `rows` rows at `columns` columns; valueAt(s, c) is the value of
  // row s at column c, which must stay where it is while the index lives.
  template <class ValueAt>
  ValueIndex(std::size_t columns, std::size_t rows, ValueAt valueAt)
      : rows_(rows), columns_(columns), next_(columns * rows, kNone) {
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

// The probe of one row: `matches` becomes the rows of the indexed table
// that agree with it on some common column, in row order, a row once for
// each column it agrees on. valueOf(c) is the row's value at common column c.
template <class ValueOf>
void probe(const ValueIndex& index, std::size_t common, ValueOf valueOf,
           std::vector<std::uint32_t>& matches) {
  matches.clear();
  for (std::size_t c = 0; c < common; ++c) index.appendMatches(c, valueOf(c), matches);
  if (common > 1) std::sort(matches.begin(), matches.end());
}

// The header plan of the join of a table (`mine`) with another (`theirs`).
struct JoinPlan {
  JoinPlan(const SharedNames& mine, const SharedNames& theirs)
      : mineIndex(mine), theirsIndex(theirs), resultPos(theirs->size(), -1) {
    const Names& a = *mine;
    const Names& b = *theirs;
    header.reserve(a.size() + b.size());
    for (std::size_t p = 0; p < a.size(); ++p) {
      (theirsIndex.find(a[p]) >= 0 ? common : own).push_back(static_cast<int>(p));
      header.push_back(a[p]);
    }
    for (std::size_t q = 0; q < b.size(); ++q) {
      // The common names are the names of this table that the other has.
      if (mineIndex.find(b[q]) >= 0) continue;
      otherOwn.push_back(static_cast<int>(q));
      resultPos[q] = static_cast<int>(header.size());
      header.push_back(b[q]);
    }
    for (int p : common) commonThere.push_back(theirsIndex.find(a[static_cast<std::size_t>(p)]));
    // Each result field is set by name, so the last setting of the first
    // field of a name wins; fields no setting reaches stay Null. This
    // table's names come first in the result, so a name's first position
    // there is its first position here; the other table's own names follow.
    fromLeft.assign(header.size(), -1);
    fromRight.assign(header.size(), -1);
    leftWanted = own;
    leftWanted.insert(leftWanted.end(), common.begin(), common.end());
    for (std::size_t i = 0; i < leftWanted.size(); ++i) {
      fromLeft[static_cast<std::size_t>(mineIndex.firstOf(leftWanted[i]))] = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < otherOwn.size(); ++i) {
      int first = resultPos[static_cast<std::size_t>(theirsIndex.firstOf(otherOwn[i]))];
      fromRight[static_cast<std::size_t>(first)] = static_cast<int>(i);
    }
  }

  NameIndex mineIndex, theirsIndex;
  std::vector<int> resultPos;    // per column of theirs: its result position, or -1
  Names header;                  // the result's columns
  std::vector<int> own;          // my columns that the other lacks
  std::vector<int> common;       // my columns that the other has...
  std::vector<int> commonThere;  // ...and their positions there
  std::vector<int> otherOwn;     // the other's columns that I lack
  std::vector<int> leftWanted;   // own, then common
  // Per result column: the entry of leftWanted, or of otherOwn, whose value
  // it takes, or -1.
  std::vector<int> fromLeft, fromRight;
};

// Makes the result rows of pairs of rows by the plan. With `settle`, the
// rows made so far are normalised whenever they have doubled since the
// last time, so that a join whose rows mostly repeat holds little more
// than what differs. (The settled list of a list is that of its settled
// start followed by the rest.)
class RowMaker {
 public:
  RowMaker(const JoinPlan& plan, const SharedNames& mine, const SharedNames& theirs,
           SharedNames header, RowList& out, RowStore* store, bool settle)
      : plan_(plan),
        leftFields_(mine, plan.mineIndex, plan.leftWanted),
        rightFields_(theirs, plan.theirsIndex, plan.otherOwn),
        header_(std::move(header)),
        out_(out),
        store_(store),
        settle_(settle) {}

  // Appends the row of the pair (r, s) `times` times.
  void add(const DataCol& r, const DataCol& s, std::size_t times) {
    const std::vector<int>& lp = leftFields_.positions(r);
    const std::vector<int>& rp = rightFields_.positions(s);
    auto row = DataCol::make(store_, header_);
    for (std::size_t t = 0; t < plan_.header.size(); ++t) {
      if (plan_.fromLeft[t] >= 0) {
        row->setValueAt(static_cast<int>(t), fieldOr(r, lp[plan_.fromLeft[t]], null_));
      } else if (plan_.fromRight[t] >= 0) {
        row->setValueAt(static_cast<int>(t), fieldOr(s, rp[plan_.fromRight[t]], null_));
      }
    }
    for (std::size_t i = 1; i < times; ++i) out_.push_back(DataCol::make(store_, *row));
    out_.push_back(std::move(row));
    if (settle_ && out_.size() >= settleAt_) {
      normalizeRows(out_);
      settleAt_ = std::max(kFirstSettle, 2 * out_.size());
    }
  }

 private:
  static constexpr std::size_t kFirstSettle = std::size_t{1} << 16;

  const JoinPlan& plan_;
  FieldFinder leftFields_, rightFields_;
  SharedNames header_;
  RowList& out_;
  RowStore* store_;
  bool settle_;
  std::size_t settleAt_ = kFirstSettle;
  const DataValue null_;
};

}  // namespace

DataTable* DataTable::join(DataTable& other, std::string name) {
  return joinRows(other, name, false);
}

DataTable* DataTable::joinRows(DataTable& other, const std::string& name, bool collapse) {
  const JoinPlan plan(columns_, other.columns_);
  auto result = std::make_unique<DataTable>(name, "");
  *result->columns_ = plan.header;
  result->store_ = store_;
  const RowList& left = rows();
  const RowList& right = other.rows();
  if (plan.common.empty() || left.empty() || right.empty()) return result.release();

  RowMaker maker(plan, columns_, other.columns_, result->columns_, result->rows_, store_.get(),
                 collapse);
  // With `collapse` and no own columns of the other table, every row a row
  // of this table yields is the same row: it is enough to know whether
  // there is one, and a table joined with its equal yields its own rows.
  const bool semiJoin = collapse && plan.otherOwn.empty();
  if (semiJoin && sameRows(left, right) && *columns_ == *other.columns_) {
    for (const auto& r : left) maker.add(*r, *right[0], 1);
    return result.release();
  }
  FieldFinder leftCommon(columns_, plan.mineIndex, plan.common);
  FieldFinder rightCommon(other.columns_, plan.theirsIndex, plan.commonThere);
  const DataValue null;
  const std::size_t common = plan.common.size();
  const ValueIndex index(common, right.size(),
                         [&](std::uint32_t s, std::size_t c) -> const DataValue& {
                           return fieldOr(*right[s], rightCommon.positions(*right[s])[c], null);
                         });

  if (semiJoin) {
    for (const auto& r : left) {
      const std::vector<int>& pos = leftCommon.positions(*r);
      for (std::size_t c = 0; c < common; ++c) {
        if (index.contains(c, fieldOr(*r, pos[c], null))) {
          maker.add(*r, *right[0], 1);
          break;
        }
      }
    }
    return result.release();
  }

  std::vector<std::uint32_t> matches;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (i + kPrefetchDistance < left.size()) prefetchRow(left[i + kPrefetchDistance].get());
    const DataCol& r = *left[i];
    const std::vector<int>& pos = leftCommon.positions(r);
    probe(
        index, common, [&](std::size_t c) -> const DataValue& { return fieldOr(r, pos[c], null); },
        matches);
    for (std::size_t k = 0; k < matches.size();) {
      std::size_t j = k;
      while (j < matches.size() && matches[j] == matches[k]) ++j;
      maker.add(r, *right[matches[k]], collapse ? 1 : j - k);
      k = j;
    }
  }
  return result.release();
}

bool DataTable::joinInPlace(DataTable& other, NameIndex& index, bool* eachRowOnce,
                            const std::vector<std::string>* keep) {
  if (&other == this) return false;
  RowList& left = rows();
  const RowList& right = other.rows();
  if (!index.indexes(columns_)) index = NameIndex(columns_);
  if (!index.unique()) return false;
  for (const auto& r : left) {
    if (r->sharedNames() != columns_) return false;
  }
  // Held by this table, the index and every row: no one else sees it grow.
  if (columns_.use_count() != static_cast<long>(left.size()) + 2) return false;
  const NameIndex theirsIndex(other.columns_);
  if (!theirsIndex.unique()) return false;
  for (const auto& s : right) {
    if (s->sharedNames() != other.columns_) return false;
  }

  // The header plan. With unique names a row reads each column at the
  // header's position, and the join's row for a pair is the left row
  // followed by the other row's own columns. (The plan of the join made
  // anew would cost the width of this table, which grows by an atom's
  // columns each time: this one costs only the other table's width.)
  const Names& theirs = *other.columns_;
  std::vector<int> common, commonThere, otherOwn;
  for (std::size_t q = 0; q < theirs.size(); ++q) {
    int p = index.find(theirs[q]);
    if (p >= 0) {
      common.push_back(p);
      commonThere.push_back(static_cast<int>(q));
    } else {
      otherOwn.push_back(static_cast<int>(q));
    }
  }
  // Per row of the result, its row of `other`. While every row has found
  // exactly one partner, the result is this table's list itself and the
  // k-th partner is row k's; `ends` (where each row's partners end) is
  // made only when a row finds none or several.
  std::vector<std::uint32_t> partners;
  std::vector<std::uint32_t> ends;
  if (!common.empty() && !left.empty() && !right.empty()) {
    constexpr std::size_t kMostInPlace = std::size_t{1} << 16;
    const ValueIndex byValue(common.size(), right.size(),
                             [&](std::uint32_t s, std::size_t c) -> const DataValue& {
                               return right[s]->at(commonThere[c]);
                             });
    // The probe: each row's partners in the other table's order, each
    // once; without own columns of the other table, one partner gives the
    // same row.
    std::vector<std::uint32_t> matches;
    partners.reserve(left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
      const DataCol& r = *left[i];
      if (otherOwn.empty()) {
        // Every partner gives the same row: one lookup per common column
        // tells whether there is one, and partners are never enumerated.
        for (std::size_t c = 0; c < common.size(); ++c) {
          if (byValue.contains(c, r.at(common[c]))) {
            partners.push_back(0);
            break;
          }
        }
      } else {
        probe(
            byValue, common.size(),
            [&](std::size_t c) -> const DataValue& { return r.at(common[c]); }, matches);
        for (std::size_t k = 0; k < matches.size(); ++k) {
          if (k == 0 || matches[k] != matches[k - 1]) partners.push_back(matches[k]);
        }
      }
      if (ends.empty() && partners.size() != i + 1) {
        ends.resize(left.size());
        for (std::size_t j = 0; j < i; ++j) ends[j] = static_cast<std::uint32_t>(j + 1);
      }
      if (!ends.empty()) ends[i] = static_cast<std::uint32_t>(partners.size());
      // A join that multiplies its rows is left to the join that settles
      // them as it goes; nothing has changed yet.
      if (partners.size() > kMostInPlace + 4 * left.size()) return false;
    }
  }
  const bool once = !left.empty() && ends.empty() && partners.size() == left.size();
  RowList joined;
  if (!once && !partners.empty()) {
    // The copies are made before any row changes hands; a row without
    // partners goes with the old list.
    joined.reserve(partners.size());
    for (std::size_t i = 0, from = 0; i < left.size(); from = ends[i++]) {
      if (ends[i] == from) continue;
      joined.emplace_back();  // the row itself, below
      for (std::size_t k = from + 1; k < ends[i]; ++k) {
        joined.push_back(DataCol::make(store_.get(), *left[i]));
      }
    }
    for (std::size_t i = 0, from = 0, at = 0; i < left.size(); from = ends[i++]) {
      if (ends[i] == from) continue;
      joined[at] = std::move(left[i]);
      at += ends[i] - from;
    }
  }
  RowList old = once ? RowList() : std::exchange(rows_, std::move(joined));
  cursor_ = 0;
  // The projection on `keep` drops this table's other columns first (the
  // rows stay as they stand) and adds only the other's columns it keeps.
  auto kept = [keep](const std::string& name) {
    return std::find(keep->begin(), keep->end(), name) != keep->end();
  };
  const bool project = once && keep != nullptr;
  const bool dropsOwn = project && !std::all_of(columns_->begin(), columns_->end(), kept);
  if (dropsOwn) keepColumnsNamed(*keep);
  // Only this table, its rows and the index hold the header now.
  Names& header = *columns_;
  for (int q : otherOwn) {
    if (project && !kept(theirs[static_cast<std::size_t>(q)])) continue;
    header.push_back(theirs[static_cast<std::size_t>(q)]);
    for (std::size_t k = 0; k < rows_.size(); ++k) {
      rows_[k]->appendField(columns_, right[partners[k]]->at(q));
    }
  }
  if (dropsOwn) {
    index = NameIndex(columns_);
  } else {
    index.catchUp();
  }
  if (eachRowOnce != nullptr) *eachRowOnce = once;
  return true;
}

}  // namespace tablog
