// The checks of tablog-lint. A script is read in two passes over its
// lines: the first takes the declarations and data lines as tablog takes
// them in and keeps the rules; then the rules are followed in script order,
// as tablog runs them after the last line, with a model of each body's
// working tables that holds their column names only: which conditions each
// atom uses up, which columns it keeps, and in what order the joins put
// them. A second pass over the data lines is made only when a rule compares
// the values of a declared table, to read the values the table holds.
//
// The model assumes that every atom of a table the script knows finds rows;
// an atom of an unknown table finds none, as in tablog.
#include "lint/lint.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "eval/script_syntax.h"
#include "rows/data_value.h"
#include "tables/data_table.h"
#include "tables/sorted_table.h"

namespace tablog {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isOperator(char c) { return c == '<' || c == '=' || c == '>'; }
bool isCapital(char c) { return c >= 'A' && c <= 'Z'; }

// A text as messages show it: in double quotes, so that blanks show.
std::string shown(std::string_view text) { return "\"" + std::string(text) + "\""; }

// What a literal becomes by tablog's literal rule, in words.
std::string describeValue(std::string_view literal) {
  DataValue value(literal);
  if (value.kind() == Null) return "NULL";
  return (value.kind() == Quoted ? "the quoted text " : "the plain text ") + shown(value.text());
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ',';
    out += name;
  }
  return out;
}

// "1 value", "2 values".
std::string counted(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// The 1st, 2nd, ... of a count.
std::string ordinal(std::size_t n) {
  std::string suffix = "th";
  if (n % 100 < 11 || n % 100 > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

// A piece of a line with its offset in the line.
struct Piece {
  std::string_view text;
  std::size_t offset;
};

// The column names of a column list as tablog splits them: at every comma,
// an empty name between commas counting and a trailing one not.
std::vector<Piece> splitColumns(std::string_view list, std::size_t offset) {
  std::vector<Piece> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ',') {
      if (i < list.size() || i > start)
        out.push_back({list.substr(start, i - start), offset + start});
      start = i + 1;
    }
  }
  return out;
}

// An atom's arguments as tablog splits them: at every comma, quotes or not.
std::vector<Piece> splitArguments(std::string_view args, std::size_t offset) {
  std::vector<Piece> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= args.size(); ++i) {
    if (i == args.size() || args[i] == ',') {
      out.push_back({args.substr(start, i - start), offset + start});
      start = i + 1;
    }
  }
  return out;
}

// Whether a condition field keeps its column in a filter's result.
bool isOpenField(std::string_view field) {
  if (field.empty()) return false;
  if (field == "Z") return true;
  return (field[0] >= 'A' && field[0] <= 'Y') || field[0] == '<' || field[0] == '>';
}

// A decimal number written plainly (sign, digits, a point), read as a
// person reads it; nothing for any other text.
std::optional<double> numberIn(std::string_view text) {
  std::size_t i = 0, digits = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  }
  if (digits == 0 || i != text.size()) return std::nullopt;
  return std::strtod(std::string(text).c_str(), nullptr);
}

// Whether `value op constant` holds, for texts (byte order) and numbers.
template <class T>
bool compares(char op, const T& value, const T& constant) {
  if (op == '<') return value < constant;
  if (op == '>') return constant < value;
  return value == constant;
}

std::string operatorWords(char op) {
  if (op == '<') return "less than";
  if (op == '>') return "greater than";
  return "equal to";
}

class Linter {
 public:
  explicit Linter(std::string_view text) : text_(text) {}

  std::vector<Finding> run() {
    readLines();
    for (std::size_t r = 0; r < rules_.size(); ++r) checkRule(r);
    if (!comparisons_.empty()) checkComparisons();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return std::move(findings_);
  }

 private:
  struct Table {
    std::string name;
    std::vector<std::string> columns;
    int line;
    bool declared;
  };
  struct Rule {
    int line;
    std::string_view text;
  };
  // A comparison that a rule makes on a column of a declared table.
  struct Comparison {
    int table = 0;
    std::size_t column = 0;
    char op = '=';
    std::string constant;
    int line = 0;
    std::size_t offset = 0;
    std::string written;  // as the rule writes it, such as S>1000
    // Filled by the data pass: the first value that disagrees.
    int disagreeing = 0;
    int firstLine = 0;
    std::string firstValue = {};
    bool firstKept = false;
  };
  // One column of a body's working table.
  struct Column {
    std::string name;
    bool fromCondition;  // a constant column that a left-over condition added
  };
  // A condition of a body as the model records it.
  struct Condition {
    std::size_t term;
    DataValue variable;  // the recorded variable, read as tablog reads it
    std::string value;   // the operator and the value, such as >1000
    std::string written;
    std::size_t offset;      // of the variable in the line
    std::size_t operatorAt;  // of the operator in the line
    bool reported = false;   // a finding already explains it
    bool usedUp = false;
    std::vector<std::size_t> passed;  // atoms that got its constant column
  };

  void add(int line, std::size_t offset, const char* name, std::string message) {
    findings_.push_back(Finding{line, static_cast<int>(offset) + 1, name, std::move(message)});
  }

  // The table an atom or head of that name finds: the first declared one,
  // else the first one a rule made so far; -1 when there is none.
  int lookup(std::string_view name) const {
    auto it = declaredByName_.find(std::string(name));
    if (it != declaredByName_.end()) return it->second;
    it = madeByName_.find(std::string(name));
    return it != madeByName_.end() ? it->second : -1;
  }

  int addTable(std::string name, std::vector<std::string> columns, int line, bool declared) {
    int index = static_cast<int>(tables_.size());
    auto& byName = declared ? declaredByName_ : madeByName_;
    byName.try_emplace(name, index);
    tables_.push_back(Table{std::move(name), std::move(columns), line, declared});
    return index;
  }

  // ---- First pass: declarations and data lines.

  void readLines() {
    int number = 0, current = -1, endsWithReturn = 0, firstReturn = 0;
    std::size_t firstReturnAt = 0;
    forEachScriptLine(text_, [&](std::string_view line) {
      ++number;
      if (!line.empty() && line.back() == '\r') {
        if (endsWithReturn++ == 0) {
          firstReturn = number;
          firstReturnAt = line.size() - 1;
        }
      }
      switch (classifyLine(line)) {
        case LineKind::kEmpty:
          break;
        case LineKind::kRule:
          rules_.push_back(Rule{number, line});
          break;
        case LineKind::kDeclaration:
          current = checkDeclaration(number, line);
          break;
        case LineKind::kData:
          checkData(number, line, current);
          break;
      }
    });
    if (endsWithReturn > 0) {
      add(firstReturn, firstReturnAt, "carriage-return",
          "line ends with a carriage return (" + std::to_string(endsWithReturn) +
              " lines do): tablog keeps it as the last character of the line's last value, "
              "column or argument");
    }
  }

  void checkData(int number, std::string_view line, int current) {
    if (line[0] == '#') {
      add(number, 0, "comment-as-data",
          current < 0 ? std::string("tablog has no comments: this is a data line, and with no "
                                    "table declared above it tablog drops it")
                      : "tablog has no comments: this is a data line, and tablog adds it as a "
                        "row of table " +
                            tables_[current].name);
      return;
    }
    if (std::all_of(line.begin(), line.end(), isBlank)) {
      add(number, 0, "blank",
          current < 0 ? std::string("line of blanks: tablog reads it as a data line and, with "
                                    "no table declared above it, drops it")
                      : "line of blanks: tablog reads it as a data line and adds a row to " +
                            tables_[current].name + " whose first value is " + describeValue(line));
      return;
    }
    if (current < 0) {
      add(number, 0, "data-before-table",
          "data line before any table declaration: tablog drops it");
      return;
    }
    const Table& table = tables_[current];
    if (table.columns.empty()) return;  // said at the declaration
    std::size_t count = 0, extraAt = 0;
    forEachField(line, [&](std::size_t k, std::string_view field) {
      count = k + 1;
      std::size_t at = static_cast<std::size_t>(field.data() - line.data());
      if (k == table.columns.size()) extraAt = at;
      if (k < table.columns.size()) checkFieldBlanks(number, field, at);
    });
    std::size_t columns = table.columns.size();
    if (count > columns) {
      add(number, extraAt, "extra-fields",
          "data line has " + counted(count, "value") + " but table " + table.name + " has " +
              counted(columns, "column") + ": tablog drops the values from the " +
              ordinal(columns + 1) + " on");
    } else if (count < columns) {
      std::vector<std::string> missing(table.columns.begin() + static_cast<long>(count),
                                       table.columns.end());
      add(number, line.size(), "missing-fields",
          "data line has " + counted(count, "value") + " but table " + table.name + " has " +
              counted(columns, "column") + ": tablog fills " + joined(missing) + " with NULL");
    }
  }

  void checkFieldBlanks(int number, std::string_view field, std::size_t at) {
    if (field.empty() || (!isBlank(field.front()) && !isBlank(field.back()))) return;
    if (std::all_of(field.begin(), field.end(), isBlank)) {
      add(number, at, "blank", "value of blanks only: tablog keeps it as " + describeValue(field));
      return;
    }
    bool front = isBlank(field.front());
    std::size_t where = front ? at : at + field.find_last_not_of(" \t") + 1;
    add(number, where, "blank",
        std::string(front ? "blank at the start of a value" : "blank at the end of a value") +
            ": tablog keeps it, and the value is " + describeValue(field));
  }

  // Warns about blanks at the edges of a name of a declaration or head.
  void checkNameBlanks(int number, std::string_view name, std::size_t at, const char* what) {
    if (name.empty() || (!isBlank(name.front()) && !isBlank(name.back()))) return;
    std::size_t where = isBlank(name.front()) ? at : at + name.find_last_not_of(" \t") + 1;
    add(number, where, "blank",
        std::string("blank next to the ") + what + ": tablog keeps it as part of the name " +
            shown(name));
  }

  int checkDeclaration(int number, std::string_view line) {
    NameAndColumns read = readNameAndColumns(line);
    std::size_t nameAt = static_cast<std::size_t>(read.name.data() - line.data());
    std::size_t columnsAt = static_cast<std::size_t>(read.columns.data() - line.data());
    std::vector<Piece> columns = splitColumns(read.columns, columnsAt);
    std::vector<std::string> names;
    for (const Piece& c : columns) names.emplace_back(c.text);
    int index = addTable(std::string(read.name), names, number, true);

    std::size_t open = line.find('('), lastOpen = line.rfind('('), lastClose = line.rfind(')');
    std::string what = "table " + shown(read.name) + " with the columns (" + joined(names) + ")";
    if (line[0] == '#') {
      add(number, 0, "comment-as-data",
          "tablog has no comments: this line holds \"(\", so it declares " + what +
              ", and the data lines below go to it");
      return index;
    }
    if (line[0] == '\'' || read.name.find_first_of("',") != std::string_view::npos) {
      add(number, open, "bad-declaration",
          "this line holds \"(\", so tablog reads it as a declaration of " + what +
              ", not as a data line, and the data lines below go to that table");
      return index;
    }
    bool reported = true;
    if (open != lastOpen || line.find(')') != lastClose) {
      std::size_t second = open != lastOpen ? line.find('(', open + 1) : lastClose;
      add(number, second, "bad-declaration", "more than one parenthesis: tablog declares " + what);
    } else if (lastClose == std::string_view::npos || lastClose < lastOpen) {
      add(number, line.size(), "bad-declaration",
          "no \")\" closes the column list: tablog declares table " + shown(read.name) +
              " without columns");
    } else if (line.find_first_not_of(" \t\r", lastClose + 1) != std::string_view::npos) {
      add(number, lastClose + 1, "bad-declaration",
          "text after \")\": tablog drops it and declares " + what);
    } else if (read.name.empty()) {
      add(number, open, "bad-declaration",
          "no table name before \"(\": tablog declares a table with an empty name");
    } else if (names.empty()) {
      add(number, open + 1, "bad-declaration",
          "table " + std::string(read.name) +
              " has no columns: tablog keeps none of the values of its data "
              "lines");
    } else {
      reported = false;
    }
    if (!reported) {
      for (std::size_t k = 0; k < columns.size(); ++k) {
        if (columns[k].text.empty()) {
          add(number, columns[k].offset, "bad-declaration",
              "empty column name: tablog gives table " + std::string(read.name) +
                  " a column without a name");
          reported = true;
          break;
        }
      }
      if (!reported && !read.columns.empty() && read.columns.back() == ',') {
        add(number, columnsAt + read.columns.size() - 1, "bad-declaration",
            "comma at the end of the column list: tablog adds no column for it");
      }
    }
    checkNameBlanks(number, read.name, nameAt, "table name");
    for (const Piece& c : columns) checkNameBlanks(number, c.text, c.offset, "column name");
    checkRepeatedColumns(number, columns, "table " + std::string(read.name),
                         ": tablog keeps both, but renames them together, so a rule that reads "
                         "the table gets wrong values or none");
    return index;
  }

  void checkRepeatedColumns(int number, const std::vector<Piece>& columns, const std::string& of,
                            const std::string& consequence) {
    for (std::size_t k = 1; k < columns.size(); ++k) {
      for (std::size_t j = 0; j < k; ++j) {
        if (columns[j].text == columns[k].text) {
          add(number, columns[k].offset, "repeated-column",
              of + " names the column " + shown(columns[k].text) + " twice" + consequence);
          return;
        }
      }
    }
  }

  // ---- Rules, in script order.

  void checkRule(std::size_t r) {
    const Rule& rule = rules_[r];
    std::string_view line = rule.text;
    auto at = [&line](std::string_view part) {
      return static_cast<std::size_t>(part.data() - line.data());
    };
    if (line[0] == '#') {
      add(rule.line, 0, "comment-as-data",
          "tablog has no comments: this line holds \"<-\", so tablog stores it as a rule and "
          "runs it");
      return;
    }
    RuleParts parts = splitRule(line);
    std::size_t firstArrow = line.find("<-");
    if (at(parts.body) - 2 != firstArrow) {
      add(rule.line, line.find("<-", firstArrow + 2), "bad-head",
          "more than one \"<-\": tablog takes the text between the last two as the head " +
              shown(parts.head) + " and drops what stands before");
    }
    int target = resolveHead(rule, parts.head);
    checkBody(rule, parts, target);
  }

  // The head's table, found or made as tablog does; checks the head.
  int resolveHead(const Rule& rule, std::string_view head) {
    std::string_view line = rule.text;
    auto at = [&line](std::string_view part) {
      return static_cast<std::size_t>(part.data() - line.data());
    };
    NameAndColumns read;
    int found = -1;
    bool hit = readNameAndColumns(head, read, [&](std::string_view name) {
      found = lookup(name);
      return found >= 0;
    });
    NameAndColumns written = readNameAndColumns(head);
    std::vector<Piece> columns = splitColumns(written.columns, at(written.columns));
    headColumns_.clear();
    for (const Piece& c : columns) headColumns_.push_back(c);
    headAt_ = at(head);
    if (hit) {
      const Table& table = tables_[found];
      std::vector<std::string> names;
      for (const Piece& c : columns) names.emplace_back(c.text);
      if (names != table.columns) {
        add(rule.line, at(written.name), "head-existing",
            shown(table.name) + " is an existing table (line " + std::to_string(table.line) +
                ") with the columns (" + joined(table.columns) + "): tablog ignores the head's (" +
                joined(names) +
                ") and fills its columns from the body's variables of those "
                "names");
      }
      headColumns_.clear();  // the head's own names play no part
      return found;
    }
    std::size_t open = head.find('('), close = head.rfind(')');
    if (open == std::string_view::npos) {
      add(rule.line, headAt_, "bad-head",
          "head has no \"(\": tablog makes a new table with an empty name and no columns for "
          "the rule's rows");
    } else if (head.find('(', open + 1) != std::string_view::npos || head.find(')') != close) {
      add(rule.line, headAt_ + open, "bad-head",
          "more than one parenthesis in the head: tablog makes the table " + shown(read.name) +
              " with the columns (" + std::string(read.columns) + ")");
    } else if (close == std::string_view::npos || close < open) {
      add(rule.line, headAt_ + head.size(), "bad-head",
          "no \")\" closes the head's columns: tablog makes the table " + shown(read.name) +
              " without columns");
    } else if (head.find_first_not_of(" \t\r", close + 1) != std::string_view::npos) {
      add(rule.line, headAt_ + close + 1, "bad-head",
          "text after the head's \")\": tablog drops it");
    } else if (read.name.empty()) {
      add(rule.line, headAt_ + open, "bad-head",
          "no table name before \"(\": tablog makes a table with an empty name");
    }
    checkNameBlanks(rule.line, read.name, at(read.name), "table name");
    for (const Piece& c : columns) checkNameBlanks(rule.line, c.text, c.offset, "head column");
    checkRepeatedColumns(rule.line, columns, "the head",
                         ": tablog makes a table with both columns, and the rule adds no rows");
    std::vector<std::string> names;
    for (const Piece& c : splitColumns(read.columns, 0)) names.emplace_back(c.text);
    return addTable(std::string(read.name), std::move(names), rule.line, false);
  }

  // Whether the body's parentheses pair up, one level deep.
  static bool parenthesesPair(std::string_view body) {
    bool inside = false;
    for (char c : body) {
      if (c == '(') {
        if (inside) return false;
        inside = true;
      } else if (c == ')') {
        if (!inside) return false;
        inside = false;
      }
    }
    return !inside;
  }

  // The rest of an atom's term after its ")": up to the next comma.
  static std::string_view afterAtom(std::string_view body, std::size_t close) {
    std::size_t end = body.find(',', close + 1);
    return body.substr(close + 1, end == std::string_view::npos ? end : end - close - 1);
  }

  void checkBody(const Rule& rule, const RuleParts& parts, int target) {
    std::string_view line = rule.text, body = parts.body;
    auto at = [&line](std::string_view part) {
      return static_cast<std::size_t>(part.data() - line.data());
    };
    if (!parenthesesPair(body)) {
      add(rule.line, at(body), "bad-atom",
          "the body's parentheses do not pair up: tablog splits it into other terms than "
          "written, and its result means little");
      return;
    }
    std::vector<BodyTerm> terms;
    scanBody(body, [&terms](const BodyTerm& term) { terms.push_back(term); });

    // The variables that atoms of the body name.
    std::vector<std::string_view> variables;
    for (const BodyTerm& term : terms) {
      if (term.isCondition) continue;
      for (const Piece& a : splitArguments(term.args, 0)) {
        if (!a.text.empty() && isCapital(a.text[0])) variables.push_back(a.text);
      }
    }

    std::vector<Condition> conditions;
    std::vector<std::size_t> assign;  // recorded conditions not yet used up, in order
    std::vector<Column> temp;
    bool tempEmpty = true;
    std::unordered_map<std::string, std::string> dropped;  // variable: why its column goes
    bool mixedUp = false;  // an atom's columns were renamed wrongly: the head is said to fail
    blankNames_.clear();
    for (std::size_t i = 0; i < terms.size(); ++i) {
      const BodyTerm& term = terms[i];
      bool leftmost = i + 1 == terms.size();
      if (term.isCondition) {
        Condition c;
        c.term = i;
        c.value = std::string(term.args);
        c.offset = at(term.name);
        c.operatorAt = at(term.args);
        std::string row = std::string(term.name) + "," + std::string(term.args);
        forEachField(row, [&c](std::size_t k, std::string_view field) {
          if (k == 0) c.variable = DataValue(field);
        });
        std::size_t end = at(term.args) + term.args.size();
        c.written = std::string(line.substr(c.offset, end - c.offset));
        checkCondition(rule, term, c, variables);
        bool repeat = std::any_of(assign.begin(), assign.end(), [&](std::size_t k) {
          return conditions[k].variable.equals(c.variable) && conditions[k].value == c.value;
        });
        conditions.push_back(std::move(c));
        if (!repeat) assign.push_back(conditions.size() - 1);
        continue;
      }
      std::size_t afterName = at(term.name) + term.name.size();
      bool isAtom = afterName < line.size() && line[afterName] == '(';
      bool leadingCondition = false;
      if (!isAtom) {
        if (afterName < line.size() && isOperator(line[afterName])) {
          leadingCondition = true;
          add(rule.line, at(term.name), "leading-condition",
              "the body starts with a condition: tablog reads its leftmost term as an atom of "
              "a table named " +
                  shown(term.name) + ", which does not exist, and the rule adds no rows");
        } else {
          add(rule.line, at(term.name), "bad-atom",
              "term " + shown(term.name) +
                  " is not Name(arguments): tablog reads it as an atom "
                  "of the table " +
                  shown(term.name) + " with the arguments (" + std::string(term.args) + ")");
        }
      } else {
        std::size_t close = at(term.args) + term.args.size();
        std::string_view rest = afterAtom(line, close);
        if (rest.find_first_not_of(" \t") != std::string_view::npos) {
          add(rule.line, close + 1, "bad-atom",
              isOperator(rest[rest.find_first_not_of(" \t")])
                  ? "condition written against the atom's \")\": tablog does not apply it as "
                    "written; put a comma before it"
                  : "text " + shown(rest) + " after the atom's \")\": tablog drops it");
        }
      }

      int t = leadingCondition ? -1 : lookup(term.name);
      if (t < 0 && isAtom) reportUnknown(rule, term, at(term.name), leftmost);
      if (t >= 0 && t == target) {
        add(rule.line, at(term.name), "recursive-rule",
            "the rule reads its own head table " + tables_[t].name +
                ": tablog runs each rule once, in script order, so this adds one step to what " +
                tables_[t].name + " held before, not every step of the recursion");
      }
      std::vector<Piece> arguments = splitArguments(term.args, at(term.args));
      if (t >= 0) checkArity(rule, term, tables_[t], arguments, at(term.name));
      for (const Piece& a : arguments) {
        if (checkArgumentBlanks(rule, a)) {
          std::size_t first = a.text.find_first_not_of(" \t"),
                      last = a.text.find_last_not_of(" \t");
          if (first != std::string_view::npos)
            blankNames_.emplace_back(a.text.substr(first, last - first + 1));
        }
      }

      // Renames: tablog renames a column by its name, every header entry of it.
      std::vector<std::string> header = t >= 0 ? tables_[t].columns : std::vector<std::string>();
      std::vector<bool> renamed(header.size(), false);
      for (std::size_t k = 0; k < arguments.size(); ++k) {
        std::string_view a = arguments[k].text;
        if (a.empty() || a[0] < '<' || a[0] > 'Z' || k >= header.size()) continue;
        std::string old = header[k];
        std::replace(header.begin(), header.end(), old, std::string(a));
        renamed[k] = true;
      }
      if (t >= 0 && checkRenames(rule, tables_[t], arguments, header, renamed)) mixedUp = true;

      // Conditions used up by the arguments, as the filter of "assign" finds them.
      std::vector<std::string> pattern;
      std::vector<std::size_t> writtenAt;
      std::vector<std::string> written;
      for (const Piece& a : arguments) {
        pattern.emplace_back(a.text);
        writtenAt.push_back(a.offset);
        written.emplace_back(a.text);
      }
      for (std::size_t k = 0; k < arguments.size(); ++k) {
        std::string key = "'" + std::string(arguments[k].text) + "',Y";
        DataValue wanted;
        forEachField(key, [&wanted](std::size_t f, std::string_view field) {
          if (f == 0) wanted = DataValue(field);
        });
        std::vector<std::size_t> matching, rest;
        for (std::size_t c : assign) {
          (conditions[c].variable.matches(wanted) ? matching : rest).push_back(c);
        }
        if (matching.empty()) continue;
        Condition& used = conditions[matching.front()];
        pattern[k] = used.value;
        writtenAt[k] = used.offset;
        written[k] = used.written;
        usedUp(rule, used, terms, term);
        for (std::size_t m = 1; m < matching.size(); ++m) {
          Condition& shadowed = conditions[matching[m]];
          shadowed.usedUp = true;
          add(rule.line, shadowed.offset, "shadowed-condition",
              "a condition further right on the same variable, " + used.written +
                  ", comes first: tablog applies only that one and drops " + shadowed.written);
        }
        assign = std::move(rest);
        std::string_view a = arguments[k].text;
        if (used.value[0] == '=' && !a.empty() && isCapital(a[0])) {
          dropped.try_emplace(std::string(a),
                              "the condition " + used.written + " drops its column");
        }
      }
      if (t >= 0 && tables_[t].declared) {
        for (std::size_t k = 0; k < pattern.size() && k < header.size(); ++k) {
          if (pattern[k].empty() || !isOperator(pattern[k][0])) continue;
          Comparison c;
          c.table = t;
          c.column = k;
          c.op = pattern[k][0];
          c.constant = pattern[k].substr(1);
          c.line = rule.line;
          c.offset = writtenAt[k];
          c.written = written[k];
          comparisons_.push_back(std::move(c));
        }
      }

      // The atom's result: its open columns, then the left-over conditions.
      std::vector<Column> temp2;
      for (std::size_t k = 0; k < header.size(); ++k) {
        std::string field = k < pattern.size() ? pattern[k] : std::string();
        if (isOpenField(field)) {
          temp2.push_back(Column{header[k], false});
        } else if (k < arguments.size() && renamed[k] && isCapital(arguments[k].text[0]) &&
                   field == arguments[k].text) {
          dropped.try_emplace(std::string(arguments[k].text),
                              "a variable of more than one letter that begins with Z drops its "
                              "column");
        }
      }
      for (std::size_t c : assign) {
        temp2.push_back(Column{std::string(conditions[c].variable.text()), true});
        conditions[c].passed.push_back(i);
      }
      bool temp2Empty = t < 0;
      if (tempEmpty) {
        temp = std::move(temp2);
        tempEmpty = temp2Empty;
        continue;
      }
      std::vector<std::string> common, shared;
      for (const Column& c : temp2) {
        auto it = std::find_if(temp.begin(), temp.end(),
                               [&c](const Column& d) { return d.name == c.name; });
        if (it == temp.end()) continue;
        common.push_back(c.name);
        if (!c.fromCondition && !it->fromCondition) shared.push_back(c.name);
      }
      if (!temp2Empty && common.empty()) {
        add(rule.line, at(term.name), "no-shared-variable",
            "this atom shares no variable with the atoms on its right: tablog joins rows only "
            "on a common column, so the join gives no rows" +
                std::string(leftmost ? ", and the rule adds no rows"
                                     : ", and the atoms on its left start afresh as if the body "
                                       "ended before this atom"));
      } else if (shared.size() >= 2) {
        add(rule.line, at(term.name), "shared-variables",
            "this atom shares the variables " + joined(shared) +
                " with the atoms on its right: tablog joins rows where any one of them agrees, "
                "not all, and keeps the values of the atoms on the right");
      }
      for (Column& c : temp2) {
        auto same = [&c](const Column& d) { return d.name == c.name; };
        if (std::find_if(temp.begin(), temp.end(), same) == temp.end()) temp.push_back(c);
      }
      if (temp2Empty || common.empty()) tempEmpty = true;
    }

    for (Condition& c : conditions) {
      if (!c.usedUp && !c.reported) reportLeftOver(rule, c, terms);
    }
    if (!tempEmpty && !mixedUp) checkHead(rule, target, temp, dropped, variables);
  }

  void checkCondition(const Rule& rule, const BodyTerm& term, Condition& c,
                      const std::vector<std::string_view>& variables) {
    if (c.value.empty() || !isOperator(c.value[0])) {
      // A condition written against an atom's ")": said as a bad atom.
      c.reported = true;
      return;
    }
    std::string_view line = rule.text;
    std::size_t op = c.operatorAt;
    // Operator characters written together: tablog has one-character
    // operators only, and a "!" before "=" becomes part of the variable.
    std::size_t first = op, last = op;
    while (first > c.offset && (line[first - 1] == '!' || isOperator(line[first - 1]))) --first;
    while (last + 1 < line.size() && isOperator(line[last + 1])) ++last;
    if (last > first) {
      std::string written(line.substr(first, last - first + 1));
      std::string effect;
      char o = c.value[0];
      std::string value = c.value.substr(1);
      std::string variable(c.variable.text());
      if (first < op) {
        effect = "it reads a condition " + c.value + " on a variable named " + shown(variable) +
                 ", which no atom has, so the condition restricts nothing";
      } else if (value.empty()) {
        effect = std::string("it reads the condition ") + o + " with an empty value, which " +
                 (o == '>'   ? "keeps every value of " + variable + " that is not empty"
                  : o == '<' ? std::string("keeps no row")
                             : "keeps only the empty (NULL) values of " + variable);
      } else {
        effect = "it reads the condition " + c.value + " on " + shown(variable);
      }
      add(rule.line, first, "no-such-operator",
          "tablog has no operator " + written + ": " + effect);
      c.reported = true;
      return;
    }
    std::string_view value = std::string_view(c.value).substr(1);
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()))) {
      add(rule.line, op + 1, "blank",
          "blank in the condition's value: tablog compares with the text " + shown(value));
    }
    if (!term.name.empty() && (isBlank(term.name.front()) || isBlank(term.name.back()))) {
      add(rule.line, c.offset, "blank",
          "blank next to the condition's variable: tablog reads a variable named " +
              shown(term.name));
      c.reported = true;
      return;
    }
    if (!value.empty() && isCapital(value[0]) &&
        std::find(variables.begin(), variables.end(), value) != variables.end()) {
      std::string variable(term.name);
      add(rule.line, op + 1, "two-variables",
          "a condition compares a variable with a constant: tablog compares " + variable +
              " with the text " + shown(value) + ", not with the variable " + std::string(value) +
              (c.value[0] == '='
                   ? ""
                   : ", and every number comes " +
                         std::string(c.value[0] == '>' ? "before" : "after") + " that text"));
    }
  }

  void usedUp(const Rule& rule, Condition& c, const std::vector<BodyTerm>& terms,
              const BodyTerm& atom) {
    c.usedUp = true;
    if (c.reported) return;
    std::string_view line = rule.text;
    std::string variable(c.variable.text());
    std::string value = c.value.substr(1);
    if (value.size() >= 2 && value[0] == '\'') {
      std::string inner = value.substr(1, value.size() - 2);
      add(rule.line, c.operatorAt + 1, "quoted-condition",
          "the quotes are part of the compared text: tablog compares " + variable + " with the " +
              std::to_string(value.size()) + " characters " + value +
              ", quotes included, so a value " + inner +
              " (quoted or not) does not match it; "
              "write " +
              variable + c.value[0] + inner);
    }
    if (!c.passed.empty()) {
      const BodyTerm& passed = terms[c.passed.front()];
      std::size_t from = static_cast<std::size_t>(passed.name.data() - line.data());
      std::size_t to =
          static_cast<std::size_t>(passed.args.data() - line.data()) + passed.args.size() + 1;
      std::size_t atomFrom = static_cast<std::size_t>(atom.name.data() - line.data());
      std::size_t atomTo =
          static_cast<std::size_t>(atom.args.data() - line.data()) + atom.args.size() + 1;
      add(rule.line, c.offset, "misplaced-condition",
          c.written + " passes " + std::string(line.substr(from, to - from)) + ", which has no " +
              std::string(c.variable.text()) + ", on its way to " +
              std::string(line.substr(atomFrom, atomTo - atomFrom)) +
              ": tablog gives the rows of the atoms it passes a column " +
              std::string(c.variable.text()) + " holding " + value +
              " and joins on it; put the condition right after the atom it restricts");
    }
  }

  void reportLeftOver(const Rule& rule, const Condition& c, const std::vector<BodyTerm>& terms) {
    std::string variable(c.variable.text());
    if (std::find(blankNames_.begin(), blankNames_.end(), variable) != blankNames_.end()) return;
    std::string value = c.value.substr(1);
    std::string onRight;
    for (std::size_t i = 0; i < c.term; ++i) {
      if (terms[i].isCondition) continue;
      for (const Piece& a : splitArguments(terms[i].args, 0)) {
        if (a.text == variable && onRight.empty()) {
          onRight = "; the atom " + std::string(terms[i].name) +
                    " that has it stands on its right, and a condition acts only on atoms to "
                    "its left";
        }
      }
    }
    if (c.value[0] == '<' || c.value[0] == '>') {
      add(rule.line, c.offset, "unbound-condition",
          "no atom on the left of " + c.written + " has " + variable +
              ": tablog compares nothing, and gives the rows of each atom on its left a "
              "column " +
              variable + " holding " + value + onRight);
    } else if (c.passed.size() >= 2 || !onRight.empty()) {
      add(rule.line, c.offset, "unbound-condition",
          "no atom on the left of " + c.written + " has " + variable +
              ": tablog gives the rows of each atom on its left a column " + variable +
              " holding " + value +
              (c.passed.size() >= 2 ? " and joins them on it, pairing every row of one with "
                                      "every row of the others"
                                    : "") +
              onRight);
    }
  }

  void reportUnknown(const Rule& rule, const BodyTerm& term, std::size_t offset, bool leftmost) {
    std::string consequence = leftmost ? ", so the rule adds no rows"
                                       : ", so the atoms on its left start afresh as if the body "
                                         "ended before this atom";
    std::string_view name = term.name;
    std::size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
    if (first != std::string_view::npos && (first > 0 || last + 1 < name.size()) &&
        lookup(name.substr(first, last - first + 1)) >= 0) {
      add(rule.line, offset + (first > 0 ? 0 : last + 1), "blank",
          "blank next to the table name: tablog looks for a table named " + shown(name) +
              ", finds none, and reads the atom as an empty table" + consequence);
      return;
    }
    for (std::size_t r = 0; r < rules_.size(); ++r) {
      if (rules_[r].line <= rule.line) continue;
      RuleParts later = splitRule(rules_[r].text);
      if (readNameAndColumns(later.head).name == name) {
        add(rule.line, offset, "unknown-table",
            "table " + std::string(name) + " is made only by the rule on line " +
                std::to_string(rules_[r].line) +
                ", which runs later (rules run in script order): here tablog reads it as an "
                "empty table" +
                consequence);
        return;
      }
    }
    add(rule.line, offset, "unknown-table",
        "no line declares a table " + shown(name) +
            " and no earlier rule makes one: tablog reads the atom as an empty table" +
            consequence);
  }

  void checkArity(const Rule& rule, const BodyTerm& term, const Table& table,
                  const std::vector<Piece>& arguments, std::size_t offset) {
    std::size_t columns = table.columns.size();
    if (arguments.size() < columns) {
      std::vector<std::string> rest(table.columns.begin() + static_cast<long>(arguments.size()),
                                    table.columns.end());
      add(rule.line, offset + term.name.size() + 1 + term.args.size(), "atom-arity",
          table.name + " has " + counted(columns, "column") + " but the atom gives " +
              counted(arguments.size(), "argument") + ": tablog keeps only the rows whose " +
              joined(rest) + (rest.size() == 1 ? " is" : " are") + " empty (NULL)");
    } else if (arguments.size() > columns) {
      add(rule.line, arguments[columns].offset, "atom-arity",
          table.name + " has " + std::to_string(columns) + " columns but the atom gives " +
              std::to_string(arguments.size()) +
              " arguments: tablog ignores the arguments from "
              "the " +
              ordinal(columns + 1) + " on");
    }
  }

  // Whether it warned about blanks at the edges of an argument.
  bool checkArgumentBlanks(const Rule& rule, const Piece& a) {
    std::string_view text = a.text;
    if (text.empty() || (!isBlank(text.front()) && !isBlank(text.back()))) return false;
    std::size_t first = text.find_first_not_of(" \t");
    std::string effect;
    if (first == std::string_view::npos) {
      effect = "tablog reads it as the constant " + shown(text);
    } else if (isBlank(text.front()) && isCapital(text[first])) {
      effect = "tablog reads " + shown(text) +
               " as a constant, not a variable, and keeps only the rows that hold that text";
    } else if (isCapital(text.front())) {
      effect = "tablog names the variable " + shown(text);
    } else {
      effect = "tablog compares with " + describeValue(text);
    }
    std::size_t where =
        isBlank(text.front()) ? a.offset : a.offset + text.find_last_not_of(" \t") + 1;
    add(rule.line, where, "blank", "blank next to an argument: " + effect);
    return true;
  }

  // Whether it warned that the atom's columns are renamed wrongly.
  bool checkRenames(const Rule& rule, const Table& table, const std::vector<Piece>& arguments,
                    const std::vector<std::string>& header, const std::vector<bool>& renamed) {
    std::vector<std::string> columns = table.columns;
    std::sort(columns.begin(), columns.end());
    if (std::adjacent_find(columns.begin(), columns.end()) != columns.end()) return true;  // said
    for (std::size_t k = 0; k < renamed.size(); ++k) {
      if (!renamed[k]) continue;
      for (std::size_t j = 0; j < k; ++j) {
        if (renamed[j] && arguments[j].text == arguments[k].text) {
          add(rule.line, arguments[k].offset, "repeated-variable",
              "variable " + std::string(arguments[k].text) +
                  " stands twice in this atom: tablog names two columns " +
                  std::string(arguments[k].text) + ", and the rule gets wrong values or none");
          return true;
        }
      }
    }
    for (std::size_t k = 0; k < renamed.size(); ++k) {
      if (!renamed[k] || header[k] == arguments[k].text) continue;
      std::vector<std::string> wanted = header;
      for (std::size_t j = 0; j < renamed.size(); ++j) {
        if (renamed[j]) wanted[j] = std::string(arguments[j].text);
      }
      std::size_t culprit = k;
      for (std::size_t j = 0; j < renamed.size(); ++j) {
        if (renamed[j] &&
            std::find(table.columns.begin(), table.columns.end(), arguments[j].text) !=
                table.columns.end() &&
            table.columns[j] != arguments[j].text) {
          culprit = j;
          break;
        }
      }
      add(rule.line, arguments[culprit].offset, "column-clash",
          "variable " + std::string(arguments[culprit].text) +
              " is the name of another column "
              "of " +
              table.name +
              ": tablog renames columns by name, so this atom's columns come "
              "out as (" +
              joined(header) + ") instead of (" + joined(wanted) +
              "), and the rule gets wrong values");
      return true;
    }
    return false;
  }

  void checkHead(const Rule& rule, int target, const std::vector<Column>& body,
                 const std::unordered_map<std::string, std::string>& dropped,
                 const std::vector<std::string_view>& variables) {
    const Table& table = tables_[target];
    auto headOffset = [&](std::size_t j) {
      return j < headColumns_.size() ? headColumns_[j].offset : headAt_;
    };
    bool complete = true;
    for (std::size_t j = 0; j < table.columns.size(); ++j) {
      const std::string& c = table.columns[j];
      std::size_t n =
          std::count_if(body.begin(), body.end(), [&c](const Column& d) { return d.name == c; });
      if (n == 1) continue;
      complete = false;
      if (n > 1 || (!c.empty() && (isBlank(c.front()) || isBlank(c.back()))) ||
          std::find(blankNames_.begin(), blankNames_.end(), c) != blankNames_.end())
        continue;
      std::string why;
      auto it = dropped.find(c);
      if (it != dropped.end()) {
        why = it->second;
      } else if (std::find(variables.begin(), variables.end(), c) != variables.end()) {
        why = "the atoms that name it keep no column for it";
      } else {
        why = "no atom of the body names it";
      }
      add(rule.line, headOffset(j), "head-unbound",
          "the head's column " + c + " is not a column of the body's result (" + why +
              "): tablog adds no rows");
    }
    if (!complete) return;
    std::vector<std::string> order;
    for (const Column& c : body) {
      if (std::find(table.columns.begin(), table.columns.end(), c.name) != table.columns.end())
        order.push_back(c.name);
    }
    if (order == table.columns) return;
    std::string pairs;
    for (std::size_t j = 0; j < order.size(); ++j) {
      if (order[j] == table.columns[j]) continue;
      if (!pairs.empty()) pairs += ", ";
      pairs += table.columns[j] + " gets the values of " + order[j];
    }
    add(rule.line, headOffset(0), "head-order",
        "the body's result holds these columns in the order " + joined(order) +
            ", and tablog fills " + table.name + "(" + joined(table.columns) +
            ") in that order: " + pairs);
  }

  // ---- The data pass for comparisons.

  void checkComparisons() {
    int number = 0, current = -1, declarations = 0;
    std::vector<std::size_t> watched;
    std::vector<int> tableOf;  // declaration order to table index
    for (int t = 0; t < static_cast<int>(tables_.size()); ++t) {
      if (tables_[t].declared) tableOf.push_back(t);
    }
    forEachScriptLine(text_, [&](std::string_view line) {
      ++number;
      LineKind kind = classifyLine(line);
      if (kind == LineKind::kDeclaration) {
        current = tableOf[static_cast<std::size_t>(declarations++)];
        watched.clear();
        for (std::size_t c = 0; c < comparisons_.size(); ++c) {
          if (comparisons_[c].table == current) watched.push_back(c);
        }
        return;
      }
      if (kind != LineKind::kData || watched.empty()) return;
      forEachField(line, [&](std::size_t k, std::string_view field) {
        for (std::size_t c : watched) {
          if (comparisons_[c].column == k) compareValue(comparisons_[c], field, number);
        }
      });
    });
    for (const Comparison& c : comparisons_) {
      if (c.disagreeing == 0) continue;
      const Table& table = tables_[c.table];
      std::string words = operatorWords(c.op);
      add(c.line, c.offset, "text-comparison",
          c.written + " compares texts, character by character, not numbers: tablog " +
              (c.firstKept ? "keeps " : "drops ") + c.firstValue + " (" + table.name + ", line " +
              std::to_string(c.firstLine) + "), which is " + (c.firstKept ? "not " : "") + words +
              " " + c.constant + " as a number" +
              (c.disagreeing > 1
                   ? " (" + std::to_string(c.disagreeing) + " values of the table disagree so)"
                   : ""));
    }
  }

  static void compareValue(Comparison& c, std::string_view literal, int number) {
    DataValue value(literal);
    std::string_view text = value.text();
    std::optional<double> asNumber = numberIn(text), constant = numberIn(c.constant);
    if (!asNumber || !constant) return;
    bool byText = compares(c.op, text, std::string_view(c.constant));
    if (byText == compares(c.op, *asNumber, *constant)) return;
    if (c.disagreeing++ == 0) {
      c.firstLine = number;
      c.firstValue = std::string(text);
      c.firstKept = byText;
    }
  }

  std::string_view text_;
  std::vector<Table> tables_;
  std::unordered_map<std::string, int> declaredByName_, madeByName_;
  std::vector<Rule> rules_;
  std::vector<Comparison> comparisons_;
  std::vector<Finding> findings_;
  // The head of the rule being checked: its written columns, its offset.
  std::vector<Piece> headColumns_;
  std::size_t headAt_ = 0;
  // The body's arguments that blanks spoil, without the blanks.
  std::vector<std::string> blankNames_;
};

}  // namespace

std::vector<Finding> lintScript(std::string_view text) { return Linter(text).run(); }

std::string formatFinding(std::string_view script, const Finding& finding) {
  return std::string(script) + ":" + std::to_string(finding.line) + ":" +
         std::to_string(finding.column) + ": warning: " + finding.message + " [" + finding.name +
         "]";
}

}  // namespace tablog
