// The set operations over row lists that sorted tables are made of: the
// union (the rows of both, normalised), the difference (rows equal to no row
// of another list) and the complement of a selection. SortedTable's
// unionWith, uniteTaking, insertRow(s), minus and exclude hold only the
// table work around them.
#ifndef TABLOG_TABLES_SET_OPERATIONS_H_
#define TABLOG_TABLES_SET_OPERATIONS_H_

#include "tables/data_table.h"

namespace tablog {

// Appends `added` to `rows` and normalises the whole: what appending each
// added row and normalising after each gives, since a row appended to a
// normal form only moves left past greater rows. The normalising of a
// large list is spread over `workers`.
void uniteRows(RowList& rows, RowList added, const Workers& workers = Workers());

// Copies, made in `store`, of the rows of `rows` that equal no row of
// `other` (by position), in order. One hash lookup per row.
RowList rowsNotIn(const RowList& rows, const RowList& other, RowStore* store);

// Copies, made in `store`, of the rows of `rows` that do not match
// `wanted`, in order.
RowList rowsNotMatching(const RowList& rows, const DataCol& wanted, RowStore* store);

}  // namespace tablog

#endif  // TABLOG_TABLES_SET_OPERATIONS_H_
