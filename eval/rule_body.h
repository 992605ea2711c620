// RuleBody: what each term of a rule body does to the evaluator's working
// tables, decided in one place for the evaluator and for tablog-lint.
//
// A body is applied term by term (eval/script_syntax.h's scanBody gives
// the order). A condition is recorded as a row of the table "assign"(X,Y).
// An atom then asks its table for a filtered, renamed copy ("temp2"):
// which arguments rename a column, which recorded conditions its arguments
// find and use up, the filter pattern that results, and the constant
// columns that the conditions left over add. The evaluator does the table
// work that these decisions call for; tablog-lint reads the same decisions
// to predict the working tables' columns. The recorded conditions are kept
// in a real SortedTable, so that which condition an argument finds, and
// which one wins, follows the table's row order and the matching rules of
// values exactly, for the evaluator and the linter alike.
//
// RunningColumns is the running result "temp" reduced to what the linter
// follows: its columns, and whether it has rows as far as names can tell.
#ifndef TABLOG_EVAL_RULE_BODY_H_
#define TABLOG_EVAL_RULE_BODY_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rows/data_value.h"
#include "tables/sorted_table.h"

namespace tablog {

// A row of "assign": a condition's variable (X) and its operator with its
// value (Y), such as S and >1000, as the table holds them.
struct RecordedCondition {
  DataValue variable;
  DataValue condition;

  // Same values, so the same row of "assign".
  bool sameRow(const RecordedCondition& other) const {
    return variable.equals(other.variable) && condition.equals(other.condition);
  }
};

// The recorded conditions that one argument of an atom found.
struct ConditionUse {
  unsigned position = 0;  // of the argument in the atom
  std::string value;      // the winner's condition text, which takes the argument's place
  std::vector<RecordedCondition> usedUp;  // every row found, in the order of "assign"
};

// A recorded condition left over at an atom: the atom's result gets a
// column `name` whose every value is read from `literal`.
struct ConstantColumn {
  std::string name;
  std::string literal;
  RecordedCondition condition;
};

// What an atom asks of its table, and what it does to "assign".
struct AtomStep {
  // For each argument that begins with a character from "<" to "Z", in
  // order: its position and the name that its column takes.
  std::vector<std::pair<unsigned, std::string>> renames;
  // The arguments, split at every comma, with the value of a recorded
  // condition in place of each argument that found one.
  std::vector<std::string> fields;
  // The filter condition: the fields joined by commas.
  std::string pattern;
  std::vector<ConditionUse> uses;  // by increasing position
  // The conditions left over, in the order of "assign".
  std::vector<ConstantColumn> constants;
};

// A column of a working table, as the linter follows it.
struct BodyColumn {
  std::string name;
  bool constant = false;  // added by a condition left over
};

class RuleBody {
 public:
  // A body whose recorded conditions are the rows of `assign`.
  // REQUIRES: `assign` has the two columns X and Y. It stays the caller's
  // and must outlive this object.
  explicit RuleBody(SortedTable& assign);

  // Records the condition of a term such as S>1000 (`variable` S,
  // `condition` >1000): the row text "S,>1000" is inserted into "assign".
  void record(std::string_view variable, std::string_view condition);
  // The row that record(variable, condition) inserts.
  static RecordedCondition recorded(std::string_view variable, std::string_view condition);

  // Applies an atom with the argument list `args`: each argument in turn
  // looks up the recorded conditions that its quoted text matches as a
  // condition ("'ARG',Y"); when there are any, the first of them in the
  // table's order wins and all are used up, leaving "assign".
  AtomStep atom(std::string_view args);

  // The columns of a table with the columns `columns` after the renames of
  // `step`: each rename gives every column of the old name the new one.
  static std::vector<std::string> renamedColumns(const std::vector<std::string>& columns,
                                                 const AtomStep& step);
  // The columns of the atom's result ("temp2") for a table with the columns
  // `columns` (none for an unknown table): the renamed columns that the
  // pattern keeps open, then one constant column per condition left over.
  static std::vector<BodyColumn> atomColumns(const std::vector<std::string>& columns,
                                             const AtomStep& step);

 private:
  // Uses up the conditions that argument k of `step` finds.
  void useConditions(unsigned k, AtomStep& step);

  SortedTable& assign_;
};

// The running result "temp" of a body in names: its columns, and whether it
// has rows. Names cannot tell whether two atoms' rows agree on a common
// column; the running result takes them to.
class RunningColumns {
 public:
  const std::vector<BodyColumn>& columns() const { return columns_; }
  bool hasRows() const { return hasRows_; }

  // Takes an atom's result, with the columns `atom`, which has rows or not.
  // A running result without rows is replaced by it, and then has rows when
  // the atom's result has rows and columns (a table without columns joined
  // with itself has none). Otherwise the two are joined: the running
  // result's columns, then the atom's that it lacks; the join has rows when
  // the atom's result has rows and a column in common with it. Returns the
  // names of the atom's columns that the running result had, in the atom's
  // order (none when it was replaced).
  std::vector<std::string> take(std::vector<BodyColumn> atom, bool atomHasRows);

 private:
  std::vector<BodyColumn> columns_;
  bool hasRows_ = false;
};

}  // namespace tablog

#endif  // TABLOG_EVAL_RULE_BODY_H_
