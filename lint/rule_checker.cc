// The checks of RuleChecker. A body is followed term by term, in the order
// eval/script_syntax.h's scanBody gives, through eval/rule_body.h: a
// condition is recorded; an atom renames its table's columns by name, uses
// up the recorded conditions that its arguments find, keeps its open
// columns, gets a constant column for each condition left over, and is
// joined into the running result (its columns first, then the atom's new
// ones), unless that result has no rows, when the atom starts it afresh.
// Two running results are followed: the body's shape, with every atom of
// a known table taken to find rows, and the flow that the data gives,
// where an atom is asked of its table's data lines. A warning says that a
// rule adds nothing only where that holds however the joins go. The
// checker ties what the model decides to the conditions as written, to
// say where each warning stands.
#include "lint/rule_checker.h"

#include <algorithm>

#include "tables/sorted_table.h"

namespace tablog {

namespace {

// Whether the body's parentheses pair up, one level deep.
bool parenthesesPair(std::string_view body) {
  bool inside = false;
  for (char c : body) {
    if (c == '(' || c == ')') {
      if (inside != (c == ')')) return false;
      inside = !inside;
    }
  }
  return !inside;
}

// What follows in tablog when the running result has no rows before the
// atoms on the left of an atom.
constexpr const char* kAfresh =
    "the atoms on its left start afresh, unrestricted by this atom, the atoms on its right and "
    "the conditions these used up";

bool contains(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

void RuleChecker::check(std::size_t r) {
  rule_ = &rules_[r];
  std::string_view line = rule_->text;
  if (line[0] == '#') {
    add(0, "comment-as-data",
        "tablog has no comments: this line holds \"<-\", so tablog stores it as a rule and runs "
        "it");
    return;
  }
  RuleParts parts = splitRule(line);
  std::size_t firstArrow = line.find("<-");
  if (at(parts.body) - 2 != firstArrow) {
    add(line.find("<-", firstArrow + 2), "bad-head",
        "more than one \"<-\": tablog takes the text between the last two as the head " +
            shown(parts.head) + " and drops what stands before");
  }
  const int target = resolveHead(parts.head);
  checkBody(parts.body, target);
  // From here on, what the table holds depends on what this rule adds.
  if (static_cast<std::size_t>(target) >= written_.size()) {
    written_.resize(static_cast<std::size_t>(target) + 1, false);
  }
  written_[static_cast<std::size_t>(target)] = true;
}

std::string RuleChecker::termText(const BodyTerm& atom) const {
  std::size_t from = at(atom.name), to = at(atom.args) + atom.args.size() + 1;
  return std::string(rule_->text.substr(from, to - from));
}

int RuleChecker::resolveHead(std::string_view head) {
  NameAndColumns read;
  int found = -1;
  bool hit = readNameAndColumns(head, read, [&](std::string_view name) {
    found = tables_.find(name);
    return found >= 0;
  });
  NameAndColumns written = readNameAndColumns(head);
  std::vector<Piece> columns = splitColumns(written.columns, at(written.columns));
  headAt_ = at(head);
  headColumns_.clear();
  if (hit) {
    // The head's own column names play no part.
    const TableCatalog::Table& table = tables_.at(found);
    std::vector<std::string> names = textsOf(columns);
    if (names != table.columns) {
      add(at(written.name), "head-existing",
          shown(table.name) + " is an existing table (line " + std::to_string(table.line) +
              ") with the columns (" + joined(table.columns) + "): tablog ignores the head's (" +
              joined(names) + ") and fills its columns from the body's variables of those names");
    }
    return found;
  }
  headColumns_ = columns;
  checkNewHead(head, read, columns);
  return tables_.add(std::string(read.name), textsOf(splitColumns(read.columns, 0)), rule_->line,
                     false);
}

void RuleChecker::checkNewHead(std::string_view head, const NameAndColumns& read,
                               const std::vector<Piece>& columns) {
  std::size_t open = head.find('('), close = head.rfind(')');
  if (open == std::string_view::npos) {
    add(headAt_, "bad-head",
        "head has no \"(\": tablog makes a new table with an empty name and no columns for the "
        "rule's rows");
  } else if (head.find('(', open + 1) != std::string_view::npos || head.find(')') != close) {
    add(headAt_ + open, "bad-head",
        "more than one parenthesis in the head: tablog makes the table " + shown(read.name) +
            " with the columns (" + std::string(read.columns) + ")");
  } else if (close == std::string_view::npos || close < open) {
    add(headAt_ + head.size(), "bad-head",
        "no \")\" closes the head's columns: tablog makes the table " + shown(read.name) +
            " without columns");
  } else if (head.find_first_not_of(" \t\r", close + 1) != std::string_view::npos) {
    add(headAt_ + close + 1, "bad-head", "text after the head's \")\": tablog drops it");
  } else if (read.name.empty()) {
    add(headAt_ + open, "bad-head",
        "no table name before \"(\": tablog makes a table with an empty name");
  }
  checkNameBlanks(findings_, rule_->line, read.name, at(read.name), "table name");
  for (const Piece& c : columns) {
    checkNameBlanks(findings_, rule_->line, c.text, c.offset, "head column");
  }
  checkRepeatedColumns(findings_, rule_->line, columns, "the head",
                       ": tablog makes a table with both columns, and fills it only from a body "
                       "whose result holds as many columns of the head's names");
}

void RuleChecker::checkBody(std::string_view body, int target) {
  if (!parenthesesPair(body)) {
    add(at(body), "bad-atom",
        "the body's parentheses do not pair up: tablog splits it into other terms than written, "
        "and its result means little");
    return;
  }
  Body b;
  scanBody(body, [&b](const BodyTerm& term) { b.terms.push_back(term); });
  for (const BodyTerm& term : b.terms) {
    if (term.isCondition) continue;
    for (const Piece& a : splitArguments(term.args, 0)) {
      if (!a.text.empty() && isCapital(a.text[0])) b.variables.emplace_back(a.text);
    }
  }
  for (std::size_t i = 0; i < b.terms.size(); ++i) {
    if (b.terms[i].isCondition) {
      recordCondition(b, i);
    } else {
      applyAtom(b, i, target);
    }
  }
  for (const Condition& c : b.conditions) {
    if (!c.usedUp && !c.reported) reportLeftOver(b, c);
  }
  // No warning says why a body whose last atom keeps no column adds no
  // rows; its head's columns do.
  if ((b.result.hasRows() || b.keptNoColumn) && !b.mixedUp) checkHead(b, target);
}

void RuleChecker::recordCondition(Body& b, std::size_t i) {
  const BodyTerm& term = b.terms[i];
  Condition c;
  c.term = i;
  c.value = std::string(term.args);
  c.offset = at(term.name);
  c.operatorAt = at(term.args);
  c.written = std::string(rule_->text.substr(c.offset, c.operatorAt + c.value.size() - c.offset));
  c.row = RuleBody::recorded(term.name, term.args);
  checkCondition(b, term, c);
  // A condition whose row stands already adds no row: it goes with that one.
  for (std::size_t d = 0; d < b.conditions.size() && c.repeats == kNone; ++d) {
    const Condition& other = b.conditions[d];
    if (!other.usedUp && other.repeats == kNone && other.row.sameRow(c.row)) c.repeats = d;
  }
  RuleBody(b.assign).record(term.name, term.args);
  b.conditions.push_back(std::move(c));
}

void RuleChecker::checkCondition(const Body& b, const BodyTerm& term, Condition& c) {
  if (c.value.empty() || !isOperator(c.value[0])) {
    c.reported = true;  // written against an atom's ")": said as a bad atom
    return;
  }
  std::string_view line = rule_->text;
  char op = c.value[0];
  std::string value = c.value.substr(1);
  std::string variable(c.row.variable.text());
  // Operator characters written together: tablog's operators are one
  // character, and a "!" before "=" becomes part of the variable.
  std::size_t first = c.operatorAt, last = c.operatorAt;
  while (first > c.offset && (line[first - 1] == '!' || isOperator(line[first - 1]))) --first;
  while (last + 1 < line.size() && isOperator(line[last + 1])) ++last;
  if (last > first) {
    std::string effect;
    if (first < c.operatorAt) {
      effect = "it reads a condition " + c.value + " on a variable named " + shown(variable) +
               ", which no atom has, so the condition restricts nothing";
    } else if (value.empty()) {
      effect = std::string("it reads the condition ") + op + " with an empty value, which " +
               (op == '>'   ? "keeps every value of " + variable + " that is not empty"
                : op == '<' ? std::string("keeps no row")
                            : "keeps only the empty (NULL) values of " + variable);
    } else {
      effect = "it reads the condition " + c.value + " on " + shown(variable);
    }
    add(first, "no-such-operator",
        "tablog has no operator " + std::string(line.substr(first, last - first + 1)) + ": " +
            effect);
    c.reported = true;
    return;
  }
  if (hasEdgeBlank(value)) {
    add(c.operatorAt + 1, "blank",
        "blank in the condition's value: tablog compares with the text " + shown(value));
  }
  if (hasEdgeBlank(term.name)) {
    add(c.offset, "blank",
        "blank next to the condition's variable: tablog reads a variable named " +
            shown(term.name));
    c.reported = true;
    return;
  }
  if (!value.empty() && isCapital(value[0]) && contains(b.variables, value)) {
    add(c.operatorAt + 1, "two-variables",
        "a condition compares a variable with a constant: tablog compares " + variable +
            " with the text " + shown(value) + ", not with the variable " + value +
            (op == '=' ? ""
                       : ", and every number comes " + std::string(op == '>' ? "before" : "after") +
                             " that text"));
  }
}

void RuleChecker::checkAtomShape(const BodyTerm& term, bool leftmost) {
  std::string_view line = rule_->text;
  std::size_t afterName = at(term.name) + term.name.size();
  char next = afterName < line.size() ? line[afterName] : '\0';
  if (next == '(') {
    std::size_t close = at(term.args) + term.args.size();
    std::size_t end = line.find(',', close + 1);
    std::string_view rest =
        line.substr(close + 1, end == std::string_view::npos ? end : end - close - 1);
    std::size_t text = rest.find_first_not_of(" \t\r");
    if (text != std::string_view::npos) {
      add(close + 1, "bad-atom",
          isOperator(rest[text])
              ? "condition written against the atom's \")\": tablog does not apply it as "
                "written; put a comma before it"
              : "text " + shown(rest) + " after the atom's \")\": tablog drops it");
    }
    return;
  }
  if (leftmost && isOperator(next)) {
    add(at(term.name), "leading-condition",
        "the body starts with a condition: tablog reads its leftmost term as an atom of a table "
        "named " +
            shown(term.name) +
            (tables_.find(term.name) < 0 ? ", which does not exist, and the rule adds no rows"
                                         : " with the arguments (" + std::string(term.args) + ")"));
    return;
  }
  add(at(term.name), "bad-atom",
      "term " + shown(term.name) +
          " is not Name(arguments): tablog reads it as an atom of the "
          "table " +
          shown(term.name) + " with the arguments (" + std::string(term.args) + ")");
}

void RuleChecker::applyAtom(Body& b, std::size_t i, int target) {
  const BodyTerm& term = b.terms[i];
  bool leftmost = i + 1 == b.terms.size();
  checkAtomShape(term, leftmost);
  int t = tables_.find(term.name);
  if (t < 0 && next(term) == '(') reportUnknown(term, leftmost);
  if (t >= 0 && t == target) {
    const std::string& name = tables_.at(t).name;
    add(at(term.name), "recursive-rule",
        "the rule reads its own head table " + name +
            ": tablog runs each rule once, in script order, so this adds one step to what " + name +
            " held before, not every step of the recursion");
  }
  std::vector<Piece> arguments = splitArguments(term.args, at(term.args));
  if (t >= 0) checkArity(term, tables_.at(t), arguments);
  for (const Piece& a : arguments) {
    std::size_t first = a.text.find_first_not_of(" \t"), last = a.text.find_last_not_of(" \t");
    if (checkArgumentBlanks(a) && first != std::string_view::npos) {
      b.blankNames.emplace_back(a.text.substr(first, last - first + 1));
    }
  }

  // tablog renames a column by its name: every header entry of that name.
  std::vector<std::string> header = t >= 0 ? tables_.at(t).columns : std::vector<std::string>();
  const AtomStep step = RuleBody(b.assign).atom(term.args);
  std::vector<bool> renamed(header.size(), false);
  for (const auto& [k, name] : step.renames) {
    if (k < renamed.size()) renamed[k] = true;
  }
  if (t >= 0 &&
      checkRenames(tables_.at(t), arguments, RuleBody::renamedColumns(header, step), renamed)) {
    b.mixedUp = true;
  }
  Pattern pattern = useConditions(b, term, arguments, step);
  if (t >= 0 && tables_.at(t).declared) addComparisons(t, pattern, header.size());
  const Rows rows = atomRows(t, step);
  if (rows == Rows::kNone && t >= 0 && tables_.at(t).declared && !leftmost) {
    reportNoRows(b, i, t, step, pattern);
  }
  if (t >= 0) checkCapitals(b, t, target, arguments, step);
  std::vector<BodyColumn> columns = atomColumns(b, i, header, step);
  for (std::size_t k = 0; k < columns.size(); ++k) {
    for (std::size_t j = 0; j < k; ++j) {
      if (columns[j].name == columns[k].name) b.twiceInAtom.push_back(columns[k].name);
    }
  }
  // The table this very rule's head has made, as an unknown one, has no
  // rows whatever the data.
  const bool empty = t < 0 || (!tables_.at(t).declared && rows == Rows::kNone);
  join(b, columns, empty, rows, term, leftmost);
  if (observe_) observe_(i, columns, b.flow);
}

RuleChecker::Rows RuleChecker::atomRows(int t, const AtomStep& step) const {
  if (t < 0) return Rows::kNone;  // an unknown table
  if (static_cast<std::size_t>(t) < written_.size() && written_[static_cast<std::size_t>(t)]) {
    return Rows::kUnknown;
  }
  SortedTable* data = data_.table(t);
  if (data == nullptr) return Rows::kNone;  // made by this rule's head: empty yet
  std::unique_ptr<DataTable> found(data->filterRenamed(step.renames, step.pattern));
  return found->isEmpty() ? Rows::kNone : Rows::kSome;
}

void RuleChecker::reportNoRows(const Body& b, std::size_t i, int t, const AtomStep& step,
                               const Pattern& pattern) {
  const std::string& name = tables_.at(t).name;
  std::string why = name + " has no data lines";
  if (!data_.lines(t).empty()) {
    const std::vector<std::string>& columns = tables_.at(t).columns;
    why = "no data row of " + name + " matches " + joined(pattern.written);
    if (pattern.written.size() < columns.size()) {
      std::vector<std::string> rest(columns.begin() + static_cast<long>(pattern.written.size()),
                                    columns.end());
      why += " with " + joined(rest) + " empty";
    }
  }
  std::vector<std::string> used;
  for (const ConditionUse& use : step.uses) {
    const std::string& written = pattern.written[use.position];
    if (written != pattern.fields[use.position]) used.push_back(written);
  }
  bool onRight = false;
  for (std::size_t j = 0; j < i; ++j) onRight = onRight || !b.terms[j].isCondition;
  std::string message = "this atom finds no rows: " + why + "; so ";
  if (onRight) message += "tablog drops what the atoms on its right found, and ";
  message +=
      "the rule gets the rows of the atoms on its left as if the body ended before this atom";
  // The conditions that no atom has used up go on to the atoms on its left.
  if (!step.constants.empty()) message += ", but for the conditions on its right still standing";
  if (!used.empty())
    message += ": " + joined(used) + ", which this atom used up, restricts nothing";
  add(at(b.terms[i].name), "empty-atom", message);
}

void RuleChecker::checkCapitals(const Body& b, int t, int target,
                                const std::vector<Piece>& arguments, const AtomStep& step) {
  const TableCatalog::Table& table = tables_.at(t);
  const std::vector<std::string>& head = tables_.at(target).columns;
  for (std::size_t k = 0; k < arguments.size() && k < table.columns.size(); ++k) {
    const std::string variable(arguments[k].text);
    // A single capital is how variables are written; a longer word may be
    // meant as a text.
    if (variable.size() < 2 || !isCapital(variable[0]) || hasEdgeBlank(variable)) continue;
    // A variable that joins, fills the head, meets a condition or uses one.
    if (std::count(b.variables.begin(), b.variables.end(), variable) != 1 ||
        contains(head, variable) ||
        std::any_of(b.terms.begin(), b.terms.end(),
                    [&](const BodyTerm& c) { return c.isCondition && c.name == variable; }) ||
        std::any_of(step.uses.begin(), step.uses.end(),
                    [k](const ConditionUse& use) { return use.position == k; })) {
      continue;
    }
    std::string where = "column " + table.columns[k] + " of " + table.name;
    int line = data_.lineWithText(variable, t, k);
    std::string holds = ", which holds the text " + variable + " on line " + std::to_string(line);
    if (line == 0) {
      line = data_.lineWithText(variable);
      holds = "; the text " + variable + " stands in the data on line " + std::to_string(line);
    }
    if (line == 0) continue;
    add(arguments[k].offset, "capital-constant",
        variable +
            " begins with a capital, so tablog reads it as a variable, which nothing else in the "
            "rule names: it matches every value of " +
            where + holds + "; write '" + variable + "' to select that text");
  }
}

void RuleChecker::addComparisons(int t, const Pattern& pattern, std::size_t columns) {
  for (std::size_t k = 0; k < pattern.fields.size() && k < columns; ++k) {
    const std::string& field = pattern.fields[k];
    if (field.empty() || !isOperator(field[0])) continue;
    Comparison c;
    c.table = t;
    c.column = k;
    c.op = field[0];
    c.constant = field.substr(1);
    c.line = rule_->line;
    c.offset = pattern.offsets[k];
    c.written = pattern.written[k];
    comparisons_.push_back(std::move(c));
  }
}

std::vector<BodyColumn> RuleChecker::atomColumns(Body& b, std::size_t i,
                                                 const std::vector<std::string>& header,
                                                 const AtomStep& step) {
  // The atom's result: its open columns, then the conditions left over.
  std::vector<BodyColumn> columns = RuleBody::atomColumns(header, step);
  for (const auto& rename : step.renames) {
    // A variable written as such that keeps no column: a Z-word.
    const unsigned k = rename.first;
    const std::string& name = rename.second;
    if (k >= header.size() || name[0] != 'Z') continue;
    if (std::any_of(columns.begin(), columns.end(),
                    [&name](const BodyColumn& c) { return c.name == name && !c.constant; }) ||
        std::any_of(step.uses.begin(), step.uses.end(),
                    [k](const ConditionUse& use) { return use.position == k; })) {
      continue;
    }
    b.dropped.try_emplace(name,
                          "a variable of more than one letter that begins with Z drops its column");
  }
  std::vector<RecordedCondition> leftOver;
  for (const ConstantColumn& c : step.constants) leftOver.push_back(c.condition);
  for (std::size_t c : standing(b, leftOver)) b.conditions[c].passed.push_back(i);
  return columns;
}

std::vector<std::size_t> RuleChecker::standing(const Body& b,
                                               const std::vector<RecordedCondition>& rows) {
  std::vector<std::size_t> found;
  for (std::size_t c = 0; c < b.conditions.size(); ++c) {
    const Condition& d = b.conditions[c];
    if (d.usedUp || d.repeats != kNone) continue;
    if (std::any_of(rows.begin(), rows.end(),
                    [&d](const RecordedCondition& r) { return d.row.sameRow(r); })) {
      found.push_back(c);
    }
  }
  return found;
}

char RuleChecker::next(const BodyTerm& term) const {
  std::size_t afterName = at(term.name) + term.name.size();
  return afterName < rule_->text.size() ? rule_->text[afterName] : '\0';
}

RuleChecker::Pattern RuleChecker::useConditions(Body& b, const BodyTerm& atom,
                                                const std::vector<Piece>& arguments,
                                                const AtomStep& step) {
  Pattern p;
  for (const Piece& a : arguments) {
    p.fields.emplace_back(a.text);
    p.offsets.push_back(a.offset);
    p.written.emplace_back(a.text);
  }
  for (const ConditionUse& use : step.uses) {
    // The winner is the first condition found whose text takes the
    // argument's place.
    std::vector<std::size_t> found = standing(b, use.usedUp);
    if (found.empty()) continue;  // every row of "assign" is a condition of the body
    auto wins = std::find_if(found.begin(), found.end(), [&](std::size_t c) {
      return b.conditions[c].row.condition.text() == use.value;
    });
    Condition& used = b.conditions[wins != found.end() ? *wins : found.front()];
    const std::size_t k = use.position;
    p.fields[k] = use.value;
    p.offsets[k] = used.offset;
    p.written[k] = used.written;
    usedUp(b, used, atom);
    for (Condition& d : b.conditions) {
      if (d.repeats != kNone && std::find(found.begin(), found.end(), d.repeats) != found.end()) {
        d.usedUp = true;  // the same row
      }
    }
    for (std::size_t m : found) {
      Condition& shadowed = b.conditions[m];
      if (&shadowed == &used) continue;
      shadowed.usedUp = true;
      // Conditions are recorded from the right; "assign"'s order can put a
      // later one first when an argument finds several variables.
      const char* side = used.offset > shadowed.offset ? "right" : "left";
      add(shadowed.offset, "shadowed-condition",
          std::string("a condition further ") + side + " on the same variable, " + used.written +
              ", comes first: tablog applies only that one and drops " + shadowed.written);
    }
    std::string_view a = arguments[k].text;
    if (used.value[0] == '=' && !a.empty() && isCapital(a[0])) {
      b.dropped.try_emplace(std::string(a), "the condition " + used.written + " drops its column");
    }
  }
  return p;
}

void RuleChecker::usedUp(Body& b, Condition& c, const BodyTerm& atom) {
  c.usedUp = true;
  if (c.reported) return;
  std::string variable(c.row.variable.text());
  std::string value = c.value.substr(1);
  if (value.size() >= 2 && value[0] == '\'') {
    std::string inner = value.substr(1, value.size() - 2);
    add(c.operatorAt + 1, "quoted-condition",
        "the quotes are part of the compared text: tablog compares " + variable + " with the " +
            std::to_string(value.size()) + " characters " + value +
            ", quotes included, so a value " + inner +
            " (quoted or not) does not match it; write " + variable + c.value[0] + inner);
  }
  if (!c.passed.empty()) {
    add(c.offset, "misplaced-condition",
        c.written + " passes " + termText(b.terms[c.passed.front()]) + ", which has no " +
            variable + ", on its way to " + termText(atom) +
            ": tablog gives the rows of the atoms it passes a column " + variable + " holding " +
            value + " and joins on it; put the condition right after the atom it restricts");
  }
}

void RuleChecker::join(Body& b, const std::vector<BodyColumn>& columns, bool empty, Rows rows,
                       const BodyTerm& atom, bool leftmost) {
  const Rows before = b.rows;
  follow(b, columns, rows);
  b.keptNoColumn = !b.result.hasRows() && !empty && columns.empty();
  if (!b.result.hasRows()) {
    b.result.take(columns, !empty);
    return;
  }
  std::vector<std::string> shared;
  for (const BodyColumn& c : columns) {
    const std::vector<BodyColumn>& temp = b.result.columns();
    auto it = std::find_if(temp.begin(), temp.end(),
                           [&c](const BodyColumn& d) { return d.name == c.name; });
    if (it != temp.end() && !c.constant && !it->constant) shared.push_back(c.name);
  }
  std::vector<std::string> common = b.result.take(columns, !empty);
  if (!empty && common.empty()) {
    reportNoSharedVariable(atom, before, leftmost, columns.empty());
  } else if (shared.size() >= 2) {
    add(at(atom.name), "shared-variables",
        "this atom shares the variables " + joined(shared) +
            " with the atoms on its right: tablog joins rows where any one of them agrees, not "
            "all, and keeps the values of the atoms on the right");
  }
}

void RuleChecker::follow(Body& b, const std::vector<BodyColumn>& columns, Rows rows) {
  if (!b.flow.hasRows()) {
    b.rows = columns.empty() ? Rows::kNone : rows;
    b.flow.take(columns, rows != Rows::kNone);
    return;
  }
  // Names cannot tell whether rows agree on a common column.
  std::vector<std::string> common = b.flow.take(columns, rows != Rows::kNone);
  b.rows = rows == Rows::kNone || common.empty() ? Rows::kNone : Rows::kUnknown;
}

void RuleChecker::reportNoSharedVariable(const BodyTerm& atom, Rows before, bool leftmost,
                                         bool keepsNoColumn) {
  std::string message = "this atom shares no variable with the atoms on its right: ";
  const std::string joins = "tablog joins rows only on a common column, so ";
  if (leftmost && keepsNoColumn) {
    // Joined with itself, a table without columns has no rows either.
    message += "it keeps no column, and " + joins +
               "whatever those atoms find, the rule adds "
               "nothing";
  } else if (before == Rows::kSome) {
    // The running result is one atom asked of the rows of its data.
    message += "those find rows in the script's data, and " + joins + "the join gives none";
    message += leftmost ? " and the rule adds nothing" : std::string(", and ") + kAfresh;
  } else if (before == Rows::kNone && leftmost) {
    message += joins +
               "the rule gets no rows whenever those atoms find some; with the script's "
               "data they find none, and the rule gets this atom's rows alone";
  } else {
    message += joins + "when those atoms find rows the join gives none";
    message += leftmost ? " and the rule gets no rows, and when they find none the rule gets "
                          "this atom's rows alone"
                        : std::string(", and ") + kAfresh;
  }
  add(at(atom.name), "no-shared-variable", message);
}

void RuleChecker::reportLeftOver(const Body& b, const Condition& c) {
  std::string variable(c.row.variable.text());
  if (contains(b.blankNames, variable)) return;  // a blank spoilt its atom's argument
  std::string value = c.value.substr(1);
  std::string onRight;
  for (std::size_t i = 0; i < c.term && onRight.empty(); ++i) {
    const BodyTerm& term = b.terms[i];
    if (term.isCondition) continue;
    for (const Piece& a : splitArguments(term.args, 0)) {
      if (a.text != variable) continue;
      onRight = "; the atom " + std::string(term.name) +
                " that has it stands on its right, and a condition acts only on atoms to its "
                "left";
      break;
    }
  }
  std::string start = "no atom on the left of " + c.written + " has " + variable + ": tablog ";
  if (c.value[0] == '<' || c.value[0] == '>') {
    add(c.offset, "unbound-condition",
        start + "compares nothing, and gives the rows of each atom on its left a column " +
            variable + " holding " + value + onRight);
  } else if (c.passed.size() >= 2 || !onRight.empty()) {
    add(c.offset, "unbound-condition",
        start + "gives the rows of each atom on its left a column " + variable + " holding " +
            value +
            (c.passed.size() >= 2
                 ? " and joins them on it, pairing every row of one with every row of the others"
                 : "") +
            onRight);
  }
}

void RuleChecker::reportUnknown(const BodyTerm& term, bool leftmost) {
  std::string consequence =
      leftmost ? ", so the rule adds no rows" : std::string(", so ") + kAfresh;
  std::string_view name = term.name;
  std::size_t offset = at(name);
  std::size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
  if (hasEdgeBlank(name) && first != std::string_view::npos &&
      tables_.find(name.substr(first, last - first + 1)) >= 0) {
    add(offset + (first > 0 ? 0 : last + 1), "blank",
        "blank next to the table name: tablog looks for a table named " + shown(name) +
            ", finds none, and reads the atom as an empty table" + consequence);
    return;
  }
  for (const ScriptRule& later : rules_) {
    if (later.line <= rule_->line) continue;
    if (readNameAndColumns(splitRule(later.text).head).name != name) continue;
    add(offset, "unknown-table",
        "table " + std::string(name) + " is made only by the rule on line " +
            std::to_string(later.line) +
            ", which runs later (rules run in script order): here tablog reads it as an empty "
            "table" +
            consequence);
    return;
  }
  add(offset, "unknown-table",
      "no line declares a table " + shown(name) +
          " and no earlier rule makes one: tablog reads the atom as an empty table" + consequence);
}

void RuleChecker::checkArity(const BodyTerm& term, const TableCatalog::Table& table,
                             const std::vector<Piece>& arguments) {
  std::size_t columns = table.columns.size();
  std::string start = table.name + " has " + counted(columns, "column") + " but the atom gives " +
                      counted(arguments.size(), "argument") + ": tablog ";
  if (arguments.size() < columns) {
    std::vector<std::string> rest(table.columns.begin() + static_cast<long>(arguments.size()),
                                  table.columns.end());
    add(at(term.args) + term.args.size(), "atom-arity",
        start + "keeps only the rows whose " + joined(rest) + (rest.size() == 1 ? " is" : " are") +
            " empty (NULL)");
  } else if (arguments.size() > columns) {
    add(arguments[columns].offset, "atom-arity",
        start + "ignores the arguments from the " + ordinal(columns + 1) + " on");
  }
}

bool RuleChecker::checkArgumentBlanks(const Piece& argument) {
  std::string_view text = argument.text;
  if (!hasEdgeBlank(text)) return false;
  std::size_t first = text.find_first_not_of(" \t");
  std::string effect;
  if (first == std::string_view::npos) {
    effect = "tablog reads it as the constant " + shown(text);
  } else if (first > 0 && isCapital(text[first])) {
    effect = "tablog reads " + shown(text) +
             " as a constant, not a variable, and keeps only the rows that hold that text";
  } else if (isCapital(text.front())) {
    effect = "tablog names the variable " + shown(text);
  } else {
    effect = "tablog compares with " + describeValue(text);
  }
  std::size_t where =
      first > 0 ? argument.offset : argument.offset + text.find_last_not_of(" \t") + 1;
  add(where, "blank", "blank next to an argument: " + effect);
  return true;
}

bool RuleChecker::checkRenames(const TableCatalog::Table& table,
                               const std::vector<Piece>& arguments,
                               const std::vector<std::string>& header,
                               const std::vector<bool>& renamed) {
  std::vector<std::string> sorted = table.columns;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return true;  // said
  for (std::size_t k = 0; k < renamed.size(); ++k) {
    for (std::size_t j = 0; j < k && renamed[k]; ++j) {
      if (!renamed[j] || arguments[j].text != arguments[k].text) continue;
      std::string variable(arguments[k].text);
      add(arguments[k].offset, "repeated-variable",
          "variable " + variable + " stands twice in this atom: tablog names two columns " +
              variable + ", and the rule gets wrong values or none");
      return true;
    }
  }
  std::vector<std::string> wanted = header;
  for (std::size_t j = 0; j < renamed.size(); ++j) {
    if (renamed[j]) wanted[j] = std::string(arguments[j].text);
  }
  if (wanted == header) return false;
  // The variable that names another of the table's columns, else the
  // first that did not become its column's name.
  std::size_t culprit = renamed.size();
  for (std::size_t j = 0; j < renamed.size(); ++j) {
    if (renamed[j] && contains(table.columns, arguments[j].text) &&
        table.columns[j] != arguments[j].text) {
      culprit = j;
      break;
    }
  }
  for (std::size_t j = 0; j < renamed.size() && culprit == renamed.size(); ++j) {
    if (renamed[j] && header[j] != arguments[j].text) culprit = j;
  }
  add(arguments[culprit].offset, "column-clash",
      "variable " + std::string(arguments[culprit].text) + " is the name of another column of " +
          table.name + ": tablog renames columns by name, so this atom's columns come out as (" +
          joined(header) + ") instead of (" + joined(wanted) + "), and the rule gets wrong values");
  return true;
}

void RuleChecker::checkHead(const Body& b, int target) {
  const TableCatalog::Table& table = tables_.at(target);
  const std::vector<BodyColumn>& temp = b.result.columns();
  // The projection on the head keeps the body's columns that the head
  // names, in the body's order, and fills the head by position only when
  // they are as many as its columns.
  std::vector<std::string> kept;
  for (const BodyColumn& c : temp) {
    if (contains(table.columns, c.name)) kept.push_back(c.name);
  }
  std::vector<std::size_t> missing;
  bool once = true;
  for (std::size_t j = 0; j < table.columns.size(); ++j) {
    const std::string& c = table.columns[j];
    auto n =
        std::count_if(temp.begin(), temp.end(), [&c](const BodyColumn& d) { return d.name == c; });
    if (n == 0) missing.push_back(j);
    once = once && n == 1 && std::count(table.columns.begin(), table.columns.end(), c) == 1;
  }
  if (!missing.empty()) {
    reportUnbound(b, table, missing, kept);
    return;
  }
  if (!once) return;  // a repeated name: said at the head or at the atom
  if (kept == table.columns) return;
  std::string pairs;
  for (std::size_t j = 0; j < kept.size(); ++j) {
    if (kept[j] == table.columns[j]) continue;
    if (!pairs.empty()) pairs += ", ";
    pairs += table.columns[j] + " gets the values of " + kept[j];
  }
  add(headOffset(0), "head-order",
      "the body's result holds these columns in the order " + joined(kept) + ", and tablog fills " +
          table.name + "(" + joined(table.columns) + ") in that order: " + pairs);
}

void RuleChecker::reportUnbound(const Body& b, const TableCatalog::Table& table,
                                const std::vector<std::size_t>& missing,
                                const std::vector<std::string>& kept) {
  // The running result may start afresh at any atom whose join finds no
  // rows, and an atom that holds a name twice then gives it twice.
  bool certain = kept.size() != table.columns.size();
  for (const std::string& name : b.twiceInAtom) certain = certain && !contains(table.columns, name);
  std::string consequence = "tablog adds no rows";
  if (kept.size() == table.columns.size()) {
    consequence = "tablog fills the head by position from the body's columns " + joined(kept);
  } else if (!certain) {
    consequence =
        "tablog fills the head only from a result that holds as many columns of its "
        "names as it has";
  }
  for (std::size_t j : missing) {
    const std::string& c = table.columns[j];
    if (hasEdgeBlank(c) || contains(b.blankNames, c)) continue;  // said otherwise
    std::string why;
    auto it = b.dropped.find(c);
    if (it != b.dropped.end()) {
      why = it->second;
    } else if (contains(b.variables, c)) {
      why = "the atoms that name it keep no column for it";
    } else {
      why = "no atom of the body names it";
    }
    add(headOffset(j), "head-unbound",
        "the head's column " + c + " is not a column of the body's result (" + why +
            "): " + consequence);
  }
}

}  // namespace tablog
