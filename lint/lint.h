// tablog-lint's checks: a script's text in, the findings out. A finding
// names a place in the script and says what tablog will silently do with
// it. The script is read through eval/script_syntax.h, as tablog reads it.
#ifndef TABLOG_LINT_LINT_H_
#define TABLOG_LINT_LINT_H_

#include <string>
#include <string_view>
#include <vector>

namespace tablog {

struct Finding {
  int line = 0;      // 1-based
  int column = 0;    // 1-based byte position of the offending character
  std::string name;  // short and stable, such as "extra-fields"
  std::string message;
};

// The findings of the script whose whole text is `text`, ordered by line
// and column.
std::vector<Finding> lintScript(std::string_view text);

// One finding as tablog-lint prints it, without a line end:
// "SCRIPT:LINE:COLUMN: warning: MESSAGE [name]".
std::string formatFinding(std::string_view script, const Finding& finding);

}  // namespace tablog

#endif  // TABLOG_LINT_LINT_H_
