// Bad-input tests: hostile or malformed scripts and unusable file arguments,
// run through the real executable so that the reading of the file, the exit
// status, the console messages and the exact bytes of the output file are
// all checked together (the command line itself is command_line_test.cc's).
// Inputs that the fuzzer once found problematic are
// kept under fuzz/regressions/ and replayed here in-process.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "gtest/gtest.h"
#include "tests/random_cases.h"
#include "tests/run_tablog.h"

namespace tablog {
namespace {

namespace fs = std::filesystem;

// What one run of the executable gave.
using tablog_test::RunResult;
using tablog_test::RunTablog;

// The bytes of a string literal, NULs included, without the final NUL.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// The output text that the script `script` gives when run in-process.
std::string RunInProcess(const std::string& script) {
  std::ostringstream out;
  runScript(script, out);
  return out.str();
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  text.reserve(piece.size() * static_cast<std::size_t>(times));
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// Each test gets a fresh directory with a script and an output path in it.
class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tablog-bad-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    script_ = dir_ / "script.tl";
    output_ = dir_ / "out.txt";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Writes `script` to the script file, runs the program on it and checks
  // a clean run: status 0, nothing on the console.
  std::string RunScriptFile(const std::string& script) {
    WriteFile(script_, script);
    RunResult run = RunTablog({script_.string(), output_.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, "");
    return ReadFile(output_);
  }

  fs::path dir_, script_, output_;
};

// ---------------------------------------------------------------------------
// Hostile script contents.

TEST_F(BadInputTest, BinaryGarbageIsReadAsOrdinaryCharacters) {
  // A declaration with high bytes in name and column, a data line with a
  // surplus field, a line that a NUL empties, and control characters.
  std::string script = Bytes("\xff\xfe(\x80\x01)\x90\n\xc3\xa9,\x01\n\0zz\n\x7f\x1b");
  ASSERT_EQ(script.size(), 19u);
  EXPECT_EQ(RunScriptFile(script), "\n\xff\xfe(\x80\x01)\n\xc3\xa9\n\x7f\x1b\n\n");
}

TEST_F(BadInputTest, PseudoRandomBytesRunCleanly) {
  // 64 KiB from a fixed generator, with a line feed now and then so that
  // the lines stay short. Whatever it means, the program must finish and
  // agree with the in-process run.
  std::string script;
  std::uint32_t state = 12345;
  for (int i = 0; i < 65536; ++i) {
    state = state * 1103515245u + 12345u;
    char c = static_cast<char>(state >> 24);
    if ((state >> 16) % 97 == 0) c = '\n';
    script += c;
  }
  EXPECT_EQ(RunScriptFile(script), RunInProcess(script));
}

TEST_F(BadInputTest, LinesAcrossReadBlocksAgreeWithTheWholeText) {
  // The program reads its script a block at a time; lines of every length,
  // some with NULs and carriage returns, straddle the block boundaries.
  std::string script = "T(A,B)\nU(B,C)\nR(A,C)<-T(A,B),U(B,C)\n";
  std::uint32_t state = 7;
  while (script.size() < (std::size_t{5} << 16)) {
    state = state * 1103515245u + 12345u;
    std::size_t length = (state >> 8) % 9000;
    std::string line = std::to_string(state % 50) + ",'" + std::string(length, 'v') + "'";
    if (state % 7 == 0) line[line.size() / 2] = '\0';
    if (state % 11 == 0) line += '\r';
    if (state % 13 == 0) script += "U(B,C)\n";
    script += line + "\n";
  }
  EXPECT_EQ(RunScriptFile(script), RunInProcess(script));
}

TEST_F(BadInputTest, TenMegabyteLineBecomesOneRow) {
  const std::string value(10 << 20, 'x');
  EXPECT_EQ(RunScriptFile("T(A)\n" + value + "\n"), "\nT(A)\n" + value + "\n\n");
}

TEST_F(BadInputTest, TenMegabyteLineBeforeAnyDeclarationIsIgnored) {
  EXPECT_EQ(RunScriptFile(std::string(10 << 20, 'x')), "\n");
}

TEST_F(BadInputTest, RuleWithFiveThousandAtoms) {
  std::string rule = "R(X)<-T(X)" + Repeat(",T(X)", 4999);
  EXPECT_EQ(RunScriptFile("T(A)\n1\n2\n" + rule + "\n"), rule + "\n\nT(A)\n1\n2\n\nR(X)\n1\n2\n\n");
}

TEST_F(BadInputTest, NulCutsItsLine) {
  // "1\0" + "2" keeps 1; a line that starts with NUL is empty (so no rule);
  // "ab\0<-c" keeps the data line ab. Plain 1 reads greater than plain ab.
  std::string script = Bytes(
      "T(A)\n1\0"
      "2\n\0R(X)<-T(X)\nab\0<-c\n");
  ASSERT_EQ(script.size(), 28u);
  EXPECT_EQ(RunScriptFile(script), "\nT(A)\nab\n1\n\n");
}

TEST_F(BadInputTest, CarriageReturnStaysAnOrdinaryCharacter) {
  // The CR after ")" of a declaration is dropped with the rest of the line
  // after it; in a data line it ends the last value; a rule keeps it.
  EXPECT_EQ(RunScriptFile("T(A,B)\r\n1,2\r\nR(X)<-T(X,Y)\r\n"),
            "R(X)<-T(X,Y)\r\n\nT(A,B)\n1,2\r\n\nR(X)\n1\n\n");
}

TEST_F(BadInputTest, CarriageReturnInNamesIsPartOfTheName) {
  // The head "R(X\r)" has a column named "X\r", which the body never binds.
  EXPECT_EQ(RunScriptFile("T(A\r)\r\n1\r\nR(X\r)<-T(X)\r\n"),
            "R(X\r)<-T(X)\r\n\nT(A\r)\n1\r\n\nR(X\r)\n\n");
}

TEST_F(BadInputTest, ThousandsOfParenthesesInADeclaration) {
  // The name and the column list are empty: a table "()" without columns.
  EXPECT_EQ(RunScriptFile(Repeat("(", 3000) + Repeat(")", 3000) + "\n"), "\n()\n\n");
}

TEST_F(BadInputTest, ThousandsOfParenthesesInARuleBody) {
  std::string rule = "R(X)<-" + Repeat("(", 3000) + Repeat(")", 3000);
  EXPECT_EQ(RunScriptFile("T(A)\n1\n" + rule + "\n"), rule + "\n\nT(A)\n1\n\nR(X)\n\n");
}

TEST_F(BadInputTest, ThousandsOfNestedParenthesesAroundAnAtom) {
  // Outside the atom's own parentheses the nesting flips the scan's sense
  // of inside and outside; the term that is applied has the empty name.
  std::string rule = "R(X)<-" + Repeat("(", 3000) + "T(X)" + Repeat(")", 3000);
  EXPECT_EQ(RunScriptFile("T(A)\n1\n" + rule + "\n"), rule + "\n\nT(A)\n1\n\nR(X)\n\n");
}

// A header line, a data line and a rule over `count` columns named
// C0, C1, ..., with the values 0, 1, ... and the variables V0, V1, ...
struct WideTable {
  explicit WideTable(int count) {
    for (int i = 0; i < count; ++i) {
      if (i > 0) {
        columns += ',';
        values += ',';
        variables += ',';
      }
      const std::string number = std::to_string(i);
      columns.append("C").append(number);
      values.append(number);
      variables.append("V").append(number);
    }
  }
  std::string columns, values, variables;
};

TEST_F(BadInputTest, DeclarationWithTenThousandColumns) {
  // The rule binds only the first column: the condition fields it does not
  // reach are empty and match no value of the row, so R stays empty.
  WideTable wide(10000);
  EXPECT_EQ(RunScriptFile("T(" + wide.columns + ")\n" + wide.values + "\nR(X)<-T(X)\n"),
            "R(X)<-T(X)\n\nT(" + wide.columns + ")\n" + wide.values + "\n\nR(X)\n\n");
}

TEST_F(BadInputTest, RuleBindingTenThousandColumns) {
  WideTable wide(10000);
  std::string rule = "R(V9999)<-T(" + wide.variables + ")";
  EXPECT_EQ(RunScriptFile("T(" + wide.columns + ")\n" + wide.values + "\n" + rule + "\n"),
            rule + "\n\nT(" + wide.columns + ")\n" + wide.values + "\n\nR(V9999)\n9999\n\n");
}

// Rows that agree on a hundred thousand columns and differ only in the
// kind of the last: ordering them walks every column, and must not run out
// of stack. 'a' and 5 never compare, so each new row stops at the end
// unless it passes a greater plain value (3 passes 5).
TEST_F(BadInputTest, RowsAgreeingOnAHundredThousandColumns) {
  std::string columns, prefix;
  for (int i = 0; i < 100000; ++i) {
    columns += (i > 0 ? ",c" : "c") + std::to_string(i);
    if (i + 1 < 100000) prefix += "1,";
  }
  std::string a = prefix + "'a'", five = prefix + "5", three = prefix + "3";
  EXPECT_EQ(RunInProcess("T(" + columns + ")\n" + a + "\n" + five + "\n" + three + "\n" + a + "\n"),
            "\nT(" + columns + ")\n" + a + "\n" + three + "\n" + five + "\n" + a + "\n\n");
}

TEST_F(BadInputTest, RuleOverUnknownTableAddsNothing) {
  EXPECT_EQ(RunScriptFile("R(X)<-U(X)\n"), "R(X)<-U(X)\n\nR(X)\n\n");
}

TEST_F(BadInputTest, RuleWithEmptyBodyAddsNothing) {
  EXPECT_EQ(RunScriptFile("T(A)\n1\nE(X)<-\n"), "E(X)<-\n\nT(A)\n1\n\nE(X)\n\n");
}

TEST_F(BadInputTest, RuleWhoseBodyIsOnlyAConditionAddsNothing) {
  // The leftmost term is taken as an atom named X, which is unknown.
  EXPECT_EQ(RunScriptFile("T(A)\n1\nC(X)<-X>0\n"), "C(X)<-X>0\n\nT(A)\n1\n\nC(X)\n\n");
}

TEST_F(BadInputTest, HeadWithoutParenthesesMakesANewNamelessTableEachTime) {
  EXPECT_EQ(RunScriptFile("H<-U(A)\nH<-U(A)\n"), "H<-U(A)\nH<-U(A)\n\n()\n\n()\n\n");
}

TEST_F(BadInputTest, HeadWithoutParenthesesOverRowsHoldsOneEmptyRow) {
  // The body's rows projected on no columns are all equal: one row without
  // fields, written as an empty line.
  EXPECT_EQ(RunScriptFile("T(A)\n1\n2\nH<-T(X)\n"), "H<-T(X)\n\nT(A)\n1\n2\n\n()\n\n\n");
}

TEST_F(BadInputTest, ArrowInOddPlaces) {
  // A bare "<-" and one at the start of a line are rules with empty heads;
  // "<" alone and "1<2" are data lines.
  EXPECT_EQ(RunScriptFile("T(A)\n<\n1<2\n<-\n<-T(A)\n"),
            "<-\n<-T(A)\n\nT(A)\n<\n1<2\n\n()\n\n()\n\n\n");
}

TEST_F(BadInputTest, DataBeforeAnyDeclarationIsIgnored) {
  EXPECT_EQ(RunScriptFile("1,2\n'a'\n\nT(A)\n3\n"), "\nT(A)\n3\n\n");
}

TEST_F(BadInputTest, SurplusFieldsAreIgnored) {
  // Rows of different kinds in the first column do not order: script order.
  EXPECT_EQ(RunScriptFile("T(A,B)\n1,2,3,4\n'x',,'y'\n"), "\nT(A,B)\n1,2\n'x',NULL\n\n");
}

TEST_F(BadInputTest, EmptyFieldsAndALoneQuote) {
  // Empty fields are Null; a lone quote is a quoted value with empty text.
  EXPECT_EQ(RunScriptFile("T(A,B)\n,\n'\n"), "\nT(A,B)\nNULL,NULL\n'',NULL\n\n");
}

TEST_F(BadInputTest, DataLinesOfATableWithoutColumnsGiveOneEmptyRow) {
  EXPECT_EQ(RunScriptFile("E()\n1\n2,3\n"), "\nE()\n\n\n");
}

TEST_F(BadInputTest, EmptyScript) { EXPECT_EQ(RunScriptFile(""), "\n"); }

// ---------------------------------------------------------------------------
// Inputs kept for the fuzzer, replayed in-process.

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzRegressionTest, SeedsRunCleanly) {
  const fs::path seeds = fs::path(TABLOG_SOURCE_DIR) / "fuzz" / "seeds";
  std::vector<fs::path> files = FilesIn(seeds);
  ASSERT_FALSE(files.empty()) << seeds;
  for (const fs::path& file : files) {
    std::string output = RunInProcess(ReadFile(file));
    ASSERT_FALSE(output.empty()) << file;
    EXPECT_EQ(output.back(), '\n') << file;
  }
}

// Values that do not order among each other (here a plain and a quoted
// one) keep their repeats apart, so the sort cannot merge them; a condition
// on a variable that no atom binds gives every atom the same constant
// column, and the join on it is a full cross product. Both are intended,
// and together they let a few lines multiply rows.
TEST(FuzzRegressionTest, RepeatedRowsAndAConstantColumnCrossJoin) {
  EXPECT_EQ(RunInProcess("T(A)\nx\n'y'\nx\n'y'\nR(X,Y)<-T(X),T(Y),Z<0\n"),
            "R(X,Y)<-T(X),T(Y),Z<0\n\nT(A)\nx\n'y'\nx\n'y'\n\nR(X,Y)\n" +
                Repeat("x,x\nx,'y'\nx,x\nx,'y'\n'y',x\n'y','y'\n'y',x\n'y','y'\n", 2) + "\n");
}

fs::path SavedInput(const char* name) {
  return fs::path(TABLOG_SOURCE_DIR) / "fuzz" / "regressions" / name;
}

// Joins through a shared constant column, chained over rules that feed
// their own table, ask for more rows than any memory holds. The program
// says so and fails instead of being killed. (Sanitizer builds reserve
// more address space than the cap allows, so they skip this.)
TEST_F(BadInputTest, RunningOutOfMemoryIsReported) {
#if defined(TABLOG_TESTS_SANITIZED)
  GTEST_SKIP() << "address space capped under a sanitizer";
#endif
  WriteFile(script_, ReadFile(SavedInput("out-of-memory.tl")));
  RunResult run = RunTablog({script_.string(), output_.string()}, 512);
  EXPECT_EQ(run.console, "Nincs eleg memoria!\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadFile(output_), "");
}

// The fuzzer's first timeout, minimised: rules over tables whose repeated
// rows survive, joined through constant columns. It must run to its end
// without a sanitizer report.
TEST(FuzzRegressionTest, SlowJoinInputRunsCleanly) {
  std::string output = RunInProcess(ReadFile(SavedInput("slow-join-fuzzer.tl")));
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(output.back(), '\n');
}

}  // namespace
}  // namespace tablog
