// The order of sorted tables. A sorted table's rows are the list that
// exchanging neighbours (only where the first is strictly greater) and
// dropping each row equal to its predecessor can no longer change. The row
// order is a strict partial order, so that list is unique: it is the same
// whether the whole list is sorted at once or each row arrives and moves
// left past the greater rows. normalizeRows reaches it in n k log n time
// for any data (n rows of k columns); why that is exact is told at the top
// of row_order.cc. The tests keep the literal algorithms and compare.
//
// Also here: the other order a row list is put in, that of the rows'
// addresses, in which a large list is freed.
#ifndef TABLOG_TABLES_ROW_ORDER_H_
#define TABLOG_TABLES_ROW_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tables/data_table.h"

namespace tablog {

// Ranges of at least this many rows are put in order by a radix sort of
// their keys, smaller ones by comparisons.
constexpr std::size_t kRadixSortFrom = std::size_t{1} << 14;

// Puts `rows` into the normalised order of the list as it stands and frees
// each row equal to the row before it there. Rows of any widths and kinds
// are accepted; normalising the result again changes nothing. If memory
// runs out, std::bad_alloc leaves `rows` a list with the same normal form
// (part of it may be normalised already). (Tests pass a small `radixFrom` to
// take the radix sort with small lists.)
// The walks over a large list and its radix sorts are spread over
// `workers`; the result does not depend on their number.
void normalizeRows(RowList& rows, std::size_t radixFrom = kRadixSortFrom,
                   const Workers& workers = Workers());

// Normalises a list made of groups of rows, rows[ends[g - 1], ends[g]) the
// g-th, where the rows of a group agree on every column before `column`
// and the list of groups, taking each as its rows' shared columns, is
// normalised with no two neighbours equal: each group is normalised on its own,
// by the columns from `column` on. The result is normalizeRows's, for any
// number of `workers`. REQUIRES: ends increase and end at rows.size().
void normalizeGroups(RowList& rows, const std::vector<std::uint32_t>& ends, int column,
                     std::size_t radixFrom = kRadixSortFrom, const Workers& workers = Workers());

// True when no row is greater than or equal to the row after it: the list
// is its own normal form. For assertions.
bool isNormalized(const RowList& rows);

// Frees the rows of `rows` in the order of their addresses and leaves the
// list empty. Rows sorted by content lie scattered in memory, and freeing
// them in address order is several times faster for large lists. The
// addresses are put in order by the radix sort, which takes a buffer of
// the list's size; without memory for it, the rows go in list order.
void freeInAddressOrder(RowList& rows);

}  // namespace tablog

#endif  // TABLOG_TABLES_ROW_ORDER_H_
