// The join of two tables on the columns both name, as an operator of its
// own: DataTable::join and SortedTable::join are made of it, and so is the
// join of a rule's running result when it cannot grow in place.
#ifndef TABLOG_TABLES_JOIN_H_
#define TABLOG_TABLES_JOIN_H_

#include <string>

#include "tables/data_table.h"

namespace tablog {

struct JoinOptions {
  // For a caller that drops repeats: a pair of rows that agrees on several
  // common columns gives its row once, and where the second table adds no
  // column, a row with partners is given once for all of them.
  bool onePartnerEach = false;
  // The rows made so far are put in order, repeats dropped, whenever they
  // have doubled, so that a join whose rows mostly repeat holds little
  // more than what differs. (The normal form of a list is that of its
  // normalised start followed by the rest.)
  bool normalizeAsItGoes = false;
};

// The join of `left` and `right` on the columns both name: for each row of
// left, each row of right and each common column on which they agree, one
// row (fewer with the options). Columns: left's, then right's that left
// lacks. The tables may be one table. The caller owns the result, a plain
// DataTable named `name` whose rows are made in left's row store.
DataTable* joinTables(const DataTable& left, const DataTable& right, const std::string& name,
                      JoinOptions options = {});

}  // namespace tablog

#endif  // TABLOG_TABLES_JOIN_H_
