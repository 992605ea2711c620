// Tests of eval/rule_body.h. The unit cases pin the decisions that follow
// the tables rather than the order of writing: which recorded condition
// wins, what an argument uses up, how renames by name chain and what a
// quote does to the pattern's fields.
// The differential test runs random rule bodies through the evaluator and
// through tablog-lint's RuleChecker, and compares the columns that lint
// predicts after each atom with those of the evaluator's working tables.
#include "eval/rule_body.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "eval/evaluate_graph.h"
#include "lint/rule_checker.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using Names = std::vector<std::string>;

Names namesOf(const std::vector<BodyColumn>& columns) {
  Names names;
  for (const BodyColumn& c : columns) names.push_back(c.name + (c.constant ? "!" : ""));
  return names;
}

struct AtomCase {
  std::vector<std::pair<std::string, std::string>> conditions;  // recorded in this order
  std::string args;
  Names columns;  // of the table
  std::string pattern;
  std::size_t usedUp;
  Names result;  // the atom's result; "!" marks a constant column
};

TEST(RuleBodyTest, AtomFollowsTheTables) {
  const AtomCase cases[] = {
      // The condition recorded first (written further right) wins.
      {{{"S", "<1100"}, {"S", ">1000"}}, "N,D,S", {"a", "b", "c"}, "N,D,<1100", 2, {"N", "D", "S"}},
      // An argument ">0" finds every variable after "0" as a text. The table
      // orders the variables 1 and 2 as numbers, so the one recorded last
      // wins; B and A do not compare, so the one recorded first wins.
      {{{"2", "=b"}, {"1", "=a"}}, ">0", {"a"}, "=a", 2, {}},
      {{{"B", "=b"}, {"A", "=a"}}, ">0", {"a"}, "=b", 2, {}},
      // An empty argument finds a condition with an empty variable.
      {{{"", "=1"}}, "A,", {"a", "b"}, "A,=1", 1, {"A"}},
      // A condition found by no argument is left over as a constant column.
      {{{"C", "='k'"}, {"V", ""}}, "N", {"a"}, "N", 0, {"N", "C!", "V!"}},
      // Renames go by name: A becomes B, then both Bs become C.
      {{}, "B,C", {"A", "B"}, "B,C", 0, {"C", "C"}},
      // A quote that does not close swallows the comma: one field, no column.
      {{}, "'x,B", {"A", "B"}, "'x,B", 0, {}},
      // A Z-word and a constant drop their columns; Z and a comparison keep.
      {{}, "Zq,1,Z,<2", {"a", "b", "c", "d"}, "Zq,1,Z,<2", 0, {"Z", "<2"}},
  };
  for (const AtomCase& c : cases) {
    SCOPED_TRACE(c.args);
    SortedTable assign("assign", "X,Y");
    RuleBody body(assign);
    for (const auto& [variable, condition] : c.conditions) body.record(variable, condition);
    const AtomStep step = body.atom(c.args);
    EXPECT_EQ(c.pattern, step.pattern);
    std::size_t usedUp = 0;
    for (const ConditionUse& use : step.uses) usedUp += use.usedUp.size();
    EXPECT_EQ(c.usedUp, usedUp);
    EXPECT_EQ(c.result, namesOf(RuleBody::atomColumns(c.columns, step)));
  }
}

// What one side says after an atom.
struct Seen {
  Names atom, running;
  bool atomHasRows = false, runningHasRows = false;
};

// A random script of three tables and one rule body over them: atoms of
// the tables (their column names drawn from the variables too) and of an
// unknown one, variables that repeat, constants, conditions after any
// atom. Each profile draws arguments and conditions from its own pools.
struct Profile {
  const char* name;
  std::uint32_t seed;
  int bodies;
  Names arguments;   // besides the variables
  Names variables;   // of conditions
  int oddArguments;  // percent of arguments drawn from kOdd
};
const Names kVariables = {"A", "B", "C", "X"};
const Names kOdd = {"", "'q", "Zq", "Z", ">1", "<2", "=1", "'1,2'", "W"};
const Names kColumns = {"A", "B", "C", "X", "Zq", "N"};
const Names kValues = {"1", "2", "a", "'a'"};
const Names kOperators = {"=", "<", ">", ">="};

struct Case {
  std::vector<std::pair<std::string, Names>> tables;  // name, columns
  std::vector<std::string> lines;
  std::string body;
};

Case randomCase(testing::Gen& gen, const Profile& p) {
  Case c;
  for (const char* name : {"P", "Q", "R"}) {
    Names columns(static_cast<std::size_t>(gen.uniform(1, 3)));
    for (std::string& n : columns) n = gen.pick(kColumns);
    std::string line = std::string(name) + "(";
    for (std::size_t k = 0; k < columns.size(); ++k) line += (k > 0 ? "," : "") + columns[k];
    c.lines.push_back(line + ")");
    for (int r = gen.uniform(0, 5); r > 0; --r) {
      std::string row;
      for (std::size_t k = 0; k < columns.size(); ++k)
        row += (k > 0 ? "," : "") + gen.pick(kValues);
      c.lines.push_back(row);
    }
    c.tables.emplace_back(name, columns);
  }
  for (int a = gen.uniform(1, 4); a > 0; --a) {
    bool unknown = gen.chance(10);
    const auto& [name, columns] = gen.pick(c.tables);
    int arity = unknown ? 1 : static_cast<int>(columns.size()) + (gen.chance(10) ? 1 : 0);
    std::string atom = (unknown ? std::string("U") : name) + "(";
    for (int k = 0; k < arity; ++k) {
      atom += k > 0 ? "," : "";
      atom += gen.chance(p.oddArguments) ? gen.pick(kOdd)
              : gen.chance(70)           ? gen.pick(kVariables)
                                         : gen.pick(p.arguments);
    }
    if (!c.body.empty()) c.body += ",";
    c.body += atom + ")";
    for (int k = gen.uniform(0, 2); k > 0; --k) {
      c.body += "," + gen.pick(p.variables) + gen.pick(kOperators) + gen.pick(kValues);
    }
  }
  // A body that starts with a condition reads it as an atom.
  if (gen.chance(5)) c.body = gen.pick(p.variables) + "=1," + c.body;
  return c;
}

// The evaluator's working tables after each atom.
std::vector<Seen> evaluated(const Case& c) {
  EvaluateGraph graph;
  for (const std::string& line : c.lines) feedLine(line, graph);
  graph.endScript();
  std::vector<Seen> seen;
  graph.evaluateBody(c.body, [&seen](const SortedTable& atom, const SortedTable& running) {
    seen.push_back(
        {atom.columnNames(), running.columnNames(), atom.rowCount() > 0, running.rowCount() > 0});
  });
  return seen;
}

// What RuleChecker predicts after each atom.
std::vector<Seen> predicted(const Case& c) {
  TableCatalog catalog;
  ScriptData data;
  for (std::size_t n = 0; n < c.lines.size(); ++n) {
    const std::string& line = c.lines[n];
    if (line.find('(') == std::string::npos) {
      data.addLine(static_cast<int>(n) + 1, line);
      continue;
    }
    const auto& [name, columns] = c.tables[static_cast<std::size_t>(catalog.size())];
    data.declare(catalog.add(name, columns, 1, true), {static_cast<int>(n) + 1, line});
  }
  data.finish();
  const std::string rule = "H(A)<-" + c.body;
  const std::vector<ScriptRule> rules = {ScriptRule{9, rule}};
  std::vector<Finding> findings;
  std::vector<Comparison> comparisons;
  RuleChecker checker(rules, catalog, data, findings, comparisons);
  std::vector<Seen> seen;
  checker.observeAtoms(
      [&seen](std::size_t, const std::vector<BodyColumn>& atom, const RunningColumns& running) {
        Names names;
        for (const BodyColumn& b : atom) names.push_back(b.name);
        seen.push_back({names, {}, false, running.hasRows()});
        for (const BodyColumn& b : running.columns()) seen.back().running.push_back(b.name);
      });
  checker.check(0);
  return seen;
}

TEST(RuleBodyTest, LintPredictsTheEvaluatorsColumns) {
  const Profile profiles[] = {
      {"variables and constants", 11, 1500, {"1", "2", "a", "'a'"}, kVariables, 0},
      {"conditions anywhere", 12, 1500, {"1", "Zq"}, {"A", "B", "C", "X", "W"}, 10},
      {"odd arguments and variables", 13, 1500, {"1", "'x"}, {"A", "X", "1", "'A", "Zq", ""}, 40},
  };
  int steps = 0, compared = 0;  // atoms, and those whose running result was compared
  for (const Profile& p : profiles) {
    testing::Gen gen(p.seed);
    for (int i = 0; i < testing::iterations(p.bodies); ++i) {
      const Case c = randomCase(gen, p);
      std::string script;
      for (const std::string& line : c.lines) script += line + "\n";
      SCOPED_TRACE(std::string(p.name) + ":\n" + script + "body " + c.body);
      const std::vector<Seen> want = evaluated(c), got = predicted(c);
      ASSERT_EQ(want.size(), got.size());
      bool following = true;
      for (std::size_t k = 0; k < want.size(); ++k) {
        SCOPED_TRACE("atom " + std::to_string(k + 1) + " from the right");
        // The atom's own result does not depend on the rows before it.
        ASSERT_EQ(want[k].atom, got[k].atom);
        ++steps;
        if (!following) continue;
        ASSERT_EQ(want[k].running, got[k].running);
        ++compared;
        if (want[k].runningHasRows == got[k].runningHasRows) continue;
        // Lint asks each atom of the tables' rows, and takes rows to agree
        // on a common column: only a join can take them away.
        ASSERT_TRUE(got[k].runningHasRows);
        ASSERT_TRUE(want[k].atomHasRows && k > 0 && want[k - 1].runningHasRows);
        following = false;
      }
    }
  }
  // Most steps are compared, not skipped after rows ran out.
  EXPECT_GT(compared, steps / 2);
}

}  // namespace
}  // namespace tablog
