// JoinPlan: the header plan of a join, apart from its rows: which columns
// of one table (`mine`) the other (`theirs`) also names, and where each
// result column takes its value from. The join of two tables
// (tables/join.h) and the growth of a rule's running result in place
// (eval/running_result.h) both read their columns from it.
#ifndef TABLOG_TABLES_JOIN_PLAN_H_
#define TABLOG_TABLES_JOIN_PLAN_H_

#include <cassert>
#include <vector>

#include "tables/name_index.h"

namespace tablog {

struct JoinPlan {
  // REQUIRES: both indexes index every entry of their lists. The plan holds
  // the indexes; it is read while they stand unchanged.
  JoinPlan(const NameIndex& mine, const NameIndex& theirs)
      : mineIndex(mine), theirsIndex(theirs), resultPos(theirs.names().size(), -1) {
    const Names& a = mine.names();
    const Names& b = theirs.names();
    header.reserve(a.size() + b.size());
    for (std::size_t p = 0; p < a.size(); ++p) {
      (theirs.find(a[p]) >= 0 ? common : own).push_back(static_cast<int>(p));
      header.push_back(a[p]);
    }
    for (std::size_t q = 0; q < b.size(); ++q) {
      // The common names are the names of this table that the other has.
      if (mine.find(b[q]) >= 0) continue;
      otherOwn.push_back(static_cast<int>(q));
      resultPos[q] = static_cast<int>(header.size());
      header.push_back(b[q]);
    }
    for (int p : common) commonThere.push_back(theirs.find(a[static_cast<std::size_t>(p)]));
    // Each result field is set by name, so the last setting of the first
    // field of a name wins; fields no setting reaches stay Null. This
    // table's names come first in the result, so a name's first position
    // there is its first position here; the other table's own names follow.
    fromLeft.assign(header.size(), -1);
    fromRight.assign(header.size(), -1);
    leftWanted = own;
    leftWanted.insert(leftWanted.end(), common.begin(), common.end());
    for (std::size_t i = 0; i < leftWanted.size(); ++i) {
      fromLeft[static_cast<std::size_t>(mine.firstOf(leftWanted[i]))] = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < otherOwn.size(); ++i) {
      int first = resultPos[static_cast<std::size_t>(theirs.firstOf(otherOwn[i]))];
      fromRight[static_cast<std::size_t>(first)] = static_cast<int>(i);
    }
    assert(common.size() == commonThere.size());
  }

  const NameIndex& mineIndex;
  const NameIndex& theirsIndex;
  std::vector<int> resultPos;    // per column of theirs: its result position, or -1
  Names header;                  // the result's columns
  std::vector<int> own;          // my columns that the other lacks
  std::vector<int> common;       // my columns that the other has...
  std::vector<int> commonThere;  // ...and their first positions there
  std::vector<int> otherOwn;     // the other's columns that I lack
  std::vector<int> leftWanted;   // own, then common
  // Per result column: the entry of leftWanted, or of otherOwn, whose value
  // it takes, or -1.
  std::vector<int> fromLeft, fromRight;
};

}  // namespace tablog

#endif  // TABLOG_TABLES_JOIN_PLAN_H_
