// Opening a script file (eval/script_reader.h).
#include "eval/script_reader.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tablog {

int openScript(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace tablog
