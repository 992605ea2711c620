// The script graph of lint/graph.h. Tables are found by name as tablog
// finds them (eval/table_lookup.h): a head that names a table fills it,
// any other head makes a table of its own, and an atom of a name no table
// has reads nothing.
#include "lint/graph.h"

#include <set>
#include <utility>
#include <vector>

#include "eval/script_syntax.h"
#include "eval/table_lookup.h"
#include "lint/words.h"

namespace tablog {

namespace {

// A name as a DOT string: in double quotes, with quotes and backslashes
// escaped.
std::string quoted(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

struct Script {
  std::vector<std::string> tables;      // declared, then made by heads
  std::vector<std::string_view> rules;  // rule lines
  std::vector<int> heads;               // per rule, the table it fills
  std::vector<std::vector<int>> reads;  // per rule, the tables its atoms read
  TableLookup<int> lookup;
};

int headTable(Script& s, std::string_view head) {
  NameAndColumns read;
  int found = -1;
  if (readNameAndColumns(head, read, [&](std::string_view name) {
        found = s.lookup.find(name, -1);
        return found >= 0;
      })) {
    return found;
  }
  s.tables.emplace_back(read.name);
  s.lookup.addMade(read.name, static_cast<int>(s.tables.size()) - 1);
  return static_cast<int>(s.tables.size()) - 1;
}

Script readScript(std::string_view text) {
  Script s;
  forEachScriptLine(text, [&](std::string_view line) {
    if (classifyLine(line) == LineKind::kRule) s.rules.push_back(line);
    if (classifyLine(line) != LineKind::kDeclaration) return;
    s.tables.emplace_back(readNameAndColumns(line).name);
    s.lookup.addDeclared(s.tables.back(), static_cast<int>(s.tables.size()) - 1);
  });
  for (std::string_view rule : s.rules) {
    RuleParts parts = splitRule(rule);
    s.heads.push_back(headTable(s, parts.head));
    std::vector<int> reads;
    scanBody(parts.body, [&](const BodyTerm& term) {
      int t = term.isCondition ? -1 : s.lookup.find(term.name, -1);
      if (t >= 0) reads.push_back(t);
    });
    s.reads.push_back(std::move(reads));
  }
  return s;
}

}  // namespace

std::string scriptGraph(std::string_view text) {
  std::string copy;
  const Script s = readScript(withFinalLineFeed(text, copy));
  std::string dot = "digraph script {\n  rankdir=LR;\n  node [shape=box];\n";
  auto node = [&dot](char kind, std::size_t n) {
    dot += kind;
    dot += std::to_string(n);
  };
  for (std::size_t t = 0; t < s.tables.size(); ++t) {
    dot += "  ";
    node('t', t);
    dot += " [label=";
    dot += quoted(s.tables[t]);
    dot += "];\n";
  }
  for (std::size_t r = 0; r < s.rules.size(); ++r) {
    dot += "  ";
    node('r', r);
    dot += " [shape=ellipse, label=";
    dot += quoted(s.rules[r]);
    dot += "];\n";
    std::set<int> drawn;
    for (int t : s.reads[r]) {
      if (!drawn.insert(t).second) continue;
      bool filledLater = false;
      for (std::size_t later = r + 1; later < s.rules.size(); ++later) {
        filledLater = filledLater || s.heads[later] == t;
      }
      dot += "  ";
      node('t', static_cast<std::size_t>(t));
      dot += " -> ";
      node('r', r);
      dot += filledLater ? " [color=red];\n" : ";\n";
    }
    dot += "  ";
    node('r', r);
    dot += " -> ";
    node('t', static_cast<std::size_t>(s.heads[r]));
    dot += ";\n";
  }
  dot += "}\n";
  return dot;
}

}  // namespace tablog
