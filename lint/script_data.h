// ScriptData: what the data lines of a script give its declared tables,
// for the checks of tablog-lint that read values. Each table is made and
// put in order by tablog's own table code (SortedTable), as tablog has it
// when the last line has been read and before any rule runs; each row it
// keeps remembers the data line it came from, so that the checks can say
// which repeats the order keeps, and atoms can be asked of the rows.
#ifndef TABLOG_LINT_SCRIPT_DATA_H_
#define TABLOG_LINT_SCRIPT_DATA_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/sorted_table.h"

namespace tablog {

class ScriptData {
 public:
  // A data line: its number in the script (from 1) and its text.
  struct Line {
    int number;
    std::string_view text;
  };
  // A row that equals an earlier row of its table and stays: rows that do
  // not compare with them stand between the two after sorting.
  struct KeptRepeat {
    int line;            // of the repeat
    int twin;            // of the earlier row it equals
    int between;         // of a row between them that does not compare with them
    std::size_t column;  // where that row first differs from them
    std::string theirs;  // the twins' value there, printed as tablog prints it
    std::string its;     // that row's value there
    bool kinds = false;  // the two are of different kinds, else plain texts of one number
  };

  // Starts the table of the declaration `line`, with its columns as tablog
  // reads them; the catalog's index for it is `index`. REQUIRES:
  // declarations come in script order, their indexes counting from 0;
  // `line.text` outlives this object.
  void declare(int index, Line line);
  // A data line of the table declared last; dropped before any declaration.
  // `text` must outlive this object.
  void addLine(int number, std::string_view text);
  // Fills every table from its lines. REQUIRES: called once, after the
  // last line.
  void finish();

  // The table of the declaration with catalog index `index`, as its data
  // lines fill it; nullptr when `index` is no declaration's.
  SortedTable* table(int index) const;
  // The declaration of that table. REQUIRES: `index` is a declaration's.
  const Line& declaration(int index) const;
  // The data lines of that table; none when `index` is no declaration's.
  const std::vector<Line>& lines(int index) const;
  // The repeats that the table keeps, in the order of its rows.
  const std::vector<KeptRepeat>& keptRepeats(int index) const;
  // The line of each row that the table keeps, in the order of its rows.
  const std::vector<int>& rowLines(int index) const;
  // The number of the first data line whose value in column `column` of
  // table `index` has the text `text`; 0 when there is none.
  int lineWithText(std::string_view text, int index, std::size_t column) const;
  // The same for a value of any column of any table.
  int lineWithText(std::string_view text) const;

 private:
  struct Declared {
    explicit Declared(Line line);
    Line declaration;
    SortedTable table;
    std::vector<Line> lines;
    std::vector<int> rowLines;  // the line of each row the table keeps
    std::vector<KeptRepeat> repeats;
  };
  void fill(Declared& d);
  static void findRepeats(Declared& d);
  // The first line of `d` whose value in a column `wanted` accepts has
  // the text `text`; 0 when there is none.
  template <class Wanted>
  static int lineWithText(const Declared& d, std::string_view text, Wanted wanted);
  // nullptr when `index` is no declaration's.
  Declared* declared(int index) const;

  std::vector<std::unique_ptr<Declared>> tables_;  // by catalog index
  const std::vector<Line> noLines_ = {};
  const std::vector<KeptRepeat> noRepeats_ = {};
  const std::vector<int> noRowLines_ = {};
};

}  // namespace tablog

#endif  // TABLOG_LINT_SCRIPT_DATA_H_
