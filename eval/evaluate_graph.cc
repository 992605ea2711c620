// Intake of script lines, table lookup and the writing of the result.
#include "eval/evaluate_graph.h"

#include <cassert>

#include "eval/script_syntax.h"
#include "tables/row_order.h"

namespace tablog {

EvaluateGraph::EvaluateGraph()
    : rowStore_(std::make_shared<RowStore>(sizeof(DataCol))),
      store_(std::make_shared<std::vector<std::unique_ptr<SortedTable>>>()),
      loader_(std::make_shared<TableLoader>()) {}

SortedTable* EvaluateGraph::createTable(std::string name, std::string_view columnList,
                                        std::vector<SortedTable*>& list, TablesByName& byName) {
  store_->push_back(std::make_unique<SortedTable>(name, columnList));
  store_->back()->setRowStore(rowStore_);
  list.push_back(store_->back().get());
  byName.try_emplace(std::move(name), list.back());  // an earlier table of the name stays first
  return list.back();
}

SortedTable* EvaluateGraph::findTable(std::string_view name) const {
  assert(!loader_->pending());
  for (const TablesByName* byName : {&tablesByName_, &ruleTablesByName_}) {
    auto it = byName->find(name);
    if (it != byName->end()) return it->second;
  }
  return nullptr;
}

void EvaluateGraph::takeLine(std::string_view line) {
  switch (classifyLine(line)) {
    case LineKind::kEmpty:
      return;
    case LineKind::kRule:
      rules_.emplace_back(line);
      return;
    case LineKind::kData:
      loader_->takeRow(line);
      return;
    case LineKind::kDeclaration:
      break;
  }
  // A declaration: the name is the text before the last "(" back to the
  // parenthesis before it; the columns are the text before the last ")".
  NameAndColumns declared = readNameAndColumns(line);
  loader_->settle();
  currentTable_ = createTable(std::string(declared.name), declared.columns, tables_, tablesByName_);
  loader_->start(currentTable_);
}

EvaluateGraph& feedLine(std::string line, EvaluateGraph& graph) {
  graph.takeLine(line);
  return graph;
}

std::ostream& operator<<(std::ostream& out, EvaluateGraph graph) {
  graph.endScript();
  graph.evaluateRules();
  std::string buffer;
  for (const std::string& rule : graph.rules()) {
    buffer += rule;
    buffer += '\n';
  }
  buffer += '\n';
  for (const auto* list : {&graph.tables(), &graph.ruleTables()}) {
    for (const SortedTable* table : *list) {
      assert(isSettled(table->rows()));
      table->writeTo(out, buffer);
      buffer += '\n';
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return out;
}

}  // namespace tablog
