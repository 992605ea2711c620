// The program: reads a script file, evaluates it and writes the output
// file. Kept apart from main() so that tests can run it in-process.
#ifndef TABLOG_APP_RUN_H_
#define TABLOG_APP_RUN_H_

#include <ostream>
#include <string>

#include "rows/workers.h"

namespace tablog {

// Runs `tablog SCRIPT OUTPUT` with the command line `argv` (argc entries,
// the program name first). Messages go to `console`. Returns the exit
// status: 0 on success and for --help and --version, 1 on every failure
// (missing arguments, an unreadable script, an output that cannot be
// written or that names the script itself, running out of memory). A
// script that cannot be read leaves the output file untouched. `threads`
// is the TABLOG_THREADS setting (nullptr when unset): the number of threads
// the run may use, else those of the processors it may run on.
int runProgram(int argc, const char* const* argv, std::ostream& console,
               const char* threads = nullptr);

// Feeds every line of `script` to a new evaluator, as the program reads a
// script file (a line ends at a line feed, a NUL cuts its line, a final
// line feed gives one more, empty, line), and writes the result to `out`.
// The evaluator spreads its work over `workers`.
void runScript(std::string script, std::ostream& out, Workers workers = Workers());

}  // namespace tablog

#endif  // TABLOG_APP_RUN_H_
