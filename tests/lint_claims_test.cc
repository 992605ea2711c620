// The claims of tablog-lint against the evaluator itself, on random
// scripts: every finding that says a rule adds no rows is checked by
// running the script with and without that rule, and the head table must
// come out the same; a rule cut before an atom that finds no rows must add
// what it adds whole; and the repeated rows reported must be those that
// the output keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "eval/script_syntax.h"
#include "lint/lint.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;

// The rows of the first table named `name` in tablog's output `out`.
std::vector<std::string> rowsOf(const std::string& out, const std::string& name) {
  std::vector<std::string> rows;
  std::istringstream lines(out);
  std::string line;
  bool inTable = false, afterEmpty = false;
  while (std::getline(lines, line)) {
    if (inTable) {
      if (line.empty()) break;
      rows.push_back(line);
    } else if (afterEmpty && line.rfind(name + "(", 0) == 0) {
      inTable = true;
    }
    afterEmpty = line.empty();
  }
  return rows;
}

std::string joinedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string run(const std::vector<std::string>& lines) {
  std::ostringstream out;
  runScript(joinedLines(lines), out);
  return out.str();
}

// A random script: a few tables of a few columns, data lines of quoted,
// plain, empty and capitalised values (some short), and a few rules whose
// atoms mix variables, constants, comparisons and repeated variables, with
// conditions between them.
class ScriptMaker {
 public:
  explicit ScriptMaker(Gen& gen) : gen_(gen) {}

  std::vector<std::string> make() {
    std::vector<std::string> lines;
    for (int t = gen_.uniform(1, 3); t > 0; --t) declare(lines);
    for (int r = gen_.uniform(1, 3); r > 0; --r) {
      // Rules and data lines may stand in any order.
      auto at = lines.begin() +
                gen_.uniform(static_cast<int>(lines.size()) / 2, static_cast<int>(lines.size()));
      lines.insert(at, rule());
    }
    return lines;
  }

 private:
  void declare(std::vector<std::string>& lines) {
    std::string name = gen_.pick(kTables);
    int columns = gen_.uniform(1, 3);
    std::string line = name + "(";
    for (int c = 0; c < columns; ++c) {
      if (c > 0) line += ',';
      line += gen_.pick(kColumns);
    }
    lines.push_back(line + ")");
    for (int r = gen_.uniform(0, 4); r > 0; --r) {
      std::string row;
      int fields = gen_.chance(10) ? gen_.uniform(1, columns) : columns;
      for (int c = 0; c < fields; ++c) {
        if (c > 0) row += ',';
        row += gen_.pick(kValues);
      }
      if (row.empty()) row = "''";  // an empty line would be no data line
      lines.push_back(row);
    }
  }

  std::string atom() {
    std::string text = gen_.pick(kAtomTables) + "(";
    for (int k = gen_.uniform(1, 3); k > 0; --k) {
      text += gen_.pick(kArguments);
      text += k > 1 ? ',' : ')';
    }
    return text;
  }

  std::string rule() {
    std::string head = gen_.pick(kHeads) + "(";
    for (int k = gen_.uniform(1, 3); k > 0; --k) {
      head += gen_.pick(kVariables);
      head += k > 1 ? ',' : ')';
    }
    std::string body;
    for (int k = gen_.uniform(1, 3); k > 0; --k) {
      if (!body.empty()) body += ',';
      body += atom();
      if (gen_.chance(35)) {
        body += ',';
        body += gen_.pick(kVariables);
        body += gen_.pick(kOperators);
        body += gen_.pick(kConstants);
      }
    }
    // A body that starts with a condition reads it as an atom.
    if (gen_.chance(5)) body = gen_.pick(kVariables) + "=1," + body;
    return head + "<-" + body;
  }

  inline static const std::vector<std::string> kTables = {"T", "U", "V"};
  inline static const std::vector<std::string> kColumns = {"A", "B", "C", "X", "Name"};
  inline static const std::vector<std::string> kValues = {
      "'a'", "'b'", "'HR'", "'X'", "1", "2", "07", "7", "x", "HR", "Y", "", "'2024-01-05'"};
  inline static const std::vector<std::string> kAtomTables = {"T", "U", "V", "T", "U",
                                                              "V", "H", "G", "Q"};
  inline static const std::vector<std::string> kArguments = {
      "X", "Y", "Z", "A", "B", "HR", "'a'", "'HR'", "1", ">1", "<b", "=a", "ZZ", "X", "Y", ""};
  inline static const std::vector<std::string> kHeads = {"H", "G", "T", "H"};
  inline static const std::vector<std::string> kVariables = {"X", "Y", "Z", "A", "B"};
  inline static const std::vector<std::string> kOperators = {"=", "<", ">"};
  inline static const std::vector<std::string> kConstants = {"a", "1", "HR", "'a'", "X", ""};

  Gen& gen_;
};

// Whether a finding says that its rule adds no rows.
bool claimsNoRows(const Finding& f) {
  return f.message.find("adds no rows") != std::string::npos ||
         f.message.find("adds nothing") != std::string::npos;
}

// For the rule on line `line` (1-based) of `lines`: the rows of its head
// table when the script ends with that rule, and when it ends before it.
std::pair<std::vector<std::string>, std::vector<std::string>> headRows(
    const std::vector<std::string>& lines, int line) {
  std::vector<std::string> with, without;
  for (int n = 1; n <= static_cast<int>(lines.size()); ++n) {
    const std::string& text = lines[static_cast<std::size_t>(n - 1)];
    if (classifyLine(text) == LineKind::kRule && n > line) continue;
    with.push_back(text);
    if (n != line) without.push_back(text);
  }
  std::string head(
      readNameAndColumns(splitRule(lines[static_cast<std::size_t>(line - 1)]).head).name);
  return {rowsOf(run(with), head), rowsOf(run(without), head)};
}

TEST(LintClaimsTest, NoRuleAddsRowsWhereAFindingSaysItAddsNone) {
  Gen gen(20270114);
  int checked = 0;
  const int scripts = testing::iterations(8000);
  for (int n = 0; n < scripts; ++n) {
    std::vector<std::string> lines = ScriptMaker(gen).make();
    const std::string text = joinedLines(lines);
    for (const Finding& f : lintScript(text)) {
      if (!claimsNoRows(f)) continue;
      if (classifyLine(lines[static_cast<std::size_t>(f.line - 1)]) != LineKind::kRule) continue;
      ++checked;
      auto [with, without] = headRows(lines, f.line);
      EXPECT_EQ(with, without) << "script:\n" << text << formatFinding("s", f);
    }
  }
  EXPECT_GT(checked, scripts / 10);
}

// An atom that finds no rows in the data leaves the rule what the body on
// its left gives alone: the rule, cut before that atom, adds the same rows
// (where no condition on its right goes on to the atoms on its left).
TEST(LintClaimsTest, AfterAnAtomWithoutRowsTheBodyOnItsLeftStartsAfresh) {
  Gen gen(20270116);
  int checked = 0;
  for (int n = 0; n < testing::iterations(8000); ++n) {
    std::vector<std::string> lines = ScriptMaker(gen).make();
    const std::string text = joinedLines(lines);
    for (const Finding& f : lintScript(text)) {
      if (f.name != "empty-atom" || f.message.find("still standing") != std::string::npos) continue;
      ++checked;
      std::vector<std::string> cut = lines;
      std::string& rule = cut[static_cast<std::size_t>(f.line - 1)];
      rule.erase(static_cast<std::size_t>(f.column - 2));  // from the comma before the atom
      auto [with, whole] = headRows(lines, f.line);
      auto [withCut, before] = headRows(cut, f.line);
      EXPECT_EQ(with, withCut) << "script:\n" << text << formatFinding("s", f);
    }
  }
  EXPECT_GT(checked, testing::iterations(8000) / 100);
}

// The number of rows of `rows` that repeat an earlier one.
std::size_t repeats(const std::vector<std::string>& rows) {
  std::vector<std::string> sorted = rows;
  std::sort(sorted.begin(), sorted.end());
  return rows.size() -
         static_cast<std::size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

// The repeats that kept-repeat reports are those the output keeps: all of
// them when no rule writes the table, and no more than it keeps otherwise.
TEST(LintClaimsTest, KeptRepeatsAreTheRepeatsTablogKeeps) {
  Gen gen(20270115);
  int reported = 0;
  for (int n = 0; n < testing::iterations(4000); ++n) {
    std::vector<std::string> lines = ScriptMaker(gen).make();
    const std::string text = joinedLines(lines);
    const std::vector<Finding> findings = lintScript(text);
    const std::string out = run(lines);
    std::map<std::string, int> declarations, heads, said;  // by table name
    std::string current;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const std::string& line = lines[k];
      if (classifyLine(line) == LineKind::kRule) {
        ++heads[std::string(readNameAndColumns(splitRule(line).head).name)];
      } else if (classifyLine(line) == LineKind::kDeclaration) {
        current = std::string(readNameAndColumns(line).name);
        ++declarations[current];
      }
      for (const Finding& f : findings) {
        if (f.line == static_cast<int>(k) + 1 && f.name == "kept-repeat") ++said[current];
      }
    }
    for (const auto& [name, count] : declarations) {
      if (count != 1) continue;  // the output's first table of the name is the first one
      const std::size_t kept = repeats(rowsOf(out, name));
      const auto expected = static_cast<std::size_t>(said[name]);
      reported += said[name];
      if (heads[name] == 0) {
        EXPECT_EQ(kept, expected) << name << " in\n" << text;
      } else {
        EXPECT_GE(kept, expected) << name << " in\n" << text;
      }
    }
  }
  EXPECT_GT(reported, testing::iterations(4000) / 200);
}

}  // namespace
}  // namespace tablog
