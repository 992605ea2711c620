// The command line as a user meets it, through the real executable: every
// exit status and message, and above all that a mistyped command loses no
// file. Each case lays out a fresh folder, runs the program, and checks the
// status, the console and what the folder holds afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/run_tablog.h"

namespace tablog {
namespace {

namespace fs = std::filesystem;
using tablog_test::RunResult;
using tablog_test::RunTablog;

const std::string kScript = "T(A)\n1\n";
const std::string kOutput = "\nT(A)\n1\n\n";
const std::string kOld = "old contents\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every regular file below `dir` (symbolic links as "->TARGET"), by its
// path relative to `dir`, with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = fs::relative(entry.path(), dir).string();
    if (entry.is_symlink()) {
      files[name] = "->" + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      files[name] = ReadFile(entry.path());
    }
  }
  return files;
}

struct Case {
  const char* what;
  // Lays out the folder: s.tl holds kScript unless told otherwise.
  std::function<void(const fs::path&)> setUp;
  // The arguments, with "@" standing for the folder.
  std::vector<std::string> args;
  int status;
  std::string console;
  // The folder afterwards; empty means "as it was before the run".
  std::map<std::string, std::string> after;
};

TEST(CommandLineTest, EveryPathGivesItsStatusAndLosesNoFile) {
  auto script = [](const fs::path& d) { WriteFile(d / "s.tl", kScript); };
  auto scriptAndOld = [](const fs::path& d) {
    WriteFile(d / "s.tl", kScript);
    WriteFile(d / "out.txt", kOld);
  };
  const std::string usage = "usage: tablog SCRIPT OUTPUT (see tablog(1))\n";
  const std::string missingArgs = "2 parametert kerek!";
  const std::string notFound = "Nem talalom a file-t!\n";
  const std::string cannotWrite = "Nem tudom irni a file-t!\n";
  const std::string same = "A ket file ugyanaz!\n";
  const std::vector<Case> cases = {
      {"success",
       script,
       {"@/s.tl", "@/out.txt"},
       0,
       "",
       {{"s.tl", kScript}, {"out.txt", kOutput}}},
      {"success replaces an old output",
       scriptAndOld,
       {"@/s.tl", "@/out.txt"},
       0,
       "",
       {{"s.tl", kScript}, {"out.txt", kOutput}}},
      {"arguments after the second are ignored",
       script,
       {"@/s.tl", "@/out.txt", "@/x"},
       0,
       "",
       {{"s.tl", kScript}, {"out.txt", kOutput}}},
      {"no arguments", script, {}, 1, missingArgs, {}},
      {"only the script", script, {"@/s.tl"}, 1, missingArgs, {}},
      {"help", script, {"--help"}, 0, usage, {}},
      {"version", script, {"--version"}, 0, "tablog " TABLOG_VERSION "\n", {}},
      {"help beside a second argument is a script path",
       script,
       {"--help", "@/out.txt"},
       1,
       notFound,
       {}},
      {"arguments swapped: the script survives, nothing is created",
       script,
       {"@/out.txt", "@/s.tl"},
       1,
       notFound,
       {}},
      {"missing script: an existing output survives",
       scriptAndOld,
       {"@/none.tl", "@/out.txt"},
       1,
       notFound,
       {}},
      {"a directory as script", scriptAndOld, {"@", "@/out.txt"}, 1, notFound, {}},
      {"a missing script is reported before an output that cannot be opened",
       script,
       {"@/none.tl", "@/no/out.txt"},
       1,
       notFound,
       {}},
      {"output in a missing folder", script, {"@/s.tl", "@/no/out.txt"}, 1, cannotWrite, {}},
      {"a directory as output", script, {"@/s.tl", "@"}, 1, cannotWrite, {}},
      {"a full device as output", script, {"@/s.tl", "/dev/full"}, 1, cannotWrite, {}},
      {"the same path twice", script, {"@/s.tl", "@/s.tl"}, 1, same, {}},
      {"the same file by another spelling",
       [](const fs::path& d) {
         WriteFile(d / "s.tl", kScript);
         fs::create_directory(d / "sub");
       },
       {"@/s.tl", "@/sub/../s.tl"},
       1,
       same,
       {}},
      {"the same file through a hard link",
       [](const fs::path& d) {
         WriteFile(d / "s.tl", kScript);
         fs::create_hard_link(d / "s.tl", d / "out.txt");
       },
       {"@/s.tl", "@/out.txt"},
       1,
       same,
       {}},
      {"the same file through a symbolic link",
       [](const fs::path& d) {
         WriteFile(d / "s.tl", kScript);
         fs::create_symlink(d / "s.tl", d / "out.txt");
       },
       {"@/out.txt", "@/s.tl"},
       1,
       same,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string pattern = (fs::temp_directory_path() / "tablog-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fs::path dir = pattern;
    c.setUp(dir);
    std::map<std::string, std::string> before = Snapshot(dir);
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg[0] == '@') arg = dir.string() + arg.substr(1);
      args.push_back(arg);
    }
    RunResult run = RunTablog(args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.console, c.console);
    EXPECT_EQ(Snapshot(dir), c.after.empty() ? before : c.after);
    fs::remove_all(dir);
  }
}

// A write that fails at any byte of the output, as on a disk that fills up
// there, is reported; only the whole output is success.
TEST(CommandLineTest, AWriteFailingAtAnyByteIsReported) {
  std::string pattern = (fs::temp_directory_path() / "tablog-write-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern, examples = fs::path(TABLOG_SOURCE_DIR) / "examples";
  const std::string script = (examples / "offices.tl").string();
  const std::string expected = ReadFile(examples / "offices.out");
  const std::string output = (dir / "out.txt").string();
  for (long size = 0; size <= static_cast<long>(expected.size()); ++size) {
    RunResult run = RunTablog({script, output}, 0, size);
    bool whole = size == static_cast<long>(expected.size());
    EXPECT_EQ(run.status, whole ? 0 : 1) << size;
    EXPECT_EQ(run.console, whole ? "" : "Nem tudom irni a file-t!\n") << size;
    if (whole) {
      EXPECT_EQ(ReadFile(output), expected);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tablog
