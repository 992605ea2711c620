// The program entry's work: argument checks, the guard against a script
// that is also the output, reading the script line by line into the
// evaluator, and writing the result with every write failure reported.
#include "app/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "eval/evaluate_graph.h"
#include "eval/script_reader.h"
#include "eval/script_syntax.h"

namespace tablog {

namespace {

// Writes all of `data` to `fd`, again after a short or interrupted write;
// false when a write fails.
bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// An output stream buffer that writes to a file descriptor in large
// blocks and remembers whether any write failed.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : fd_(fd), block_(std::size_t{1} << 20, '\0') {
    setp(block_.data(), block_.data() + block_.size());
  }
  bool failed() const { return failed_; }
  int sync() override {
    std::ptrdiff_t n = pptr() - pbase();
    if (n > 0 && !failed_)
      failed_ = !writeAll(fd_, std::string_view(pbase(), static_cast<std::size_t>(n)));
    setp(block_.data(), block_.data() + block_.size());
    return failed_ ? -1 : 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n >= static_cast<std::streamsize>(block_.size())) {
      if (sync() != 0) return 0;
      failed_ = !writeAll(fd_, std::string_view(s, static_cast<std::size_t>(n)));
      return failed_ ? 0 : n;
    }
    return std::streambuf::xsputn(s, n);
  }

 private:
  int fd_;
  std::string block_;
  bool failed_ = false;
};

// How a run with both files open ends.
enum class Ending { kWritten, kScriptUnreadable, kWriteFailed, kOutOfMemory };

// Reads the script from `scriptFd` into an evaluator, a line at a time (the
// script is never held whole), and writes the result to `outputFd`.
// Closes both. The evaluator spreads its work over `threads` threads.
Ending evaluateInto(int scriptFd, int outputFd, unsigned threads) {
  bool written;
  try {
    EvaluateGraph graph{Workers(threads)};
    bool read = readScript(scriptFd, [&graph](std::string_view line) { graph.takeLine(line); });
    close(std::exchange(scriptFd, -1));
    if (!read) {
      close(outputFd);
      return Ending::kScriptUnreadable;
    }
    FdBuffer buffer(outputFd);
    std::ostream out(&buffer);
    out << graph;
    out.flush();
    written = !buffer.failed() && out;
  } catch (const std::bad_alloc&) {
    // A script can ask for more rows than memory holds (joins of joins
    // through a shared constant column multiply): say so instead of dying.
    if (scriptFd >= 0) close(scriptFd);
    close(outputFd);
    return Ending::kOutOfMemory;
  }
  if (close(outputFd) != 0) written = false;
  return written ? Ending::kWritten : Ending::kWriteFailed;
}

// Answers `--help` or `--version`; false for any other argument.
bool answerOption(std::string_view option, std::ostream& console) {
  if (option == "--help") {
    console << "usage: tablog SCRIPT OUTPUT (see tablog(1))" << std::endl;
  } else if (option == "--version") {
    console << "tablog " TABLOG_VERSION << std::endl;
  } else {
    return false;
  }
  return true;
}

bool sameFile(const char* a, const char* b) {
  struct stat infoA, infoB;
  return stat(a, &infoA) == 0 && stat(b, &infoB) == 0 && infoA.st_dev == infoB.st_dev &&
         infoA.st_ino == infoB.st_ino;
}

int fail(std::ostream& console, const char* message) {
  console << message << std::endl;
  return 1;
}

}  // namespace

void runScript(std::string script, std::ostream& out, Workers workers) {
  EvaluateGraph graph(workers);
  forEachScriptLine(script, [&graph](std::string_view line) { graph.takeLine(line); });
  std::string().swap(script);  // the text is no longer needed while rules run
  out << graph;
}

int runProgram(int argc, const char* const* argv, std::ostream& console, const char* threads) {
  if (argc == 2 && answerOption(argv[1], console)) return 0;
  if (argc <= 2) {
    console << "2 parametert kerek!" << std::flush;
    return 1;
  }
  if (sameFile(argv[1], argv[2])) return fail(console, "A ket file ugyanaz!");
  // The script is opened first: a mistyped command (the two paths swapped,
  // a missing script) must not empty or create the output file.
  int scriptFd = openScript(argv[1]);
  if (scriptFd < 0) return fail(console, "Nem talalom a file-t!");
  int outputFd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (outputFd < 0) {
    close(scriptFd);
    return fail(console, "Nem tudom irni a file-t!");
  }
  switch (evaluateInto(scriptFd, outputFd, Workers::fromSetting(threads))) {
    case Ending::kWritten:
      return 0;
    case Ending::kScriptUnreadable:
      return fail(console, "Nem talalom a file-t!");
    case Ending::kWriteFailed:
      return fail(console, "Nem tudom irni a file-t!");
    case Ending::kOutOfMemory:
      return fail(console, "Nincs eleg memoria!");
  }
  return 1;
}

}  // namespace tablog
