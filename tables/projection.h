// Projection with selection, as an operator of its own: the columns a
// projection keeps, and one walk over the rows that matches each row and
// copies its kept fields while it is at hand. The projections and the
// filter of DataTable and SortedTable are made of it, and so is the
// projection in place that serves a rule's merge into its head.
#ifndef TABLOG_TABLES_PROJECTION_H_
#define TABLOG_TABLES_PROJECTION_H_

#include <string>
#include <vector>

#include "tables/data_table.h"

namespace tablog {

// The header positions of `names` in `header`: for each name in turn,
// every position holding it, in increasing order. Names no column has add
// nothing.
std::vector<int> positionsOfNames(const SharedNames& header, const std::vector<std::string>& names);

// The positions a projection on `positions` keeps, increasing: those in
// range, each once, whatever the order of the list.
std::vector<int> keptPositions(const DataTable& table, const std::vector<int>& positions);

// A new plain table named as `table`, holding its rows that match `wanted`
// (all of them when it is nullptr) reduced to the columns at `positions`,
// in table order. The caller owns it.
DataTable* projectRows(const DataTable& table, const DataCol* wanted,
                       const std::vector<int>& positions);

// Makes `table` what DataTable::projectByNames(names) returns, in place:
// the other columns leave the header and every row, the kept values move
// rather than being copied, and the rows keep their order.
void keepColumnsNamed(DataTable& table, const std::vector<std::string>& names);

}  // namespace tablog

#endif  // TABLOG_TABLES_PROJECTION_H_
