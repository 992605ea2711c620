// Reading and writing CSV through libcsv (csv/csv_text.h). The parser is
// fed one line at a time, so that its callbacks know the line they are
// on: a field begins on the line of the separator before it, or on the
// line after a line feed that ended a record or an empty line.
#include "csv/csv_text.h"

#include <csv.h>

#include <exception>

namespace tablog::csv {
namespace {

// What the parser's callbacks share while one text is read.
struct Reading {
  explicit Reading(const std::function<bool(const CsvRecord&)>& v) : visit(v) {}
  const std::function<bool(const CsvRecord&)>& visit;
  CsvRecord record;
  std::size_t line = 1;           // the line being fed to the parser
  std::size_t nextFieldLine = 1;  // the line where the next field begins
  bool stopped = false;           // a visit returned false or threw
  std::exception_ptr failure;     // what it threw; libcsv's C frames must not see it
};

void onField(void* data, std::size_t size, void* state) {
  auto& r = *static_cast<Reading*>(state);
  if (r.stopped) return;
  try {
    std::string text = size == 0 ? std::string() : std::string(static_cast<char*>(data), size);
    r.record.push_back({std::move(text), r.nextFieldLine});
  } catch (...) {
    r.failure = std::current_exception();
    r.stopped = true;
  }
  r.nextFieldLine = r.line;
}

// Called at the end of each record and, with CSV_REPALL_NL, for each CR
// or LF outside a record, which ends no record.
void onLineEnd(int c, void* state) {
  auto& r = *static_cast<Reading*>(state);
  if (c == '\n') r.nextFieldLine = r.line + 1;
  if (r.stopped || r.record.empty()) return;
  try {
    if (!r.visit(r.record)) r.stopped = true;
    r.record.clear();
  } catch (...) {
    r.failure = std::current_exception();
    r.stopped = true;
  }
}

// Blanks are part of a field: libcsv would otherwise trim unquoted ones.
int noBlanks(unsigned char) { return 0; }

std::string describe(int error) {
  if (error == CSV_EPARSE) {
    return "not CSV: a double quote inside a field that does not begin with one, or text after "
           "a closing quote";
  }
  return csv_strerror(error);
}

bool needsQuotes(std::string_view field, bool alone) {
  if (field.empty()) return alone;
  if (field.find_first_of(",\"\r\n") != std::string_view::npos) return true;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return blank(field.front()) || blank(field.back());
}

}  // namespace

std::optional<CsvError> readCsv(std::string_view text,
                                const std::function<bool(const CsvRecord&)>& visit) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  csv_parser parser;
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
    return CsvError{0, "cannot start the CSV parser"};
  }
  csv_set_space_func(&parser, noBlanks);
  Reading r(visit);
  std::optional<CsvError> error;
  for (std::size_t start = 0; start < text.size() && !r.stopped;) {
    std::size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    if (csv_parse(&parser, text.data() + start, end - start, onField, onLineEnd, &r) !=
        end - start) {
      error = CsvError{r.line, describe(csv_error(&parser))};
      break;
    }
    if (text[end - 1] == '\n') ++r.line;
    start = end;
  }
  if (!error && !r.stopped && csv_fini(&parser, onField, onLineEnd, &r) != 0) {
    error = CsvError{r.nextFieldLine, "not CSV: a quoted field has no closing quote"};
  }
  csv_free(&parser);
  if (r.failure) std::rethrow_exception(r.failure);
  return error;
}

void appendCsvRecord(std::string& out, const std::vector<std::string_view>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string_view field = fields[i];
    if (i > 0) out += ',';
    if (!needsQuotes(field, fields.size() == 1)) {
      out += field;
      continue;
    }
    if (field.empty()) {  // csv_write writes nothing for it
      out += "\"\"";
      continue;
    }
    std::size_t at = out.size(), size = csv_write(nullptr, 0, field.data(), field.size());
    out.resize(at + size);
    csv_write(out.data() + at, size, field.data(), field.size());
  }
  out += "\r\n";
}

}  // namespace tablog::csv
