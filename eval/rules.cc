// Rule evaluation. A rule "Head(...)<-Body" is evaluated once: the head
// table is found or made, the body is read from right to left (conditions
// are recorded and used up by the atoms to their left, each atom is
// filtered and joined into the running result "temp"), and the result is
// projected on the head's columns and merged into the head table.
#include <algorithm>
#include <cassert>

#include "eval/evaluate_graph.h"
#include "eval/rule_body.h"
#include "eval/running_result.h"
#include "eval/script_syntax.h"
#include "tables/projection.h"

namespace tablog {

void EvaluateGraph::evaluateRules() {
  endScript();
  for (const std::string& rule : rules_) {
    RuleParts parts = splitRule(rule);
    SortedTable* target = resolveHead(parts.head);
    const std::vector<std::string> columns = target->columnNames();
    std::unique_ptr<SortedTable> body = evaluateBody(parts.body, &columns);
    // The projection serves only this merge: the body becomes it in place,
    // and its rows then move into the head table. Into a table without
    // rows, the merge itself puts them in order; the projection's own
    // normalising would give the same list again.
    keepColumnsNamed(*body, columns);
    if (!target->isEmpty()) SortedTable::normalize(*body);
    target->uniteTaking(*body);
  }
}

SortedTable* EvaluateGraph::resolveHead(std::string_view head) {
  // A head naming a table adds to it; its own column list is not read.
  NameAndColumns read;
  SortedTable* found = nullptr;
  if (readNameAndColumns(head, read, [&](std::string_view name) {
        found = findTable(name);
        return found != nullptr;
      }))
    return found;
  return createTable(std::string(read.name), read.columns, false);
}

std::unique_ptr<SortedTable> EvaluateGraph::evaluateBody(std::string_view body) {
  return evaluateBody(body, nullptr, nullptr);
}

std::unique_ptr<SortedTable> EvaluateGraph::evaluateBody(std::string_view body,
                                                         const std::vector<std::string>* keep) {
  return evaluateBody(body, keep, nullptr);
}

std::unique_ptr<SortedTable> EvaluateGraph::evaluateBody(std::string_view body,
                                                         const AtomObserver& observe) {
  assert(observe);
  return evaluateBody(body, nullptr, &observe);
}

std::unique_ptr<SortedTable> EvaluateGraph::evaluateBody(std::string_view body,
                                                         const std::vector<std::string>* keep,
                                                         const AtomObserver* observe) {
  auto temp = std::make_unique<SortedTable>("temp", "");
  NameIndex tempIndex;
  SortedTable temp2("temp2", "");
  SortedTable assign("assign", "X,Y");
  for (SortedTable* t : {temp.get(), &temp2, &assign}) {
    t->setRowStore(rowStore_);
    t->setWorkers(workers_);
  }
  // After the last atom (the leftmost), only conditions remain, and they
  // leave "temp" alone: its join may keep just the columns asked for. An
  // observer reads "temp2" after each atom, so its rows are not moved.
  std::size_t atoms = 0;
  scanBody(body, [&](const BodyTerm& term) { atoms += term.isCondition ? 0 : 1; });
  scanBody(body, [&](const BodyTerm& term) {
    const bool last = !term.isCondition && --atoms == 0;
    applyTerm(std::string(term.name), std::string(term.args), temp.get(), &temp2, &assign,
              term.isCondition ? Term::Condition : Term::Atom, tempIndex, observe == nullptr,
              last ? keep : nullptr);
    if (observe != nullptr && !term.isCondition) (*observe)(temp2, *temp);
  });
  return temp;
}

void EvaluateGraph::applyTerm(const std::string& name, const std::string& args, SortedTable* temp,
                              SortedTable* temp2, SortedTable* assign, Term term) {
  NameIndex tempIndex;
  applyTerm(name, args, temp, temp2, assign, term, tempIndex, false, nullptr);
}

void EvaluateGraph::applyTerm(const std::string& name, const std::string& args, SortedTable* temp,
                              SortedTable* temp2, SortedTable* assign, Term term,
                              NameIndex& tempIndex, bool temp2Spent,
                              const std::vector<std::string>* keep) {
  RuleBody conditions(*assign);
  if (term == Term::Condition) {
    conditions.record(name, args);
    return;
  }
  // An unknown table reads as one without columns and rows.
  SortedTable* stored = findTable(name);
  SortedTable unknown(name, "");
  SortedTable& src = stored != nullptr ? *stored : unknown;
  // What the atom asks of its table. Its own copy of the table, with the
  // columns renamed, is only ever filtered, so the renames go with the
  // filter.
  const AtomStep step = conditions.atom(args);
  if (temp2Spent && step.constants.empty() && !temp->isEmpty()) {
    // An atom that passes its table's rows as they stand is joined from
    // them directly, when the join can be made in place. temp2 lets go of
    // the running result's header first, as the next atom's rows would.
    if (SharedNames columns = src.headerPassingAll(step.renames, step.pattern)) {
      temp2->setContents(columns, RowList());
      if (joinInPlace(*temp, tempIndex, NameIndex(columns), src.rows(), keep) !=
          InPlaceJoin::kRefused)
        return;
    }
  }
  {
    std::unique_ptr<DataTable> selected(src.filterRenamed(step.renames, step.pattern));
    temp2->assignTaking(*selected);
  }
  for (const ConstantColumn& c : step.constants) temp2->addColumn(c.name, c.literal);
  joinIntoRunning(*temp, *temp2, tempIndex, temp2Spent, keep);
}

}  // namespace tablog
