// Small helpers of tablog-lint's checks: how a script's pieces are cut
// (the column lists and argument lists, as tablog cuts them), how messages
// show texts, values and counts, and the checks that declarations and
// heads share.
#ifndef TABLOG_LINT_WORDS_H_
#define TABLOG_LINT_WORDS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lint/lint.h"

namespace tablog {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool isOperator(char c) { return c == '<' || c == '=' || c == '>'; }
inline bool isCapital(char c) { return c >= 'A' && c <= 'Z'; }
// Whether a name or value has a blank at its start or its end.
inline bool hasEdgeBlank(std::string_view text) {
  return !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
}

// `text`, or a copy of it in `copy` with a line feed added when it does
// not end with one. The lines that forEachScriptLine cuts from the result
// are all views into it: the last line of a text without a final line
// feed would be cut from the cutter's own copy, which goes with the call.
// The added line feed only adds an empty last line, which tablog ignores.
std::string_view withFinalLineFeed(std::string_view text, std::string& copy);

// A piece of a line with its offset in the line.
struct Piece {
  std::string_view text;
  std::size_t offset;
};

// The column names of a column list as tablog splits them: at every comma,
// an empty name between commas counting and a trailing one not. `offset`
// is the list's own offset in its line.
std::vector<Piece> splitColumns(std::string_view list, std::size_t offset);
// An atom's arguments as tablog splits them: at every comma, quotes or not.
std::vector<Piece> splitArguments(std::string_view args, std::size_t offset);
std::vector<std::string> textsOf(const std::vector<Piece>& pieces);

// A decimal number written plainly (sign, digits, a point), read as a
// person reads it; nothing for any other text.
std::optional<double> numberIn(std::string_view text);

// A text as messages show it: in double quotes, so that blanks show.
std::string shown(std::string_view text);
// What a literal becomes by tablog's literal rule, in words.
std::string describeValue(std::string_view literal);
// Names joined by commas.
std::string joined(const std::vector<std::string>& names);
// "1 value", "2 values".
std::string counted(std::size_t n, const std::string& noun);
// "1st", "2nd", "3rd", "4th"...
std::string ordinal(std::size_t n);

// Appends a finding at the 0-based `offset` of line `line`.
void addFinding(std::vector<Finding>& findings, int line, std::size_t offset, const char* name,
                std::string message);
// Warns about blanks at the edges of `name`, a name of a declaration or a
// head (`what` says which) found at `offset`.
void checkNameBlanks(std::vector<Finding>& findings, int line, std::string_view name,
                     std::size_t offset, const char* what);
// Warns about the first column that `columns` repeats: "OF names the
// column "X" twice" and `consequence`.
void checkRepeatedColumns(std::vector<Finding>& findings, int line,
                          const std::vector<Piece>& columns, const std::string& of,
                          const std::string& consequence);

}  // namespace tablog

#endif  // TABLOG_LINT_WORDS_H_
