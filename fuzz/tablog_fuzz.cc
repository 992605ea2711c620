// libFuzzer entry: runs the input bytes as a script, exactly as the program
// would read them from a file, and writes the result to memory. Any crash,
// sanitizer report, leak or hang found here is a bug in the script path.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "app/run.h"

namespace {

// Larger inputs add nothing a smaller one cannot reach and only slow the
// run down; ./dev fuzz passes the same bound as -max_len.
constexpr std::size_t kMaxInput = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return -1;
  std::string_view script(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  tablog::runScript(std::string(script), out);
  return 0;
}
