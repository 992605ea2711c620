// tablog-lint SCRIPT...: prints what tablog will silently do with the
// lines of each script, one warning a line, as
// SCRIPT:LINE:COLUMN: warning: MESSAGE [name]. Exits 0 when nothing was
// found, 1 when a warning was printed, 2 when a script cannot be read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "lint/lint.h"

namespace {

// Reads the whole file at `path`; false when it cannot be read as a file.
bool readFile(const char* path, std::string& text) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
  char chunk[1 << 16];
  while (ok) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: tablog-lint SCRIPT...\n";
    return 2;
  }
  int status = 0;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    std::string text;
    if (!readFile(argv[i], text)) {
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
