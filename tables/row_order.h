// The order of sorted tables. A sorted table's rows are defined to be in
// the order that an exchange sort gives (neighbours swap only when the
// first is strictly greater, so rows that do not compare keep their
// places), followed by the removal of every row equal to its predecessor.
//
// Running that sort literally costs a square of the row count. Here it is
// replaced by a stable sort under a total order that extends the row order,
// whenever a check of the sorted neighbours proves the two results equal;
// otherwise the exchange sort runs. The test suite keeps a literal version
// of every algorithm here and compares them on random tables.
#ifndef TABLOG_TABLES_ROW_ORDER_H_
#define TABLOG_TABLES_ROW_ORDER_H_

#include <cstddef>
#include <vector>

#include "tables/data_table.h"

namespace tablog {

// Sorts `rows` into the exchange-sort order and removes each row equal to
// its predecessor. Returns true when the result is known to be left as it
// is by normalising it again.
bool normalizeRows(RowList& rows);

// Does what normalizeRows does when a stable sort provably gives the
// exchange sort's order, and returns true; otherwise returns false and
// leaves the rows as they were.
bool sortIfExact(RowList& rows);

// The last `pending` rows of `rows` were appended one at a time, each
// append followed by normalising the whole list. Gives the result of doing
// exactly that. Returns true when the result is known to be left as it is
// by normalising it again.
bool settlePending(RowList& rows, std::size_t pending);

// The exchange sort and the removal of repeats, run as they are defined,
// except that the sort stops after a pass that exchanges nothing.
void exchangeNormalize(RowList& rows);

// True when the first `count` rows hold no neighbours of which the first
// is greater than or equal to the second. Inserting a row into such a list
// with a full normalisation moves it left past the rows greater than it, to
// the first that is not, and nothing else.
bool isSettled(const RowList& rows, std::size_t count);

// The total order used by the fast path: per column, the kind, then the
// number for Plain values, the bytes otherwise. Extends DataCol::greaterThan.
bool totalLess(const DataCol& a, const DataCol& b);

}  // namespace tablog

#endif  // TABLOG_TABLES_ROW_ORDER_H_
