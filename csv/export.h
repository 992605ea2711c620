// tablog-csv export: the tables of a tablog output file, read back as
// tablog wrote them, written as CSV with a header row.
#ifndef TABLOG_CSV_EXPORT_H_
#define TABLOG_CSV_EXPORT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tablog::csv {

// One table of an output file; every view points into the file's text.
struct OutputTable {
  std::string_view name;
  std::string_view columns;  // the header's text between its parentheses
  std::size_t line = 0;      // 1-based line of the header
  std::vector<std::string_view> rows;
};

struct ExportProblem {
  std::size_t line = 0;  // 1-based line of the output file; 0 for the file as a whole
  std::string message;
};

struct OutputFile {
  std::vector<OutputTable> tables;
  std::optional<ExportProblem> problem;  // the text is not laid out as tablog writes it
};

// The tables of an output file: the rule lines, an empty line, then each
// table as a header line Name(Col,...), its rows and an empty line.
OutputFile readOutput(std::string_view text);

struct ExportResult {
  std::string csv;  // complete only when there is no problem
  std::optional<ExportProblem> problem;
};

// The CSV of the tables named in `names`, in that order, each name giving
// every table of the name in file order; with no names, every table. An
// empty line stands between two tables.
ExportResult exportCsv(std::string_view outputText, const std::vector<std::string>& names);

}  // namespace tablog::csv

#endif  // TABLOG_CSV_EXPORT_H_
