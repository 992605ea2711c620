// Intake of script lines, table lookup and the writing of the result.
#include "eval/evaluate_graph.h"

namespace tablog {

EvaluateGraph::EvaluateGraph()
    : store_(std::make_shared<std::vector<std::unique_ptr<SortedTable>>>()) {}

SortedTable* EvaluateGraph::createTable(std::string name, std::string_view columnList,
                                        std::vector<SortedTable*>& list) {
  store_->push_back(std::make_unique<SortedTable>(std::move(name), columnList));
  list.push_back(store_->back().get());
  return list.back();
}

SortedTable* EvaluateGraph::findTable(std::string_view name) const {
  for (const auto* list : {&tables_, &ruleTables_}) {
    for (SortedTable* table : *list) {
      if (table->tableName() == name) return table;
    }
  }
  return nullptr;
}

EvaluateGraph& feedLine(std::string line, EvaluateGraph& graph) {
  if (line.empty()) return graph;
  std::string accumulator, name, columns;
  bool opened = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '<' && i + 1 < line.size() && line[i + 1] == '-') {
      graph.rules_.push_back(std::move(line));
      return graph;
    }
    if (c == '(') {
      opened = true;
      name = std::move(accumulator);
      accumulator.clear();
    } else if (c == ')') {
      columns = std::move(accumulator);
      accumulator.clear();
    } else {
      accumulator += c;
    }
  }
  if (opened) {
    graph.currentTable_ = graph.createTable(std::move(name), columns, graph.tables_);
  } else {
    SortedTable::insertRowText(line, graph.currentTable_);
  }
  return graph;
}

std::ostream& operator<<(std::ostream& out, EvaluateGraph graph) {
  graph.evaluateRules();
  std::string buffer;
  for (const std::string& rule : graph.rules()) {
    buffer += rule;
    buffer += '\n';
  }
  buffer += '\n';
  for (const auto* list : {&graph.tables(), &graph.ruleTables()}) {
    for (const SortedTable* table : *list) {
      table->writeTo(out, buffer);
      buffer += '\n';
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return out;
}

}  // namespace tablog
