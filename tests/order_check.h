// OrderCase: one check of the row order (tables/row_order.h) against the
// literal exchange sort of tests/literal_oracle.h, shared by the order
// differential tests and the order fuzz target.
//
// A case is a list of rows written as literals; rows may differ in width,
// which tables never hold but the ordering must handle. Every field of row
// i is named "r<i>", so that comparing names as well as values shows which
// of two equal rows survived.
#ifndef TABLOG_TESTS_ORDER_CHECK_H_
#define TABLOG_TESTS_ORDER_CHECK_H_

#include <cstddef>
#include <string>
#include <vector>

#include "rows/data_col.h"
#include "tables/row_order.h"
#include "tests/literal_oracle.h"

namespace tablog::ordercheck {

// How the rows reach the ordering.
enum class OrderMode {
  kWhole,            // normalizeRows on the whole list
  kOneByOne,         // every row pending, put in place by settlePending
  kSettledPrefix,    // the first `prefix` rows already normalised, the rest pending
  kArbitraryPrefix,  // the first `prefix` rows in the given order, the rest pending
};

struct OrderCase {
  OrderMode mode = OrderMode::kWhole;
  std::vector<std::vector<std::string>> rows;
  // Rows before the pending ones; ignored by kWhole and kOneByOne.
  std::size_t prefix = 0;
  // The pending rows are normalised in batches of these sizes, in order, the
  // list read after each; what the sizes leave over forms a last batch.
  std::vector<std::size_t> batches;
  // kWhole: ranges of this many rows or more take the radix sort.
  std::size_t radixFrom = kRadixSortFrom;

  // The case as text, for failure reports.
  std::string describe() const;
};

// Runs `c` through tables/row_order.h and through the literal algorithms
// (the exchange sort with the removal of repeats; insertion one row at a
// time, each followed by that sort). Returns "" when the two agree on every
// row's values and names after every batch (and, for kWhole, after a second
// normalisation too); otherwise a report that holds the input.
std::string checkOrder(const OrderCase& c);

// A row as "names values": the field names joined by '|', then each value
// as its kind letter (Q, P or N) and its text in quotes.
std::string shownRow(const DataCol& row);
std::string shownRow(const literal::Row& row);

}  // namespace tablog::ordercheck

#endif  // TABLOG_TESTS_ORDER_CHECK_H_
