// The checks of lint/data_checks.h. Both read the rows that ScriptData
// made with tablog's own table code, so that what they say of the order
// is the order tablog gives.
#include "lint/data_checks.h"

#include <string>

#include "eval/script_syntax.h"
#include "lint/words.h"
#include "rows/data_value.h"

namespace tablog {

namespace {

// What a column's values tell the unsorted-column check.
struct ColumnValues {
  bool allPlain = true;
  std::string first, other;  // two different texts, when there are
  int firstLine = 0, otherLine = 0;
  bool oneNumber = true;

  void take(const DataValue& v, int line) {
    if (v.kind() != Plain) {
      allPlain = false;
      return;
    }
    if (firstLine == 0) {
      first = v.text();
      firstLine = line;
      return;
    }
    oneNumber = oneNumber && v.number() == readNumber(first);
    if (otherLine == 0 && v.text() != first) {
      other = v.text();
      otherLine = line;
    }
  }
  bool unsorted() const { return allPlain && oneNumber && otherLine > 0; }
};

void reportUnsorted(const TableCatalog::Table& table, const ScriptData::Line& declaration,
                    std::size_t column, const ColumnValues& values,
                    std::vector<Finding>& findings) {
  std::string_view list = readNameAndColumns(declaration.text).columns;
  const std::size_t listAt = static_cast<std::size_t>(list.data() - declaration.text.data());
  const std::vector<Piece> columns = splitColumns(list, listAt);
  const std::size_t at = column < columns.size() ? columns[column].offset : listAt;
  addFinding(findings, declaration.number, at, "unsorted-column",
             "the values of column " + table.columns[column] + " of " + table.name +
                 " are plain texts that all read as the number " +
                 std::to_string(readNumber(values.first)) + " (" + values.first + " on line " +
                 std::to_string(values.firstLine) + ", " + values.other + " on line " +
                 std::to_string(values.otherLine) +
                 "): tablog orders plain values by the number it reads at their start, so it "
                 "does not sort the rows by this column, and rows that first differ in it keep "
                 "the order of the script; quoted, the values would sort as texts");
}

}  // namespace

void checkKeptRepeats(const ScriptData& data, const TableCatalog& tables,
                      std::vector<Finding>& findings) {
  for (int t = 0; t < tables.size() && tables.at(t).declared; ++t) {
    for (const ScriptData::KeptRepeat& r : data.keptRepeats(t)) {
      std::string message =
          "this row repeats the row of line " + std::to_string(r.twin) + ", and tablog keeps both";
      if (r.between > 0 && r.column < tables.at(t).columns.size()) {
        message += ": sorted, the row of line " + std::to_string(r.between) +
                   " stands between them, and tablog cannot order it against them (in column " +
                   tables.at(t).columns[r.column] + " it holds " + r.its + " where they hold " +
                   r.theirs + ", " +
                   (r.kinds ? "values of different kinds" : "plain texts that read as one number") +
                   ")";
      }
      addFinding(findings, r.line, 0, "kept-repeat", message);
    }
  }
}

void checkUnsortedColumns(const ScriptData& data, const TableCatalog& tables,
                          std::vector<Finding>& findings) {
  for (int t = 0; t < tables.size() && tables.at(t).declared; ++t) {
    const TableCatalog::Table& table = tables.at(t);
    const SortedTable* rows = data.table(t);
    const std::vector<int>& lines = data.rowLines(t);
    std::vector<ColumnValues> columns(static_cast<std::size_t>(rows->columnCount()));
    for (std::size_t r = 0; r < lines.size(); ++r) {
      const DataCol& row = *rows->rows()[r];
      for (std::size_t k = 0; k < columns.size(); ++k) {
        columns[k].take(row.at(static_cast<int>(k)), lines[r]);
      }
    }
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (columns[k].unsorted())
        reportUnsorted(table, data.declaration(t), k, columns[k], findings);
    }
  }
}

}  // namespace tablog
