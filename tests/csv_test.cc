// Tests of tablog-csv, run as a user runs it: the import's script lines
// for CSV inputs, the fields it refuses and where it says they are, the
// export's CSV for output files and what it refuses, the command line, and
// random CSV tables carried through import, tablog and export, which must
// come back row for row in tablog's order.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "csv/csv_text.h"
#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit
  std::string out, err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

class CsvTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tablog_csv_XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs `program` with `args`, standard input from /dev/null, standard
  // output into `outPath` (a file of the temporary folder by default).
  Outcome Start(const std::string& program, const std::vector<std::string>& args,
                std::string outPath = "") const {
    if (outPath.empty()) outPath = Path("stdout");
    std::string errPath = Path("stderr");
    pid_t pid = fork();
    if (pid == 0) {
      int in = open("/dev/null", O_RDONLY);
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0) _exit(126);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      std::vector<std::string> copies = args;
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    Outcome run;
    int wstatus = 0;
    if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
      run.status = WEXITSTATUS(wstatus);
    }
    if (outPath == Path("stdout")) run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
  }
  Outcome Csv(const std::vector<std::string>& args, const std::string& outPath = "") const {
    return Start(TABLOG_CSV_BINARY, args, outPath);
  }

  std::string dir_;
};

struct ImportCase {
  const char* what;
  std::string csv;
  std::vector<std::string> columns;  // the COLUMNS argument, if any
  std::string script;                // standard output
};

TEST_F(CsvTest, ImportWritesTheDeclarationAndOneDataLineARow) {
  const std::vector<ImportCase> cases = {
      {"numbers plain, texts quoted, empty fields NULL",
       "Name,Dept,Salary\nAnna,Sales,1200\nBob,,-3\n",
       {},
       "T(Name,Dept,Salary)\n'Anna','Sales',1200\n'Bob',,-3\n"},
      {"a number is a sign, digits, and a point with more digits",
       "A\n12.50\n+7\n007\n1.\n.5\n1e3\n12 \n- 1\n",
       {},
       "T(A)\n12.50\n+7\n007\n'1.'\n'.5'\n'1e3'\n'12 '\n'- 1'\n"},
      {"blanks are kept, commas stay inside the quotes, doubled double quotes are one",
       "A,B,C\n x ,\"a,b\",\"say \"\"hi\"\"\"\n",
       {},
       "T(A,B,C)\n' x ','a,b','say \"hi\"'\n"},
      {"a quoted field is read as an unquoted one",
       "A,B,C\n\"\",\"12\",\"NULL\"\n",
       {},
       "T(A,B,C)\n,12,'NULL'\n"},
      {"an empty field alone is NULL with a second value, as an empty line is skipped",
       "A\n\"\"\nx\n",
       {},
       "T(A)\n,\n'x'\n"},
      {"byte order mark, CR LF and no last line end",
       "\xEF\xBB\xBF"
       "A,B\r\n1,2\r\n3,4",
       {},
       "T(A,B)\n1,2\n3,4\n"},
      {"empty lines are skipped", "A\n\n1\n\n\n2\n", {}, "T(A)\n1\n2\n"},
      {"a CR and a closing parenthesis inside a text are kept",
       "A\n\"a\rb\"\nx)\n",
       {},
       "T(A)\n'a\rb'\n'x)'\n"},
      {"with COLUMNS the first row is data", "1,2\n3,4\n", {"X,Y"}, "T(X,Y)\n1,2\n3,4\n"},
      {"with COLUMNS an empty file is an empty table", "", {"X,Y"}, "T(X,Y)\n"},
      {"column names may hold blanks and single quotes",
       "First Name,it's\n",
       {},
       "T(First Name,it's)\n"},
  };
  for (const ImportCase& c : cases) {
    WriteText(Path("in.csv"), c.csv);
    std::vector<std::string> args = {"import", "T", Path("in.csv")};
    args.insert(args.end(), c.columns.begin(), c.columns.end());
    Outcome run = Csv(args);
    EXPECT_EQ(0, run.status) << c.what;
    EXPECT_EQ(c.script, run.out) << c.what;
    EXPECT_EQ("", run.err) << c.what;
  }
}

struct RefusalCase {
  const char* what;
  std::string input;
  std::string message;                  // after "tablog-csv: FILE"
  std::vector<std::string> names = {};  // the tables to export
};

TEST_F(CsvTest, ImportRefusesWhatTablogCannotHoldAndSaysWhere) {
  const std::string text = ": tablog cannot hold the text: it holds ";
  const std::vector<RefusalCase> cases = {
      {"a single quote", "A,B\n1,it's\n",
       ":2:2" + text + "a single quote, and a quoted value has no escape for it"},
      {"a line feed, at the line where its field begins", "A\n1\n\n\"a\nb\"\n",
       ":4:1" + text + "a line feed, which ends a script line"},
      {"a NUL", std::string("A\nx\0y\n", 6),
       ":2:1" + text + "a NUL character, where tablog cuts a line"},
      {"an opening parenthesis", "A,B\n\n\n1,f(x)\n",
       ":4:2" + text + "\"(\", which makes a data line a declaration"},
      {"an arrow", "A\n\"a<-b\"\n", ":2:1" + text + "\"<-\", which makes a line a rule"},
      {"a row shorter than the header", "A,B\n1,2\n3\n",
       ":3: the row has 1 field where the table has 2 columns"},
      {"a row longer than the header", "A\n1,2\n",
       ":2: the row has 2 fields where the table has 1 column"},
      {"a column name with a comma", "X,\"A,B\"\n",
       ":1:2: the column name holds \",\", which a declaration cannot take in a name"},
      {"a column name with a parenthesis", "A)\n",
       ":1:1: the column name holds \")\", which a declaration cannot take in a name"},
      {"an empty column name", "A,,C\n", ":1:2: the column name is empty"},
      {"a double quote inside an unquoted field", "A\nx\"y\n",
       ":2: not CSV: a double quote inside a field that does not begin with one, or text after a "
       "closing quote"},
      {"text after a closing quote", "A\n\"x\" \n",
       ":2: not CSV: a double quote inside a field that does not begin with one, or text after a "
       "closing quote"},
      {"no closing quote", "A\n1\n\"abc\ndef\n",
       ":3: not CSV: a quoted field has no closing quote"},
      {"no header", "", ": no header row to name the columns; give them as COLUMNS"},
  };
  for (const RefusalCase& c : cases) {
    WriteText(Path("in.csv"), c.input);
    Outcome run = Csv({"import", "T", Path("in.csv")});
    EXPECT_EQ(1, run.status) << c.what;
    EXPECT_EQ("", run.out) << c.what;
    EXPECT_EQ("tablog-csv: " + Path("in.csv") + c.message + "\n", run.err) << c.what;
  }
}

struct ExportCase {
  const char* what;
  std::string output;  // a tablog output file
  std::vector<std::string> tables;
  std::string csv;
};

TEST_F(CsvTest, ExportWritesTheTablesAsCsv) {
  const std::string twoTables = "R(X)<-T(X)\n\nT(A,B)\n'x',1\nNULL,'NULL'\n\nR(X)\n1\n\n";
  const std::vector<ExportCase> cases = {
      {"every table, NULL empty and the text NULL as such, a blank line between tables",
       twoTables,
       {},
       "A,B\r\nx,1\r\n,NULL\r\n\r\nX\r\n1\r\n"},
      {"the tables named, in the order named",
       twoTables,
       {"R", "T"},
       "X\r\n1\r\n\r\nA,B\r\nx,1\r\n,NULL\r\n"},
      {"every table of a name", "\nT(A)\n1\n\nT(B)\n2\n\n", {"T"}, "A\r\n1\r\n\r\nB\r\n2\r\n"},
      {"fields quoted where a reader needs it",
       "\nT(A,B,C,D)\n' a','say \"hi\"','x,y',' b\r'\n\n",
       {},
       "A,B,C,D\r\n\" a\",\"say \"\"hi\"\"\",\"x,y\",\" b\r\"\r\n"},
      {"a lone empty field in double quotes, so the line is not empty",
       "\nT(A)\n''\nNULL\n'b'\n\n",
       {},
       "A\r\n\"\"\r\n\"\"\r\nb\r\n"},
      {"a row is split as tablog splits a data line",
       "\nT(A,B)\n'it''s',2\n'u,v',3\n\n",
       {},
       "A,B\r\nit''s,2\r\n\"u,v\",3\r\n"},
      {"a header is split at every comma", "\nT('a,b)\n1,2\n\n", {}, "'a,b\r\n1,2\r\n"},
      {"a table without columns, with its one empty row, is passed over",
       "\nZ()\n\n\nT(A)\n1\n\nY()\n\nU(B)\n2\n\n",
       {"T", "U"},
       "A\r\n1\r\n\r\nB\r\n2\r\n"},
      {"a file without tables", "\n", {}, ""},
  };
  for (const ExportCase& c : cases) {
    WriteText(Path("t.out"), c.output);
    std::vector<std::string> args = {"export", Path("t.out")};
    args.insert(args.end(), c.tables.begin(), c.tables.end());
    Outcome run = Csv(args);
    EXPECT_EQ(0, run.status) << c.what;
    EXPECT_EQ(c.csv, run.out) << c.what;
    EXPECT_EQ("", run.err) << c.what;
  }
}

TEST_F(CsvTest, ExportRefusesWhatItCannotReadBackAndSaysWhere) {
  const std::vector<RefusalCase> cases = {
      {"an unknown table", "\nT(A)\n1\n\n", ": no table named X", {"T", "X"}},
      {"no empty line after the rules", "T(A)\n1\n",
       ":2: not a tablog output file: no empty line after the rule lines"},
      {"no header", "\nT(A)\n1\n\n1\n\n",
       ":5: not a tablog output file: a table's header line Name(Col,...) was expected"},
      {"a header with two parentheses", "\nT(A)(B)\n\n",
       ":2: not a tablog output file: a table's header line Name(Col,...) was expected"},
      {"no empty line after the last table", "\nT(A)\n1\n",
       ":3: not a tablog output file: the last table has no empty line after it"},
      {"a row that splits into other values than columns", "\nT(A,B)\n1,2\n'it's',1\n\n",
       ":4: the row splits into 1 value where T has 2 columns: a text holding a comma or a single "
       "quote cannot be told apart from the values"},
      {"a table without columns",
       "\nT(A)\n\nZ()\n\n",
       ":4: Z shows no column names, which a CSV header needs",
       {"Z"}},
  };
  for (const RefusalCase& c : cases) {
    WriteText(Path("t.out"), c.input);
    std::vector<std::string> args = {"export", Path("t.out")};
    args.insert(args.end(), c.names.begin(), c.names.end());
    Outcome run = Csv(args);
    EXPECT_EQ(1, run.status) << c.what;
    EXPECT_EQ("", run.out) << c.what;
    EXPECT_EQ("tablog-csv: " + Path("t.out") + c.message + "\n", run.err) << c.what;
  }
}

TEST_F(CsvTest, CommandLineAnswersWithItsExitStatus) {
  WriteText(Path("in.csv"), "A\n1\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string errStart;  // the start of standard error
  };
  const std::string in = Path("in.csv");
  const std::vector<Case> cases = {
      {{}, 2, "tablog-csv: a command is needed\nusage: tablog-csv import"},
      {{"frob"}, 2, "tablog-csv: unknown command frob\n"},
      {{"import", "T"}, 2, "tablog-csv: import takes NAME FILE.csv [COLUMNS]\n"},
      {{"import", "T", in, "A", "B"}, 2, "tablog-csv: import takes"},
      {{"export"}, 2, "tablog-csv: export takes OUTPUT [TABLE...]\n"},
      {{"import", "T(x)", in},
       2,
       "tablog-csv: the table name holds \"(\", which a declaration cannot take in a name\n"},
      {{"import", "", in}, 2, "tablog-csv: the table name is empty\n"},
      {{"import", "T", in, "A,,B"}, 2, "tablog-csv: column 2 of COLUMNS is empty\n"},
      {{"import", "T", Path("none.csv")}, 1, "tablog-csv: cannot read " + Path("none.csv") + "\n"},
      {{"import", "T", dir_}, 1, "tablog-csv: cannot read " + dir_ + "\n"},
      {{"export", Path("none.out")}, 1, "tablog-csv: cannot read " + Path("none.out") + "\n"},
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::string shown = testing::PrintToString(c.args);
    Outcome run = Csv(c.args);
    EXPECT_EQ(c.status, run.status) << shown;
    EXPECT_EQ(c.errStart, run.err.substr(0, c.errStart.size())) << shown;
    if (c.status != 0) {
      EXPECT_EQ("", run.out) << shown;
    }
  }
  EXPECT_TRUE(
      Csv({"--help"}).out.starts_with("usage: tablog-csv import NAME FILE.csv [COLUMNS]\n"));
  EXPECT_TRUE(std::regex_match(Csv({"--version"}).out,
                               std::regex("tablog-csv [0-9]+\\.[0-9]+\\.[0-9]+\n")));
  // A full standard output is a failure, not a silent loss.
  Outcome full = Csv({"import", "T", in}, "/dev/full");
  EXPECT_EQ(1, full.status);
  EXPECT_EQ("tablog-csv: cannot write standard output\n", full.err);
}

// A random field that tablog can hold: a number as written, an empty field
// or a text of characters that CSV must quote or that tablog reads
// specially when they stand elsewhere.
std::string RandomField(std::mt19937& rng) {
  auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  switch (below(4)) {
    case 0:
      return "";
    case 1: {
      std::string number = std::vector<std::string>{"", "-", "+"}[below(3)];
      number += std::to_string(below(3) == 0 ? below(10) : below(100000));
      if (below(3) == 0) number = "0" + number.substr(number.find_first_of("0123456789"));
      if (below(3) == 0) number += "." + std::to_string(below(100));
      return number;
    }
    default: {
      static const std::string kChars = "abcXYZ019 ,\"\r\t)<-=>NUL.";
      std::string text;
      for (int n = below(6); n >= 0; --n)
        text += kChars[static_cast<std::size_t>(below(static_cast<int>(kChars.size())))];
      while (text.find("<-") != std::string::npos) text.erase(text.find("<-"), 1);
      return text;
    }
  }
}

// A CSV field: quoted when it must be, and at random otherwise. A lone
// empty field is quoted, or its line would be empty.
std::string CsvField(const std::string& field, bool alone, std::mt19937& rng) {
  bool quote = field.find_first_of(",\"\r\n") != std::string::npos || (alone && field.empty()) ||
               rng() % 3 == 0;
  if (!quote) return field;
  std::string out(1, '"');
  for (char c : field) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

// How tablog prints the value the import makes of a CSV field.
std::string Printed(const std::string& field) {
  if (field.empty()) return "NULL";
  if (std::regex_match(field, std::regex("[-+]?[0-9]+(\\.[0-9]+)?"))) return field;
  std::string out(1, '\'');
  out += field;
  out += '\'';
  return out;
}

std::string Joined(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k > 0) out += ',';
    out += fields[k];
  }
  return out;
}

using Rows = std::vector<std::vector<std::string>>;

TEST_F(CsvTest, RoundTripGivesTheRowsBackInTablogsOrder) {
  std::mt19937 rng(20261209);
  const std::vector<std::string> names = {"Name", "Dept", "Salary", "First Name", "it's", "X"};
  for (int table = 0; table < 60; ++table) {
    std::size_t width = 1 + rng() % 4;
    Rows header(1, std::vector<std::string>(width));
    for (std::string& name : header[0]) name = names[rng() % names.size()];
    Rows rows;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
      std::vector<std::string> row(width);
      for (std::string& field : row) field = RandomField(rng);
      // tablog drops repeated rows; distinct rows all come back.
      if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
    }
    std::string lineEnd = rng() % 2 ? "\r\n" : "\n";
    std::string csv;
    for (const Rows* part : {&header, &rows}) {
      for (const auto& row : *part) {
        std::vector<std::string> fields;
        for (const std::string& field : row) fields.push_back(CsvField(field, width == 1, rng));
        csv += Joined(fields);
        csv += lineEnd;
      }
    }
    SCOPED_TRACE(csv);
    WriteText(Path("in.csv"), csv);

    Outcome import = Csv({"import", "T", Path("in.csv")}, Path("in.tl"));
    ASSERT_EQ(0, import.status) << import.err;
    Outcome tablog = Start(TABLOG_BINARY, {Path("in.tl"), Path("in.out")});
    ASSERT_EQ(0, tablog.status);
    Outcome exported = Csv({"export", Path("in.out"), "T"});
    ASSERT_EQ(0, exported.status) << exported.err;

    Rows back;
    tablog::csv::readCsv(exported.out, [&](const tablog::csv::CsvRecord& record) {
      back.emplace_back();
      for (const auto& field : record) back.back().push_back(field.text);
      return true;
    });
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(header[0], back.front());
    back.erase(back.begin());
    // In tablog's order: row for row as the output file shows the table.
    std::istringstream output(ReadText(Path("in.out")));
    std::string line;
    while (std::getline(output, line) && line.rfind("T(", 0) != 0) {
    }
    for (const auto& row : back) {
      std::vector<std::string> printed;
      for (const std::string& field : row) printed.push_back(Printed(field));
      ASSERT_TRUE(std::getline(output, line));
      EXPECT_EQ(line, Joined(printed));
    }
    // And as a multiset, the rows of the CSV.
    std::sort(rows.begin(), rows.end());
    std::sort(back.begin(), back.end());
    EXPECT_EQ(rows, back);
  }
}

}  // namespace
