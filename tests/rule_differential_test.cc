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

namespace tablog {
namespace {

// Sanitized and unoptimised builds run fewer scripts.
int scriptCount() {
#if defined(__SANITIZE_ADDRESS__)
  return 400;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return 400;
#endif
#endif
#if !defined(NDEBUG)
  return 2000;
#else
  return 10000;
#endif
}

class Gen {
 public:
  explicit Gen(std::uint32_t seed) : rng_(seed) {}
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return uniform(0, 99) < percent; }
  const std::string& pick(const std::vector<std::string>& from) {
    return from[static_cast<std::size_t>(uniform(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  std::mt19937 rng_;
};

// Values: plain numbers (two spellings of 7), bare words, quoted texts and
// the empty value.
const std::vector<std::string> kValues = {"1",  "2",   "7",   "07",  "10", "-3",  "x",
                                          "ab", "'a'", "'b'", "'1'", "''", "'7'", ""};
const std::vector<std::string> kTableNames = {"T", "U", "V"};
const std::vector<std::string> kColumnNames = {"a", "b", "c", "A"};
const std::vector<std::string> kVariables = {"X", "Y", "Z", "A"};
const std::vector<std::string> kComparisons = {">1", "<b", ">", "<7", "=x"};
const std::vector<std::string> kOperators = {"=", "<", ">"};

struct Declared {
  std::string name;
  int columns;
};

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += ',';
    text += parts[i];
  }
  return text;
}

std::string pickTable(Gen& gen, std::vector<Declared>& declared) {
  Declared table{gen.pick(kTableNames), gen.uniform(1, 3)};
  std::vector<std::string> columns;
  for (int k = 0; k < table.columns; ++k) {
    columns.push_back(gen.chance(15) ? "a" : gen.pick(kColumnNames));
  }
  std::string text = table.name + "(" + joined(columns) + ")\n";
  int rows = gen.uniform(0, 3);
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string> values;
    int fields = table.columns + (gen.chance(10) ? gen.uniform(-1, 1) : 0);
    for (int k = 0; k < fields; ++k) values.push_back(gen.pick(kValues));
    text += joined(values) + "\n";
  }
  declared.push_back(table);
  return text;
}

// An argument: mostly a variable, else a constant, a comparison or empty.
std::string pickArgument(Gen& gen) {
  int roll = gen.uniform(0, 99);
  if (roll < 65) return gen.pick(kVariables);
  if (roll < 88) return gen.pick(kValues);
  if (roll < 96) return gen.pick(kComparisons);
  return "";
}

std::string pickAtom(Gen& gen, const std::vector<Declared>& declared) {
  std::string name = "Nope";
  int columns = gen.uniform(1, 2);
  if (!declared.empty() && !gen.chance(12)) {
    const Declared& table =
        declared[static_cast<std::size_t>(gen.uniform(0, static_cast<int>(declared.size()) - 1))];
    name = table.name;
    columns = table.columns + (gen.chance(10) ? gen.uniform(-1, 1) : 0);
  }
  std::vector<std::string> arguments;
  bool closed = gen.chance(20);  // constants only: the atom keeps no column
  for (int k = 0; k < std::max(columns, 1); ++k) {
    arguments.push_back(closed ? gen.pick(kValues) : pickArgument(gen));
  }
  return name + "(" + joined(arguments) + ")";
}

std::string pickCondition(Gen& gen) {
  std::string variable = gen.chance(80) ? gen.pick(kVariables) : "C";
  return variable + gen.pick(kOperators) + gen.pick(kValues);
}

// A head naming a new table, the first declared table, or (without
// parentheses) a new table without name or columns.
std::string pickHead(Gen& gen, const std::vector<Declared>& declared) {
  int roll = gen.uniform(0, 99);
  if (roll < 8) return "R";
  std::vector<std::string> variables;
  int width = gen.uniform(0, 2);
  for (int k = 0; k < width; ++k) variables.push_back(gen.pick(kVariables));
  if (gen.chance(10)) variables.push_back("C");
  std::string name = roll < 30 && !declared.empty() ? declared[0].name : gen.pick({"R", "S"});
  return name + "(" + joined(variables) + ")";
}

std::string pickRule(Gen& gen, const std::vector<Declared>& declared) {
  std::vector<std::string> terms;
  int count = gen.uniform(1, 4);
  for (int i = 0; i < count; ++i) {
    terms.push_back(i > 0 && gen.chance(30) ? pickCondition(gen) : pickAtom(gen, declared));
  }
  return pickHead(gen, declared) + "<-" + joined(terms) + "\n";
}

std::string pickScript(Gen& gen) {
  std::vector<Declared> declared;
  std::string script;
  int tables = gen.uniform(1, 3);
  for (int t = 0; t < tables; ++t) script += pickTable(gen, declared);
  int rules = gen.uniform(1, 3);
  for (int r = 0; r < rules; ++r) script += pickRule(gen, declared);
  return script;
}

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
  for (int i = 0; i < scriptCount(); ++i) {
    std::string script = pickScript(gen);
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
