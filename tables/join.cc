// The join of two tables, in named steps: the header plan
// (tables/join_plan.h), the index of the other table's rows by their
// values in the common columns, the probe, which walks this table's rows,
// and the emitting of a result row for each partner the index names. The
// growth of a rule's running result in place (eval/running_result.h)
// shares the plan, the index and the probe.
//
// Why the rows come out as the literal join gives them: the index lists a
// value's rows in table order, and the probe merges the lists of the
// common columns in that order, so each row meets its partners in the
// other table's order, and a pair that agrees on k columns is seen k times.
#include "tables/join.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <utility>

#include "tables/join_plan.h"
#include "tables/name_index.h"
#include "tables/row_order.h"
#include "tables/value_index.h"

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

// Makes the result rows of pairs of rows by the plan. With `normalise`, the
// rows made so far are normalised whenever they have doubled since the
// last time, so that a join whose rows mostly repeat holds little more
// than what differs. (The normal form of a list is that of its normalised
// start followed by the rest.)
class RowMaker {
 public:
  RowMaker(const JoinPlan& plan, const SharedNames& mine, const SharedNames& theirs,
           SharedNames header, RowList& out, RowStore* store, bool normalize)
      : plan_(plan),
        leftFields_(mine, plan.mineIndex, plan.leftWanted),
        rightFields_(theirs, plan.theirsIndex, plan.otherOwn),
        header_(std::move(header)),
        out_(out),
        store_(store),
        normalize_(normalize) {}

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
    if (normalize_ && out_.size() >= normalizeAt_) {
      normalizeRows(out_);
      normalizeAt_ = std::max(kFirstNormalize, 2 * out_.size());
    }
  }

 private:
  static constexpr std::size_t kFirstNormalize = std::size_t{1} << 16;

  const JoinPlan& plan_;
  FieldFinder leftFields_, rightFields_;
  SharedNames header_;
  RowList& out_;
  RowStore* store_;
  bool normalize_;
  std::size_t normalizeAt_ = kFirstNormalize;
  const DataValue null_;
};

// The index step: the second table's rows by their values in the common
// columns, and the probe of a row of the first table.
class CommonIndex {
 public:
  CommonIndex(const RowList& right, const JoinPlan& plan, const SharedNames& leftHeader,
              const SharedNames& rightHeader)
      : leftCommon_(leftHeader, plan.mineIndex, plan.common),
        rightCommon_(rightHeader, plan.theirsIndex, plan.commonThere),
        columns_(plan.common.size()),
        index_(columns_, right.size(), [&](std::uint32_t s, std::size_t c) -> const DataValue& {
          return fieldOr(*right[s], rightCommon_.positions(*right[s])[c], null_);
        }) {}

  // True when `r` agrees with some row on some common column.
  bool hasPartner(const DataCol& r) {
    const std::vector<int>& pos = leftCommon_.positions(r);
    return tablog::hasPartner(index_, columns_, [&](std::size_t c) -> const DataValue& {
      return fieldOr(r, pos[c], null_);
    });
  }
  // The rows that agree with `r`, in row order, once per agreeing column.
  void probe(const DataCol& r, std::vector<std::uint32_t>& matches) {
    const std::vector<int>& pos = leftCommon_.positions(r);
    probeRow(
        index_, columns_,
        [&](std::size_t c) -> const DataValue& { return fieldOr(r, pos[c], null_); }, matches);
  }

 private:
  FieldFinder leftCommon_, rightCommon_;
  const DataValue null_;
  std::size_t columns_;
  ValueIndex index_;  // holds the addresses of right's values, and of null_
};

// The rows of a join whose second table adds no column, each row of the
// first given once when it has a partner: one lookup per common column.
void emitSemiJoin(const RowList& left, const RowList& right, const JoinPlan& plan,
                  const SharedNames& leftHeader, const SharedNames& rightHeader, RowMaker& maker) {
  // A table joined with its equal yields its own rows.
  if (sameRows(left, right) && *leftHeader == *rightHeader) {
    for (const auto& r : left) maker.add(*r, *right[0], 1);
    return;
  }
  CommonIndex index(right, plan, leftHeader, rightHeader);
  for (const auto& r : left) {
    if (index.hasPartner(*r)) maker.add(*r, *right[0], 1);
  }
}

// The rows of the join: index the second table, probe it with each row of
// the first, and make a row per partner (per agreeing column, unless
// `onePartnerEach`).
void emitJoin(const RowList& left, const RowList& right, const JoinPlan& plan,
              const SharedNames& leftHeader, const SharedNames& rightHeader, bool onePartnerEach,
              RowMaker& maker) {
  CommonIndex index(right, plan, leftHeader, rightHeader);
  std::vector<std::uint32_t> matches;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (i + kPrefetchDistance < left.size()) prefetchRow(left[i + kPrefetchDistance].get());
    const DataCol& r = *left[i];
    index.probe(r, matches);
    for (std::size_t k = 0; k < matches.size();) {
      std::size_t j = k;
      while (j < matches.size() && matches[j] == matches[k]) ++j;
      maker.add(r, *right[matches[k]], onePartnerEach ? 1 : j - k);
      k = j;
    }
  }
}

}  // namespace

DataTable* joinTables(const DataTable& left, const DataTable& right, const std::string& name,
                      JoinOptions options) {
  const NameIndex leftIndex(left.header()), rightIndex(right.header());
  const JoinPlan plan(leftIndex, rightIndex);
  auto result = std::make_unique<DataTable>(name, "");
  result->shareStoreAndWorkers(left);
  RowList rows;
  if (!plan.common.empty() && !left.rows().empty() && !right.rows().empty()) {
    SharedNames header = SharedNames::make(plan.header);
    RowMaker maker(plan, left.header(), right.header(), header, rows, left.rowStore().get(),
                   options.normalizeAsItGoes);
    if (options.onePartnerEach && plan.otherOwn.empty()) {
      emitSemiJoin(left.rows(), right.rows(), plan, left.header(), right.header(), maker);
    } else {
      emitJoin(left.rows(), right.rows(), plan, left.header(), right.header(),
               options.onePartnerEach, maker);
    }
    result->setContents(std::move(header), std::move(rows));
  } else {
    result->setContents(SharedNames::make(plan.header), RowList());
  }
  return result.release();
}

DataTable* DataTable::join(DataTable& other, std::string name) {
  return joinTables(*this, other, name);
}

}  // namespace tablog
