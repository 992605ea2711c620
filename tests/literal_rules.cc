// The literal script evaluator: every step is one call of the literal table
// operations, in the order in which the rule evaluation is defined, with
// the working tables "temp", "temp2" and "assign" as plain values.
#include "tests/literal_rules.h"

#include <cstddef>
#include <optional>

namespace tablog::literal {

namespace {

Table* adopt(std::vector<std::unique_ptr<Table>>& list, const std::string& name,
             const std::string& columns) {
  list.push_back(std::make_unique<Table>(makeTable(name, columns)));
  return list.back().get();
}

}  // namespace

void ScriptEvaluator::feedLine(const std::string& line) {
  if (line.empty()) return;
  std::string accumulator, name, columns;
  bool declaration = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '<' && i + 1 < line.size() && line[i + 1] == '-') {
      rules_.push_back(line);
      return;
    }
    if (c == '(') {
      declaration = true;
      name = accumulator;
      accumulator.clear();
    } else if (c == ')') {
      columns = accumulator;
      accumulator.clear();
    } else {
      accumulator += c;
    }
  }
  if (declaration) {
    current_ = adopt(tables_, name, columns);
  } else if (current_ != nullptr) {
    insertRowText(*current_, line);
  }
}

Table* ScriptEvaluator::findTable(const std::string& name) {
  for (auto* list : {&tables_, &ruleTables_}) {
    for (auto& table : *list) {
      if (table->name == name) return table.get();
    }
  }
  return nullptr;
}

void ScriptEvaluator::evaluateRules() {
  for (const std::string& rule : rules_) {
    std::string accumulator, head;
    for (std::size_t i = 0; i < rule.size(); ++i) {
      if (rule[i] == '<' && i + 1 < rule.size() && rule[i + 1] == '-') {
        head = accumulator;
        accumulator.clear();
        ++i;
      } else {
        accumulator += rule[i];
      }
    }
    Table* target = resolveHead(head);
    Table body = evaluateBody(accumulator);
    Table projection = sortedProjectByNames(body, target->columns);
    std::optional<Table> united = unionWith(*target, projection);
    if (united.has_value()) assign(*target, *united);
  }
}

Table* ScriptEvaluator::resolveHead(const std::string& head) {
  std::string accumulator, name, columns;
  for (char c : head) {
    if (c == '(') {
      if (Table* found = findTable(accumulator)) return found;
      name = accumulator;
      accumulator.clear();
    } else if (c == ')') {
      columns = accumulator;
      accumulator.clear();
    } else {
      accumulator += c;
    }
  }
  return adopt(ruleTables_, name, columns);
}

Table ScriptEvaluator::evaluateBody(const std::string& body) {
  Table temp = makeTable("temp", "");
  Table temp2 = makeTable("temp2", "");
  Table assignments = makeTable("assign", "X,Y");
  std::string word, name, args;
  bool outside = true, isCond = false, closing = false;
  for (std::size_t i = body.size(); i-- > 0;) {
    char c = body[i];
    if (c == '(' || c == ')') outside = !outside;
    if (c == ')') {
      closing = true;
      word.clear();
    } else if ((c == '=' || c == '<' || c == '>') && outside) {
      // Inside parentheses a comparison character is part of an argument.
      isCond = true;
      args = std::string(1, c) + word;
      word.clear();
    } else if (c == '(') {
      closing = true;
      args = word;
      word.clear();
    } else if (c == ',' && outside) {
      name = word;
      if (isCond) applyTerm(name, args, temp, temp2, assignments, 1);
      if (closing) applyTerm(name, args, temp, temp2, assignments, 0);
      word.clear();
      isCond = false;
      closing = false;
    } else {
      word = std::string(1, c) + word;
    }
  }
  applyTerm(word, args, temp, temp2, assignments, 0);
  return temp;
}

void ScriptEvaluator::applyTerm(const std::string& name, const std::string& args, Table& temp,
                                Table& temp2, Table& assignments, int isCondition) {
  if (isCondition == 1) {
    insertRowText(assignments, name + "," + args);
    return;
  }
  // An atom whose table is unknown reads as a table without columns.
  Table* stored = findTable(name);
  Table src = stored != nullptr ? *stored : makeTable(name, "");

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
    if (!a.empty() && a[0] >= '<' && a[0] <= 'Z') {
      renameColumnAt(src, static_cast<unsigned>(k), a);
    }
    const std::string condition = "'" + a + "',Y";
    Table recorded = filter(assignments, condition);
    if (!recorded.rows.empty()) {
      arguments[k] = recorded.rows.front().valueByName("Y").text();
      assign(assignments, exclude(assignments, condition));
    }
  }
  std::string pattern;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    if (k > 0) pattern += ",";
    pattern += arguments[k];
  }
  assign(temp2, filter(src, pattern));
  for (const Row& r : assignments.rows) {
    const std::string value(r.values[1].text());
    addColumn(temp2, std::string(r.values[0].text()), value.empty() ? "" : value.substr(1));
  }
  if (temp.rows.empty()) assign(temp, temp2);
  assign(temp, sortedJoin(temp, temp2, "temp"));
}

std::string ScriptEvaluator::output() {
  evaluateRules();
  std::string out;
  for (const std::string& rule : rules_) out += rule + "\n";
  out += "\n";
  for (auto* list : {&tables_, &ruleTables_}) {
    for (auto& table : *list) out += printed(*table) + "\n";
  }
  return out;
}

std::string evaluateScript(const std::string& script) {
  ScriptEvaluator evaluator;
  std::string line;
  for (char c : script) {
    if (c == '\n') {
      evaluator.feedLine(line);
      line.clear();
    } else {
      line += c;
    }
  }
  evaluator.feedLine(line);
  return evaluator.output();
}

}  // namespace tablog::literal
