// The helpers of lint/words.h.
#include "lint/words.h"

#include <cstdlib>

#include "rows/data_value.h"
#include "rows/fields.h"

namespace tablog {

namespace {

// The pieces of `list` between commas; with `keepTrailing` false an empty
// last piece is not one.
std::vector<Piece> split(std::string_view list, std::size_t offset, bool keepTrailing) {
  std::vector<Piece> out;
  forEachField(list, Quotes::kIgnored, [&](std::size_t, std::string_view piece, std::size_t at) {
    if (!piece.empty() || at + piece.size() < list.size() || keepTrailing) {
      out.push_back({piece, offset + at});
    }
  });
  return out;
}

}  // namespace

std::vector<Piece> splitColumns(std::string_view list, std::size_t offset) {
  return split(list, offset, false);
}

std::vector<Piece> splitArguments(std::string_view args, std::size_t offset) {
  return split(args, offset, true);
}

std::string_view withFinalLineFeed(std::string_view text, std::string& copy) {
  if (text.empty() || text.back() == '\n') return text;
  copy.reserve(text.size() + 1);
  copy.assign(text);
  copy += '\n';
  return copy;
}

std::vector<std::string> textsOf(const std::vector<Piece>& pieces) {
  std::vector<std::string> out;
  for (const Piece& p : pieces) out.emplace_back(p.text);
  return out;
}

std::optional<double> numberIn(std::string_view text) {
  std::size_t i = 0, digits = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  }
  if (digits == 0 || i != text.size()) return std::nullopt;
  return std::strtod(std::string(text).c_str(), nullptr);
}

std::string shown(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string describeValue(std::string_view literal) {
  DataValue value(literal);
  if (value.kind() == Null) return "NULL";
  return (value.kind() == Quoted ? "the quoted text " : "the plain text ") + shown(value.text());
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ',';
    out += name;
  }
  return out;
}

std::string counted(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string ordinal(std::size_t n) {
  std::string suffix = "th";
  if (n % 100 < 11 || n % 100 > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

void addFinding(std::vector<Finding>& findings, int line, std::size_t offset, const char* name,
                std::string message) {
  findings.push_back(Finding{line, static_cast<int>(offset) + 1, name, std::move(message)});
}

void checkNameBlanks(std::vector<Finding>& findings, int line, std::string_view name,
                     std::size_t offset, const char* what) {
  if (!hasEdgeBlank(name)) return;
  std::size_t where = isBlank(name.front()) ? offset : offset + name.find_last_not_of(" \t") + 1;
  addFinding(findings, line, where, "blank",
             std::string("blank next to the ") + what + ": tablog keeps it as part of the name " +
                 shown(name));
}

void checkRepeatedColumns(std::vector<Finding>& findings, int line,
                          const std::vector<Piece>& columns, const std::string& of,
                          const std::string& consequence) {
  for (std::size_t k = 1; k < columns.size(); ++k) {
    for (std::size_t j = 0; j < k; ++j) {
      if (columns[j].text != columns[k].text) continue;
      addFinding(findings, line, columns[k].offset, "repeated-column",
                 of + " names the column " + shown(columns[k].text) + " twice" + consequence);
      return;
    }
  }
}

}  // namespace tablog
