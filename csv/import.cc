// The CSV import (csv/import.h). A data line is read by tablog as values
// split at the commas outside single quotes; a value beginning with a
// single quote is quoted text and loses its first and last character, an
// empty one is NULL, any other is plain text. The line as a whole is a
// rule when it holds "<-" and a declaration when it holds "(". So a text
// can be written between single quotes unless it holds a single quote
// itself, a line feed, a NUL (where tablog cuts the line), "(" or "<-";
// commas inside the quotes are fine.
#include "csv/import.h"

#include "csv/csv_text.h"

namespace tablog::csv {
namespace {

// "1 field", "2 fields".
std::string count(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A number as written: an optional sign, digits, and optionally a point
// and more digits, such as 1200, -3 or 12.50.
bool isNumber(std::string_view field) {
  std::size_t i = field.starts_with('-') || field.starts_with('+') ? 1 : 0;
  auto digits = [&] {
    std::size_t from = i;
    while (i < field.size() && isDigit(field[i])) ++i;
    return i > from;
  };
  if (!digits()) return false;
  if (i < field.size() && field[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  return i == field.size();
}

// What breaks every kind of line: the line feed ends it, tablog cuts it at
// a NUL, and "<-" makes it a rule.
std::optional<std::string> lineProblem(std::string_view text) {
  if (text.find('\n') != std::string_view::npos)
    return "holds a line feed, which ends a script line";
  if (text.find('\0') != std::string_view::npos)
    return "holds a NUL character, where tablog cuts a line";
  if (text.find("<-") != std::string_view::npos) return "holds \"<-\", which makes a line a rule";
  return std::nullopt;
}

// Why the text of a field cannot go between single quotes in a data line.
std::optional<std::string> textProblem(std::string_view text) {
  if (auto problem = lineProblem(text)) return problem;
  if (text.find('\'') != std::string_view::npos) {
    return "holds a single quote, and a quoted value has no escape for it";
  }
  if (text.find('(') != std::string_view::npos) {
    return "holds \"(\", which makes a data line a declaration";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> nameProblem(std::string_view name) {
  if (name.empty()) return "is empty";
  if (auto problem = lineProblem(name)) return problem;
  std::size_t bad = name.find_first_of(",()");
  if (bad != std::string_view::npos) {
    return std::string("holds \"") + name[bad] + "\", which a declaration cannot take in a name";
  }
  return std::nullopt;
}

std::vector<std::string> splitColumns(std::string_view list) {
  std::vector<std::string> names;
  for (;;) {
    std::size_t comma = list.find(',');
    names.emplace_back(list.substr(0, comma));
    if (comma == std::string_view::npos) return names;
    list.remove_prefix(comma + 1);
  }
}

// Appends the data line of `record`: numbers plain, texts quoted, empty
// fields empty. False, with `problem` set, for a text tablog cannot hold.
bool appendDataLine(const CsvRecord& record, std::size_t width, std::string& out,
                    std::optional<ImportProblem>& problem) {
  for (std::size_t k = 0; k < record.size(); ++k) {
    const std::string& field = record[k].text;
    if (k > 0) out += ',';
    if (field.empty() || isNumber(field)) {
      out += field;
      continue;
    }
    if (auto why = textProblem(field)) {
      problem = {record[k].line, k + 1, "tablog cannot hold the text: it " + *why};
      return false;
    }
    out += '\'';
    out += field;
    out += '\'';
  }
  // An empty line would be skipped: a lone NULL is written with a second
  // value, which tablog drops as beyond the last column.
  if (width == 1 && record[0].text.empty()) out += ',';
  out += '\n';
  return true;
}

ImportResult importCsv(std::string_view text, std::string_view name,
                       const std::optional<std::vector<std::string>>& columns) {
  ImportResult result;
  std::string& out = result.script;
  std::size_t width = 0;
  auto declare = [&](const std::vector<std::string_view>& names) {
    out += name;
    out += '(';
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (k > 0) out += ',';
      out += names[k];
    }
    out += ")\n";
    width = names.size();
  };
  if (columns) declare(std::vector<std::string_view>(columns->begin(), columns->end()));
  bool declared = columns.has_value();

  std::optional<CsvError> error = readCsv(text, [&](const CsvRecord& record) {
    if (!declared) {
      std::vector<std::string_view> names;
      for (std::size_t k = 0; k < record.size(); ++k) {
        if (auto problem = nameProblem(record[k].text)) {
          result.problem = {record[k].line, k + 1, "the column name " + *problem};
          return false;
        }
        names.push_back(record[k].text);
      }
      declare(names);
      declared = true;
      return true;
    }
    if (record.size() != width) {
      result.problem = {record[0].line, 0,
                        "the row has " + count(record.size(), "field") + " where the table has " +
                            count(width, "column")};
      return false;
    }
    return appendDataLine(record, width, out, result.problem);
  });
  if (!result.problem && error) result.problem = {error->line, 0, error->message};
  if (!result.problem && !declared) {
    result.problem = {0, 0, "no header row to name the columns; give them as COLUMNS"};
  }
  return result;
}

}  // namespace tablog::csv
