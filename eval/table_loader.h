// TableLoader: the data lines of the table declared last. Rows are made
// from their lines and gathered apart from the table; they join it all at
// once, and the table is normalised, when the next declaration makes
// another table current and at the end of the script, before any rule or
// the output reads a table. Normalising them together gives the list that
// inserting them one at a time would (see SortedTable::insertRows), in
// n log n instead of n^2.
//
// With more than one thread, lines wait in batches, and a batch is cut
// into parts whose rows are made on the workers' threads, each part in a
// row store and a text pool of its own, so that no part touches what
// another one uses. The rows take the places of their lines, so the table
// receives the same list for any number of threads.
#ifndef TABLOG_EVAL_TABLE_LOADER_H_
#define TABLOG_EVAL_TABLE_LOADER_H_

#include <cassert>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rows/text_pool.h"
#include "rows/workers.h"
#include "tables/sorted_table.h"

namespace tablog {

class TableLoader {
 public:
  explicit TableLoader(Workers workers = Workers()) : workers_(workers) {}

  // Data lines go to `table` from now on; nullptr ignores them.
  // REQUIRES: nothing is pending.
  void start(SortedTable* table) {
    assert(!pending());
    table_ = table;
    pools_.clear();
  }
  // Takes the data line `text` of the current table; its row waits.
  void takeRow(std::string_view text) {
    if (table_ == nullptr) return;
    if (workers_.threads() == 1) {
      if (pools_.empty()) pools_.emplace_back();
      rows_.push_back(table_->rowFromText(text, &pools_[0]));
      return;
    }
    lines_.append(text);
    ends_.push_back(lines_.size());
    if (ends_.size() == kBatch) makeRows();
  }
  // Puts the waiting rows into the current table, which is then normalised.
  void flush() {
    makeRows();
    if (!rows_.empty()) table_->insertRows(std::exchange(rows_, RowList()));
  }
  // True while rows wait: the current table is not to be read.
  bool pending() const { return !rows_.empty() || !ends_.empty(); }

 private:
  static constexpr std::size_t kBatch = std::size_t{1} << 15;  // lines

  // Makes the rows of the lines that wait, a part of them per worker.
  void makeRows();

  Workers workers_;
  SortedTable* table_ = nullptr;
  RowList rows_;                   // made from data lines, not yet in table_
  std::vector<TextPool> pools_;    // per part: the long texts of table_'s lines
  std::string lines_;              // lines waiting for their rows, one after another
  std::vector<std::size_t> ends_;  // where each waiting line ends in lines_
  // Per part, the blocks its rows are made in. Rows outlive a store that
  // goes (see RowStore).
  std::vector<std::unique_ptr<RowStore>> stores_;
};

}  // namespace tablog

#endif  // TABLOG_EVAL_TABLE_LOADER_H_
