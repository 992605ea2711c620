// tablog-csv: tables between CSV and tablog.
//   tablog-csv import NAME FILE.csv [COLUMNS]  script lines on standard output
//   tablog-csv export OUTPUT [TABLE...]        CSV on standard output
// Exits 0 on success, 1 when a file cannot be read or converted (the
// message names the file, line and field), 2 on a usage error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "csv/export.h"
#include "csv/import.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tablog-csv import NAME FILE.csv [COLUMNS]\n"
    "       tablog-csv export OUTPUT [TABLE...]\n"
    "       tablog-csv --help | --version\n";

constexpr std::string_view kHelp =
    "\n"
    "import  writes the declaration NAME(...) and one data line per row of FILE.csv\n"
    "        (- reads standard input); the first row names the columns, unless\n"
    "        COLUMNS names them as Col1,Col2,...\n"
    "export  writes the tables of tablog's OUTPUT file as CSV, all of them or the\n"
    "        TABLEs named, with an empty line between two tables\n"
    "\n"
    "See tablog-csv(1).\n";

// Reads the whole file at `path` ("-" is standard input); false when it
// cannot be read as a file.
bool readFile(const std::string& path, std::string& text) {
  int fd = path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
  if (fd != STDIN_FILENO) close(fd);
  return ok;
}

void say(FILE* to, std::string_view text) { std::fwrite(text.data(), 1, text.size(), to); }

int fail(const std::string& message) {
  say(stderr, "tablog-csv: " + message + "\n");
  return 1;
}

int usageError(const std::string& message) {
  say(stderr, "tablog-csv: " + message + "\n");
  say(stderr, kUsage);
  return 2;
}

// "FILE:LINE:FIELD: " with the parts that are known.
std::string place(const std::string& file, std::size_t line, std::size_t field) {
  std::string at = file;
  if (line > 0) at += ":" + std::to_string(line);
  if (line > 0 && field > 0) at += ":" + std::to_string(field);
  return at + ": ";
}

int writeOut(const std::string& text) {
  say(stdout, text);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail("cannot write standard output");
  return 0;
}

int runImport(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) return usageError("import takes NAME FILE.csv [COLUMNS]");
  const std::string& name = args[0];
  if (auto problem = tablog::csv::nameProblem(name)) {
    return usageError("the table name " + *problem);
  }
  std::optional<std::vector<std::string>> columns;
  if (args.size() == 3) {
    columns = tablog::csv::splitColumns(args[2]);
    for (std::size_t k = 0; k < columns->size(); ++k) {
      if (auto problem = tablog::csv::nameProblem((*columns)[k])) {
        return usageError("column " + std::to_string(k + 1) + " of COLUMNS " + *problem);
      }
    }
  }
  std::string text;
  if (!readFile(args[1], text)) return fail("cannot read " + args[1]);
  tablog::csv::ImportResult result = tablog::csv::importCsv(text, name, columns);
  if (result.problem) {
    const tablog::csv::ImportProblem& p = *result.problem;
    return fail(place(args[1], p.line, p.field) + p.message);
  }
  return writeOut(result.script);
}

int runExport(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("export takes OUTPUT [TABLE...]");
  std::string text;
  if (!readFile(args[0], text)) return fail("cannot read " + args[0]);
  tablog::csv::ExportResult result =
      tablog::csv::exportCsv(text, std::vector<std::string>(args.begin() + 1, args.end()));
  if (result.problem)
    return fail(place(args[0], result.problem->line, 0) + result.problem->message);
  return writeOut(result.csv);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usageError("a command is needed");
  std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" && args.empty()) {
    say(stdout, kUsage);
    return writeOut(std::string(kHelp));
  }
  if (command == "--version" && args.empty()) return writeOut("tablog-csv " TABLOG_VERSION "\n");
  if (command == "import") return runImport(args);
  if (command == "export") return runExport(args);
  return usageError("unknown command " + command);
}
