// End-to-end tests: run the real tablog executable on scripts written to a
// temporary directory and compare the output file byte for byte, together
// with what the program prints and its exit status. Every example in
// examples/ is run against its expected output, so a new example is covered
// as soon as its NAME.tl and NAME.out are added.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/run_tablog.h"

namespace {

namespace fs = std::filesystem;

using tablog_test::RunResult;
using tablog_test::RunTablog;

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

// The contents of `path`; false when it cannot be opened.
bool ReadFile(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *data = text.str();
  return true;
}

std::string FileText(const std::string& path) {
  std::string data;
  EXPECT_TRUE(ReadFile(path, &data)) << path;
  return data;
}

class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tablog_e2e_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs `script` and returns the output file; a successful run prints
  // nothing and exits with 0.
  std::string Evaluate(const std::string& script) {
    WriteFile(Path("script.tl"), script);
    RunResult run = RunTablog({Path("script.tl"), Path("out.txt")});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.console);
    return FileText(Path("out.txt"));
  }

  std::string dir_;
};

// ---------------------------------------------------------------------------
// The examples shipped with the program.

using ExampleTest = TempDirTest;

TEST_F(ExampleTest, EveryExampleGivesItsExpectedOutput) {
  const fs::path examples = fs::path(TABLOG_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(examples)) {
    if (entry.path().extension() != ".tl") continue;
    fs::path expectedPath = entry.path();
    expectedPath.replace_extension(".out");
    SCOPED_TRACE(entry.path().string());
    std::string expected;
    ASSERT_TRUE(ReadFile(expectedPath.string(), &expected)) << "missing " << expectedPath;
    std::string output = Path(entry.path().stem().string() + ".out");
    RunResult run = RunTablog({entry.path().string(), output});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.console);
    EXPECT_EQ(expected, FileText(output));
    ++checked;
  }
  EXPECT_GE(checked, 1);
}

TEST_F(ExampleTest, Employees) {
  EXPECT_EQ(
      "Rich(N,H)<-Boss(D,H),Emp(N,D,S),S>1000\n"
      "\n"
      "Emp(Name,Dept,Salary)\n"
      "'Anna','Sales',1200\n"
      "'Bela','IT',1000\n"
      "\n"
      "Boss(Dept,Head)\n"
      "'Sales','Cecil'\n"
      "\n"
      "Rich(N,H)\n"
      "'Anna','Cecil'\n"
      "\n",
      Evaluate("Emp(Name,Dept,Salary)\n"
               "'Anna','Sales',1200\n"
               "'Bela','IT',1000\n"
               "Boss(Dept,Head)\n"
               "'Sales','Cecil'\n"
               "Rich(N,H)<-Boss(D,H),Emp(N,D,S),S>1000\n"));
}

// ---------------------------------------------------------------------------
// Reading the script: lines, declarations and data lines.

using ScriptFileTest = TempDirTest;

TEST_F(ScriptFileTest, EmptyScriptWritesOneEmptyLine) { EXPECT_EQ("\n", Evaluate("")); }

TEST_F(ScriptFileTest, FinalLineFeedMakesNoDifference) {
  EXPECT_EQ("\nT(A)\n1\n\n", Evaluate("T(A)\n1"));
  EXPECT_EQ("\nT(A)\n1\n\n", Evaluate("T(A)\n1\n"));
}

TEST_F(ScriptFileTest, EmptyLinesAreIgnored) {
  EXPECT_EQ("\nT(A)\n1\n2\n\n", Evaluate("\n\nT(A)\n\n2\n\n\n1\n\n"));
}

TEST_F(ScriptFileTest, LongLinesAreReadWhole) {
  const std::string a297(297, 'a'), a298(298, 'a'), a5000(5000, 'a');
  // Lines of 299, 300 and 5002 characters; quoted texts order as bytes, a
  // prefix first.
  const std::string script = "T(A)\n'" + a5000 + "'\n'" + a298 + "'\n'" + a297 + "'\n";
  EXPECT_EQ("\nT(A)\n'" + a297 + "'\n'" + a298 + "'\n'" + a5000 + "'\n\n", Evaluate(script));
}

TEST_F(ScriptFileTest, LongRuleLineIsReadWhole) {
  const std::string pad(400, 'x');
  const std::string rule = "R(A)<-T(A)" + pad + ",T(A)";
  EXPECT_EQ(rule + "\n\nT(A)\n1\n\nR(A)\n1\n\n", Evaluate("T(A)\n1\n" + rule + "\n"));
}

TEST_F(ScriptFileTest, NulCutsItsLine) {
  const std::string script("T(A)\nab\0cd\n\0zz\nef\n", 18);
  EXPECT_EQ("\nT(A)\nab\nef\n\n", Evaluate(script));
}

TEST_F(ScriptFileTest, CarriageReturnIsAnOrdinaryCharacter) {
  // "\r" after the declaration's ")" is dropped; in the data line it
  // belongs to the value; the rule line is written as read.
  EXPECT_EQ("R(A)<-T(A)\r\n\nT(A)\n1\r\n\nR(A)\n1\r\n\n", Evaluate("T(A)\r\n1\r\nR(A)<-T(A)\r\n"));
}

TEST_F(ScriptFileTest, DataLineBeforeFirstDeclarationIsIgnored) {
  EXPECT_EQ("\nT(A)\n2\n\n", Evaluate("1\n'x','y'\nT(A)\n2\n"));
}

TEST_F(ScriptFileTest, DataLinesAreSortedAndRepeatsDropped) {
  EXPECT_EQ("\nT(A,B)\n1,'z'\n2,'b'\n10,'a'\n\nU(C)\n'a'\n'b'\n\n",
            Evaluate("T(A,B)\n2,'b'\n10,'a'\n1,'z'\n2,'b'\nU(C)\n'b'\n'a'\n'b'\n"));
}

TEST_F(ScriptFileTest, ValuesAreWrittenByKind) {
  // A quoted value keeps its inner commas, a missing field is NULL, the
  // word NULL is a plain value, blanks are kept.
  EXPECT_EQ("\nT(A,B,C)\n'',x y, 3\n'a,b',NULL,NULL\n\n",
            Evaluate("T(A,B,C)\n'a,b',,NULL\n'',x y, 3\n"));
}

TEST_F(ScriptFileTest, DeclarationsKeepBlanksAndDropTrailingText) {
  EXPECT_EQ(
      "\n"
      "Emp (Name, Dept)\n'Anna', 'IT'\n\n"
      "T(A)\nx<\n1<2\n\n"
      "(X)\n  \n\n"
      "c(d)\n\n"
      "U()\n\n",
      Evaluate("Emp (Name, Dept)\n'Anna', 'IT'\nT(A)tail\n1<2\nx<\n(X)\n  \na(b)c(d)e\nU(A,B\n"));
}

TEST_F(ScriptFileTest, RedeclaredNameTakesDataButRulesSeeTheFirst) {
  EXPECT_EQ("R(A)<-T(A)\n\nT(A)\n1\n\nT(A)\n2\n\nR(A)\n1\n\n",
            Evaluate("T(A)\n1\nT(A)\n2\nR(A)<-T(A)\n"));
}

TEST_F(ScriptFileTest, RuleBeforeDeclarationsSeesAllData) {
  EXPECT_EQ("R(A)<-T(A)\n\nT(A)\n1\n2\n\nR(A)\n1\n2\n\n", Evaluate("R(A)<-T(A)\nT(A)\n1\n2\n"));
}

TEST_F(ScriptFileTest, LineWithArrowAnywhereIsRule) {
  EXPECT_EQ("T(A)<-\n\nT(A)\n1\n\n", Evaluate("T(A)\n1\nT(A)<-\n"));
}

// ---------------------------------------------------------------------------
// Rules.

using RuleTest = TempDirTest;

constexpr char kEmp[] =
    "Emp(Name,Dept,Salary)\n"
    "'Anna','Sales',1200\n"
    "'Bela','IT',1000\n"
    "'Cili','Sales',800\n";

TEST_F(RuleTest, AtomWithVariablesCopiesDistinctRows) {
  EXPECT_EQ("C(A,B)<-T(A,B,W)\n\nT(A,B,C)\n1,2,3\n1,2,4\n5,6,7\n\nC(A,B)\n1,2\n5,6\n\n",
            Evaluate("T(A,B,C)\n1,2,3\n1,2,4\n5,6,7\nC(A,B)<-T(A,B,W)\n"));
}

TEST_F(RuleTest, ConstantArgumentsSelectRowsAndDropTheirColumns) {
  EXPECT_EQ(std::string("Q(N)<-Emp(N,'Sales',S)\nP(N,D)<-Emp(N,D,1000)\n\n") + kEmp +
                "\nQ(N)\n'Anna'\n'Cili'\n\nP(N,D)\n'Bela','IT'\n\n",
            Evaluate(std::string(kEmp) + "Q(N)<-Emp(N,'Sales',S)\nP(N,D)<-Emp(N,D,1000)\n"));
}

TEST_F(RuleTest, ConditionsCompareTexts) {
  // 800 comes after 1000 as text; D=IT asks for the text IT.
  EXPECT_EQ(std::string("G(N)<-Emp(N,D,S),S>1000\nL(N)<-Emp(N,D,S),S<1000\nE(N)<-Emp(N,D,S),D=IT\n"
                        "\n") +
                kEmp + "\nG(N)\n'Anna'\n'Cili'\n\nL(N)\n\nE(N)\n'Bela'\n\n",
            Evaluate(std::string(kEmp) +
                     "G(N)<-Emp(N,D,S),S>1000\nL(N)<-Emp(N,D,S),S<1000\nE(N)<-Emp(N,D,S),D=IT\n"));
}

TEST_F(RuleTest, QuotedOperandKeepsItsQuotes) {
  EXPECT_EQ(std::string("E(N)<-Emp(N,D,S),D='IT'\n\n") + kEmp + "\nE(N)\n\n",
            Evaluate(std::string(kEmp) + "E(N)<-Emp(N,D,S),D='IT'\n"));
}

TEST_F(RuleTest, ConditionRestrictsOnlyAtomsOnItsLeft) {
  const std::string tables = "P(K,A)\n1,2\n2,5\n3,8\n\nQ(K,B)\n1,2\n2,5\n3,8\n\n";
  EXPECT_EQ(
      "X(K)<-P(K,A),Q(K,B),B>3\nY(K)<-P(K,A),A>3,Q(K,B)\nZ(K)<-P(K,A),B>3,Q(K,B)\n\n" + tables +
          "X(K)\n2\n3\n\nY(K)\n2\n3\n\nZ(K)\n1\n2\n3\n\n",
      Evaluate("P(K,A)\n1,2\n2,5\n3,8\nQ(K,B)\n1,2\n2,5\n3,8\n"
               "X(K)<-P(K,A),Q(K,B),B>3\nY(K)<-P(K,A),A>3,Q(K,B)\nZ(K)<-P(K,A),B>3,Q(K,B)\n"));
}

TEST_F(RuleTest, OfTwoConditionsOnOneVariableTheRightmostApplies) {
  EXPECT_EQ(
      "R(A)<-T(A),A>3,A<7\nS(A)<-T(A),A<7,A>3\n\nT(A)\n2\n5\n8\n\nR(A)\n2\n5\n\nS(A)\n5\n8\n\n",
      Evaluate("T(A)\n8\n2\n5\nR(A)<-T(A),A>3,A<7\nS(A)<-T(A),A<7,A>3\n"));
}

TEST_F(RuleTest, UnusedConditionAddsConstantColumn) {
  EXPECT_EQ(
      "R(A,C)<-T(A),C='k'\nS(A,C)<-T(A),C=7\nU(A,C)<-T(A),C>x\n\n"
      "T(A)\n1\n2\n\n"
      "R(A,C)\n1,'k'\n2,'k'\n\nS(A,C)\n1,7\n2,7\n\nU(A,C)\n1,x\n2,x\n\n",
      Evaluate("T(A)\n1\n2\nR(A,C)<-T(A),C='k'\nS(A,C)<-T(A),C=7\nU(A,C)<-T(A),C>x\n"));
}

TEST_F(RuleTest, HeadNamingDeclaredTableAddsToIt) {
  // The head's own column list is not used: T keeps its column A.
  EXPECT_EQ("T(Q,R)<-U(A)\n\nT(A)\n1\n2\n\nU(B)\n2\n\n",
            Evaluate("T(A)\n1\nU(B)\n2\nT(Q,R)<-U(A)\n"));
}

TEST_F(RuleTest, RepeatedHeadsAddToOneTable) {
  EXPECT_EQ("R(A)<-T(A)\nR(A)<-U(A)\n\nT(A)\n1\n\nU(A)\n2\n\nR(A)\n1\n2\n\n",
            Evaluate("T(A)\n1\nU(A)\n2\nR(A)<-T(A)\nR(A)<-U(A)\n"));
}

TEST_F(RuleTest, HeadVariablesTakeTheBodyColumnOrder) {
  // The body's columns come from the rightmost atom first: U(K,Y) gives K,Y
  // and T(K,X) adds X, so S's columns X,Y receive Y's and X's values.
  EXPECT_EQ(
      "R(X,K)<-T(K,X)\nS(X,Y)<-T(K,X),U(K,Y)\n\n"
      "T(K,X)\n1,'a'\n\nU(K,Y)\n1,'b'\n\n"
      "R(X,K)\n1,'a'\n\nS(X,Y)\n'b','a'\n\n",
      Evaluate("T(K,X)\n1,'a'\nU(K,Y)\n1,'b'\nR(X,K)<-T(K,X)\nS(X,Y)<-T(K,X),U(K,Y)\n"));
}

TEST_F(RuleTest, UnboundHeadVariableAddsNothing) {
  EXPECT_EQ("R(A,B)<-T(A)\nP(X,Y)<-T(A)\n\nT(A)\n1\n\nP(A,B)\n\nR(A,B)\n\n",
            Evaluate("T(A)\n1\nP(A,B)\nR(A,B)<-T(A)\nP(X,Y)<-T(A)\n"));
}

TEST_F(RuleTest, TextAfterClosingParenthesisIsDropped) {
  EXPECT_EQ(
      "R(A)<-T(A)zz,U(A)yy\nS(A)<-T(A)zz\nV(A)<-T(A),junk,U(A)\n\n"
      "T(A)\n1\n2\n\nU(A)\n2\n3\n\nR(A)\n2\n\nS(A)\n1\n2\n\nV(A)\n2\n\n",
      Evaluate(
          "T(A)\n1\n2\nU(A)\n2\n3\nR(A)<-T(A)zz,U(A)yy\nS(A)<-T(A)zz\nV(A)<-T(A),junk,U(A)\n"));
}

TEST_F(RuleTest, GreaterOrEqualReadsAsGreaterThanNothing) {
  // S>=5 records ">" with an empty value: every non-empty text passes.
  EXPECT_EQ("R(A)<-T(A),A>=5\n\nT(A)\n3\n7\n''\n\nR(A)\n3\n7\n\n",
            Evaluate("T(A)\n3\n7\n''\nR(A)<-T(A),A>=5\n"));
}

TEST_F(RuleTest, ComparisonInsideParenthesesIsAnArgument) {
  // ">1000" names the salary column and keeps the salaries after 1000 as
  // text; 0900 does not come after it, 800 does.
  EXPECT_EQ(
      std::string("R(N,>1000)<-Emp(N,'Sales',>1000)\n\n") + kEmp +
          "'Dani','Sales',0900\n\nR(N,>1000)\n'Anna',1200\n'Cili',800\n\n",
      Evaluate(std::string(kEmp) + "'Dani','Sales',0900\nR(N,>1000)<-Emp(N,'Sales',>1000)\n"));
}

TEST_F(RuleTest, QuotedConstantWithEqualsSignStaysWhole) {
  EXPECT_EQ(
      "R(B)<-T('a=b',B)\nS(B)<-T(A,B),A=c\n\nT(A,B)\n'a=b',1\n'c',2\n\nR(B)\n1\n\nS(B)\n2\n\n",
      Evaluate("T(A,B)\n'c',2\n'a=b',1\nR(B)<-T('a=b',B)\nS(B)<-T(A,B),A=c\n"));
}

TEST_F(RuleTest, FewerArgumentsThanColumnsAskForEmptyValues) {
  EXPECT_EQ("R(A)<-T(A)\n\nT(A,B)\n1,2\n3,NULL\n\nR(A)\n3\n\n",
            Evaluate("T(A,B)\n3\n1,2\nR(A)<-T(A)\n"));
}

TEST_F(RuleTest, UnknownTableYieldsNothingButUsesUpConditions) {
  // In S the condition A>5 is used up by Nope, so T is not filtered; and
  // as Nope yields no rows, T's rows stand alone.
  EXPECT_EQ(
      "R(A)<-Nope(A)\nS(A)<-T(A),Nope(A),A>5\nU(A)<-T(A),A>5\nV(A)<-A>5,T(A)\n\n"
      "T(A)\n3\n7\n\nR(A)\n\nS(A)\n3\n7\n\nU(A)\n7\n\nV(A)\n\n",
      Evaluate("T(A)\n7\n3\nR(A)<-Nope(A)\nS(A)<-T(A),Nope(A),A>5\nU(A)<-T(A),A>5\n"
               "V(A)<-A>5,T(A)\n"));
}

TEST_F(RuleTest, AtomWithoutOpenColumnEvaluatedFirstLeavesNoRow) {
  // T(1) and T(2) keep no column. Evaluated first, such an atom is joined
  // with itself: without a common column that gives no row, so R gets
  // nothing and in X the atom T(A) starts afresh.
  EXPECT_EQ(
      "R<-T(1)\nX(A)<-T(A),T(2)\n\n"
      "T(A)\n1\n2\n\n"
      "()\n\n"
      "X(A)\n1\n2\n\n",
      Evaluate("T(A)\n1\n2\nR<-T(1)\nX(A)<-T(A),T(2)\n"));
  EXPECT_EQ("R(X)<-U(X),T(1)\n\nU(X)\n2\n\nT(A)\n1\n\nR(X)\n2\n\n",
            Evaluate("U(X)\n2\nT(A)\n1\nR(X)<-U(X),T(1)\n"));
}

TEST_F(RuleTest, RuleSeesRowsOfEarlierRulesOnly) {
  EXPECT_EQ("S(A)<-U(A)\nU(A)<-T(A)\nV(A)<-U(A)\n\nT(A)\n1\n\nS(A)\n\nU(A)\n1\n\nV(A)\n1\n\n",
            Evaluate("T(A)\n1\nS(A)<-U(A)\nU(A)<-T(A)\nV(A)<-U(A)\n"));
}

TEST_F(RuleTest, HeadWithoutParenthesisMakesUnnamedTable) {
  // The table has no columns; the body's one row becomes a row without
  // fields, written as an empty line.
  EXPECT_EQ("R<-T(A)\n\nT(A)\n1\n\n()\n\n\n", Evaluate("T(A)\n1\nR<-T(A)\n"));
}

TEST_F(RuleTest, RuleWithoutHeadOrBodyAddsNothing) {
  // Both heads lack "(": each makes a new table with the empty name and no
  // columns. The empty body names no table.
  EXPECT_EQ("<-\nR(A)<-\n\nT(A)\n1\n\n()\n\nR(A)\n\n", Evaluate("T(A)\n1\n<-\nR(A)<-\n"));
}

TEST_F(RuleTest, WithSeveralArrowsTheLastTwoBoundTheHead) {
  EXPECT_EQ("X(A)<-R(A)<-T(A)\n\nT(A)\n1\n\nR(A)\n1\n\n", Evaluate("T(A)\n1\nX(A)<-R(A)<-T(A)\n"));
}

TEST_F(RuleTest, ComparisonsWithEmptyValues) {
  // "=" with nothing after it asks for an empty text; "<" for a text before
  // the empty one, which there is not.
  EXPECT_EQ("E(B)<-T(A,B),A=\nL(B)<-T(A,B),A<\n\nT(A,B)\n1,'x'\n'','y'\n\nE(B)\n'y'\n\nL(B)\n\n",
            Evaluate("T(A,B)\n1,'x'\n'','y'\nE(B)<-T(A,B),A=\nL(B)<-T(A,B),A<\n"));
}

}  // namespace
