// Tests of tablog-lint: one small script per finding, checked for the
// place, the name and the start of the message; the claims of a few
// findings checked against what the real tablog writes; the executable's
// output format and exit statuses; and the examples, which lint clean but
// for the surprises they show on purpose.
#include "lint/lint.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "lint/graph.h"
#include "tests/run_tablog.h"

namespace {

namespace fs = std::filesystem;
using tablog::Finding;
using tablog::lintScript;

std::string Describe(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) out += tablog::formatFinding("s", f) + "\n";
  return out;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh directory for one test's files.
fs::path TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tablog-lint-XXXXXX").string();
  return mkdtemp(pattern.data());
}

struct Case {
  const char* script;
  int line;
  int column;
  const char* name;
  const char* messageStart;
};

// Each script gives exactly one finding.
const Case kCases[] = {
    {"1,2\nT(A)\n", 1, 1, "data-before-table", "data line before any table declaration"},
    {"T(A,B)\n1,2,3\n", 2, 5, "extra-fields",
     "data line has 3 values but table T has 2 columns: tablog drops the values from the 3rd"},
    {"T(A,B,C)\n1\n", 2, 2, "missing-fields",
     "data line has 1 value but table T has 3 columns: tablog fills B,C with NULL"},
    {"T(A)\n'O'Brien'\n", 2, 3, "apostrophe",
     "single quote inside a value: tablog pairs the quotes of the line, so this one ends or "
     "starts a quoted stretch, and the line gives 1 value"},
    {"T(A,B\n", 1, 6, "bad-declaration", "no \")\" closes the column list"},
    {"(A,B)\n", 1, 1, "bad-declaration", "no table name before \"(\""},
    {"T(A)\n'Smith (Jr)'\n", 2, 8, "bad-declaration",
     "this line holds \"(\", so tablog reads it as a declaration of table \"'Smith \""},
    {"R(A,A)\n", 1, 5, "repeated-column", "table R names the column \"A\" twice"},
    {"T(A)\n1\nR(A)<-U(A),T(A)\n", 3, 7, "unknown-table",
     "no line declares a table \"U\" and no earlier rule makes one: tablog reads the atom as an "
     "empty table, so the rule adds no rows"},
    {"T(A)\n1\nR(A)<-T(A),U(A)\nU(A)<-T(A)\n", 3, 12, "unknown-table",
     "table U is made only by the rule on line 4, which runs later"},
    {"T(X,Y)\n2,1\nG(X,Y)<-T(X,Y),X>Y\n", 3, 18, "two-variables",
     "a condition compares a variable with a constant: tablog compares X with the text \"Y\""},
    {"T(S)\n1\nR(S)<-T(S),S>=5\n", 3, 13, "no-such-operator",
     "tablog has no operator >=: it reads the condition > with an empty value, which keeps every "
     "value of S that is not empty"},
    {"T(S)\n1\nR(S)<-T(S),S!=5\n", 3, 13, "no-such-operator",
     "tablog has no operator !=: it reads a condition =5 on a variable named \"S!\""},
    {"T(S)\n1\nR(S,B)<-T(S),B>5\n", 3, 14, "unbound-condition",
     "no atom on the left of B>5 has B: tablog compares nothing"},
    {"T(N,D)\n1,'IT'\nR(N)<-T(N,D),D='IT'\n", 3, 16, "quoted-condition",
     "the quotes are part of the compared text: tablog compares D with the 4 characters 'IT'"},
    {"P(A,B)\n1,2\nR(B,A)<-P(A,B)\n", 3, 3, "head-order",
     "the body's result holds these columns in the order A,B, and tablog fills R(B,A) in that "
     "order: B gets the values of A, A gets the values of B"},
    {"P(A,B)\n1,2\nR(A,C)<-P(A,B)\n", 3, 5, "head-unbound",
     "the head's column C is not a column of the body's result (no atom of the body names it): "
     "tablog adds no rows"},
    {"E(S)\n800\n1200\nR(S)<-E(S),S>1000\n", 4, 12, "text-comparison",
     "S>1000 compares texts, character by character, not numbers: tablog keeps 800 (E, line 2), "
     "which is not greater than 1000 as a number"},
    {"T(A)\n# the values\n", 2, 1, "comment-as-data",
     "tablog has no comments: this is a data line, and tablog adds it as a row of table T"},
    {"T(A,B)\n'x' ,1\n", 2, 4, "blank",
     "blank at the end of a value: tablog keeps it, and the value is the quoted text \"x'\""},
    {"T(A)\n1\nR(A) <- T(A)\n", 3, 8, "blank",
     "blank next to the table name: tablog looks for a table named \" T\""},
    {"P(X,Y)\n1,2\nA(X,Y)<-P(X,Y)\nA(X,Y)<-P(M,Y),A(X,M)\n", 4, 16, "recursive-rule",
     "the rule reads its own head table A: tablog runs each rule once"},
    {"T(X)\n1\nR(X)<-X>0,T(X)\n", 3, 7, "leading-condition", "the body starts with a condition"},
    {"T(A)\n1\nR(A)<-T(A),A>3,A<7\n", 3, 12, "shadowed-condition",
     "a condition further right on the same variable, A<7, comes first: tablog applies only that "
     "one and drops A>3"},
    // "<2" finds the variables 0A and 1, which "assign" orders as numbers.
    {"T(V)\n1\nR(<2)<-T(<2),0A<6,1>4\n", 3, 19, "shadowed-condition",
     "a condition further left on the same variable, 0A<6, comes first: tablog applies only that "
     "one and drops 1>4"},
    {"E(N,D,S)\n1,1,2\nD(D,F)\n1,9\nR(F,N)<-E(N,D,S),D(D,F),S>0\n", 5, 25, "misplaced-condition",
     "S>0 passes D(D,F), which has no S, on its way to E(N,D,S)"},
    {"P(A,B,C)\n1,2,3\nR(A)<-P(A,B)\n", 3, 12, "atom-arity",
     "P has 3 columns but the atom gives 2 arguments: tablog keeps only the rows whose C is empty"},
    {"P(A,B)\n1,2\nR(X)<-P(X,X)\n", 3, 11, "repeated-variable", "variable X stands twice"},
    {"P(A,B)\n1,2\nR(B)<-P(B,A)\n", 3, 9, "column-clash",
     "variable B is the name of another column of P: tablog renames columns by name, so this "
     "atom's columns come out as (A,A) instead of (B,A)"},
    {"P(X,Y)\n1,2\nQ(X,Y)\n1,9\nR(X)<-P(X,Y),Q(X,Y)\n", 5, 7, "shared-variables",
     "this atom shares the variables X,Y with the atoms on its right"},
    {"T(X)\n1\nU(Y)\n2\nR(X,Y)<-T(X),U(Y)\n", 5, 9, "no-shared-variable",
     "this atom shares no variable with the atoms on its right"},
    // T(1) keeps no column, so it has no rows, and S(Y) starts afresh.
    {"R(X)\n1\nS(Y)\n2\nT(A)\n1\nQ(X,Y)<-R(X),S(Y),T(1)\n", 7, 9, "no-shared-variable",
     "this atom shares no variable with the atoms on its right: those find rows in the script's "
     "data, and tablog joins rows only on a common column, so the join gives none and the rule "
     "adds nothing"},
    // Leftmost, an atom that keeps no column gives no rows, fresh or joined.
    {"T(A)\n1\nU(B)\n2\nR(A)<-T(1),U(B)\n", 5, 7, "no-shared-variable",
     "this atom shares no variable with the atoms on its right: it keeps no column, and tablog "
     "joins rows only on a common column, so whatever those atoms find, the rule adds nothing"},
    // The quote takes the comma: the pattern is the one field 'x,B.
    {"T(A,B)\n1,2\nQ(B)<-T('x,B)\n", 3, 3, "head-unbound",
     "the head's column B is not a column of the body's result (the atoms that name it keep no "
     "column for it)"},
    {"T(A)\n1\nU(A)\n2\nT(X)<-U(A)\n", 5, 1, "head-existing",
     "\"T\" is an existing table (line 1) with the columns (A): tablog ignores the head's (X)"},
    {"T(A)\n1\nR<-T(A)\n", 3, 1, "bad-head", "head has no \"(\""},
    {"T(A)\n1\nR(A)<-T(A)foo\n", 3, 11, "bad-atom", "text \"foo\" after the atom's \")\""},
    {"T(A)\r\n1\r\n", 1, 5, "carriage-return", "line ends with a carriage return (2 lines do)"},
    {"Emp(N,D)\n'Anna','HR'\nR(N)<-Emp(N,HR)\n", 3, 13, "capital-constant",
     "HR begins with a capital, so tablog reads it as a variable, which nothing else in the rule "
     "names: it matches every value of column D of Emp, which holds the text HR on line 2"},
    {"T(A,B)\n1,'x'\nU(C)\nHR\nR(A)<-T(A,HR)\n", 5, 11, "capital-constant",
     "HR begins with a capital, so tablog reads it as a variable, which nothing else in the rule "
     "names: it matches every value of column B of T; the text HR stands in the data on line 4"},
    {"I(K,N,U)\n1,'bolt','s1'\nS(Id,C)\n's1','DE'\nR(N)<-I(K,N,U),S(U,'CH')\n", 5, 16, "empty-atom",
     "this atom finds no rows: no data row of S matches U,'CH'; so the rule gets the rows of the "
     "atoms on its left as if the body ended before this atom"},
    // The condition goes with the atom that finds no rows.
    {"I(N,U)\n'bolt','s1'\nS(Id,C)\nR(N)<-I(N,U),S(U,C),C=CH\n", 4, 14, "empty-atom",
     "this atom finds no rows: S has no data lines; so the rule gets the rows of the atoms on its "
     "left as if the body ended before this atom: C=CH, which this atom used up, restricts "
     "nothing"},
    {"T(A)\n'x'\nx\n'x'\n", 4, 1, "kept-repeat",
     "this row repeats the row of line 2, and tablog keeps both: sorted, the row of line 3 stands "
     "between them, and tablog cannot order it against them (in column A it holds x where they "
     "hold 'x', values of different kinds)"},
    {"T(A,B)\n7,1\n07,2\n7,1\n8,0\n", 4, 1, "kept-repeat",
     "this row repeats the row of line 2, and tablog keeps both: sorted, the row of line 3 stands "
     "between them, and tablog cannot order it against them (in column A it holds 07 where they "
     "hold 7, plain texts that read as one number)"},
    {"Day(Event,Date)\n'a',2024-02-01\n'a',2024-01-05\n", 1, 11, "unsorted-column",
     "the values of column Date of Day are plain texts that all read as the number 2024 "
     "(2024-02-01 on line 2, 2024-01-05 on line 3): tablog orders plain values by the number it "
     "reads at their start, so it does not sort the rows by this column"},
    // A last line without a line feed is read whole.
    {"P(A,B)\n1,2\nR(A,C)<-P(A,B)", 3, 5, "head-unbound", "the head's column C is not a column"},
};

TEST(LintTest, EachFindingHasItsPlaceNameAndMessage) {
  for (const Case& c : kCases) {
    std::vector<Finding> findings = lintScript(c.script);
    ASSERT_EQ(findings.size(), 1u) << c.script << "\n" << Describe(findings);
    const Finding& f = findings[0];
    EXPECT_EQ(f.line, c.line) << c.script;
    EXPECT_EQ(f.column, c.column) << c.script;
    EXPECT_EQ(f.name, c.name) << c.script;
    EXPECT_EQ(f.message.rfind(c.messageStart, 0), 0u) << c.script << "\n" << f.message;
  }
}

TEST(LintTest, FineScriptsGiveNothing) {
  const char* fine[] = {
      "",
      ("Emp(Name,Dept,Salary)\n'Anna','Sales',1200\n'Bela','IT',1000\n"
       "Boss(Dept,Head)\n'Sales','Cecil'\nRich(N,H)<-Boss(D,H),Emp(N,D,S),S>1000\n"),
      // A constant column through a condition after one atom, quoted or not.
      "Emp(N,D)\n'a','x'\nBonus(N,B)<-Emp(N,D),B=100\nTag(N,B)<-Emp(N,D),B='k'\n",
      // Values with inner blanks and commas inside quotes; a blank line is skipped.
      "T(A,B)\nx y,'a, b'\n\n' q','r '\n",
      // A head naming a table an earlier rule made, and a range in two rules.
      "T(A)\n2\n5\n8\nAbove3(A)<-T(A),A>3\nBetween(A)<-Above3(A),A<7\nAbove3(A)<-T(A),A>7\n",
      // Comparisons that agree with numbers on the values held.
      "E(S)\n0800\n1200\nR(S)<-E(S),S>1100\nQ(S)<-E(S),S<2000\n",
      // A condition written twice is one row of conditions, used up once.
      "T(A)\n5\nR(A)<-T(A),A>3,A>3\n",
      // A capitalised value in a condition is the text it reads; a variable
      // that no data holds is a variable.
      "E(N,D,S)\n'a','IT',1\nR(N)<-E(N,D,S),D=IT\n",
      // A one-letter variable that the data holds as a text is a variable.
      "T(A,B)\n1,'S'\nR(A)<-T(A,S)\n",
      // Neighbouring repeats go; plain numbers and quoted dates sort.
      "T(A,B)\n'x',2\n'x',2\n'y',10\n'y',9\nD(Day)\n'2024-02-01'\n'2024-01-05'\n",
  };
  for (const char* script : fine) EXPECT_EQ(Describe(lintScript(script)), "") << script;
}

// What the findings say tablog does, seen in the real tablog's output.
TEST(LintTest, ClaimsHoldInTablog) {
  struct Claim {
    const char* script;
    const char* names;   // of the findings, each followed by a comma
    const char* output;  // the tables part of tablog's output
  };
  const Claim claims[] = {
      {"P(A,B)\n1,2\nR(B,A)<-P(A,B)\n", "head-order,", "P(A,B)\n1,2\n\nR(B,A)\n1,2\n\n"},
      {"T(A)\n1\nR(A)<-U(A),T(A)\n", "unknown-table,", "T(A)\n1\n\nR(A)\n\n"},
      {"E(S)\n800\n1200\nR(S)<-E(S),S>1000\n", "text-comparison,",
       "E(S)\n800\n1200\n\nR(S)\n800\n1200\n\n"},
      {"T(S)\n1\n\nR(S,B)<-T(S),B>5\n", "unbound-condition,", "T(S)\n1\n\nR(S,B)\n1,5\n\n"},
      {"T(S)\n1\n\nR(S)<-T(S),S<=5\n", "no-such-operator,", "T(S)\n1\n\nR(S)\n\n"},
      {"T(A,B,C)\n1\n", "missing-fields,", "T(A,B,C)\n1,NULL,NULL\n\n"},
      {"T(X)\n1\nU(Y)\n2\nR(X,Y)<-T(X),U(Y)\n", "no-shared-variable,",
       "T(X)\n1\n\nU(Y)\n2\n\nR(X,Y)\n\n"},
      {"R(X)\n1\nS(Y)\n2\nT(A)\n1\nQ(X,Y)<-R(X),S(Y),T(1)\n", "no-shared-variable,",
       "R(X)\n1\n\nS(Y)\n2\n\nT(A)\n1\n\nQ(X,Y)\n\n"},
      {"T(A,B)\n1,2\nQ(B)<-T('x,B)\n", "head-unbound,", "T(A,B)\n1,2\n\nQ(B)\n\n"},
      // Two columns A stand in for A and X.
      {"R(A)\n1\nQ(A,X)<-R(Y),A=1,A=2\n", "head-unbound,", "R(A)\n1\n\nQ(A,X)\n2,NULL\n\n"},
      // The atom on the right finds rows or none: nothing, or the left's rows.
      {"E(N,D)\n'a','x'\nD(D,F)\n'HR',1\nR(N)<-E(N,D),D(D,F),D=HR\n", "no-shared-variable,",
       "E(N,D)\n'a','x'\n\nD(D,F)\n'HR',1\n\nR(N)\n\n"},
      {"E(N,D)\n'a','x'\nD(D,F)\n'y',1\nR(N)<-E(N,D),D(D,F),D=HR\n",
       "no-shared-variable,empty-atom,", "E(N,D)\n'a','x'\n\nD(D,F)\n'y',1\n\nR(N)\n'a'\n\n"},
      {"I(N,U)\n'bolt','s1'\nS(Id,C)\n's1','DE'\nR(N)<-I(N,U),S(U,'CH')\n", "empty-atom,",
       "I(N,U)\n'bolt','s1'\n\nS(Id,C)\n's1','DE'\n\nR(N)\n'bolt'\n\n"},
      {"E(N,D)\n'a','HR'\n'b','IT'\nR(N)<-E(N,HR)\n", "capital-constant,",
       "E(N,D)\n'a','HR'\n'b','IT'\n\nR(N)\n'a'\n'b'\n\n"},
      {"T(A)\n'x'\nx\n'x'\n", "kept-repeat,", "T(A)\n'x'\nx\n'x'\n\n"},
      {"D(Day)\n2024-02-01\n2024-01-05\n2024-03-01\n", "unsorted-column,",
       "D(Day)\n2024-02-01\n2024-01-05\n2024-03-01\n\n"},
      // What the atom on its right found goes too, and N>c still stands.
      {"I(N,U)\n'bolt','s1'\n'nut','s2'\nS(U,C)\n's1','FR'\nR(N)<-I(N,U),S(U,'CH'),S(U,C),N>c\n",
       "empty-atom,misplaced-condition,",
       "I(N,U)\n'bolt','s1'\n'nut','s2'\n\nS(U,C)\n's1','FR'\n\nR(N)\n'nut'\n\n"},
  };
  fs::path dir = TempDir();
  for (const Claim& c : claims) {
    std::string names;
    for (const Finding& f : lintScript(c.script)) names += f.name + ",";
    EXPECT_EQ(names, c.names) << c.script;
    WriteText(dir / "s.tl", c.script);
    tablog_test::RunResult run = tablog_test::RunTablog({dir / "s.tl", dir / "s.out"});
    ASSERT_EQ(run.status, 0);
    std::string out = ReadText(dir / "s.out");
    std::size_t tables = out.find("\n\n");
    ASSERT_NE(tables, std::string::npos);
    std::string rest = out.substr(tables + 2);
    if (out[0] == '\n') rest = out.substr(1);
    EXPECT_EQ(rest, c.output) << c.script;
  }
  fs::remove_all(dir);
}

// The graph of a script whose last rule has no line feed draws that rule.
TEST(LintTest, GraphReadsALastLineWithoutLineFeed) {
  std::string dot = tablog::scriptGraph("T(A)\n1\nR(A)<-T(A)");
  EXPECT_NE(dot.find("label=\"R(A)<-T(A)\""), std::string::npos) << dot;
}

struct LintRun {
  int status;
  std::string out, err;
};

LintRun RunLint(const fs::path& dir, const std::vector<std::string>& args,
                const std::string& input = "/dev/null") {
  std::string command = std::string("'") + TABLOG_LINT_BINARY + "' <'" + input + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + (dir / "out.txt").string() + "' 2>'" + (dir / "err.txt").string() + "'";
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir / "out.txt"),
          ReadText(dir / "err.txt")};
}

TEST(LintTest, ExecutableExitsByWhatItFound) {
  fs::path dir = TempDir();
  std::string clean = (dir / "clean.tl").string(), warned = (dir / "warned.tl").string(),
              missing = (dir / "missing.tl").string();
  WriteText(clean, "T(A)\n1\nR(A)<-T(A)\n");
  WriteText(warned, "1\nT(A,B)\n1,2,3\n");

  LintRun run = RunLint(dir, {clean});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");

  run = RunLint(dir, {clean, warned});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, warned +
                         ":1:1: warning: data line before any table declaration: tablog drops it "
                         "[data-before-table]\n" +
                         warned +
                         ":3:5: warning: data line has 3 values but table T has 2 columns: "
                         "tablog drops the values from the 3rd on [extra-fields]\n");
  EXPECT_EQ(run.err, "");

  run = RunLint(dir, {warned, missing, clean});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "tablog-lint: cannot read " + missing + "\n");
  EXPECT_NE(run.out.find("[extra-fields]"), std::string::npos);

  run = RunLint(dir, {dir.string()});  // a directory is no script
  EXPECT_EQ(run.status, 2);
  run = RunLint(dir, {});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("usage"), std::string::npos);

  // "-" reads standard input and names it so; the options answer alone.
  run = RunLint(dir, {"-"}, warned);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("-:1:1: warning: data line before any table declaration", 0), 0u);
  run = RunLint(dir, {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "tablog-lint " TABLOG_VERSION "\n");
  run = RunLint(dir, {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: tablog-lint", 0), 0u);
  fs::remove_all(dir);
}

// The graph of every example renders with dot; the second step of the
// ancestors example reads Anc before the third rule fills it: one red arrow.
TEST(LintTest, GraphOfEveryExampleRenders) {
  fs::path dir = TempDir();
  int rendered = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(TABLOG_SOURCE_DIR) / "examples")) {
    if (entry.path().extension() != ".tl") continue;
    LintRun run = RunLint(dir, {"--graph", entry.path().string()});
    ASSERT_EQ(run.status, 0) << entry.path();
    std::string dot = (dir / "graph.dot").string();
    WriteText(dot, run.out);
    std::string command = "dot -Tsvg '" + dot + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << entry.path() << "\n" << run.out;
    if (entry.path().filename() == "ancestors.tl") {
      EXPECT_NE(run.out.find("t1 -> r1 [color=red];"), std::string::npos) << run.out;
      EXPECT_EQ(run.out.find("color=red"), run.out.rfind("color=red")) << run.out;
    }
    ++rendered;
  }
  EXPECT_GT(rendered, 5);
  fs::remove_all(dir);
}

// The examples lint clean, except those that show a surprise on purpose
// (README.md says why).
TEST(LintTest, ExamplesLintCleanButForTheirShownSurprises) {
  const std::vector<std::pair<std::string, std::string>> shown = {
      {"ancestors.tl", "recursive-rule,recursive-rule,"},
      {"grandparents.tl", "head-order,"},
      {"prices.tl", "text-comparison,"},
  };
  int examples = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(TABLOG_SOURCE_DIR) / "examples")) {
    if (entry.path().extension() != ".tl") continue;
    ++examples;
    std::string names;
    for (const Finding& f : lintScript(ReadText(entry.path()))) names += f.name + ",";
    std::string expected;
    for (const auto& [file, found] : shown) {
      if (entry.path().filename() == file) expected = found;
    }
    EXPECT_EQ(names, expected) << entry.path();
  }
  EXPECT_GE(examples, 7);
}

}  // namespace
