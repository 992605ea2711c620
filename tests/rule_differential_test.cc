// Randomized differential test of rule evaluation: small random scripts
// (a few tables of a few columns holding plain numbers, words, quoted and
// empty values; rules with variables, constants, comparisons, conditions,
// atoms that keep no column, unknown tables, heads naming existing tables)
// run through the program in memory and through the literal evaluator of
// tests/literal_rules.h, and the two output files must agree byte for
// byte. The seed is fixed; a failure prints the script. The literal
// evaluator is itself checked against the examples' expected outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "tests/literal_rules.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;
using testing::iterations;

// Values: plain numbers (two spellings of 7), bare words, quoted texts and
// the empty value.
const std::vector<std::string> kValues = {"1",  "2",   "7",   "07",  "10", "-3",  "x",
                                          "ab", "'a'", "'b'", "'1'", "''", "'7'", ""};
const std::vector<std::string> kTableNames = {"T", "U", "V"};
const std::vector<std::string> kColumnNames = {"a", "b", "c", "A"};
const std::vector<std::string> kVariables = {"X", "Y", "Z", "A"};
const std::vector<std::string> kComparisons = {">1", "<b", ">", "<7", "=x"};
const std::vector<std::string> kOperators = {"=", "<", ">"};

// Makes one random script. Its values come from a small alphabet of its
// own, so that joins and constants find equal values often.
class ScriptGen {
 public:
  explicit ScriptGen(Gen& gen) : gen_(gen) {
    int size = gen_.uniform(2, 5);
    for (int i = 0; i < size; ++i) alphabet_.push_back(gen_.pick(kValues));
  }

  std::string script() {
    std::string text;
    int tables = gen_.uniform(1, 3);
    for (int t = 0; t < tables; ++t) text += table();
    int rules = gen_.uniform(1, 3);
    for (int r = 0; r < rules; ++r) text += rule();
    return text;
  }

 private:
  struct Declared {
    std::string name;
    int columns;
  };

  static std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (i > 0) text += ',';
      text += parts[i];
    }
    return text;
  }

  const std::string& value() { return gen_.chance(85) ? gen_.pick(alphabet_) : gen_.pick(kValues); }

  // A declaration (repeated column names now and then) and a few rows,
  // some of them shorter or longer than the table.
  std::string table() {
    Declared table{gen_.pick(kTableNames), gen_.uniform(1, 3)};
    std::vector<std::string> columns;
    for (int k = 0; k < table.columns; ++k) {
      columns.push_back(gen_.chance(15) ? "a" : gen_.pick(kColumnNames));
    }
    std::string text = table.name + "(" + joined(columns) + ")\n";
    int rows = gen_.uniform(0, 4);
    for (int r = 0; r < rows; ++r) {
      std::vector<std::string> values;
      int fields = table.columns + (gen_.chance(10) ? gen_.uniform(-1, 1) : 0);
      for (int k = 0; k < fields; ++k) values.push_back(value());
      text += joined(values) + "\n";
    }
    declared_.push_back(table);
    return text;
  }

  // An argument: mostly a variable, else a constant, a comparison or empty.
  std::string argument() {
    int roll = gen_.uniform(0, 99);
    if (roll < 65) return gen_.pick(kVariables);
    if (roll < 88) return value();
    if (roll < 96) return gen_.pick(kComparisons);
    return "";
  }

  // An atom of a declared table (sometimes with an argument too few or too
  // many), or of an unknown one; now and then of constants only.
  std::string atom() {
    std::string name = "Nope";
    int columns = gen_.uniform(1, 2);
    if (!declared_.empty() && !gen_.chance(12)) {
      const Declared& table = declared_[static_cast<std::size_t>(
          gen_.uniform(0, static_cast<int>(declared_.size()) - 1))];
      name = table.name;
      columns = table.columns + (gen_.chance(10) ? gen_.uniform(-1, 1) : 0);
    }
    std::vector<std::string> arguments;
    bool closed = gen_.chance(20);
    for (int k = 0; k < std::max(columns, 1); ++k) {
      arguments.push_back(closed ? value() : argument());
    }
    return name + "(" + joined(arguments) + ")";
  }

  std::string condition() {
    std::string variable = gen_.chance(80) ? gen_.pick(kVariables) : "C";
    return variable + gen_.pick(kOperators) + value();
  }

  // A head naming a new table, the first declared table, or (without
  // parentheses) a new table without name or columns.
  std::string head() {
    int roll = gen_.uniform(0, 99);
    if (roll < 8) return "R";
    std::vector<std::string> variables;
    int width = gen_.uniform(0, 2);
    for (int k = 0; k < width; ++k) variables.push_back(gen_.pick(kVariables));
    if (gen_.chance(10)) variables.push_back("C");
    std::string name = roll < 30 && !declared_.empty() ? declared_[0].name : gen_.pick({"R", "S"});
    return name + "(" + joined(variables) + ")";
  }

  std::string rule() {
    std::vector<std::string> terms;
    int count = gen_.uniform(1, 4);
    for (int i = 0; i < count; ++i) {
      terms.push_back(i > 0 && gen_.chance(30) ? condition() : atom());
    }
    return head() + "<-" + joined(terms) + "\n";
  }

  Gen& gen_;
  std::vector<std::string> alphabet_;
  std::vector<Declared> declared_;
};

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string programOutput(const std::string& script) {
  std::ostringstream out;
  runScript(script, out);
  return out.str();
}

TEST(RuleDifferentialTest, ProgramMatchesLiteralEvaluationOfRandomScripts) {
  Gen gen(2024);
  for (int i = 0; i < iterations(10000); ++i) {
    std::string script = ScriptGen(gen).script();
    ASSERT_EQ(literal::evaluateScript(script), programOutput(script))
        << "case " << i << ", script:\n"
        << script;
  }
}

// The literal evaluator itself gives the expected output of every example.
TEST(RuleDifferentialTest, LiteralEvaluationGivesTheExamplesOutputs) {
  const std::filesystem::path examples = std::filesystem::path(TABLOG_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    if (entry.path().extension() != ".tl") continue;
    std::filesystem::path expected = entry.path();
    expected.replace_extension(".out");
    EXPECT_EQ(fileText(expected), literal::evaluateScript(fileText(entry.path()))) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 1);
}

}  // namespace
}  // namespace tablog
