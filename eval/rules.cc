// Rule evaluation. A rule "Head(...)<-Body" is evaluated once: the head
// table is found or made, the body is read from right to left (conditions
// are recorded and used up by the atoms to their left, each atom is
// filtered and joined into the running result "temp"), and the result is
// projected on the head's columns and merged into the head table.
#include <algorithm>

#include "eval/evaluate_graph.h"
#include "eval/running_result.h"
#include "eval/script_syntax.h"
#include "tables/projection.h"

namespace tablog {

namespace {

// The text of the field named `name` in `row`, read as the join reads it:
// the row's first field of that name, else the field at the header's
// position of the name, else empty.
std::string fieldText(const DataCol& row, const std::vector<std::string>& header,
                      const std::string& name) {
  int i = row.indexOf(name);
  if (i < 0) {
    auto it = std::find(header.begin(), header.end(), name);
    i = it == header.end() ? -1 : static_cast<int>(it - header.begin());
  }
  return row.textAt(i);
}

}  // namespace

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
  return evaluateBody(body, nullptr);
}

std::unique_ptr<SortedTable> EvaluateGraph::evaluateBody(std::string_view body,
                                                         const std::vector<std::string>* keep) {
  auto temp = std::make_unique<SortedTable>("temp", "");
  NameIndex tempIndex;
  SortedTable temp2("temp2", "");
  SortedTable assign("assign", "X,Y");
  for (SortedTable* t : {temp.get(), &temp2, &assign}) t->setRowStore(rowStore_);
  // After the last atom (the leftmost), only conditions remain, and they
  // leave "temp" alone: its join may keep just the columns asked for.
  std::size_t atoms = 0;
  scanBody(body, [&](const BodyTerm& term) { atoms += term.isCondition ? 0 : 1; });
  scanBody(body, [&](const BodyTerm& term) {
    const bool last = !term.isCondition && --atoms == 0;
    applyTerm(std::string(term.name), std::string(term.args), temp.get(), &temp2, &assign,
              term.isCondition ? Term::Condition : Term::Atom, tempIndex, true,
              last ? keep : nullptr);
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
  if (term == Term::Condition) {
    SortedTable::insertRowText(name + "," + args, assign);
    return;
  }
  // An unknown table reads as one without columns and rows.
  SortedTable* stored = findTable(name);
  SortedTable unknown(name, "");
  SortedTable& src = stored != nullptr ? *stored : unknown;
  // The atom's own copy of the table, with the columns renamed; the copy is
  // only ever filtered, so the renames go with the filter.
  std::vector<std::pair<unsigned, std::string>> renames;

  std::vector<std::string> arguments(1);
  for (char c : args) {
    if (c == ',') {
      arguments.emplace_back();
    } else {
      arguments.back() += c;
    }
  }
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const std::string a = arguments[k];
    if (!a.empty() && a[0] >= '<' && a[0] <= 'Z') renames.emplace_back(static_cast<unsigned>(k), a);
    const std::string condition = "'" + a + "',Y";
    std::unique_ptr<DataTable> recorded(assign->filter(condition));
    if (DataCol* row = recorded->firstRow()) {
      arguments[k] = fieldText(*row, recorded->columnNames(), "Y");
      std::unique_ptr<SortedTable> rest(assign->exclude(condition));
      assign->assignTaking(*rest);
    }
  }
  std::string pattern;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    if (k > 0) pattern += ',';
    pattern += arguments[k];
  }
  {
    std::unique_ptr<DataTable> selected(src.filterRenamed(renames, pattern));
    temp2->assignTaking(*selected);
  }
  // A condition left over adds a constant column named after its variable.
  for (DataCol* row = assign->firstRow(); !assign->atEnd(); row = assign->nextRow()) {
    std::string value = row->textAt(1);
    temp2->addColumn(row->textAt(0), value.empty() ? std::string() : value.substr(1));
  }
  joinIntoRunning(*temp, *temp2, tempIndex, temp2Spent, keep);
}

}  // namespace tablog
