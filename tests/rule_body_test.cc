// Tests of eval/rule_body.h. The unit cases pin the decisions that follow
// the tables rather than the order of writing: which recorded condition
// wins, what an argument uses up, how renames by name chain and what a
// quote does to the pattern's fields.
#include "eval/rule_body.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

}  // namespace
}  // namespace tablog
