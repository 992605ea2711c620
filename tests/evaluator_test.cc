// Unit tests of the evaluator: how feedLine sorts script lines into rules,
// declarations and data rows, how tables are found by name, how rule heads
// are resolved, and how a rule body is scanned and its terms applied
// (applyTerm) to the working tables. The whole program is exercised in
// e2e_test.cc; here each step is checked on its own, with the tables
// printed in their output form so that expectations read like the output.
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "eval/evaluate_graph.h"
#include "gtest/gtest.h"
#include "tables/sorted_table.h"

namespace tablog {
namespace {

// The printed form of a table: header line and one line per row.
std::string Text(const DataTable& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// Feeds `lines` as a whole script: the tables are normalised afterwards.
void Feed(EvaluateGraph& graph, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) feedLine(line, graph);
  graph.endScript();
}

// The whole output that the evaluator writes.
std::string Output(const EvaluateGraph& graph) {
  std::ostringstream out;
  out << graph;
  return out.str();
}

using Columns = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Line classification.

TEST(FeedLineTest, EmptyLineChangesNothing) {
  EvaluateGraph graph;
  feedLine("", graph);
  EXPECT_TRUE(graph.tables().empty());
  EXPECT_TRUE(graph.rules().empty());
  EXPECT_EQ(nullptr, graph.currentTable());
}

TEST(FeedLineTest, ReturnsTheEvaluatorItWasGiven) {
  EvaluateGraph graph;
  EXPECT_EQ(&graph, &feedLine("T(A)", graph));
  EXPECT_EQ(&graph, &feedLine("", graph));
}

TEST(FeedLineTest, LineHoldingArrowAnywhereIsStoredAsRule) {
  EvaluateGraph graph;
  Feed(graph, {"R(X)<-T(X)", "T(A)<-", "<-T(A)", "a b<-c", "x(y)z<-w"});
  EXPECT_EQ((Columns{"R(X)<-T(X)", "T(A)<-", "<-T(A)", "a b<-c", "x(y)z<-w"}), graph.rules());
  EXPECT_TRUE(graph.tables().empty());
  EXPECT_EQ(nullptr, graph.currentTable());
}

TEST(FeedLineTest, LessThanWithoutDashIsData) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "1<2", "x<", "a< -b"});
  EXPECT_TRUE(graph.rules().empty());
  // Plain texts order by their leading number: "x<" and "a< -b" read as 0
  // and do not order among themselves, "1<2" reads as 1.
  EXPECT_EQ("T(A)\nx<\na< -b\n1<2\n", Text(*graph.findTable("T")));
}

TEST(FeedLineTest, DeclarationCreatesEmptyCurrentTable) {
  EvaluateGraph graph;
  feedLine("Emp(Name,Dept)", graph);
  ASSERT_EQ(1u, graph.tables().size());
  SortedTable* emp = graph.tables()[0];
  EXPECT_EQ("Emp", emp->tableName());
  EXPECT_EQ((Columns{"Name", "Dept"}), emp->columnNames());
  EXPECT_EQ(0u, emp->rowCount());
  EXPECT_EQ(emp, graph.currentTable());
  EXPECT_TRUE(graph.ruleTables().empty());
}

TEST(FeedLineTest, BlanksBelongToNames) {
  EvaluateGraph graph;
  feedLine("Emp (Name, Dept)", graph);
  ASSERT_EQ(1u, graph.tables().size());
  EXPECT_EQ("Emp ", graph.tables()[0]->tableName());
  EXPECT_EQ((Columns{"Name", " Dept"}), graph.tables()[0]->columnNames());
  EXPECT_EQ(nullptr, graph.findTable("Emp"));
}

TEST(FeedLineTest, OddDeclarations) {
  EvaluateGraph graph;
  Feed(graph, {"a(b)c(d)e", "T(A,B", "(X)", "U(A)tail"});
  ASSERT_EQ(4u, graph.tables().size());
  // The name is the text before the last "(", the columns the text before
  // the last ")"; what follows the last ")" is dropped.
  EXPECT_EQ("c", graph.tables()[0]->tableName());
  EXPECT_EQ((Columns{"d"}), graph.tables()[0]->columnNames());
  EXPECT_EQ("T", graph.tables()[1]->tableName());
  EXPECT_TRUE(graph.tables()[1]->columnNames().empty());
  EXPECT_EQ("", graph.tables()[2]->tableName());
  EXPECT_EQ((Columns{"X"}), graph.tables()[2]->columnNames());
  EXPECT_EQ("U", graph.tables()[3]->tableName());
  EXPECT_EQ((Columns{"A"}), graph.tables()[3]->columnNames());
  EXPECT_EQ(graph.tables()[3], graph.currentTable());
}

TEST(FeedLineTest, DataLinesFillTheLatestDeclaration) {
  EvaluateGraph graph;
  Feed(graph, {"T(A,B)", "2,'y'", "1,'x'", "2,'y'", "U(C)", "7", "1"});
  EXPECT_EQ("T(A,B)\n1,'x'\n2,'y'\n", Text(*graph.findTable("T")));
  EXPECT_EQ("U(C)\n1\n7\n", Text(*graph.findTable("U")));
}

TEST(FeedLineTest, LineOfBlanksIsData) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "  "});
  EXPECT_EQ("T(A)\n  \n", Text(*graph.findTable("T")));
}

TEST(FeedLineTest, DataLineBeforeFirstDeclarationIsIgnored) {
  EvaluateGraph graph;
  Feed(graph, {"1", "'x','y'", "T(A)", "2"});
  ASSERT_EQ(1u, graph.tables().size());
  EXPECT_EQ("T(A)\n2\n", Text(*graph.tables()[0]));
}

TEST(FeedLineTest, RedeclaredNameTakesDataButLookupFindsFirst) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "1", "T(A)", "2"});
  ASSERT_EQ(2u, graph.tables().size());
  EXPECT_EQ(graph.tables()[1], graph.currentTable());
  EXPECT_EQ(graph.tables()[0], graph.findTable("T"));
  EXPECT_EQ("T(A)\n1\n", Text(*graph.tables()[0]));
  EXPECT_EQ("T(A)\n2\n", Text(*graph.tables()[1]));
}

TEST(FeedLineTest, RuleLineDoesNotChangeCurrentTable) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "R(A)<-T(A)", "5"});
  EXPECT_EQ("T(A)\n5\n", Text(*graph.findTable("T")));
  EXPECT_TRUE(graph.ruleTables().empty());
}

// ---------------------------------------------------------------------------
// Finding tables.

TEST(FindTableTest, NamesMatchWholeAndByCase) {
  EvaluateGraph graph;
  feedLine("Emp(A)", graph);
  EXPECT_EQ(graph.tables()[0], graph.findTable("Emp"));
  EXPECT_EQ(nullptr, graph.findTable("emp"));
  EXPECT_EQ(nullptr, graph.findTable("Em"));
  EXPECT_EQ(nullptr, graph.findTable("Emp "));
  EXPECT_EQ(nullptr, graph.findTable(""));
}

TEST(FindTableTest, DeclaredTableIsPreferredToRuleTable) {
  EvaluateGraph graph;
  SortedTable* head = graph.resolveHead("R(B)");
  EXPECT_EQ(head, graph.findTable("R"));
  feedLine("R(A)", graph);
  ASSERT_EQ(1u, graph.tables().size());
  EXPECT_EQ(graph.tables()[0], graph.findTable("R"));
  EXPECT_NE(head, graph.findTable("R"));
}

TEST(FindTableTest, FirstRuleTableOfANameWins) {
  EvaluateGraph graph;
  SortedTable* first = graph.resolveHead("X");
  SortedTable* second = graph.resolveHead("Y");
  ASSERT_NE(first, second);
  EXPECT_EQ(first, graph.findTable(""));
}

// ---------------------------------------------------------------------------
// Rule heads.

TEST(ResolveHeadTest, NewHeadBecomesRuleTable) {
  EvaluateGraph graph;
  SortedTable* rich = graph.resolveHead("Rich(N,H)");
  ASSERT_EQ(1u, graph.ruleTables().size());
  EXPECT_EQ(rich, graph.ruleTables()[0]);
  EXPECT_EQ("Rich(N,H)\n", Text(*rich));
  // A later head of the same name finds it; its own column list is unused.
  EXPECT_EQ(rich, graph.resolveHead("Rich(X)"));
  EXPECT_EQ(1u, graph.ruleTables().size());
}

TEST(ResolveHeadTest, DeclaredTableIsFoundAndItsColumnsKept) {
  EvaluateGraph graph;
  feedLine("T(A)", graph);
  EXPECT_EQ(graph.tables()[0], graph.resolveHead("T(X,Y)"));
  EXPECT_TRUE(graph.ruleTables().empty());
  EXPECT_EQ("T(A)\n", Text(*graph.tables()[0]));
}

TEST(ResolveHeadTest, HeadWithoutParenthesisMakesNewUnnamedTableEachTime) {
  EvaluateGraph graph;
  SortedTable* first = graph.resolveHead("R");
  SortedTable* second = graph.resolveHead("R");
  EXPECT_NE(first, second);
  ASSERT_EQ(2u, graph.ruleTables().size());
  EXPECT_EQ("()\n", Text(*first));
  EXPECT_EQ("()\n", Text(*second));
}

// ---------------------------------------------------------------------------
// Applying one term to the working tables.

class ApplyTermTest : public testing::Test {
 protected:
  ApplyTermTest() : temp_("temp", ""), temp2_("temp2", ""), assign_("assign", "X,Y") {
    Feed(graph_, {"Emp(Name,Dept,Salary)", "'Anna','Sales',1200", "'Bela','IT',1000",
                  "'Cili','Sales',800", "Boss(Dept,Head)", "'Sales','Cecil'"});
  }

  void Atom(const std::string& name, const std::string& args) {
    graph_.applyTerm(name, args, &temp_, &temp2_, &assign_, EvaluateGraph::Term::Atom);
  }
  void Condition(const std::string& name, const std::string& args) {
    graph_.applyTerm(name, args, &temp_, &temp2_, &assign_, EvaluateGraph::Term::Condition);
  }

  static constexpr const char* kEmpty = "assign(X,Y)\n";

  EvaluateGraph graph_;
  SortedTable temp_;
  SortedTable temp2_;
  SortedTable assign_;
};

TEST_F(ApplyTermTest, ConditionIsOnlyRecorded) {
  Condition("S", ">1000");
  EXPECT_EQ("assign(X,Y)\nS,>1000\n", Text(assign_));
  EXPECT_EQ("temp()\n", Text(temp_));
  EXPECT_EQ("temp2()\n", Text(temp2_));
}

TEST_F(ApplyTermTest, AtomRenamesColumnsOfACopy) {
  Atom("Emp", "N,D,S");
  const std::string rows = "'Anna','Sales',1200\n'Bela','IT',1000\n'Cili','Sales',800\n";
  EXPECT_EQ("temp(N,D,S)\n" + rows, Text(temp_));
  EXPECT_EQ("temp2(N,D,S)\n" + rows, Text(temp2_));
  EXPECT_EQ("Emp(Name,Dept,Salary)\n" + rows, Text(*graph_.findTable("Emp")));
}

TEST_F(ApplyTermTest, AtomUsesUpRecordedCondition) {
  Condition("S", ">1000");
  Atom("Emp", "N,D,S");
  // Texts are compared, so 800 comes after 1000.
  EXPECT_EQ("temp(N,D,S)\n'Anna','Sales',1200\n'Cili','Sales',800\n", Text(temp_));
  EXPECT_EQ(kEmpty, Text(assign_));
}

TEST_F(ApplyTermTest, ConstantArgumentSelectsAndClosesItsColumn) {
  Atom("Emp", "N,'Sales',S");
  EXPECT_EQ("temp(N,S)\n'Anna',1200\n'Cili',800\n", Text(temp_));
}

TEST_F(ApplyTermTest, ComparisonArgumentNamesAndFiltersItsColumn) {
  Atom("Emp", "N,D,>1000");
  EXPECT_EQ("temp(N,D,>1000)\n'Anna','Sales',1200\n'Cili','Sales',800\n", Text(temp_));
}

TEST_F(ApplyTermTest, FewerArgumentsThanColumnsAskForEmptyValues) {
  Feed(graph_, {"P(A,B)", "1,2", "3"});
  Atom("P", "A");
  EXPECT_EQ("temp(A)\n3\n", Text(temp_));
}

TEST_F(ApplyTermTest, UnusedConditionAddsConstantColumn) {
  Condition("C", "='k'");
  Atom("Emp", "N,D,S");
  EXPECT_EQ(
      "temp(N,D,S,C)\n'Anna','Sales',1200,'k'\n'Bela','IT',1000,'k'\n'Cili','Sales',800,'k'\n",
      Text(temp_));
  // Not used up: it still applies to atoms further left.
  EXPECT_EQ("assign(X,Y)\nC,='k'\n", Text(assign_));
}

TEST_F(ApplyTermTest, ConditionWithEmptyValueAddsNullColumn) {
  SortedTable::insertRowText("V,", &assign_);
  Atom("Boss", "D,H");
  EXPECT_EQ("temp(D,H,V)\n'Sales','Cecil',NULL\n", Text(temp_));
}

TEST_F(ApplyTermTest, FirstOfTwoConditionsOnOneVariableWinsAndBothAreUsedUp) {
  Condition("S", "<1100");
  Condition("S", ">1000");
  Atom("Emp", "N,D,S");
  EXPECT_EQ("temp(N,D,S)\n'Bela','IT',1000\n", Text(temp_));
  EXPECT_EQ(kEmpty, Text(assign_));
}

TEST_F(ApplyTermTest, UnknownTableUsesUpConditionsAndYieldsNothing) {
  Condition("A", ">5");
  Atom("Nope", "A");
  EXPECT_EQ(kEmpty, Text(assign_));
  EXPECT_EQ("temp()\n", Text(temp_));
  EXPECT_EQ("temp2()\n", Text(temp2_));
}

TEST_F(ApplyTermTest, SecondAtomIsJoinedOnSharedVariables) {
  Atom("Emp", "N,D,S");
  Atom("Boss", "D,H");
  EXPECT_EQ("temp(N,D,S,H)\n'Anna','Sales',1200,'Cecil'\n'Cili','Sales',800,'Cecil'\n",
            Text(temp_));
  EXPECT_EQ("temp2(D,H)\n'Sales','Cecil'\n", Text(temp2_));
}

TEST_F(ApplyTermTest, AtomWithoutCommonVariableJoinsToNothing) {
  Atom("Emp", "N,D,S");
  Atom("Boss", "X,H");
  EXPECT_EQ("temp(N,D,S,X,H)\n", Text(temp_));
}

TEST_F(ApplyTermTest, ResultWithoutRowsIsReplacedByNextAtom) {
  Atom("Emp", "N,'HR',S");
  EXPECT_EQ("temp(N,S)\n", Text(temp_));
  Atom("Boss", "D,H");
  EXPECT_EQ("temp(D,H)\n'Sales','Cecil'\n", Text(temp_));
}

// ---------------------------------------------------------------------------
// Scanning a body.

class EvaluateBodyTest : public ApplyTermTest {
 protected:
  std::string Body(const std::string& body) { return Text(*graph_.evaluateBody(body)); }
};

TEST_F(EvaluateBodyTest, SingleAtom) {
  EXPECT_EQ("temp(N,D,S)\n'Anna','Sales',1200\n'Bela','IT',1000\n'Cili','Sales',800\n",
            Body("Emp(N,D,S)"));
}

TEST_F(EvaluateBodyTest, ConditionAndJoin) {
  EXPECT_EQ("temp(N,D,S,H)\n'Anna','Sales',1200,'Cecil'\n'Cili','Sales',800,'Cecil'\n",
            Body("Boss(D,H),Emp(N,D,S),S>1000"));
}

TEST_F(EvaluateBodyTest, ConditionOnTheLeftDoesNotReachAtomOnTheRight) {
  // S>1000 is recorded after Emp has been evaluated, so Bela's salary is
  // not filtered out. Boss has no S and gets a constant column S holding
  // 1000; the join then pairs rows that agree on D or on S.
  EXPECT_EQ(
      "temp(N,D,S,H)\n'Anna','Sales',1200,'Cecil'\n'Bela','IT',1000,'Cecil'\n"
      "'Cili','Sales',800,'Cecil'\n",
      Body("Boss(D,H),S>1000,Emp(N,D,S)"));
}

TEST_F(EvaluateBodyTest, GreaterOrEqualReadsAsGreaterThanEmpty) {
  EXPECT_EQ("temp(N,D,S)\n'Anna','Sales',1200\n'Bela','IT',1000\n'Cili','Sales',800\n",
            Body("Emp(N,D,S),S>=1100"));
}

TEST_F(EvaluateBodyTest, ComparisonInsideParenthesesIsAnArgument) {
  EXPECT_EQ("temp(N,>1000)\n'Anna',1200\n'Cili',800\n", Body("Emp(N,'Sales',>1000)"));
}

TEST_F(EvaluateBodyTest, QuotedConstantWithEqualsSignStaysWhole) {
  Feed(graph_, {"T(A,B)", "'a=b',1", "'c',2"});
  EXPECT_EQ("temp(B)\n1\n", Body("T('a=b',B)"));
  EXPECT_EQ("temp(B)\n2\n", Body("T(A,B),A=c"));
}

TEST_F(EvaluateBodyTest, TextAfterClosingParenthesisAndBareWordsAreDropped) {
  EXPECT_EQ("temp(D,H,N,S)\n'Sales','Cecil','Anna',1200\n'Sales','Cecil','Cili',800\n",
            Body("Emp(N,D,S)junk,word,Boss(D,H)tail"));
}

TEST_F(EvaluateBodyTest, LeftmostConditionIsAppliedAsAtom) {
  // The term S>1 is taken as an atom of a table named S, which is unknown.
  EXPECT_EQ("temp(N,D,S)\n", Body("S>1,Emp(N,D,S)"));
}

TEST_F(EvaluateBodyTest, EmptyBodyYieldsNothing) { EXPECT_EQ("temp()\n", Body("")); }

TEST_F(EvaluateBodyTest, StoredTablesAreNotChanged) {
  Body("Boss(D,H),Emp(N,D,S),S>1000");
  EXPECT_EQ("Emp(Name,Dept,Salary)\n'Anna','Sales',1200\n'Bela','IT',1000\n'Cili','Sales',800\n",
            Text(*graph_.findTable("Emp")));
  EXPECT_EQ("Boss(Dept,Head)\n'Sales','Cecil'\n", Text(*graph_.findTable("Boss")));
}

// ---------------------------------------------------------------------------
// Evaluating the rules and writing the result.

TEST(ResultOutputTest, EmptyEvaluatorWritesOneEmptyLine) {
  EvaluateGraph graph;
  EXPECT_EQ("\n", Output(graph));
}

TEST(ResultOutputTest, RulesThenDeclaredTablesThenHeadTables) {
  EvaluateGraph graph;
  Feed(graph, {"Emp(Name,Dept,Salary)", "'Anna','Sales',1200", "'Bela','IT',1000",
               "Boss(Dept,Head)", "'Sales','Cecil'", "Rich(N,H)<-Boss(D,H),Emp(N,D,S),S>1000"});
  EXPECT_EQ(
      "Rich(N,H)<-Boss(D,H),Emp(N,D,S),S>1000\n"
      "\n"
      "Emp(Name,Dept,Salary)\n'Anna','Sales',1200\n'Bela','IT',1000\n"
      "\n"
      "Boss(Dept,Head)\n'Sales','Cecil'\n"
      "\n"
      "Rich(N,H)\n'Anna','Cecil'\n"
      "\n",
      Output(graph));
}

TEST(ResultOutputTest, CopiesShareTablesButNotNewHeadTables) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "1", "U(A)", "2", "T(X)<-U(A)", "R(A)<-U(A)"});
  EXPECT_EQ("T(X)<-U(A)\nR(A)<-U(A)\n\nT(A)\n1\n2\n\nU(A)\n2\n\nR(A)\n2\n\n", Output(graph));
  EXPECT_EQ("T(A)\n1\n2\n", Text(*graph.findTable("T")));
  EXPECT_TRUE(graph.ruleTables().empty());
}

TEST(ResultOutputTest, UnboundHeadVariableAddsNothing) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "1", "R(A,B)<-T(A)"});
  graph.evaluateRules();
  ASSERT_EQ(1u, graph.ruleTables().size());
  EXPECT_EQ("R(A,B)\n", Text(*graph.ruleTables()[0]));
}

TEST(ResultOutputTest, RuleSeesRowsOfEarlierRulesOnly) {
  EvaluateGraph graph;
  Feed(graph, {"T(A)", "1", "S(A)<-U(A)", "U(A)<-T(A)", "V(A)<-U(A)"});
  graph.evaluateRules();
  ASSERT_EQ(3u, graph.ruleTables().size());
  EXPECT_EQ("S(A)\n", Text(*graph.ruleTables()[0]));
  EXPECT_EQ("U(A)\n1\n", Text(*graph.ruleTables()[1]));
  EXPECT_EQ("V(A)\n1\n", Text(*graph.ruleTables()[2]));
}

}  // namespace
}  // namespace tablog
