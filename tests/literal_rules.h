// A literal evaluator of whole scripts, kept in the test suite as an oracle
// for eval/. It reads script lines, evaluates the rules and writes the
// output exactly as the defined steps say, one table operation of
// tests/literal_oracle.h at a time: each atom filters a renamed copy of its
// table, uses up and excludes the conditions recorded on its right, adds
// the conditions left over as constant columns, and is joined into the
// running result, which an atom's result replaces while it has no rows.
// eval/ takes shortcuts (renames folded into the filter, a normalisation
// instead of a join of a table with itself, moves instead of copies); the
// differential tests compare the two outputs.
#ifndef TABLOG_TESTS_LITERAL_RULES_H_
#define TABLOG_TESTS_LITERAL_RULES_H_

#include <memory>
#include <string>
#include <vector>

#include "tests/literal_oracle.h"

namespace tablog::literal {

class ScriptEvaluator {
 public:
  // One script line: empty lines are ignored, a line holding "<-" is a
  // rule, a line holding "(" declares a table, any other line is a row of
  // the table declared last (ignored before the first declaration).
  void feedLine(const std::string& line);
  // Evaluates every rule once, in script order, then returns the output:
  // the rule lines, an empty line and every table, each followed by an
  // empty line. REQUIRES: called once.
  std::string output();

 private:
  // The first declared table named `name`, else the first rule head table
  // of that name, else nullptr. This evaluator owns the table.
  Table* findTable(const std::string& name);
  void evaluateRules();
  Table* resolveHead(const std::string& head);
  Table evaluateBody(const std::string& body);
  void applyTerm(const std::string& name, const std::string& args, Table& temp, Table& temp2,
                 Table& assign, int isCondition);

  std::vector<std::unique_ptr<Table>> tables_;
  std::vector<std::unique_ptr<Table>> ruleTables_;
  std::vector<std::string> rules_;
  Table* current_ = nullptr;
};

// The output file that a run of `script` writes: its lines are the text
// between line feeds.
std::string evaluateScript(const std::string& script);

}  // namespace tablog::literal

#endif  // TABLOG_TESTS_LITERAL_RULES_H_
