// TableLoader: the data lines of the table declared last. Rows are made
// as their lines arrive and gathered apart from the table; they join it,
// put in order all at once, at the named points where the table is
// normalised: when the next declaration makes another table current, and at
// the end of the script, before any rule or the output reads a table.
// Normalising them together gives the list that inserting them one at a time
// would (see SortedTable::insertRows), in n log n instead of n^2.
#ifndef TABLOG_EVAL_TABLE_LOADER_H_
#define TABLOG_EVAL_TABLE_LOADER_H_

#include <cassert>
#include <string_view>
#include <utility>

#include "rows/text_pool.h"
#include "tables/sorted_table.h"

namespace tablog {

class TableLoader {
 public:
  // Data lines go to `table` from now on; nullptr ignores them.
  // REQUIRES: nothing is pending.
  void start(SortedTable* table) {
    assert(!pending());
    table_ = table;
    pool_ = TextPool();
  }
  // Makes the row of a data line for the current table; it waits.
  void takeRow(std::string_view text) {
    if (table_ != nullptr) rows_.push_back(table_->rowFromText(text, &pool_));
  }
  // Puts the waiting rows into the current table, which is then normalised.
  void flush() {
    if (pending()) table_->insertRows(std::exchange(rows_, RowList()));
  }
  // True while rows wait: the current table is not to be read.
  bool pending() const { return !rows_.empty(); }

 private:
  SortedTable* table_ = nullptr;
  RowList rows_;   // made from data lines, not yet in table_
  TextPool pool_;  // the long texts of table_'s data lines
};

}  // namespace tablog

#endif  // TABLOG_EVAL_TABLE_LOADER_H_
