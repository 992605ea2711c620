// The running result of a rule body ("temp") and how each atom's rows are
// joined into it. A rule of many atoms grows one wide table, an atom at a
// time: made anew, each join would copy every row and read the whole
// header again, so the result grows in place instead: the header list that
// its rows share gains the atom's own columns, each row gains their values,
// a row with several partners is copied, and only the copies of one row
// need putting in order (see normalizeGroups).
#ifndef TABLOG_EVAL_RUNNING_RESULT_H_
#define TABLOG_EVAL_RUNNING_RESULT_H_

#include <string>
#include <vector>

#include "tables/name_index.h"
#include "tables/sorted_table.h"

namespace tablog {

// How a join in place came out.
enum class InPlaceJoin {
  kRefused,      // not made (see mayGrowInPlace); nothing changed but the index
  kEachRowOnce,  // every row found one partner and stands where it stood
  kNormalized,   // rows went or were repeated; the result has been normalised
};

// True when `running` may grow in place: its column names are unique, every
// row is named by the header list itself, and nothing but the table, its
// rows and `index` holds that list, so that no one else sees it grow.
// REQUIRES: `index` indexes the table's header.
bool mayGrowInPlace(const DataTable& running, const NameIndex& index);

// Makes `running` what its join with `atom` gives normalised, in place: each
// row with partners stays, once per partner, longer by the atom's own
// columns; rows without a partner go. `index` is the name index of
// running's header, made anew when it indexes another list and kept up to
// date. With `keep`, a result whose rows each found one partner keeps only
// the columns named there (what keepColumnsNamed(*keep) would make of it).
// A join that would multiply its rows past a bound is refused, for the join
// that normalises as it goes. REQUIRES: `running` is normalised and is not `atom`.
InPlaceJoin joinInPlace(DataTable& running, NameIndex& index, const DataTable& atom,
                        const std::vector<std::string>* keep = nullptr);

// joinInPlace with the atom given as the index of its columns' names, which
// are unique, and its rows, each holding one value per column in that
// order: the rows of a table read under another header, uncopied.
InPlaceJoin joinInPlace(DataTable& running, NameIndex& index, const NameIndex& atomIndex,
                        const RowList& atomRows, const std::vector<std::string>* keep = nullptr);

// Joins an atom's rows, `temp2`, into the running result `temp`: an empty
// result takes them as they are; otherwise the join is made in place where
// it may be, else made anew. With `temp2Spent`, temp2's rows may move into
// temp. REQUIRES: `temp` is normalised; `index` is for temp's header.
void joinIntoRunning(SortedTable& temp, SortedTable& temp2, NameIndex& index, bool temp2Spent,
                     const std::vector<std::string>* keep);

}  // namespace tablog

#endif  // TABLOG_EVAL_RUNNING_RESULT_H_
