// RuleChecker: tablog-lint's checks of the rules of a script, one rule at
// a time in script order, as tablog runs them after the last line. Each
// body is followed term by term through eval/rule_body.h, the evaluator's
// own decisions about a body (which recorded conditions each atom uses up,
// which of its columns it keeps, what a left-over condition adds, and in
// what order the joins put the columns), with the working tables held as
// column names only. Whether an atom finds rows is known when its table
// holds what its data lines gave it (no earlier rule writes it): the atom
// is then asked of those rows (lint/script_data.h). An atom of an unknown
// table, or of the table this very rule's head has just made, finds none,
// as in tablog; any other atom, and any join, is taken to find rows.
#ifndef TABLOG_LINT_RULE_CHECKER_H_
#define TABLOG_LINT_RULE_CHECKER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "eval/rule_body.h"
#include "eval/script_syntax.h"
#include "lint/lint.h"
#include "lint/script_data.h"
#include "lint/table_catalog.h"
#include "lint/words.h"
#include "tables/sorted_table.h"

namespace tablog {

// A rule line of a script.
struct ScriptRule {
  int line;
  std::string_view text;
};

// A comparison that a rule makes on a column of a declared table, such as
// S>1000 used up by Emp(N,D,S): it is checked against the values the table
// holds.
struct Comparison {
  int table = 0;  // in the catalog
  std::size_t column = 0;
  char op = '=';
  std::string constant;
  int line = 0;
  std::size_t offset = 0;
  std::string written;  // as the rule writes it
};

class RuleChecker {
 public:
  // REQUIRES: `tables` holds every declared table of the script, and
  // `data` their rows, by the same indexes; `rules` are its rule lines in
  // script order. The checker appends to `findings` and `comparisons`; all
  // five outlive it.
  RuleChecker(const std::vector<ScriptRule>& rules, TableCatalog& tables, const ScriptData& data,
              std::vector<Finding>& findings, std::vector<Comparison>& comparisons)
      : rules_(rules),
        tables_(tables),
        data_(data),
        findings_(findings),
        comparisons_(comparisons) {}

  // Checks rule `r` and adds its head's table to the catalog when tablog
  // would make one. REQUIRES: called for r = 0, 1, ... in order.
  void check(std::size_t r);

  // What the checker predicts after an atom of a body: the atom's place
  // among the body's terms (in scanBody's order), its result's columns and
  // the running result as the data lines have it. Both are lent for the
  // call only.
  using AtomObserver = std::function<void(std::size_t term, const std::vector<BodyColumn>& atom,
                                          const RunningColumns& running)>;
  // Calls `observe` after each atom of the rules checked from now on.
  void observeAtoms(AtomObserver observe) { observe_ = std::move(observe); }

 private:
  static constexpr std::size_t kNone = ~std::size_t{0};
  // What is known of the rows of an atom's result or of the running result.
  enum class Rows { kNone, kSome, kUnknown };
  // A condition of the body.
  struct Condition {
    std::size_t term = 0;
    RecordedCondition row;  // as tablog records it: row.variable is its variable
    std::string value;      // the operator and the value, such as >1000
    std::string written;
    std::size_t offset = 0;      // of the variable in the line
    std::size_t operatorAt = 0;  // of the operator in the line
    bool reported = false;       // a finding already explains it
    bool usedUp = false;
    // The condition on its right whose row, still standing, it repeats;
    // kNone when it makes a row of its own.
    std::size_t repeats = kNone;
    std::vector<std::size_t> passed = {};  // atoms that got its constant column
  };
  // The model of one body's evaluation.
  struct Body {
    std::vector<BodyTerm> terms;                        // in the order tablog applies them
    std::vector<std::string> variables;                 // every variable an atom names
    std::vector<Condition> conditions;                  // recorded, in order
    SortedTable assign = SortedTable("assign", "X,Y");  // tablog's: the conditions standing
    // The running result "temp", taking every atom of a table that has
    // data lines to find rows: the shape of the body, whatever the data.
    RunningColumns result;
    // The running result as the data lines have it: each atom asked of
    // the rows, when they are known; and what is known of its rows.
    RunningColumns flow;
    Rows rows = Rows::kNone;
    bool keptNoColumn = false;             // its rows went with an atom that keeps no column
    std::vector<std::string> twiceInAtom;  // names an atom's result holds more than once
    std::unordered_map<std::string, std::string> dropped;  // variable: why its column goes
    std::vector<std::string> blankNames;  // arguments that blanks spoil, without them
    bool mixedUp = false;                 // an atom's columns were renamed wrongly
  };
  // What an atom's arguments ask of its table's columns.
  struct Pattern {
    std::vector<std::string> fields;  // the arguments, conditions put in
    std::vector<std::size_t> offsets;
    std::vector<std::string> written;
  };

  void add(std::size_t offset, const char* name, std::string message) {
    addFinding(findings_, rule_->line, offset, name, std::move(message));
  }
  // The offset in the rule's line of a piece of it.
  std::size_t at(std::string_view part) const {
    return static_cast<std::size_t>(part.data() - rule_->text.data());
  }
  std::string termText(const BodyTerm& atom) const;
  // The character after a term's name: "(" for an atom.
  char next(const BodyTerm& term) const;

  int resolveHead(std::string_view head);
  void checkNewHead(std::string_view head, const NameAndColumns& read,
                    const std::vector<Piece>& columns);
  void checkBody(std::string_view body, int target);
  void recordCondition(Body& b, std::size_t i);
  void checkCondition(const Body& b, const BodyTerm& term, Condition& c);
  void applyAtom(Body& b, std::size_t i, int target);
  // Says what is wrong with the shape of an atom.
  void checkAtomShape(const BodyTerm& term, bool leftmost);
  void reportUnknown(const BodyTerm& term, bool leftmost);
  void checkArity(const BodyTerm& term, const TableCatalog::Table& table,
                  const std::vector<Piece>& arguments);
  bool checkArgumentBlanks(const Piece& argument);
  bool checkRenames(const TableCatalog::Table& table, const std::vector<Piece>& arguments,
                    const std::vector<std::string>& header, const std::vector<bool>& renamed);
  Pattern useConditions(Body& b, const BodyTerm& atom, const std::vector<Piece>& arguments,
                        const AtomStep& step);
  void addComparisons(int t, const Pattern& pattern, std::size_t columns);
  // The atom's result's columns, with what they tell the other checks.
  std::vector<BodyColumn> atomColumns(Body& b, std::size_t i,
                                      const std::vector<std::string>& header, const AtomStep& step);
  // The conditions whose rows `rows` holds, among those standing, in the
  // order recorded.
  static std::vector<std::size_t> standing(const Body& b,
                                           const std::vector<RecordedCondition>& rows);
  void usedUp(Body& b, Condition& c, const BodyTerm& atom);
  // What is known of the rows that an atom finds, asking its table `t`
  // what `step` says.
  Rows atomRows(int t, const AtomStep& step) const;
  // Says that an atom of the declared table `t` finds no rows.
  void reportNoRows(const Body& b, std::size_t i, int t, const AtomStep& step,
                    const Pattern& pattern);
  // Says which arguments of an atom of table `t` read as variables where
  // the data suggests a constant.
  void checkCapitals(const Body& b, int t, int target, const std::vector<Piece>& arguments,
                     const AtomStep& step);
  // Joins an atom's result into both running results; `empty` when it
  // has no rows whatever the data, `rows` what its data gives.
  void join(Body& b, const std::vector<BodyColumn>& columns, bool empty, Rows rows,
            const BodyTerm& atom, bool leftmost);
  static void follow(Body& b, const std::vector<BodyColumn>& columns, Rows rows);
  // `before`: the rows of the running result before the atom.
  void reportNoSharedVariable(const BodyTerm& atom, Rows before, bool leftmost, bool keepsNoColumn);
  void reportLeftOver(const Body& b, const Condition& c);
  void checkHead(const Body& b, int target);
  // The offset of the head's column `j`, or of the head when it is not new.
  std::size_t headOffset(std::size_t j) const {
    return j < headColumns_.size() ? headColumns_[j].offset : headAt_;
  }
  // Says why the head's columns at `missing` are not filled; `kept` are the
  // body's columns that the projection on the head keeps.
  void reportUnbound(const Body& b, const TableCatalog::Table& table,
                     const std::vector<std::size_t>& missing, const std::vector<std::string>& kept);

  const std::vector<ScriptRule>& rules_;
  TableCatalog& tables_;
  const ScriptData& data_;
  std::vector<Finding>& findings_;
  std::vector<Comparison>& comparisons_;
  const ScriptRule* rule_ = nullptr;  // the rule being checked
  // The head's written columns, when its table is new, and its offset.
  std::vector<Piece> headColumns_;
  std::size_t headAt_ = 0;
  std::vector<bool> written_;  // by catalog index: a rule checked before writes the table
  AtomObserver observe_;
};

}  // namespace tablog

#endif  // TABLOG_LINT_RULE_CHECKER_H_
