// How a script is read: its lines, the kind of each line, the name and
// column list of a declaration or head, the head and body of a rule, and
// the terms of a body in the order in which they are applied. The
// evaluator reads scripts through these functions, and so does
// tablog-lint, so that both read every line alike.
//
// Every string_view handed out points into the text it was read from.
#ifndef TABLOG_EVAL_SCRIPT_SYNTAX_H_
#define TABLOG_EVAL_SCRIPT_SYNTAX_H_

#include <string>
#include <string_view>

namespace tablog {

// Cuts a script's text into lines, however the text arrives: whole, or a
// block at a time as a file is read. A line ends at a line feed (not
// kept) and is cut at its first NUL character; a carriage return is an
// ordinary character; the text after the last line feed is a line too, so
// a text that ends with a line feed gives a last, empty line. Only a line
// split between two blocks is copied.
class LineCutter {
 public:
  // Calls visit(line) for each line that `block` completes.
  template <class Visit>
  void take(std::string_view block, Visit visit) {
    std::size_t start = 0;
    for (std::size_t end; (end = block.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
      if (partial_.empty()) {
        emit(block.substr(start, end - start), visit);
      } else {
        partial_.append(block.substr(start, end - start));
        emit(partial_, visit);
        partial_.clear();
      }
    }
    partial_.append(block.substr(start));
  }
  // Calls visit(line) for the last line, at the end of the text.
  template <class Visit>
  void finish(Visit visit) {
    emit(partial_, visit);
    partial_.clear();
  }

 private:
  template <class Visit>
  static void emit(std::string_view line, Visit& visit) {
    visit(line.substr(0, line.find('\0')));
  }

  std::string partial_;  // the start of a line that goes on in the next block
};

// Calls visit(line) for each line of a script's whole text.
template <class Visit>
void forEachScriptLine(std::string_view text, Visit visit) {
  LineCutter cutter;
  cutter.take(text, visit);
  cutter.finish(visit);
}

enum class LineKind { kEmpty, kRule, kDeclaration, kData };

// The kind of a script line: a line holding "<-" anywhere is a rule,
// whatever stands before it; else a line holding "(" declares a table;
// any other non-empty line is a data line.
inline LineKind classifyLine(std::string_view line) {
  if (line.empty()) return LineKind::kEmpty;
  if (line.find("<-") != std::string_view::npos) return LineKind::kRule;
  if (line.find('(') == std::string_view::npos) return LineKind::kData;
  return LineKind::kDeclaration;
}

struct RuleParts {
  std::string_view head;
  std::string_view body;
};

// The head and body of a rule line. The "<-" pairs are found from the
// left; the body is the text after the last one, the head the text
// between it and the one before it (or the line's start). Without "<-"
// the head is empty and the body is the whole line.
inline RuleParts splitRule(std::string_view rule) {
  RuleParts parts{rule.substr(0, 0), rule};
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < rule.size(); ++i) {
    if (rule[i] == '<' && rule[i + 1] == '-') {
      parts.head = rule.substr(start, i - start);
      start = i + 2;
      ++i;
    }
  }
  parts.body = rule.substr(start);
  return parts;
}

struct NameAndColumns {
  std::string_view name;     // the text before the last "(", back to the parenthesis before it
  std::string_view columns;  // the text before the last ")", back to the parenthesis before it
};

// Reads a declaration or a head: at each "(" the text since the previous
// parenthesis (or the start) is the name read so far; at each ")" it is
// the column list. Before a name is taken, atOpen(name) is called; when it
// returns true the reading stops there and readNameAndColumns returns true
// (the evaluator looks a head's names up this way). Without parentheses
// both parts stay empty.
template <class AtOpen>
bool readNameAndColumns(std::string_view text, NameAndColumns& out, AtOpen atOpen) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') {
      if (atOpen(text.substr(start, i - start))) return true;
      out.name = text.substr(start, i - start);
      start = i + 1;
    } else if (text[i] == ')') {
      out.columns = text.substr(start, i - start);
      start = i + 1;
    }
  }
  return false;
}

inline NameAndColumns readNameAndColumns(std::string_view text) {
  NameAndColumns out;
  readNameAndColumns(text, out, [](std::string_view) { return false; });
  return out;
}

// One term of a rule body as the evaluator applies it. For an atom such
// as Emp(N,D,S): the table name Emp and the argument list N,D,S. For a
// condition such as S>1000: the variable S and the operator with its
// value, >1000.
struct BodyTerm {
  std::string_view name;
  std::string_view args;
  bool isCondition;
};

// Calls visit(term) for the terms of a rule body in the order in which the
// evaluator applies them: the body is read from its last character to its
// first. Each "(" or ")" flips whether the reading is outside parentheses.
// Then: a ")" marks the term an atom and drops the text read since the
// separator to its right; an "=", "<" or ">" outside parentheses marks it a
// condition whose arguments are that character and the text to its right;
// a "(" marks it an atom whose arguments are the text to its right; a ","
// outside parentheses ends the term, whose name is the text to its right,
// and applies it as a condition if so marked, then as an atom if so marked
// (a term marked neither is dropped). The arguments last read stay until
// new ones are read. The leftmost term is always applied as an atom.
template <class Visit>
void scanBody(std::string_view body, Visit visit) {
  std::size_t wordEnd = body.size();  // the word is body[i + 1, wordEnd)
  std::string_view args = body.substr(0, 0);
  bool outside = true, isCond = false, closing = false;
  for (std::size_t i = body.size(); i-- > 0;) {
    char c = body[i];
    if (c == '(' || c == ')') outside = !outside;
    if (c == ')') {
      closing = true;
      wordEnd = i;
    } else if ((c == '=' || c == '<' || c == '>') && outside) {
      isCond = true;
      args = body.substr(i, wordEnd - i);
      wordEnd = i;
    } else if (c == '(') {
      closing = true;
      args = body.substr(i + 1, wordEnd - i - 1);
      wordEnd = i;
    } else if (c == ',' && outside) {
      std::string_view name = body.substr(i + 1, wordEnd - i - 1);
      if (isCond) visit(BodyTerm{name, args, true});
      if (closing) visit(BodyTerm{name, args, false});
      wordEnd = i;
      isCond = closing = false;
    }
  }
  visit(BodyTerm{body.substr(0, wordEnd), args, false});
}

}  // namespace tablog

#endif  // TABLOG_EVAL_SCRIPT_SYNTAX_H_
