// The entry of tablog-lint's checks. A script is read in passes over its
// lines, each line read through eval/script_syntax.h as tablog reads it:
// the first pass takes the declarations and data lines as tablog takes
// them in and keeps the rules; the data lines then fill the declared
// tables (lint/script_data.h), whose values lint/data_checks.h reads; then
// RuleChecker follows the rules in script order, as tablog runs them after
// the last line. A second pass over the data lines is made only when a
// rule compares the values of a declared table, to read the values that
// the table holds.
#include "lint/lint.h"

#include <algorithm>

#include "eval/script_syntax.h"
#include "lint/data_checks.h"
#include "lint/rule_checker.h"
#include "lint/script_data.h"
#include "lint/table_catalog.h"
#include "lint/words.h"
#include "rows/data_value.h"
#include "tables/sorted_table.h"

namespace tablog {

namespace {

// Whether `value op constant` holds, for texts (byte order) and numbers.
template <class T>
bool holds(char op, const T& value, const T& constant) {
  if (op == '<') return value < constant;
  if (op == '>') return constant < value;
  return value == constant;
}

std::string operatorWords(char op) {
  if (op == '<') return "less than";
  if (op == '>') return "greater than";
  return "equal to";
}

// The first value of a comparison's table that the comparison of texts
// and the comparison of numbers disagree on, and how many do.
struct Disagreement {
  int count = 0;
  int line = 0;
  std::string value;
  bool kept = false;  // by tablog, comparing texts
};

class ScriptChecker {
 public:
  explicit ScriptChecker(std::string_view text) : text_(text) {}

  std::vector<Finding> run() {
    readLines();
    data_.finish();
    checkKeptRepeats(data_, tables_, findings_);
    checkUnsortedColumns(data_, tables_, findings_);
    RuleChecker rules(rules_, tables_, data_, findings_, comparisons_);
    for (std::size_t r = 0; r < rules_.size(); ++r) rules.check(r);
    if (!comparisons_.empty()) checkComparisons();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return std::move(findings_);
  }

 private:
  void add(int line, std::size_t offset, const char* name, std::string message) {
    addFinding(findings_, line, offset, name, std::move(message));
  }

  void readLines() {
    int number = 0, current = -1, returns = 0, firstReturn = 0;
    std::size_t firstReturnAt = 0;
    forEachScriptLine(text_, [&](std::string_view line) {
      ++number;
      if (!line.empty() && line.back() == '\r' && returns++ == 0) {
        firstReturn = number;
        firstReturnAt = line.size() - 1;
      }
      switch (classifyLine(line)) {
        case LineKind::kEmpty:
          break;
        case LineKind::kRule:
          rules_.push_back(ScriptRule{number, line});
          break;
        case LineKind::kDeclaration:
          current = checkDeclaration(number, line);
          break;
        case LineKind::kData:
          data_.addLine(number, line);
          checkData(number, line, current);
          break;
      }
    });
    if (returns > 0) {
      add(firstReturn, firstReturnAt, "carriage-return",
          "line ends with a carriage return (" + std::to_string(returns) +
              " lines do): tablog keeps it as the last character of the line's last value, "
              "column or argument");
    }
  }

  void checkData(int number, std::string_view line, int current) {
    if (line[0] == '#' || std::all_of(line.begin(), line.end(), isBlank)) {
      checkOddLine(number, line, current);
      return;
    }
    if (current < 0) {
      add(number, 0, "data-before-table",
          "data line before any table declaration: tablog drops it");
      return;
    }
    const TableCatalog::Table& table = tables_.at(current);
    const std::vector<std::string>& columns = table.columns;
    if (columns.empty()) return;  // said at the declaration
    checkApostrophe(number, line);
    std::size_t count = 0, extraAt = 0;
    forEachField(line, [&](std::size_t k, std::string_view field) {
      count = k + 1;
      std::size_t at = static_cast<std::size_t>(field.data() - line.data());
      if (k == columns.size()) extraAt = at;
      if (k < columns.size()) checkFieldBlanks(number, field, at);
    });
    if (count == columns.size()) return;
    std::string start = "data line has " + counted(count, "value") + " but table " + table.name +
                        " has " + counted(columns.size(), "column") + ": tablog ";
    if (count > columns.size()) {
      add(number, extraAt, "extra-fields",
          start + "drops the values from the " + ordinal(columns.size() + 1) + " on");
    } else {
      std::vector<std::string> missing(columns.begin() + static_cast<long>(count), columns.end());
      add(number, line.size(), "missing-fields", start + "fills " + joined(missing) + " with NULL");
    }
  }

  // A single quote between two letters, as in 'O'Brien': tablog
  // pairs every quote of the line, so the value's quotes end there and
  // the commas after it, up to the next quote, belong to values.
  void checkApostrophe(int number, std::string_view line) {
    auto apart = [](char c) { return c == ',' || c == '\'' || isBlank(c); };
    for (std::size_t i = 1; i + 1 < line.size(); ++i) {
      if (line[i] != '\'' || apart(line[i - 1]) || apart(line[i + 1])) continue;
      std::size_t count = 0;
      forEachField(line, [&count](std::size_t k, std::string_view) { count = k + 1; });
      add(number, i, "apostrophe",
          "single quote inside a value: tablog pairs the quotes of the line, so this one ends "
          "or starts a quoted stretch, and the line gives " +
              counted(count, "value") + "; tablog has no way to write a quote inside a value");
      return;
    }
  }

  // A data line that starts with "#" or holds only blanks.
  void checkOddLine(int number, std::string_view line, int current) {
    std::string table = current < 0 ? std::string() : tables_.at(current).name;
    if (line[0] == '#') {
      add(number, 0, "comment-as-data",
          "tablog has no comments: this is a data line, and " +
              (current < 0 ? std::string("with no table declared above it tablog drops it")
                           : "tablog adds it as a row of table " + table));
      return;
    }
    add(number, 0, "blank",
        "line of blanks: tablog reads it as a data line and " +
            (current < 0
                 ? std::string("drops it, with no table declared above it")
                 : "adds a row to " + table + " whose first value is " + describeValue(line)));
  }

  void checkFieldBlanks(int number, std::string_view field, std::size_t at) {
    if (!hasEdgeBlank(field)) return;
    if (std::all_of(field.begin(), field.end(), isBlank)) {
      add(number, at, "blank", "value of blanks only: tablog keeps it as " + describeValue(field));
      return;
    }
    bool front = isBlank(field.front());
    add(number, front ? at : at + field.find_last_not_of(" \t") + 1, "blank",
        std::string(front ? "blank at the start of a value" : "blank at the end of a value") +
            ": tablog keeps it, and the value is " + describeValue(field));
  }

  // Adds the declared table and returns its index.
  int checkDeclaration(int number, std::string_view line) {
    NameAndColumns read = readNameAndColumns(line);
    std::size_t columnsAt = static_cast<std::size_t>(read.columns.data() - line.data());
    std::vector<Piece> columns = splitColumns(read.columns, columnsAt);
    std::vector<std::string> names = textsOf(columns);
    int index = tables_.add(std::string(read.name), names, number, true);
    data_.declare(index, ScriptData::Line{number, line});

    std::string what = "table " + shown(read.name) + " with the columns (" + joined(names) + ")";
    std::size_t open = line.find('(');
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
    checkShape(number, line, read, columns, what);
    checkNameBlanks(findings_, number, read.name,
                    static_cast<std::size_t>(read.name.data() - line.data()), "table name");
    for (const Piece& c : columns) {
      checkNameBlanks(findings_, number, c.text, c.offset, "column name");
    }
    checkRepeatedColumns(findings_, number, columns, "table " + std::string(read.name),
                         ": tablog keeps both, but renames them together, so a rule that reads "
                         "the table gets wrong values or none");
    return index;
  }

  // Warns when a declaration is not Name(column,...).
  void checkShape(int number, std::string_view line, const NameAndColumns& read,
                  const std::vector<Piece>& columns, const std::string& what) {
    std::size_t open = line.find('('), lastOpen = line.rfind('('), lastClose = line.rfind(')');
    if (open != lastOpen || line.find(')') != lastClose) {
      add(number, open != lastOpen ? line.find('(', open + 1) : lastClose, "bad-declaration",
          "more than one parenthesis: tablog declares " + what);
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
    } else if (columns.empty()) {
      add(number, open + 1, "bad-declaration",
          "table " + std::string(read.name) +
              " has no columns: tablog keeps none of the values of its data lines");
    } else {
      for (const Piece& c : columns) {
        if (!c.text.empty()) continue;
        add(number, c.offset, "bad-declaration",
            "empty column name: tablog gives table " + std::string(read.name) +
                " a column without a name");
        return;
      }
      if (read.columns.back() == ',') {
        add(number, lastClose - 1, "bad-declaration",
            "comma at the end of the column list: tablog adds no column for it");
      }
    }
  }

  // The data pass: the values of each compared column against the
  // comparison of numbers.
  void checkComparisons() {
    std::vector<Disagreement> found(comparisons_.size());
    std::vector<int> declared;  // the catalog index of each declaration, in order
    for (int t = 0; t < tables_.size(); ++t) {
      if (tables_.at(t).declared) declared.push_back(t);
    }
    int number = 0;
    std::size_t declarations = 0;
    std::vector<std::size_t> watched;  // the comparisons of the current table
    forEachScriptLine(text_, [&](std::string_view line) {
      ++number;
      LineKind kind = classifyLine(line);
      if (kind == LineKind::kDeclaration) {
        int current = declared[declarations++];
        watched.clear();
        for (std::size_t c = 0; c < comparisons_.size(); ++c) {
          if (comparisons_[c].table == current) watched.push_back(c);
        }
      } else if (kind == LineKind::kData && !watched.empty()) {
        forEachField(line, [&](std::size_t k, std::string_view field) {
          for (std::size_t c : watched) {
            if (comparisons_[c].column == k) compare(comparisons_[c], field, number, found[c]);
          }
        });
      }
    });
    for (std::size_t i = 0; i < comparisons_.size(); ++i) {
      const Comparison& c = comparisons_[i];
      const Disagreement& d = found[i];
      if (d.count == 0) continue;
      add(c.line, c.offset, "text-comparison",
          c.written + " compares texts, character by character, not numbers: tablog " +
              (d.kept ? "keeps " : "drops ") + d.value + " (" + tables_.at(c.table).name +
              ", line " + std::to_string(d.line) + "), which is " + (d.kept ? "not " : "") +
              operatorWords(c.op) + " " + c.constant + " as a number" +
              (d.count > 1 ? " (" + std::to_string(d.count) + " values of the table disagree so)"
                           : ""));
    }
  }

  static void compare(const Comparison& c, std::string_view literal, int number, Disagreement& d) {
    DataValue value(literal);
    std::string_view text = value.text();
    std::optional<double> asNumber = numberIn(text), constant = numberIn(c.constant);
    if (!asNumber || !constant) return;
    bool byText = holds(c.op, text, std::string_view(c.constant));
    if (byText == holds(c.op, *asNumber, *constant)) return;
    if (d.count++ == 0) {
      d.line = number;
      d.value = std::string(text);
      d.kept = byText;
    }
  }

  std::string_view text_;
  TableCatalog tables_;
  ScriptData data_;  // the rows the data lines give the declared tables
  std::vector<ScriptRule> rules_;
  std::vector<Comparison> comparisons_;
  std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> lintScript(std::string_view text) {
  std::string copy;
  return ScriptChecker(withFinalLineFeed(text, copy)).run();
}

std::string formatFinding(std::string_view script, const Finding& finding) {
  return std::string(script) + ":" + std::to_string(finding.line) + ":" +
         std::to_string(finding.column) + ": warning: " + finding.message + " [" + finding.name +
         "]";
}

}  // namespace tablog
