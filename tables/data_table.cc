// Construction, copying, the row cursor, column and row editing, the
// projections and the join of plain tables, and their printed form.
//
// Rows normally share the header's list of names. Every operation that
// changes names gives each distinct old list one new list, so a table of
// many rows keeps as few lists as it had before. The one exception is the
// join made in place, which grows a list that only its table and rows hold.
#include "tables/data_table.h"

#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "tables/name_index.h"
#include "tables/row_order.h"

namespace tablog {

namespace {

// Hands out the new list of names for a row, making one new list per
// distinct old list. Holds the last old list so that its address cannot be
// reused while it is remembered.
class NamesEditor {
 public:
  // The list `old` becomes after `edit`; `header` when they agree.
  template <class Edit>
  const SharedNames& edited(const SharedNames& old, const SharedNames& header, Edit edit) {
    if (old != lastOld_) {
      lastOld_ = old;
      lastNew_ = SharedNames::make(*old);
      edit(*lastNew_);
      if (*lastNew_ == *header) lastNew_ = header;
    }
    return lastNew_;
  }

 private:
  SharedNames lastOld_;
  SharedNames lastNew_;
};

// The names of projected rows: the projected header for rows named as the
// table's header, else one new list per distinct list of names.
class ProjectedNames {
 public:
  ProjectedNames(SharedNames header, SharedNames projected, const std::vector<int>& kept)
      : header_(std::move(header)), projected_(std::move(projected)), kept_(kept) {}
  const SharedNames& of(const DataCol& row) {
    if (row.sharedNames() == header_) return projected_;
    return editor_.edited(row.sharedNames(), projected_, [this](Names& n) {
      Names out;
      for (int p : kept_) {
        if (p < static_cast<int>(n.size())) out.push_back(n[p]);
      }
      n = std::move(out);
    });
  }

 private:
  SharedNames header_, projected_;
  const std::vector<int>& kept_;
  NamesEditor editor_;
};

int firstIndex(const Names& names, std::string_view name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

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

// Sorts pointers by address: a radix sort on the 48 bits that addresses
// use, sixteen at a time.
void sortByAddress(std::vector<DataCol*>& rows) {
  if (rows.size() < 4096) {
    std::sort(rows.begin(), rows.end(), std::less<>());
    return;
  }
  std::vector<DataCol*> buffer(rows.size());
  std::vector<std::size_t> count(1 << 16);
  for (int shift = 0; shift < 48; shift += 16) {
    std::fill(count.begin(), count.end(), 0);
    auto digit = [shift](DataCol* p) {
      return (reinterpret_cast<std::uintptr_t>(p) >> shift) & 0xFFFF;
    };
    for (DataCol* p : rows) ++count[digit(p)];
    std::size_t sum = 0;
    for (std::size_t& c : count) sum += std::exchange(c, sum);
    for (DataCol* p : rows) buffer[count[digit(p)]++] = p;
    rows.swap(buffer);
  }
}

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

struct ValueHash {
  std::size_t operator()(const DataValue* v) const {
    return std::hash<std::string_view>()(v->text()) * 3 + v->kind();
  }
};
struct ValueEq {
  bool operator()(const DataValue* a, const DataValue* b) const { return a->equals(*b); }
};

// The join's index of the other table: per common column, the first row of
// each value, and for every row the next row of the same value. Rows are
// numbered by their place in the table.
class ValueIndex {
 public:
  // Indexes `rows` rows at `columns` columns; valueAt(s, c) is the value of
  // row s at column c, which must stay where it is while the index lives.
  template <class ValueAt>
  ValueIndex(std::size_t columns, std::size_t rows, ValueAt valueAt)
      : first_(columns), next_(columns, std::vector<std::uint32_t>(rows, kNone)) {
    for (std::uint32_t s = static_cast<std::uint32_t>(rows); s-- > 0;) {
      for (std::size_t c = 0; c < columns; ++c) {
        auto [it, added] = first_[c].try_emplace(&valueAt(s, c), s);
        if (!added) {
          next_[c][s] = it->second;
          it->second = s;
        }
      }
    }
  }
  // Appends the rows whose value at column c equals `v`, in row order.
  void appendMatches(std::size_t c, const DataValue& v, std::vector<std::uint32_t>& out) const {
    auto it = first_[c].find(&v);
    if (it == first_[c].end()) return;
    for (std::uint32_t s = it->second; s != kNone; s = next_[c][s]) out.push_back(s);
  }

 private:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};
  std::vector<std::unordered_map<const DataValue*, std::uint32_t, ValueHash, ValueEq>> first_;
  std::vector<std::vector<std::uint32_t>> next_;
};

}  // namespace

DataTable::DataTable(std::string name, std::string_view columnList)
    : name_(std::move(name)), columns_(SharedNames::make()) {
  std::string current;
  for (char c : columnList) {
    if (c == ',') {
      columns_->push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) columns_->push_back(current);
}

DataTable::DataTable(const DataTable& source) : name_(source.name_), columns_(source.columns_) {
  const RowList& from = source.rows();
  rows_.reserve(from.size());
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i + kPrefetchDistance < from.size()) prefetchRow(from[i + kPrefetchDistance].get());
    rows_.push_back(std::make_unique<DataCol>(*from[i]));
  }
}

DataTable& DataTable::operator=(const DataTable& source) {
  if (&source == this) return *this;
  const RowList& from = source.rows();
  RowList copy;
  copy.reserve(from.size());
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i + kPrefetchDistance < from.size()) prefetchRow(from[i + kPrefetchDistance].get());
    copy.push_back(std::make_unique<DataCol>(*from[i]));
  }
  columns_ = source.columns_;
  rows_ = std::move(copy);
  pending_ = 0;
  cursor_ = 0;
  return *this;
}

DataTable::~DataTable() {
  // Rows sorted by content lie scattered in memory; freeing them in
  // address order is several times faster for large tables. Without memory
  // for that, they go in their own order.
  try {
    std::vector<DataCol*> all;
    all.reserve(rows_.size());
    for (auto& row : rows_) all.push_back(row.get());
    sortByAddress(all);
    for (auto& row : rows_) row.release();
    for (DataCol* row : all) delete row;
  } catch (const std::bad_alloc&) {
  }
}

void DataTable::absorb(DataTable& source) {
  if (&source == this) return;
  RowList& from = source.rows();
  columns_ = source.columns_;
  rows_ = std::move(from);
  from.clear();
  pending_ = 0;
  cursor_ = 0;
}

RowList& DataTable::rows() const {
  if (pending_ > 0) {
    std::size_t pending = pending_;
    pending_ = 0;
    settlePending(rows_, pending);
  }
  return rows_;
}

void DataTable::addPending(std::unique_ptr<DataCol> row) {
  rows_.push_back(std::move(row));
  ++pending_;
}

Names& DataTable::ownHeader() {
  if (columns_.use_count() != 1) columns_ = SharedNames::make(*columns_);
  return *columns_;
}

std::size_t DataTable::rowCount() const { return rows().size(); }

bool DataTable::rowsNamedAsColumns() const {
  return std::all_of(rows().begin(), rows().end(), [this](const auto& row) {
    return row->sharedNames() == columns_ || *row->sharedNames() == *columns_;
  });
}

DataCol* DataTable::firstRow() {
  cursor_ = 0;
  RowList& all = rows();
  return all.empty() ? nullptr : all[0].get();
}

DataCol* DataTable::nextRow() {
  RowList& all = rows();
  if (cursor_ < all.size()) ++cursor_;
  return cursor_ < all.size() ? all[cursor_].get() : nullptr;
}

bool DataTable::atEnd() const { return cursor_ >= rows().size(); }

void DataTable::addColumn(std::string_view name, std::string_view literal) {
  RowList& all = rows();
  ownHeader().emplace_back(name);
  NamesEditor editor;
  DataValue value(literal);
  for (auto& row : all) {
    const SharedNames& names =
        row->sharedNames() == columns_
            ? columns_
            : editor.edited(row->sharedNames(), columns_, [&](Names& n) { n.emplace_back(name); });
    row->appendField(names, value);
  }
}

void DataTable::removeColumn(const std::string& name) {
  RowList& all = rows();
  int h = firstIndex(*columns_, name);
  SharedNames oldHeader = columns_;
  if (h >= 0) ownHeader().erase(columns_->begin() + h);
  NamesEditor editor;
  for (auto& row : all) {
    int i = row->indexOf(name);
    if (i < 0) continue;
    const SharedNames& names = row->sharedNames() == oldHeader && i == h
                                   ? columns_
                                   : editor.edited(row->sharedNames(), columns_,
                                                   [&](Names& n) { n.erase(n.begin() + i); });
    row->removeFieldAt(i, names);
  }
}

void DataTable::removeColumnAt(int position) {
  RowList& all = rows();
  if (position < 0) return;
  SharedNames oldHeader = columns_;
  bool inHeader = position < columnCount();
  if (inHeader) ownHeader().erase(columns_->begin() + position);
  NamesEditor editor;
  for (auto& row : all) {
    if (position >= row->size()) continue;
    const SharedNames& names = row->sharedNames() == oldHeader && inHeader
                                   ? columns_
                                   : editor.edited(row->sharedNames(), columns_, [&](Names& n) {
                                       n.erase(n.begin() + position);
                                     });
    row->removeFieldAt(position, names);
  }
}

void DataTable::renameColumn(std::string oldName, std::string newName) {
  // Taken by value: the caller may pass an entry of the header itself.
  RowList& all = rows();
  if (oldName == newName) return;
  if (firstIndex(*columns_, oldName) >= 0) {
    for (std::string& entry : ownHeader()) {
      if (entry == oldName) entry = newName;
    }
  }
  NamesEditor editor;
  for (auto& row : all) {
    int i = row->indexOf(oldName);
    if (i >= 0) {
      row->shareNames(
          editor.edited(row->sharedNames(), columns_, [&](Names& n) { n[i] = newName; }));
    }
  }
}

void DataTable::renameColumnAt(unsigned position, const std::string& newName) {
  if (position < columns_->size()) renameColumn((*columns_)[position], newName);
}

DataCol* DataTable::appendRow() {
  RowList& all = rows();
  all.push_back(std::make_unique<DataCol>(columns_));
  return all.back().get();
}

void DataTable::removeEqualRows(const DataCol* row) {
  if (row == nullptr) return;
  // `row` may be this table's own: copied before the pending rows settle
  // (which may free it as a repeat) and before it is removed itself.
  DataCol key(*row);
  RowList& all = rows();
  std::erase_if(all, [&](const std::unique_ptr<DataCol>& r) { return r->equals(key); });
  cursor_ = 0;
}

DataTable* DataTable::projectByNames(const std::vector<std::string>& names) {
  return projectByIndices(positionsOfNames(names));
}

std::vector<int> DataTable::positionsOfNames(const std::vector<std::string>& names) const {
  // Each position links to the next position of the same name.
  const NameIndex index(columns_);
  std::vector<int> next(columns_->size(), -1), last(columns_->size(), -1);
  for (int p = 0; p < columnCount(); ++p) {
    int first = index.firstOf(p);
    if (first != p) next[static_cast<std::size_t>(last[static_cast<std::size_t>(first)])] = p;
    last[static_cast<std::size_t>(first)] = p;
  }
  std::vector<int> positions;
  for (const std::string& name : names) {
    for (int p = index.find(name); p >= 0; p = next[static_cast<std::size_t>(p)]) {
      positions.push_back(p);
    }
  }
  return positions;
}

DataTable* DataTable::projectByIndices(const std::vector<int>& positions) {
  const RowList& all = rows();
  std::vector<const DataCol*> from;
  from.reserve(all.size());
  for (const auto& row : all) from.push_back(row.get());
  return projectRows(from, positions);
}

DataTable* DataTable::projectRows(const std::vector<const DataCol*>& from,
                                  const std::vector<int>& positions) const {
  std::vector<int> kept = keptPositions(positions);
  std::unique_ptr<DataTable> result(projectHeader(kept));
  ProjectedNames names(columns_, result->columns_, kept);
  result->rows_.reserve(from.size());
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i + kPrefetchDistance < from.size()) prefetchRow(from[i + kPrefetchDistance]);
    result->rows_.push_back(from[i]->project(kept, names.of(*from[i])));
  }
  return result.release();
}

void DataTable::keepColumnsNamed(const std::vector<std::string>& names) {
  std::vector<int> kept = keptPositions(positionsOfNames(names));
  RowList& all = rows();
  std::unique_ptr<DataTable> shape(projectHeader(kept));
  ProjectedNames rowNames(columns_, shape->columns_, kept);
  for (auto& row : all) row->keepFields(kept, rowNames.of(*row));
  columns_ = shape->columns_;
  cursor_ = 0;
}

std::vector<int> DataTable::keptPositions(const std::vector<int>& positions) const {
  // What a copy keeps after removing, from the last position down, every
  // column whose position is not listed.
  std::vector<bool> keep(columns_->size(), false);
  for (int p : positions) {
    if (p >= 0 && p < columnCount()) keep[p] = true;
  }
  std::vector<int> kept;
  for (int p = 0; p < columnCount(); ++p) {
    if (keep[p]) kept.push_back(p);
  }
  return kept;
}

DataTable* DataTable::projectHeader(const std::vector<int>& kept) const {
  auto result = std::make_unique<DataTable>(name_, "");
  for (int p : kept) result->columns_->push_back((*columns_)[p]);
  return result.release();
}

void DataTable::relabel(DataTable& table, SharedNames columns, SharedNames names) {
  for (auto& row : table.rows()) row->shareNames(names);
  table.columns_ = std::move(columns);
}

void DataTable::setContents(SharedNames header, RowList rows) {
  columns_ = std::move(header);
  rows_ = std::move(rows);
  pending_ = 0;
  cursor_ = 0;
}

DataTable* DataTable::filter(const std::string&) { return this; }

DataTable* DataTable::join(DataTable& other, std::string name) {
  return joinRows(other, name, false);
}

DataTable* DataTable::joinRows(DataTable& other, const std::string& name, bool collapse) {
  const Names& mine = *columns_;
  const Names& theirs = *other.columns_;
  const NameIndex mineIndex(columns_), theirsIndex(other.columns_);
  // Columns by header position: this table's own and common ones, then the
  // other table's own ones, each with its position in the result.
  std::vector<int> own, common, otherOwn, resultPos(theirs.size(), -1);
  auto result = std::make_unique<DataTable>(name, "");
  Names& out = *result->columns_;
  out.reserve(mine.size() + theirs.size());
  for (std::size_t p = 0; p < mine.size(); ++p) {
    (theirsIndex.find(mine[p]) >= 0 ? common : own).push_back(static_cast<int>(p));
    out.push_back(mine[p]);
  }
  for (std::size_t q = 0; q < theirs.size(); ++q) {
    // The common names are the names of this table that the other has.
    if (mineIndex.find(theirs[q]) >= 0) continue;
    otherOwn.push_back(static_cast<int>(q));
    resultPos[q] = static_cast<int>(out.size());
    out.push_back(theirs[q]);
  }
  const RowList& left = rows();
  const RowList& right = other.rows();
  if (common.empty() || left.empty() || right.empty()) return result.release();

  // Each result field is set by name, so the last setting of the first
  // field of a name wins; fields no setting reaches stay Null. This
  // table's names come first in the result, so a name's first position
  // there is its first position here; the other table's own names follow.
  std::vector<int> fromLeft(out.size(), -1), fromRight(out.size(), -1);
  std::vector<int> leftWanted(own);
  leftWanted.insert(leftWanted.end(), common.begin(), common.end());
  for (std::size_t i = 0; i < leftWanted.size(); ++i) {
    fromLeft[static_cast<std::size_t>(mineIndex.firstOf(leftWanted[i]))] = static_cast<int>(i);
  }
  for (std::size_t i = 0; i < otherOwn.size(); ++i) {
    int first = resultPos[static_cast<std::size_t>(theirsIndex.firstOf(otherOwn[i]))];
    fromRight[static_cast<std::size_t>(first)] = static_cast<int>(i);
  }
  std::vector<int> commonThere;  // the common columns' positions in the other table
  for (int p : common) commonThere.push_back(theirsIndex.find(mine[p]));
  FieldFinder leftFields(columns_, mineIndex, leftWanted);
  FieldFinder rightFields(other.columns_, theirsIndex, otherOwn);
  FieldFinder leftCommon(columns_, mineIndex, common);
  FieldFinder rightCommon(other.columns_, theirsIndex, commonThere);
  const DataValue null;

  constexpr std::size_t kFirstSettle = std::size_t{1} << 16;
  std::size_t settleAt = kFirstSettle;
  auto emit = [&](const DataCol& r, const DataCol& s, std::size_t times) {
    const std::vector<int>& lp = leftFields.positions(r);
    const std::vector<int>& rp = rightFields.positions(s);
    auto row = std::make_unique<DataCol>(result->columns_);
    for (std::size_t t = 0; t < out.size(); ++t) {
      if (fromLeft[t] >= 0) {
        row->setValueAt(static_cast<int>(t), fieldOr(r, lp[fromLeft[t]], null));
      } else if (fromRight[t] >= 0) {
        row->setValueAt(static_cast<int>(t), fieldOr(s, rp[fromRight[t]], null));
      }
    }
    for (std::size_t i = 1; i < times; ++i)
      result->rows_.push_back(std::make_unique<DataCol>(*row));
    result->rows_.push_back(std::move(row));
    if (collapse && result->rows_.size() >= settleAt) {
      normalizeRows(result->rows_);
      settleAt = std::max(kFirstSettle, 2 * result->rows_.size());
    }
  };

  if (collapse && otherOwn.empty()) {
    // Every row a row of this table yields is the same row: it is enough to
    // know whether there is one.
    if (sameRows(left, right) && mine == theirs) {
      for (const auto& r : left) emit(*r, *right[0], 1);
      return result.release();
    }
    std::vector<std::unordered_set<const DataValue*, ValueHash, ValueEq>> present(common.size());
    for (const auto& s : right) {
      const std::vector<int>& pos = rightCommon.positions(*s);
      for (std::size_t c = 0; c < common.size(); ++c) present[c].insert(&fieldOr(*s, pos[c], null));
    }
    for (const auto& r : left) {
      const std::vector<int>& pos = leftCommon.positions(*r);
      for (std::size_t c = 0; c < common.size(); ++c) {
        if (present[c].contains(&fieldOr(*r, pos[c], null))) {
          emit(*r, *right[0], 1);
          break;
        }
      }
    }
    return result.release();
  }

  const ValueIndex byValue(common.size(), right.size(),
                           [&](std::uint32_t s, std::size_t c) -> const DataValue& {
                             return fieldOr(*right[s], rightCommon.positions(*right[s])[c], null);
                           });
  std::vector<std::uint32_t> matches;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (i + kPrefetchDistance < left.size()) prefetchRow(left[i + kPrefetchDistance].get());
    const auto& r = left[i];
    const std::vector<int>& pos = leftCommon.positions(*r);
    matches.clear();
    for (std::size_t c = 0; c < common.size(); ++c) {
      byValue.appendMatches(c, fieldOr(*r, pos[c], null), matches);
    }
    if (common.size() > 1) std::sort(matches.begin(), matches.end());
    for (std::size_t i = 0; i < matches.size();) {
      std::size_t j = i;
      while (j < matches.size() && matches[j] == matches[i]) ++j;
      emit(*r, *right[matches[i]], collapse ? 1 : j - i);
      i = j;
    }
  }
  return result.release();
}

bool DataTable::joinInPlace(DataTable& other, NameIndex& index, bool* eachRowOnce) {
  bool once = false;
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

  // With unique names a row reads each column at the header's position,
  // and the join's row for a pair is the left row followed by the other
  // row's own columns.
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
  RowList joined;
  std::vector<std::uint32_t> partners;  // per joined row, its row of `other`
  if (!common.empty() && !left.empty() && !right.empty()) {
    constexpr std::size_t kMostInPlace = std::size_t{1} << 16;
    const ValueIndex byValue(common.size(), right.size(),
                             [&](std::uint32_t s, std::size_t c) -> const DataValue& {
                               return right[s]->at(commonThere[c]);
                             });
    // Each row's partners in the other table's order, each once; without
    // own columns of the other table, one partner gives the same row.
    std::vector<std::uint32_t> found;
    std::vector<std::size_t> ends(left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
      std::size_t from = found.size();
      for (std::size_t c = 0; c < common.size(); ++c) {
        byValue.appendMatches(c, left[i]->at(common[c]), found);
      }
      if (common.size() > 1) {
        std::sort(found.begin() + static_cast<std::ptrdiff_t>(from), found.end());
        found.erase(std::unique(found.begin() + static_cast<std::ptrdiff_t>(from), found.end()),
                    found.end());
      }
      if (otherOwn.empty() && found.size() > from) found.resize(from + 1);
      ends[i] = found.size();
      once = (i == 0 || once) && ends[i] == from + 1;
      // A join that multiplies its rows is left to the join that settles
      // them as it goes; nothing has changed yet.
      if (found.size() > kMostInPlace + 4 * left.size()) return false;
    }
    // The copies are made before any row changes hands; a row without
    // partners goes with the old list.
    joined.reserve(found.size());
    for (std::size_t i = 0, from = 0; i < left.size(); from = ends[i++]) {
      if (ends[i] == from) continue;
      joined.emplace_back();  // the row itself, below
      for (std::size_t k = from + 1; k < ends[i]; ++k) {
        joined.push_back(std::make_unique<DataCol>(*left[i]));
      }
    }
    for (std::size_t i = 0, from = 0, at = 0; i < left.size(); from = ends[i++]) {
      if (ends[i] == from) continue;
      joined[at] = std::move(left[i]);
      at += ends[i] - from;
    }
    partners = std::move(found);
  }
  RowList old = std::exchange(rows_, std::move(joined));
  cursor_ = 0;
  // Only this table, its rows and the index hold the header now.
  Names& header = *columns_;
  for (int q : otherOwn) {
    header.push_back(theirs[static_cast<std::size_t>(q)]);
    for (std::size_t k = 0; k < rows_.size(); ++k) {
      rows_[k]->appendField(columns_, right[partners[k]]->at(q));
    }
  }
  index.catchUp();
  if (eachRowOnce != nullptr) *eachRowOnce = once;
  return true;
}

void DataTable::writeTo(std::ostream& out, std::string& buffer) const {
  constexpr std::size_t kChunk = 1 << 16;
  buffer += name_;
  buffer += '(';
  for (std::size_t i = 0; i < columns_->size(); ++i) {
    if (i > 0) buffer += ',';
    buffer += (*columns_)[i];
  }
  buffer += ")\n";
  // Rows are printed straight into a block of memory, which goes out
  // whenever the next row would not fit.
  std::unique_ptr<char[]> block(new char[kChunk]);
  std::size_t used = 0;
  auto flush = [&] {
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    buffer.clear();
    out.write(block.get(), static_cast<std::streamsize>(used));
    used = 0;
  };
  const RowList& all = rows();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + kPrefetchDistance < all.size()) prefetchRow(all[i + kPrefetchDistance].get());
    const DataCol* row = all[i].get();
    std::size_t size = row->printedSize() + 1;
    if (used + size > kChunk) flush();
    if (size > kChunk) {
      row->appendTo(buffer);
      buffer += '\n';
      continue;
    }
    char* end = row->printTo(block.get() + used);
    *end = '\n';
    used += size;
  }
  flush();
}

std::ostream& operator<<(std::ostream& out, const DataTable& table) {
  std::string buffer;
  table.writeTo(out, buffer);
  return out;
}

}  // namespace tablog
