// Workers: the threads a run may use, and the one way work is spread over
// them. Work is cut into numbered parts whose results depend on the part
// number only, never on which thread did it or when, so that a run gives
// the same bytes with any number of threads. The calling thread takes
// parts too. With one thread, parts run in order on the calling thread and
// no thread is started.
//
// The helper threads are started once, with the Workers, and joined when
// the last copy of it goes, so none outlives a run. Between two pieces of
// work a helper keeps looking for the next for a few milliseconds before
// it sleeps: the intake of a large table hands out a batch every few
// milliseconds, and a sleeping processor can take as long to wake up as a
// batch takes to make. A helper that cannot be started leaves its parts
// to the threads that did start.
//
// It lives in the lowest layer because the intake of data lines, the row
// order, projections, the join's probe and the output all cut their work
// this way.
#ifndef TABLOG_ROWS_WORKERS_H_
#define TABLOG_ROWS_WORKERS_H_

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <exception>
#include <memory>
#include <type_traits>
#include <vector>

namespace tablog {

class Workers {
 public:
  // One thread: the calling one.
  Workers() = default;
  // `threads` threads: the calling one and threads - 1 helpers, started
  // here. REQUIRES: threads >= 1.
  explicit Workers(unsigned threads);

  unsigned threads() const { return threads_; }

  // The fewest rows worth a part of their own in a walk that copies or
  // probes each row once.
  static constexpr std::size_t kLeastRows = 16384;

  // How many parts to cut `items` items into: one per thread, but no part
  // under `least` items (and so a single part for small work).
  std::size_t partsFor(std::size_t items, std::size_t least) const {
    return std::max<std::size_t>(1, std::min<std::size_t>(threads_, items / least));
  }

  // Calls task(k) once for every k in [0, parts), on the calling thread and
  // the helpers, and returns when every part has ended. If parts threw,
  // the exception of the lowest such part is thrown here, after all parts
  // have ended. A call made from inside a task runs its parts in order on
  // its own thread.
  template <class Task>
  void run(std::size_t parts, Task&& task) const {
    if (parts == 0) return;
    if (parts == 1 || pool_ == nullptr) {
      for (std::size_t k = 0; k < parts; ++k) task(k);
      return;
    }
    using Plain = std::remove_reference_t<Task>;
    runParts(
        parts, [](void* t, std::size_t k) { (*static_cast<Plain*>(t))(k); },
        const_cast<void*>(static_cast<const void*>(std::addressof(task))));
  }

  // The number of threads for a run whose TABLOG_THREADS setting is
  // `setting` (nullptr when unset): a whole number from 1 says it;
  // anything else leaves it to the processors this process may run on.
  static unsigned fromSetting(const char* setting);

 private:
  class Pool;
  // run for more than one part with helpers: call(context, k) for each k.
  void runParts(std::size_t parts, void (*call)(void*, std::size_t), void* context) const;

  unsigned threads_ = 1;
  std::shared_ptr<Pool> pool_;  // the helpers; none with one thread
};

}  // namespace tablog

#endif  // TABLOG_ROWS_WORKERS_H_
