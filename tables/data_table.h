// DataTable: a named table made of a header of column names and an ordered
// list of rows, with a row cursor. Rows stay in the order they were added
// and may repeat; SortedTable keeps them sorted and unique by overriding
// the virtual operations.
#ifndef TABLOG_TABLES_DATA_TABLE_H_
#define TABLOG_TABLES_DATA_TABLE_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "rows/data_col.h"
#include "rows/workers.h"

namespace tablog {

using RowList = std::vector<std::unique_ptr<DataCol>>;

class DataTable {
 public:
  // A table named `name` with the columns of the comma-separated
  // `columnList` (no trimming; empty names between commas count, a
  // trailing empty name does not) and no rows.
  DataTable(std::string name, std::string_view columnList);
  // Same name, same header, a copy of every row in the same order.
  DataTable(const DataTable& source);
  // Header and rows become copies of the source's; the name stays.
  DataTable& operator=(const DataTable& source);
  virtual ~DataTable();

  // Removes the first column named `name` from the header and, in each
  // row, the row's first field of that name.
  virtual void removeColumn(const std::string& name);
  // Removes the column at `position`; nothing if out of range.
  virtual void removeColumnAt(int position);
  // The columns whose names are listed, in this table's column order.
  // The caller owns the returned table.
  virtual DataTable* projectByNames(const std::vector<std::string>& names);
  // The columns at the listed positions, in this table's column order;
  // positions out of range, repeats and the order of the list do not
  // matter. The caller owns the returned table (a plain DataTable).
  virtual DataTable* projectByIndices(const std::vector<int>& positions);
  // Selection hook. A plain table ignores the condition and returns itself:
  // the caller must not free the result when it is this table.
  virtual DataTable* filter(const std::string& condition);

  // The row cursor. firstRow and nextRow return nullptr past the last row.
  // A row pointer stays valid until the table's rows next change.
  DataCol* firstRow();
  DataCol* nextRow();
  bool atEnd() const;
  // True when the table has no rows; leaves the cursor at the first row.
  bool isEmpty() { return firstRow() == nullptr; }

  std::string tableName() const { return name_; }
  std::vector<std::string> columnNames() const { return *columns_; }
  int columnCount() const { return static_cast<int>(columns_->size()); }
  std::size_t rowCount() const;
  // True when every row's field names are the header's.
  bool rowsNamedAsColumns() const;

  // Appends a column named `name`; every row gets a last field of that
  // name holding its own value parsed from `literal`.
  void addColumn(std::string_view name, std::string_view literal);
  // Every header entry equal to `oldName` becomes `newName`; each row
  // renames its first field of that name only.
  void renameColumn(std::string oldName, std::string newName);
  // renameColumn with the name at `position`; nothing if out of range.
  void renameColumnAt(unsigned position, const std::string& newName);
  // Appends a row of Null fields, one per column, and returns it. The
  // table owns it; the caller fills it.
  DataCol* appendRow();
  // Removes every row equal to `row`. `row` may belong to this table.
  void removeEqualRows(const DataCol* row);
  // The join on the columns both tables name: for each row of this table,
  // each row of `other` and each common column on which they agree, one
  // row. Columns: this table's, then the other's that this one lacks.
  // `other` may be this very table. The caller owns the result.
  DataTable* join(DataTable& other, std::string name);
  // The store whose blocks hold the rows this table makes, and the rows of
  // the tables it makes (results of projections, joins and filters share
  // it). Without one, rows are made on the heap. A table made by the
  // constructor has none; copies share their source's.
  void setRowStore(std::shared_ptr<RowStore> store) { store_ = std::move(store); }
  const std::shared_ptr<RowStore>& rowStore() const { return store_; }
  // The threads over which this table's operations may spread large work,
  // and so may those of the tables it makes. A table made by the
  // constructor has one; copies share their source's.
  void setWorkers(Workers workers) { workers_ = std::move(workers); }
  const Workers& workers() const { return workers_; }
  // The store and the workers of `source`, for a table made from it.
  void shareStoreAndWorkers(const DataTable& source) {
    store_ = source.store_;
    workers_ = source.workers_;
  }

  // Like assignment from `source`, but takes its header and rows over
  // instead of copying them; `source` is left without rows. For results
  // that are discarded right after.
  void assignTaking(DataTable& source);

  // Writes the printed form, "name(col,...)" and one line per row, each
  // ended by a line feed. Uses `buffer` for batching writes; it is empty
  // when the call returns. A large table's rows are printed by its
  // workers, a part of the rows each, and go out in order.
  void writeTo(std::ostream& out, std::string& buffer) const;

  // The header and the rows, for the operators over tables (the order, the
  // joins, the growth of a rule's running result). A row named by the
  // header shares the header's list itself.
  const SharedNames& header() const { return columns_; }
  const RowList& rows() const { return rows_; }
  RowList& rows() { return rows_; }
  // Replaces header and rows; the name stays, the cursor goes to the start.
  void setContents(SharedNames header, RowList rows);

 protected:
  // A private copy of the header, made before the first change.
  Names& ownHeader();

  // Gives `table` the header `columns` and every row the names `names`.
  // REQUIRES: both have one entry per column of `table`.
  static void relabel(DataTable& table, SharedNames columns, SharedNames names);

 private:
  std::string name_;
  // The header. Rows whose field names agree with it share this list.
  SharedNames columns_;
  RowList rows_;
  std::size_t cursor_ = 0;
  std::shared_ptr<RowStore> store_;
  Workers workers_;
};

// Writes the printed form of `table`, each line ended by a line feed.
std::ostream& operator<<(std::ostream& out, const DataTable& table);

}  // namespace tablog

#endif  // TABLOG_TABLES_DATA_TABLE_H_
