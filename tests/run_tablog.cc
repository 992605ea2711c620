// The runner of tests/run_tablog.h.
#include "tests/run_tablog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tablog_test {

RunResult RunTablog(const std::vector<std::string>& args, long memoryLimitMb, long fileSizeLimit) {
  RunResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    if (memoryLimitMb > 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(memoryLimitMb) << 20;
      setrlimit(RLIMIT_AS, &limit);
    }
    if (fileSizeLimit >= 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(fileSizeLimit);
      setrlimit(RLIMIT_FSIZE, &limit);
      signal(SIGXFSZ, SIG_IGN);  // an ignored signal stays ignored across exec
    }
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    std::vector<char*> argv;
    std::string program = TABLOG_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  char chunk[4096];
  for (;;) {
    ssize_t n = read(fds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.console.append(chunk, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  return result;
}

}  // namespace tablog_test
