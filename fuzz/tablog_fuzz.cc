// libFuzzer entry: runs the input bytes as a script, exactly as the program
// would read them from a file, and writes the result to memory. Any crash,
// sanitizer report, leak or hang found here is a bug in the script path.
//
// A few hundred bytes of rules can ask for more rows than any memory holds
// (joins through a shared constant column multiply). The program reports
// that as running out of memory; here ./dev fuzz lets allocations fail past
// a soft limit (allocator_may_return_null, soft_rss_limit_mb), and the
// input counts as handled when the evaluation gives up cleanly, releasing
// everything it held.
#include <sanitizer/allocator_interface.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

#include "app/run.h"

// The sanitizer's own operator new reports an exhausted allocator instead of
// throwing; these make `new` fail the way it does in the program.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Larger inputs add nothing a smaller one cannot reach and only slow the
// run down; ./dev fuzz passes the same bound as -max_len.
constexpr std::size_t kMaxInput = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return -1;
  std::string_view script(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  try {
    tablog::runScript(std::string(script), out);
  } catch (const std::bad_alloc&) {
    // Past the soft limit every allocation fails, the fuzzer's own too,
    // until the sanitizer sees the memory given back: give it back, and
    // wait for that before the fuzzer goes on.
    __sanitizer_purge_allocator();
    for (int tries = 0; tries < 500; ++tries) {
      if (void* p = std::malloc(1 << 16)) {
        std::free(p);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return 0;
}
