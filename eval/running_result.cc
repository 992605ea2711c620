// The join in place of eval/running_result.h, in steps: the plan (which of
// the atom's columns the result has), the partners of each row (through
// the atom's value index), the rows repeated per partner, the atom's own
// columns appended, and the normalising.
//
// Why normalising group by group is exact: the rows made from one row of the
// normalised result agree on all its columns, and rows made from two
// neighbouring rows compare as those two rows do, which are neither in the
// wrong order nor equal. Where rows without a partner went, their
// neighbours are checked for that; if it fails, the whole list is normalised.
#include "eval/running_result.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "tables/join_plan.h"
#include "tables/projection.h"
#include "tables/row_order.h"
#include "tables/value_index.h"

namespace tablog {

namespace {

// The result rows' partners: rows[k] is the atom row of result row k;
// ends[i], where running row i's partners end among them. `ends` stays
// empty while every row has exactly one partner (the result is then the
// running list itself).
struct Partners {
  std::vector<std::uint32_t> rows;
  std::vector<std::uint32_t> ends;
  bool tooMany = false;  // the join would multiply its rows past the bound
};

// Whether a row has a partner in an atom that adds no column, where every
// partner gives the same row: one lookup per common column. The columns
// with the fewest distinct values in a sample of the atom's rows are asked
// first, and a column's index is made only when a row first needs it, so a
// row that agrees on a column of a few departments never looks at names.
// Rows may be tested on several threads at once: the first to need an
// index makes it, and the others wait for it.
class PartnerTest {
 public:
  PartnerTest(const RowList& right, const JoinPlan& plan)
      : right_(right),
        plan_(plan),
        index_(plan.common.size()),
        made_(new std::once_flag[plan.common.size()]) {
    constexpr std::size_t kSample = 256;
    std::vector<std::size_t> distinct(plan.common.size());
    const std::size_t step = std::max<std::size_t>(1, right.size() / kSample);
    for (std::size_t c = 0; c < plan.common.size(); ++c) {
      std::unordered_set<std::string_view> seen;
      for (std::size_t s = 0; s < right.size(); s += step) {
        seen.insert(right[s]->at(plan.commonThere[c]).text());
      }
      distinct[c] = seen.size();
      order_.push_back(c);
    }
    std::stable_sort(order_.begin(), order_.end(),
                     [&](std::size_t a, std::size_t b) { return distinct[a] < distinct[b]; });
  }

  bool operator()(const DataCol& r) {
    for (std::size_t c : order_) {
      std::call_once(made_[c], [&] {
        const int there = plan_.commonThere[c];
        index_[c] = std::make_unique<ValueIndex>(
            1, right_.size(),
            [&](std::uint32_t s, std::size_t) -> const DataValue& { return right_[s]->at(there); });
      });
      if (index_[c]->contains(0, r.at(plan_.common[c]))) return true;
    }
    return false;
  }

 private:
  const RowList& right_;
  const JoinPlan& plan_;
  std::vector<std::size_t> order_;                  // common columns, fewest values first
  std::vector<std::unique_ptr<ValueIndex>> index_;  // per common column, once made
  std::unique_ptr<std::once_flag[]> made_;          // per common column: index_ made
};

// A join that multiplies its rows past this many, plus four per running
// row, is left to the join that normalises them as it goes.
constexpr std::size_t kMostInPlace = std::size_t{1} << 16;

// Notes in `found` that row i of `rows` running rows has had its partners
// found; false when the join would multiply its rows past the bound.
bool notePartners(Partners& found, std::size_t i, std::size_t rows) {
  if (found.ends.empty() && found.rows.size() != i + 1) {
    found.ends.resize(rows);
    for (std::size_t j = 0; j < i; ++j) found.ends[j] = static_cast<std::uint32_t>(j + 1);
  }
  if (!found.ends.empty()) found.ends[i] = static_cast<std::uint32_t>(found.rows.size());
  found.tooMany = found.rows.size() > kMostInPlace + 4 * rows;
  return !found.tooMany;
}

// What a part of the running rows found beyond each row's first partner
// (which goes in a list of all rows): the further partners, row after row,
// and how many partners each row has, which stays unsaid while each has one.
struct PartPartners {
  std::vector<std::uint32_t> more;
  std::vector<std::uint32_t> counts;  // per row, unless eachOnce
  std::size_t total = 0;
  bool eachOnce = true;

  // Notes that row j of the part has `count` partners.
  void noteRow(std::size_t j, std::size_t count) {
    total += count;
    if (eachOnce && count != 1) {
      counts.assign(j, 1);
      eachOnce = false;
    }
    if (!eachOnce) counts.push_back(static_cast<std::uint32_t>(count));
  }
  std::size_t countOf(std::size_t j) const { return eachOnce ? 1 : counts[j]; }
};

// The partners the parts found, noted in row order as one walk would; the
// list of first partners is the result's as it stands when every row has
// one partner.
Partners gatherPartners(std::vector<std::uint32_t> first, const std::vector<PartPartners>& partners,
                        std::size_t most) {
  Partners found;
  found.tooMany = std::any_of(partners.begin(), partners.end(),
                              [most](const PartPartners& p) { return p.total > most; });
  if (found.tooMany) return found;
  if (std::all_of(partners.begin(), partners.end(),
                  [](const PartPartners& p) { return p.eachOnce; })) {
    found.rows = std::move(first);
    return found;
  }
  const std::size_t n = first.size(), parts = partners.size();
  found.rows.reserve(n);
  for (std::size_t k = 0, i = 0; k < parts; ++k) {
    const PartPartners& part = partners[k];
    const std::size_t rows = n * (k + 1) / parts - n * k / parts;
    for (std::size_t j = 0, at = 0; j < rows; ++j, ++i) {
      const std::size_t count = part.countOf(j);
      if (count > 0) found.rows.push_back(first[i]);
      for (std::size_t m = 1; m < count; ++m) found.rows.push_back(part.more[at++]);
      if (!notePartners(found, i, n)) return found;
    }
  }
  return found;
}

// Each part of the running rows is probed on a thread of `workers`: a
// row's first partner goes in `first`, its further ones in its part's list.
Partners findPartners(const RowList& left, const RowList& right, const JoinPlan& plan,
                      const Workers& workers) {
  if (plan.common.empty() || left.empty() || right.empty()) return Partners();
  const std::size_t n = left.size(), parts = workers.partsFor(n, Workers::kLeastRows);
  const std::size_t common = plan.common.size(), most = kMostInPlace + 4 * n;
  std::optional<PartnerTest> semi;
  std::optional<ValueIndex> byValue;
  if (plan.otherOwn.empty()) {
    semi.emplace(right, plan);
  } else {
    byValue.emplace(common, right.size(), [&](std::uint32_t s, std::size_t c) -> const DataValue& {
      return right[s]->at(plan.commonThere[c]);
    });
  }
  std::vector<std::uint32_t> first(n);
  std::vector<PartPartners> partners(parts);
  workers.run(parts, [&](std::size_t k) {
    PartPartners& out = partners[k];
    const std::size_t begin = n * k / parts, end = n * (k + 1) / parts;
    std::vector<std::uint32_t> matches;
    for (std::size_t i = begin; i < end && out.total <= most; ++i) {
      const DataCol& r = *left[i];
      std::size_t count = 0;
      if (semi) {
        count = (*semi)(r) ? 1 : 0;
      } else {
        probeRow(
            *byValue, common,
            [&](std::size_t c) -> const DataValue& { return r.at(plan.common[c]); }, matches);
        for (std::size_t m = 0; m < matches.size(); ++m) {
          if (m > 0 && matches[m] == matches[m - 1]) continue;
          if (count++ == 0) {
            first[i] = matches[m];
          } else {
            out.more.push_back(matches[m]);
          }
        }
      }
      out.noteRow(i - begin, count);
    }
  });
  return gatherPartners(std::move(first), partners, most);
}

// The result's rows, before the atom's columns: each running row with
// partners, once per partner (copies made before any row changes hands);
// rows without a partner stay in `left`. `groupEnds` receives where the
// copies of each kept row end, and `spans` the kept rows that follow rows
// without a partner, by their group.
RowList repeatRows(RowList& left, const Partners& found, RowStore* store,
                   std::vector<std::uint32_t>& groupEnds, std::vector<std::size_t>& spans) {
  RowList joined;
  joined.reserve(found.rows.size());
  bool dropped = false;
  for (std::size_t i = 0, from = 0; i < left.size(); from = found.ends[i++]) {
    if (found.ends[i] == from) {
      dropped = dropped || !groupEnds.empty();
      continue;
    }
    if (dropped) spans.push_back(groupEnds.size());
    dropped = false;
    joined.emplace_back();  // the row itself, below
    for (std::size_t k = from + 1; k < found.ends[i]; ++k) {
      joined.push_back(DataCol::make(store, *left[i]));
    }
    groupEnds.push_back(static_cast<std::uint32_t>(joined.size()));
  }
  for (std::size_t i = 0, from = 0, at = 0; i < left.size(); from = found.ends[i++]) {
    if (found.ends[i] == from) continue;
    joined[at] = std::move(left[i]);
    at += found.ends[i] - from;
  }
  return joined;
}

// True when the kept rows, each standing for its group, are still a normalised
// list: only the neighbours that rows without a partner separated can be
// out of order or equal.
bool keptRowsNormalized(const RowList& joined, const std::vector<std::uint32_t>& groupEnds,
                        const std::vector<std::size_t>& spans) {
  for (std::size_t g : spans) {
    const DataCol& before = *joined[g > 1 ? groupEnds[g - 2] : 0];
    const DataCol& after = *joined[groupEnds[g - 1]];
    if (before.greaterThan(after) || before.equals(after)) return false;
  }
  return true;
}

// Appends the atom's own columns (those in `keep` only, when given) to the
// header and to every row, each row taking its partner's values.
void appendAtomColumns(DataTable& running, const Names& theirs, const RowList& atomRows,
                       const JoinPlan& plan, const std::vector<std::uint32_t>& partners,
                       const std::vector<std::string>* keep) {
  // Only the table, its rows and the index hold the header (mayGrowInPlace).
  Names& header = *running.header();
  RowList& rows = running.rows();
  for (int q : plan.otherOwn) {
    const std::string& name = theirs[static_cast<std::size_t>(q)];
    if (keep != nullptr && std::find(keep->begin(), keep->end(), name) == keep->end()) continue;
    header.push_back(name);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      rows[k]->appendField(running.header(), atomRows[partners[k]]->at(q));
    }
  }
}

}  // namespace

bool mayGrowInPlace(const DataTable& running, const NameIndex& index) {
  assert(index.indexes(running.header()));
  if (!index.unique()) return false;
  for (const auto& r : running.rows()) {
    if (r->sharedNames() != running.header()) return false;
  }
  // The holders of the list: the table, the index and every row.
  return running.header().use_count() == static_cast<long>(running.rows().size()) + 2;
}

InPlaceJoin joinInPlace(DataTable& running, NameIndex& index, const DataTable& atom,
                        const std::vector<std::string>* keep) {
  assert(&running != &atom);
  const NameIndex atomIndex(atom.header());
  if (!atomIndex.unique()) return InPlaceJoin::kRefused;
  for (const auto& s : atom.rows()) {
    if (s->sharedNames() != atom.header()) return InPlaceJoin::kRefused;
  }
  return joinInPlace(running, index, atomIndex, atom.rows(), keep);
}

InPlaceJoin joinInPlace(DataTable& running, NameIndex& index, const NameIndex& atomIndex,
                        const RowList& atomRows, const std::vector<std::string>* keep) {
  assert(&running.rows() != &atomRows && atomIndex.unique());
  assert(isNormalized(running.rows()));
  if (!index.indexes(running.header())) index = NameIndex(running.header());
  if (!mayGrowInPlace(running, index)) return InPlaceJoin::kRefused;
  const JoinPlan plan(index, atomIndex);
  const Partners found = findPartners(running.rows(), atomRows, plan, running.workers());
  if (found.tooMany) return InPlaceJoin::kRefused;

  RowList& left = running.rows();
  const bool once = !left.empty() && found.ends.empty() && found.rows.size() == left.size();
  const int width = running.columnCount();
  std::vector<std::uint32_t> groupEnds;
  bool grouped = true;
  if (!once) {
    std::vector<std::size_t> spans;
    RowList joined = found.rows.empty()
                         ? RowList()
                         : repeatRows(left, found, running.rowStore().get(), groupEnds, spans);
    grouped = keptRowsNormalized(joined, groupEnds, spans);
    RowList old = std::exchange(left, std::move(joined));
  }
  if (once && keep != nullptr) {
    // The projection drops the result's other columns first (the rows stay
    // as they stand) and adds only the atom's columns it keeps.
    const Names& names = *running.header();
    auto kept = [keep](const std::string& n) {
      return std::find(keep->begin(), keep->end(), n) != keep->end();
    };
    if (!std::all_of(names.begin(), names.end(), kept)) {
      keepColumnsNamed(running, *keep);
      index = NameIndex(running.header());
    }
  }
  assert(mayGrowInPlace(running, index));
  appendAtomColumns(running, atomIndex.names(), atomRows, plan, found.rows, once ? keep : nullptr);
  index.catchUp();
  running.firstRow();
  if (once) return InPlaceJoin::kEachRowOnce;
  if (grouped) {
    normalizeGroups(running.rows(), groupEnds, width, kRadixSortFrom, running.workers());
  } else {
    normalizeRows(running.rows(), kRadixSortFrom, running.workers());
  }
  assert(isNormalized(running.rows()));
  return InPlaceJoin::kNormalized;
}

void joinIntoRunning(SortedTable& temp, SortedTable& temp2, NameIndex& index, bool temp2Spent,
                     const std::vector<std::string>* keep) {
  if (temp.isEmpty()) {
    // The join of a table with an equal copy of itself gives each of its
    // rows again (repeated, which normalising undoes), provided it has
    // columns, their names are unique and its rows carry them: then "temp"
    // is "temp2", which is normalised (a filter's result, with constant
    // columns added to every row). Without columns there is no common
    // column, and the join has no rows.
    assert(isNormalized(temp2.rows()));
    std::vector<std::string> names = temp2.columnNames();
    std::sort(names.begin(), names.end());
    bool joinIsCopy = !names.empty() &&
                      std::adjacent_find(names.begin(), names.end()) == names.end() &&
                      temp2.rowsNamedAsColumns();
    if (joinIsCopy && temp2Spent) {
      temp.assignTaking(temp2);
      return;
    }
    temp = temp2;
    if (joinIsCopy) return;
  }
  if (joinInPlace(temp, index, temp2, keep) != InPlaceJoin::kRefused) return;
  std::unique_ptr<DataTable> joined(temp.join(temp2, "temp"));
  temp.assignTaking(*joined);
}

}  // namespace tablog
