// Intake of script lines, table lookup and the writing of the result.
#include "eval/evaluate_graph.h"

#include <cassert>

#include "eval/script_syntax.h"
#include "tables/row_order.h"

namespace tablog {

EvaluateGraph::EvaluateGraph() : EvaluateGraph(Workers()) {}

EvaluateGraph::EvaluateGraph(Workers workers)
    : workers_(workers),
      rowStore_(std::make_shared<RowStore>(sizeof(DataCol))),
      store_(std::make_shared<std::vector<std::unique_ptr<SortedTable>>>()),
      loader_(std::make_shared<TableLoader>(workers)) {}

SortedTable* EvaluateGraph::createTable(std::string name, std::string_view columnList,
                                        bool declared) {
  store_->push_back(std::make_unique<SortedTable>(name, columnList));
  SortedTable* table = store_->back().get();
  table->setRowStore(rowStore_);
  table->setWorkers(workers_);
  (declared ? tables_ : ruleTables_).push_back(table);
  if (declared) {
    lookup_.addDeclared(name, table);
  } else {
    lookup_.addMade(name, table);
  }
  return table;
}

SortedTable* EvaluateGraph::findTable(std::string_view name) const {
  assert(!loader_->pending());
  return lookup_.find(name, nullptr);
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
  loader_->flush();
  currentTable_ = createTable(std::string(declared.name), declared.columns, true);
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
      assert(isNormalized(table->rows()));
      table->writeTo(out, buffer);
      buffer += '\n';
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return out;
}

}  // namespace tablog
