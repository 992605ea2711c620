// The picture of a script for tablog-lint --graph: its tables and rules as
// a Graphviz DOT graph, an arrow from each table a rule reads to the rule
// and from the rule to the table its head fills. A read of a table that a
// later rule fills is drawn red: tablog runs each rule once, in script
// order, so that read sees none of the later rows.
#ifndef TABLOG_LINT_GRAPH_H_
#define TABLOG_LINT_GRAPH_H_

#include <string>
#include <string_view>

namespace tablog {

// The DOT graph of the script whose whole text is `text`.
std::string scriptGraph(std::string_view text);

}  // namespace tablog

#endif  // TABLOG_LINT_GRAPH_H_
