// The reading of a script file, for tablog and tablog-lint alike: which
// paths can be read as a script, and the file read a block at a time into
// lines cut by LineCutter (eval/script_syntax.h), so that neither program
// holds the whole file to cut it and both cut every line alike.
#ifndef TABLOG_EVAL_SCRIPT_READER_H_
#define TABLOG_EVAL_SCRIPT_READER_H_

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "eval/script_syntax.h"

namespace tablog {

// Opens the file at `path` to be read as a script; -1 when it cannot be
// read as a file (missing, no permission, a directory). The caller closes
// the descriptor.
int openScript(const char* path);

// Reads `fd` to its end and calls visit(line) for each line. Returns false
// when a read fails; the lines read until then have been handed over.
template <class Visit>
bool readScript(int fd, Visit visit) {
  std::vector<char> block(std::size_t{1} << 16);
  LineCutter cutter;
  for (;;) {
    ssize_t n = read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    cutter.take(std::string_view(block.data(), static_cast<std::size_t>(n)), visit);
  }
  cutter.finish(visit);
  return true;
}

}  // namespace tablog

#endif  // TABLOG_EVAL_SCRIPT_READER_H_
