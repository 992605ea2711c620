// How many threads a run takes: its setting, else its processors.
#include "rows/workers.h"

#include <sched.h>

#include <charconv>
#include <cstring>

namespace tablog {

unsigned Workers::fromSetting(const char* setting) {
  // A setting beyond any machine's processors is held to this many.
  constexpr unsigned kMost = 1024;
  if (setting != nullptr) {
    unsigned n = 0;
    const char* end = setting + std::strlen(setting);
    auto [at, error] = std::from_chars(setting, end, n);
    if (error == std::errc() && at == end && n >= 1) return std::min(n, kMost);
  }
  cpu_set_t mask;
  if (sched_getaffinity(0, sizeof mask, &mask) == 0) {
    const int count = CPU_COUNT(&mask);
    if (count >= 1) return std::min(static_cast<unsigned>(count), kMost);
  }
  return 1;
}

}  // namespace tablog
