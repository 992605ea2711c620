// Workers: the threads a run may use, and the one way work is spread over
// them. Work is cut into numbered parts whose results depend on the part
// number only, never on which thread did it or when, so that a run gives
// the same bytes with any number of threads. The calling thread takes
// parts too; helper threads live for one call, so none is ever left
// behind, and a helper that cannot be started leaves its parts to the
// threads that did start. With one thread, parts run in order on the
// calling thread and no thread is started.
//
// It lives in the lowest layer because the row order, the output and the
// intake of data lines all cut their work this way.
#ifndef TABLOG_ROWS_WORKERS_H_
#define TABLOG_ROWS_WORKERS_H_

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace tablog {

class Workers {
 public:
  // One thread: the calling one.
  Workers() = default;
  // REQUIRES: threads >= 1.
  explicit Workers(unsigned threads) : threads_(threads) { assert(threads >= 1); }

  unsigned threads() const { return threads_; }

  // How many parts to cut `items` items into: one per thread, but no part
  // under `least` items (and so a single part for small work).
  std::size_t partsFor(std::size_t items, std::size_t least) const {
    return std::max<std::size_t>(1, std::min<std::size_t>(threads_, items / least));
  }

  // Calls task(k) once for every k in [0, parts), on up to threads()
  // threads, the calling one among them, and returns when every part has
  // ended. If parts threw, the exception of the lowest such part is thrown
  // here, after all parts have ended.
  template <class Task>
  void run(std::size_t parts, Task&& task) const {
    const std::size_t helpers = std::min<std::size_t>(threads_, parts) - (parts > 0 ? 1 : 0);
    if (helpers == 0) {
      for (std::size_t k = 0; k < parts; ++k) task(k);
      return;
    }
    std::vector<std::exception_ptr> errors(parts);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < parts;) {
        try {
          task(k);
        } catch (...) {
          errors[k] = std::current_exception();
        }
      }
    };
    std::vector<std::thread> started;
    try {
      started.reserve(helpers);
      for (std::size_t h = 0; h < helpers; ++h) started.emplace_back(work);
    } catch (...) {
      // No room or no thread: the threads that did start, and this one,
      // take every part.
    }
    work();
    for (std::thread& t : started) t.join();
    for (const std::exception_ptr& e : errors) {
      if (e) std::rethrow_exception(e);
    }
  }

  // The number of threads for a run whose TABLOG_THREADS setting is
  // `setting` (nullptr when unset): a whole number from 1 says it;
  // anything else leaves it to the processors this process may run on.
  static unsigned fromSetting(const char* setting);

 private:
  unsigned threads_ = 1;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_WORKERS_H_
