// The CSV export (csv/export.h). tablog escapes nothing in its output, so
// a row is split as tablog splits a data line, at the commas outside
// single quotes; a row that gives another number of values than its table
// has columns cannot be read back and is reported. A value in single
// quotes is the text between them; NULL is an empty field, so the plain
// text NULL, which tablog prints alike, becomes one too.
#include "csv/export.h"

#include "csv/csv_text.h"

namespace tablog::csv {
namespace {

// The pieces of `text` between its commas; with `quotes`, only the commas
// outside single quotes count, as in a data line (a declaration splits its
// columns at every comma).
std::vector<std::string_view> split(std::string_view text, bool quotes) {
  std::vector<std::string_view> pieces;
  bool inside = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'' && quotes) {
      inside = !inside;
    } else if (text[i] == ',' && !inside) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// "1 value", "2 values".
std::string count(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string_view fieldOf(std::string_view value) {
  if (value == "NULL") return {};
  if (value.starts_with('\'')) return value.size() > 1 ? value.substr(1, value.size() - 2) : "";
  return value;
}

std::optional<ExportProblem> appendTable(std::string& out, const OutputTable& table) {
  if (table.columns.empty()) {
    return ExportProblem{
        table.line, std::string(table.name) + " shows no column names, which a CSV header needs"};
  }
  std::vector<std::string_view> header = split(table.columns, false);
  appendCsvRecord(out, header);
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    std::vector<std::string_view> values = split(table.rows[r], true);
    if (values.size() != header.size()) {
      return ExportProblem{table.line + 1 + r,
                           "the row splits into " + count(values.size(), "value") + " where " +
                               std::string(table.name) + " has " + count(header.size(), "column") +
                               ": a text holding a comma or a single quote cannot be told apart "
                               "from the values"};
    }
    for (std::string_view& value : values) value = fieldOf(value);
    appendCsvRecord(out, values);
  }
  return std::nullopt;
}

}  // namespace

OutputFile readOutput(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  OutputFile file;
  std::size_t n = lines.size(), i = 0;
  while (i < n && !lines[i].empty()) ++i;  // the rule lines
  if (i == n) {
    file.problem = {n, "not a tablog output file: no empty line after the rule lines"};
    return file;
  }
  for (++i; i < n; ++i) {
    std::string_view header = lines[i];
    std::size_t open = header.find('(');
    if (open == std::string_view::npos ||
        header.find_first_of("()", open + 1) != header.size() - 1 || header.back() != ')') {
      file.problem = {i + 1,
                      "not a tablog output file: a table's header line Name(Col,...) "
                      "was expected"};
      return file;
    }
    OutputTable table{
        header.substr(0, open), header.substr(open + 1, header.size() - open - 2), i + 1, {}};
    ++i;
    // A table without columns holds at most one row, printed as an empty
    // line; the empty line that ends the table follows it.
    if (table.columns.empty() && i + 1 < n && lines[i].empty() && lines[i + 1].empty()) {
      table.rows.push_back(lines[i++]);
    }
    while (i < n && !lines[i].empty()) table.rows.push_back(lines[i++]);
    if (i == n) {
      file.problem = {n, "not a tablog output file: the last table has no empty line after it"};
      return file;
    }
    file.tables.push_back(std::move(table));
  }
  return file;
}

ExportResult exportCsv(std::string_view outputText, const std::vector<std::string>& names) {
  ExportResult result;
  OutputFile file = readOutput(outputText);
  if (file.problem) {
    result.problem = file.problem;
    return result;
  }
  std::vector<const OutputTable*> chosen;
  if (names.empty()) {
    for (const OutputTable& table : file.tables) chosen.push_back(&table);
  }
  for (const std::string& name : names) {
    std::size_t before = chosen.size();
    for (const OutputTable& table : file.tables) {
      if (table.name == name) chosen.push_back(&table);
    }
    if (chosen.size() == before) {
      result.problem = {0, "no table named " + name};
      return result;
    }
  }
  for (std::size_t t = 0; t < chosen.size(); ++t) {
    if (t > 0) result.csv += "\r\n";
    result.problem = appendTable(result.csv, *chosen[t]);
    if (result.problem) return result;
  }
  return result;
}

}  // namespace tablog::csv
