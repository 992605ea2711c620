// Sorted tables: normalisation, insertion of rows and row texts, the
// normalising overrides, and the filter and set operations that rules are
// built on, each made of the operators of tables/row_order.h, join.h,
// projection.h and set_operations.h.
#include "tables/sorted_table.h"

#include <algorithm>

#include "tables/join.h"
#include "tables/name_index.h"
#include "tables/projection.h"
#include "tables/row_order.h"
#include "tables/set_operations.h"

namespace tablog {

namespace {

// A field of a condition keeps its column when it is a variable up to "Z"
// in byte order (Z itself, or A to Y followed by anything) or a "<" or ">"
// comparison.
bool isOpenField(std::string_view field) {
  return (field.compare("A") >= 0 && field.compare("Z") <= 0) ||
         (!field.empty() && (field[0] == '<' || field[0] == '>'));
}

// A field of a condition that keeps its column and that every value
// matches: a variable, but not one after "Z" (which matches and is dropped).
bool passesAll(std::string_view field) {
  return field == "Z" || (!field.empty() && field[0] >= 'A' && field[0] < 'Z');
}

}  // namespace

std::vector<std::string> SortedTable::splitCondition(std::string_view condition) const {
  std::vector<std::string> fields;
  forEachField(condition, [&](std::size_t, std::string_view field) { fields.emplace_back(field); });
  return fields;
}

void SortedTable::normalize(DataTable& table) {
  normalizeRows(table.rows(), kRadixSortFrom, table.workers());
}

DataCol* SortedTable::newRow() { return DataCol::make(rowStore().get(), header()).release(); }

void SortedTable::insertRow(DataCol* row) {
  if (row == nullptr) return;
  std::unique_ptr<DataCol> owned(row);  // freed should the list's room run out
  RowList added;
  added.push_back(std::move(owned));
  insertRows(std::move(added));
}

std::unique_ptr<DataCol> SortedTable::rowFromText(std::string_view text, TextPool* pool) {
  return rowOfText(text, header(), rowStore().get(), pool);
}

std::unique_ptr<DataCol> SortedTable::rowOfText(std::string_view text, SharedNames names,
                                                RowStore* store, TextPool* pool) {
  std::unique_ptr<DataCol> row = DataCol::make(store, std::move(names));
  forEachField(text, [&](std::size_t k, std::string_view field) {
    if (k >= static_cast<std::size_t>(row->size())) return;
    if (pool != nullptr) {
      pool->setLiteral(*row->valueAt(static_cast<int>(k)), field, k);
    } else {
      row->setLiteralAt(static_cast<int>(k), field);
    }
  });
  return row;
}

SortedTable* SortedTable::insertRowText(std::string_view text, SortedTable* table, TextPool* pool) {
  if (table != nullptr) table->insertRow(table->rowFromText(text, pool).release());
  return table;
}

void SortedTable::removeColumn(const std::string& name) {
  DataTable::removeColumn(name);
  normalize();
}

void SortedTable::removeColumnAt(int position) {
  DataTable::removeColumnAt(position);
  normalize();
}

DataTable* SortedTable::projectByIndices(const std::vector<int>& positions) {
  std::unique_ptr<DataTable> result(DataTable::projectByIndices(positions));
  normalize(*result);
  return result.release();
}

DataTable* SortedTable::projectByNames(const std::vector<std::string>& names) {
  // The projection by the positions of the names, normalised once.
  std::unique_ptr<DataTable> result(DataTable::projectByIndices(positionsOfNames(header(), names)));
  normalize(*result);
  return result.release();
}

DataTable* SortedTable::filter(const std::string& condition) {
  std::unique_ptr<DataTable> result(select(condition));
  normalize(*result);
  return result.release();
}

DataTable* SortedTable::filterRenamed(const std::vector<std::pair<unsigned, std::string>>& renames,
                                      const std::string& condition) {
  const RowList& all = rows();
  SharedNames rowNames = all.empty() ? header() : all[0]->sharedNames();
  for (const auto& row : all) {
    if (row->sharedNames() != rowNames || rowNames->size() != header()->size()) {
      // Rows named differently, or not one name per column, would be
      // renamed differently: do it as said.
      SortedTable copy(*this);
      for (const auto& [position, name] : renames) copy.renameColumnAt(position, name);
      return copy.filter(condition);
    }
  }
  // All rows change alike, so one list of row names follows the header.
  Names columns = *header(), names = *rowNames;
  for (const auto& [position, name] : renames) {
    if (position >= columns.size() || columns[position] == name) continue;
    std::string old = columns[position];
    std::replace(columns.begin(), columns.end(), old, name);
    auto it = std::find(names.begin(), names.end(), old);
    if (it != names.end()) *it = name;
  }
  std::unique_ptr<DataTable> result(select(condition));
  std::vector<int> open = openPositions(condition);
  auto keep = [&open](const Names& from) {
    auto kept = SharedNames::make();
    for (int p : open) kept->push_back(from[p]);
    return kept;
  };
  SharedNames keptColumns = keep(columns), keptNames = keep(names);
  if (*keptNames == *keptColumns) keptNames = keptColumns;
  relabel(*result, keptColumns, keptNames);
  normalize(*result);
  return result.release();
}

SharedNames SortedTable::headerPassingAll(
    const std::vector<std::pair<unsigned, std::string>>& renames,
    const std::string& condition) const {
  const std::size_t width = header()->size();
  std::size_t passing = 0;
  bool all = true;
  forEachField(condition, [&](std::size_t k, std::string_view field) {
    if (k < width) {
      all = all && passesAll(field);
      ++passing;
    }
  });
  if (!all || passing != width) return SharedNames();
  // Columns of one name, or a rename to a name the header has already,
  // would be renamed differently in header and rows: not this path.
  if (!NameIndex(header()).unique()) return SharedNames();
  Names names = *header();
  for (const auto& [position, name] : renames) {
    if (position >= width || names[position] == name) continue;
    if (std::find(names.begin(), names.end(), name) != names.end()) return SharedNames();
    names[position] = name;
  }
  for (const auto& row : rows()) {
    if (row->sharedNames() != header()) return SharedNames();
  }
  return names == *header() ? header() : SharedNames::make(std::move(names));
}

std::vector<int> SortedTable::openPositions(const std::string& condition) const {
  std::vector<int> open;
  forEachField(condition, [&](std::size_t k, std::string_view field) {
    if (k < static_cast<std::size_t>(columnCount()) && isOpenField(field)) {
      open.push_back(static_cast<int>(k));
    }
  });
  return open;
}

DataTable* SortedTable::select(const std::string& condition) {
  // A row equal to a non-matching row does not match either, so the rows
  // that survive are exactly the matching ones.
  std::unique_ptr<DataCol> wanted = rowFromText(condition);
  return projectRows(*this, wanted.get(), openPositions(condition));
}

SortedTable* SortedTable::exclude(const std::string& condition) {
  std::unique_ptr<DataCol> wanted = rowFromText(condition);
  RowList kept = rowsNotMatching(rows(), *wanted, rowStore().get());
  auto result = std::make_unique<SortedTable>(tableName(), "");
  result->shareStoreAndWorkers(*this);
  result->setContents(header(), std::move(kept));
  return result.release();
}

SortedTable* SortedTable::unionWith(DataTable& other) {
  if (other.columnCount() != columnCount()) return this;
  auto result = std::make_unique<SortedTable>(*this);
  std::vector<std::unique_ptr<DataCol>> added;
  for (const auto& row : other.rows()) added.push_back(rowFrom(*row));
  result->insertRows(std::move(added));
  return result.release();
}

void SortedTable::uniteTaking(DataTable& other) {
  if (other.columnCount() != columnCount()) return;
  // The rows change in place, and their list becomes the added list.
  RowList added = std::move(other.rows());
  other.rows().clear();
  for (auto& row : added) {
    if (row->size() == columnCount()) {
      row->shareNames(header());  // what newRow would name them
    } else {
      row = rowFrom(*row);
    }
  }
  insertRows(std::move(added));
}

std::unique_ptr<DataCol> SortedTable::rowFrom(const DataCol& row) {
  std::unique_ptr<DataCol> copy(newRow());
  for (int k = 0; k < row.size(); ++k) copy->setValueAt(k, row.at(k));
  return copy;
}

void SortedTable::insertRows(RowList added) { uniteRows(rows(), std::move(added), workers()); }

SortedTable* SortedTable::minus(DataTable& other) {
  if (other.columnCount() != columnCount()) return this;
  RowList kept = rowsNotIn(rows(), other.rows(), rowStore().get());
  auto result = std::make_unique<SortedTable>(tableName(), "");
  result->shareStoreAndWorkers(*this);
  result->setContents(header(), std::move(kept));
  return result.release();
}

DataTable* SortedTable::join(DataTable& other, std::string name) {
  // A run of identical rows in a row sorts as one row would, and the
  // repeats go: the join need not give them. (A pair of rows that agrees on
  // several common columns, or a table whose columns all are common, gives
  // such runs, which can be far larger than the result.)
  std::unique_ptr<DataTable> result(
      joinTables(*this, other, name, {.onePartnerEach = true, .normalizeAsItGoes = true}));
  normalize(*result);
  return result.release();
}

}  // namespace tablog
