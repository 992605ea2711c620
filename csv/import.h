// tablog-csv import: a CSV table made into script lines for tablog, one
// declaration and one data line a row. Each field is checked against what
// a data line can hold, so that tablog reads back exactly the CSV's
// values: a number stays a plain value, any other text becomes a quoted
// one, an empty field a NULL.
#ifndef TABLOG_CSV_IMPORT_H_
#define TABLOG_CSV_IMPORT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tablog::csv {

// Why `name` cannot stand as a table or column name in a declaration, or
// nothing when it can.
std::optional<std::string> nameProblem(std::string_view name);

// The column names of a COLUMNS argument such as "Name,Dept,Salary".
std::vector<std::string> splitColumns(std::string_view list);

struct ImportProblem {
  std::size_t line = 0;   // 1-based line of the CSV text; 0 for the text as a whole
  std::size_t field = 0;  // 1-based field of the record; 0 for the record as a whole
  std::string message;
};

struct ImportResult {
  std::string script;  // complete only when there is no problem
  std::optional<ImportProblem> problem;
};

// The declaration of table `name` and its data lines from the CSV `text`.
// With `columns` the first record is data; without, it names the columns.
// `name` and `columns` must have passed nameProblem.
ImportResult importCsv(std::string_view text, std::string_view name,
                       const std::optional<std::vector<std::string>>& columns);

}  // namespace tablog::csv

#endif  // TABLOG_CSV_IMPORT_H_
