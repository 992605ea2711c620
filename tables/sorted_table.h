// SortedTable: the table class of every script table. Its rows stay in the
// order of tables/row_order.h and free of neighbours that repeat each
// other: every operation that adds rows or removes columns normalises the
// table it changed or made, so a sorted table is normalised whenever anyone
// can read it. It adds no data to DataTable.
//
// Results: projections, joins and filters return new plain DataTables
// (normalised when returned); exclude, unionWith and minus return new
// SortedTables, but unionWith and minus return this table itself when the
// column counts differ. The caller frees a result only when it is not the
// table it called.
#ifndef TABLOG_TABLES_SORTED_TABLE_H_
#define TABLOG_TABLES_SORTED_TABLE_H_

#include <string>
#include <string_view>
#include <vector>

#include "rows/fields.h"
#include "rows/text_pool.h"
#include "tables/data_table.h"

namespace tablog {

class SortedTable : public DataTable {
 public:
  SortedTable(std::string name, std::string_view columnList)
      : DataTable(std::move(name), columnList) {}
  // Copies as they stand: neither normalises.
  SortedTable(const SortedTable& source) = default;
  SortedTable& operator=(const SortedTable& source) = default;
  using DataTable::operator=;
  ~SortedTable() override = default;

  // Sorts `table`'s rows and removes each row equal to its predecessor.
  static void normalize(DataTable& table);
  void normalize() { normalize(*this); }

  // A row of Null fields named after this table's columns. The caller owns
  // it until it hands it to insertRow.
  DataCol* newRow();
  // Takes `row` over and normalises the table.
  void insertRow(DataCol* row);
  // Takes `added` over and normalises the table: what insertRow does with
  // each of them in turn, since a row inserted into a normal form only
  // moves left past greater rows, and so the normal form of the whole is
  // reached whichever way. This is how a script's data lines arrive.
  void insertRows(RowList added);
  // Builds a row of `table` from `text` (fields split at commas outside
  // single quotes, each set by the literal rule; fields the text does not
  // reach stay Null, fields beyond the last column are ignored), inserts it
  // and returns `table`.
  // With a `pool`, long texts that repeat in a column share one block.
  static SortedTable* insertRowText(std::string_view text, SortedTable* table,
                                    TextPool* pool = nullptr);

  void removeColumn(const std::string& name) override;
  void removeColumnAt(int position) override;
  DataTable* projectByNames(const std::vector<std::string>& names) override;
  DataTable* projectByIndices(const std::vector<int>& positions) override;
  // The rows that match `condition`, reduced to its open columns (fields
  // that are upper-case variables up to "Z", or begin with "<" or ">").
  // The caller owns the result, a plain DataTable named as this table.
  DataTable* filter(const std::string& condition) override;
  // What filter(condition) gives on a copy of this table after
  // renameColumnAt(position, name) for each entry of `renames` in order.
  // This table is not changed. The caller owns the result.
  DataTable* filterRenamed(const std::vector<std::pair<unsigned, std::string>>& renames,
                           const std::string& condition);
  // When filterRenamed(renames, condition) would give every row of this
  // table as it stands, but for the names of its columns: the header its
  // result would have, whose names are unique and name its rows too. Else
  // no list. (A rule may then read this table's rows under that header
  // instead of a copy of them.)
  SharedNames headerPassingAll(const std::vector<std::pair<unsigned, std::string>>& renames,
                               const std::string& condition) const;
  // The rows that do not match `condition`, all columns, in this table's
  // order. The caller owns the result.
  SortedTable* exclude(const std::string& condition);
  // This table's rows and the other's, by position, normalised. Returns
  // this table itself when the column counts differ; otherwise a new table
  // that the caller owns.
  SortedTable* unionWith(DataTable& other);
  // This table's rows less those equal to a row of `other`, in this
  // table's order. Returns this table itself when the column counts differ.
  SortedTable* minus(DataTable& other);
  // What assigning unionWith(other) to this table does (nothing when the
  // column counts differ), with the other table's rows moved over rather
  // than copied: `other` is left without rows.
  void uniteTaking(DataTable& other);
  // The join of DataTable::join, normalised. The caller owns the result.
  DataTable* join(DataTable& other, std::string name);

  // The fields of a condition: split at commas outside single quotes.
  std::vector<std::string> splitCondition(std::string_view condition) const;

  // The row that a row text (a data line or a condition) makes for this
  // table's columns: field k set from the k-th field of the text, fields
  // past the text Null, fields past the columns ignored. With a `pool`,
  // long texts that repeat in a column share one block.
  std::unique_ptr<DataCol> rowFromText(std::string_view text, TextPool* pool = nullptr);
  // The row rowFromText makes, named by `names` and made in `store` (on the
  // heap without one), touching nothing of any table: rows of one table may
  // be made so on several threads, each with a store and a pool of its own.
  static std::unique_ptr<DataCol> rowOfText(std::string_view text, SharedNames names,
                                            RowStore* store, TextPool* pool);

 private:
  // The positions of the condition's open fields, in increasing order.
  std::vector<int> openPositions(const std::string& condition) const;
  // filter's rows and columns, not yet normalised.
  DataTable* select(const std::string& condition);
  // A row of this table holding `row`'s values by position, as the union
  // adds it.
  std::unique_ptr<DataCol> rowFrom(const DataCol& row);
};

}  // namespace tablog

#endif  // TABLOG_TABLES_SORTED_TABLE_H_
