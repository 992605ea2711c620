// The decisions of RuleBody and RunningColumns. Every question about values
// (which recorded condition an argument finds, which wins, which columns a
// pattern keeps, what a rename does) is put to the tables themselves, so
// that the answers are the evaluator's by construction.
#include "eval/rule_body.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "rows/fields.h"

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

// The condition a row of "assign" holds.
RecordedCondition conditionOf(const DataCol& row) {
  RecordedCondition c;
  if (row.size() > 0) c.variable = row.at(0);
  if (row.size() > 1) c.condition = row.at(1);
  return c;
}

// The rows of `all` that `rest`, a list of some of them in the same order,
// lacks. Rows of equal values match a condition alike, so an equal row
// found next in `rest` is the one that stayed.
std::vector<RecordedCondition> rowsMissing(DataTable& all, DataTable& rest) {
  std::vector<RecordedCondition> missing;
  DataCol* kept = rest.firstRow();
  for (DataCol* row = all.firstRow(); row != nullptr; row = all.nextRow()) {
    if (kept != nullptr && row->equals(*kept)) {
      kept = rest.nextRow();
    } else {
      missing.push_back(conditionOf(*row));
    }
  }
  return missing;
}

// An empty table with the columns `columns`, named one by one.
SortedTable shapeOf(const std::vector<std::string>& columns) {
  SortedTable shape("shape", "");
  for (const std::string& name : columns) shape.addColumn(name, "");
  return shape;
}

}  // namespace

RuleBody::RuleBody(SortedTable& assign) : assign_(assign) { assert(assign.columnCount() == 2); }

void RuleBody::record(std::string_view variable, std::string_view condition) {
  std::string row(variable);
  row += ',';
  row += condition;
  SortedTable::insertRowText(row, &assign_);
}

RecordedCondition RuleBody::recorded(std::string_view variable, std::string_view condition) {
  SortedTable one("assign", "X,Y");
  RuleBody(one).record(variable, condition);
  return conditionOf(*one.firstRow());
}

AtomStep RuleBody::atom(std::string_view args) {
  AtomStep step;
  forEachField(args, Quotes::kIgnored, [&step](std::size_t, std::string_view a, std::size_t) {
    step.fields.emplace_back(a);
  });
  for (unsigned k = 0; k < step.fields.size(); ++k) {
    const std::string& a = step.fields[k];
    if (!a.empty() && a[0] >= '<' && a[0] <= 'Z') step.renames.emplace_back(k, a);
    useConditions(k, step);
  }
  for (std::size_t k = 0; k < step.fields.size(); ++k) {
    if (k > 0) step.pattern += ',';
    step.pattern += step.fields[k];
  }
  // The leftovers, each a constant column named after its variable.
  for (DataCol* row = assign_.firstRow(); !assign_.atEnd(); row = assign_.nextRow()) {
    std::string value = row->textAt(1);
    step.constants.push_back(ConstantColumn{
        row->textAt(0), value.empty() ? std::string() : value.substr(1), conditionOf(*row)});
  }
  return step;
}

void RuleBody::useConditions(unsigned k, AtomStep& step) {
  assert(k < step.fields.size());
  const std::string condition = "'" + step.fields[k] + "',Y";
  std::unique_ptr<DataTable> found(assign_.filter(condition));
  DataCol* winner = found->firstRow();
  if (winner == nullptr) return;
  ConditionUse use{k, fieldText(*winner, found->columnNames(), "Y"), {}};
  std::unique_ptr<SortedTable> rest(assign_.exclude(condition));
  use.usedUp = rowsMissing(assign_, *rest);
  assign_.assignTaking(*rest);
  step.fields[k] = use.value;
  step.uses.push_back(std::move(use));
}

std::vector<std::string> RuleBody::renamedColumns(const std::vector<std::string>& columns,
                                                  const AtomStep& step) {
  SortedTable shape = shapeOf(columns);
  for (const auto& [position, name] : step.renames) shape.renameColumnAt(position, name);
  return shape.columnNames();
}

std::vector<BodyColumn> RuleBody::atomColumns(const std::vector<std::string>& columns,
                                              const AtomStep& step) {
  SortedTable shape = shapeOf(columns);
  std::unique_ptr<DataTable> selected(shape.filterRenamed(step.renames, step.pattern));
  std::vector<BodyColumn> result;
  for (const std::string& name : selected->columnNames()) result.push_back(BodyColumn{name, false});
  for (const ConstantColumn& c : step.constants) result.push_back(BodyColumn{c.name, true});
  return result;
}

std::vector<std::string> RunningColumns::take(std::vector<BodyColumn> atom, bool atomHasRows) {
  if (!hasRows_) {
    hasRows_ = atomHasRows && !atom.empty();
    columns_ = std::move(atom);
    return {};
  }
  std::vector<std::string> common;
  auto has = [](const std::vector<BodyColumn>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(),
                       [&name](const BodyColumn& c) { return c.name == name; });
  };
  for (const BodyColumn& c : atom) {
    if (has(columns_, c.name)) common.push_back(c.name);
  }
  for (BodyColumn& c : atom) {
    if (std::find(common.begin(), common.end(), c.name) == common.end()) {
      columns_.push_back(std::move(c));
    }
  }
  hasRows_ = atomHasRows && !common.empty();
  return common;
}

}  // namespace tablog
