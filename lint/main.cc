// tablog-lint SCRIPT...: prints what tablog will silently do with the
// lines of each script, one warning a line, as
// SCRIPT:LINE:COLUMN: warning: MESSAGE [name]. Exits 0 when nothing was
// found, 1 when a warning was printed, 2 when a script cannot be read or
// the arguments are wrong.
// tablog-lint --graph SCRIPT prints the script's graph (lint/graph.h).
#include <unistd.h>

#include <iostream>
#include <string>

#include "eval/script_reader.h"
#include "lint/graph.h"
#include "lint/lint.h"

namespace {

// The lines of the script at `path` ("-": standard input), cut as tablog
// cuts them, joined again by line feeds; false when it cannot be read as a
// file.
bool readLines(const char* path, std::string& text) {
  const bool standardInput = std::string_view(path) == "-";
  int fd = standardInput ? STDIN_FILENO : tablog::openScript(path);
  if (fd < 0) return false;
  bool first = true;
  bool ok = tablog::readScript(fd, [&](std::string_view line) {
    if (!first) text += '\n';
    text.append(line);
    first = false;
  });
  if (!standardInput) close(fd);
  return ok;
}

// Answers `--help` or `--version`; false for any other argument.
bool answerOption(std::string_view option) {
  if (option == "--help") {
    std::cout << "usage: tablog-lint SCRIPT... | --graph SCRIPT (- for standard input; see "
                 "tablog-lint(1))\n";
  } else if (option == "--version") {
    std::cout << "tablog-lint " TABLOG_VERSION "\n";
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && answerOption(argv[1])) return 0;
  if (argc == 3 && std::string_view(argv[1]) == "--graph") {
    std::string text;
    if (!readLines(argv[2], text)) {
      std::cerr << "tablog-lint: cannot read " << argv[2] << "\n";
      return 2;
    }
    std::cout << tablog::scriptGraph(text) << std::flush;
    return 0;
  }
  if (argc < 2) {
    std::cerr << "usage: tablog-lint SCRIPT...\n";
    return 2;
  }
  int status = 0;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    std::string text;
    if (!readLines(argv[i], text)) {
      std::cout << out << std::flush;
      out.clear();
      std::cerr << "tablog-lint: cannot read " << argv[i] << "\n";
      status = 2;
      continue;
    }
    for (const tablog::Finding& finding : tablog::lintScript(text)) {
      out += tablog::formatFinding(argv[i], finding);
      out += '\n';
      if (status == 0) status = 1;
    }
  }
  std::cout << out << std::flush;
  return status;
}
