// Runs the real tablog executable for the tests that check the program as a
// user sees it: its standard output and its exit status.
#ifndef TABLOG_TESTS_RUN_TABLOG_H_
#define TABLOG_TESTS_RUN_TABLOG_H_

#include <string>
#include <vector>

namespace tablog_test {

struct RunResult {
  int status = -1;      // exit status, or -1 when the program did not exit
  std::string console;  // everything written to standard output
};

// Runs the program with `args` (not counting the program name), standard
// input from /dev/null, and collects its standard output and exit status.
// A non-zero `memoryLimitMb` caps the program's address space; a
// non-negative `fileSizeLimit` caps the size of every file it writes, so
// that a write past that many bytes fails (EFBIG, its signal ignored).
RunResult RunTablog(const std::vector<std::string>& args, long memoryLimitMb = 0,
                    long fileSizeLimit = -1);

}  // namespace tablog_test

#endif  // TABLOG_TESTS_RUN_TABLOG_H_
