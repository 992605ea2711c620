// EvaluateGraph: the evaluator of one script run. It takes the script's
// lines in (declarations create tables, data lines fill the current table,
// rules are stored), evaluates the rules once each in script order, and
// writes the result: the rule lines, an empty line and every table.
//
// Copies of an evaluator share its tables: a table changed through a copy
// is changed for all. The tables live as long as the last copy.
#ifndef TABLOG_EVAL_EVALUATE_GRAPH_H_
#define TABLOG_EVAL_EVALUATE_GRAPH_H_

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "eval/table_loader.h"
#include "eval/table_lookup.h"
#include "tables/name_index.h"
#include "tables/sorted_table.h"

namespace tablog {

class EvaluateGraph {
 public:
  // An evaluator that works on the calling thread alone.
  EvaluateGraph();
  // An evaluator whose tables spread their large work over `workers`: the
  // intake of data lines, the normalising, projections, the join's probe
  // and the writing. The output is the same for any number of threads.
  explicit EvaluateGraph(Workers workers);
  EvaluateGraph(const EvaluateGraph& other) = default;
  EvaluateGraph& operator=(const EvaluateGraph& other) = default;
  virtual ~EvaluateGraph() = default;

  // The declared table named `name`, else the first rule head table of that
  // name, else nullptr. The evaluator owns the table.
  // REQUIRES: the script has ended (endScript).
  SortedTable* findTable(std::string_view name) const;

  // The end of the script: the rows of the last declared table are put in
  // place. Reading tables needs it; the rules and the output call it.
  void endScript() { loader_->flush(); }
  // Evaluates every stored rule once, in script order.
  void evaluateRules();
  // The table a rule head names: the table found by the text before "(",
  // else a new head table made from the name and the column list.
  SortedTable* resolveHead(std::string_view head);
  // Evaluates a rule body from right to left and returns its result, the
  // working table "temp". The caller owns it.
  std::unique_ptr<SortedTable> evaluateBody(std::string_view body);
  // The same, for a caller that keeps only the columns named in `keep`:
  // the result's other columns may be gone already.
  std::unique_ptr<SortedTable> evaluateBody(std::string_view body,
                                            const std::vector<std::string>* keep);
  // What evaluateBody shows after each atom: the atom's result "temp2" and
  // the running result "temp", lent for the call only.
  using AtomObserver = std::function<void(const SortedTable& atom, const SortedTable& running)>;
  // evaluateBody(body), calling `observe` after each atom.
  // REQUIRES: `observe` is callable.
  std::unique_ptr<SortedTable> evaluateBody(std::string_view body, const AtomObserver& observe);
  // What a term of a body is.
  enum class Term { Atom, Condition };
  // Applies one term of a body as eval/rule_body.h decides: a condition is
  // recorded in `assign`; an atom is filtered into `temp2` and joined into
  // `temp`. REQUIRES: `assign` has the columns X and Y.
  void applyTerm(const std::string& name, const std::string& args, SortedTable* temp,
                 SortedTable* temp2, SortedTable* assign, Term term);

  // REQUIRES, for the tables: the script has ended (endScript).
  const std::vector<SortedTable*>& tables() const {
    assert(!loader_->pending());
    return tables_;
  }
  const std::vector<SortedTable*>& ruleTables() const { return ruleTables_; }
  const std::vector<std::string>& rules() const { return rules_; }
  SortedTable* currentTable() const {
    assert(!loader_->pending());
    return currentTable_;
  }

  // Takes one script line: empty lines are ignored; a line holding "<-" is
  // a rule; a line holding "(" declares a table; any other line is a data
  // row of the current table (ignored before the first declaration).
  // `line` is read during the call only.
  void takeLine(std::string_view line);

 private:
  // applyTerm with `tempIndex`, the name index of temp's header, kept from
  // one atom to the next: the running result then grows in place, and an
  // atom costs no more for the columns that earlier atoms gave it. With
  // `temp2Spent`, nothing reads temp2 before the next atom replaces it, so
  // the first atom's rows may move into temp instead of being copied. With
  // `keep`, temp's columns not named there may leave it at this atom.
  void applyTerm(const std::string& name, const std::string& args, SortedTable* temp,
                 SortedTable* temp2, SortedTable* assign, Term term, NameIndex& tempIndex,
                 bool temp2Spent, const std::vector<std::string>* keep);
  // evaluateBody(body, keep), calling `observe` after each atom when given.
  std::unique_ptr<SortedTable> evaluateBody(std::string_view body,
                                            const std::vector<std::string>* keep,
                                            const AtomObserver* observe);
  // A new table of the evaluator, declared or made by a rule head.
  SortedTable* createTable(std::string name, std::string_view columnList, bool declared);
  Workers workers_;
  // The blocks the rows of this evaluator's tables are made in; rows of
  // data lines read over several threads come from the loader's own.
  std::shared_ptr<RowStore> rowStore_;
  // Every table this evaluator and its copies have made.
  std::shared_ptr<std::vector<std::unique_ptr<SortedTable>>> store_;
  std::vector<SortedTable*> tables_;      // declared, in script order
  std::vector<SortedTable*> ruleTables_;  // rule heads, in creation order
  TableLookup<SortedTable*> lookup_;      // the table each name finds
  std::vector<std::string> rules_;        // rule lines as read
  SortedTable* currentTable_ = nullptr;   // receives data lines
  // The data lines of currentTable_ that wait to be put in place; shared,
  // like the tables, by the evaluator's copies.
  std::shared_ptr<TableLoader> loader_;
};

// graph.takeLine(line), for callers that hold lines as strings.
EvaluateGraph& feedLine(std::string line, EvaluateGraph& graph);

// Evaluates the rules of `graph`, then writes the rule lines, an empty line
// and every table (declared ones first), each followed by an empty line.
std::ostream& operator<<(std::ostream& out, EvaluateGraph graph);

}  // namespace tablog

#endif  // TABLOG_EVAL_EVALUATE_GRAPH_H_
