// CSV as text, read and written through libcsv. Reading follows RFC 4180
// strictly (a double quote only around a field or doubled inside one,
// blanks kept as part of the field) and reports the line of each field;
// writing quotes a field only when a reader would take it otherwise.
#ifndef TABLOG_CSV_CSV_TEXT_H_
#define TABLOG_CSV_CSV_TEXT_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tablog::csv {

struct CsvField {
  std::string text;      // without its quotes, doubled quotes made single
  std::size_t line = 0;  // 1-based line of the field's first character
};

using CsvRecord = std::vector<CsvField>;

struct CsvError {
  std::size_t line = 0;
  std::string message;
};

// Reads the CSV `text` record by record and calls visit(record) for each;
// a visit that returns false stops the reading. Lines end with LF or
// CR LF; a line break inside double quotes belongs to the field; empty
// lines are skipped; a UTF-8 byte order mark at the start is dropped.
// Returns the first violation of the format, if any.
std::optional<CsvError> readCsv(std::string_view text,
                                const std::function<bool(const CsvRecord&)>& visit);

// Appends one record to `out` with a CR LF line end. A field is written
// between double quotes when it holds a comma, a double quote, CR or LF,
// or begins or ends with a blank or a tab (readers that trim fields keep
// it then), and when it is the only field of the record and empty, so that
// the line is not empty.
void appendCsvRecord(std::string& out, const std::vector<std::string_view>& fields);

}  // namespace tablog::csv

#endif  // TABLOG_CSV_CSV_TEXT_H_
