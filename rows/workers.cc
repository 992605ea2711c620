// The helper threads of Workers, and how many threads a run takes.
//
// A piece of work is a Job: the task, its number of parts, a counter that
// hands the parts out and one that counts those ended. The calling thread
// posts it and takes parts itself; helpers take parts until none is left.
// The caller returns once every part has ended, not once every helper has
// looked: a helper that wakes late finds the counter spent and never calls
// the task, whose captures may be gone by then. The job itself lives as
// long as any thread holds it.
#include "rows/workers.h"

#include <sched.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

namespace tablog {

namespace {

// Tells the processor that this thread waits in a loop.
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

struct Job {
  Job(std::size_t parts, void (*call)(void*, std::size_t), void* context)
      : call(call), context(context), parts(parts), errors(parts) {}

  // Takes parts until none is left.
  void work() {
    for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < parts;) {
      try {
        call(context, k);
      } catch (...) {
        errors[k] = std::current_exception();
      }
      ended.fetch_add(1, std::memory_order_release);
    }
  }

  void (*call)(void*, std::size_t);
  void* context;
  const std::size_t parts;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> ended{0};
  std::vector<std::exception_ptr> errors;  // per part, set by the thread that ran it
};

}  // namespace

class Workers::Pool {
 public:
  explicit Pool(unsigned helpers) {
    try {
      threads_.reserve(helpers);
      for (unsigned h = 0; h < helpers; ++h) threads_.emplace_back([this] { serve(); });
    } catch (...) {
      // No room or no thread: the helpers that did start share the work.
    }
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // Runs `job` on this thread and the helpers. False, and nothing done,
  // when the pool is at work already (a call from inside a task).
  bool run(const std::shared_ptr<Job>& job) {
    if (busy_.exchange(true, std::memory_order_acquire)) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = job;
      generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    job->work();
    while (job->ended.load(std::memory_order_acquire) < job->parts) relax();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_.reset();
    }
    busy_.store(false, std::memory_order_release);
    return true;
  }

 private:
  // How long a helper keeps looking for work before it sleeps.
  static constexpr std::chrono::milliseconds kLooking{5};

  void serve() {
    std::uint64_t seen = 0;
    for (;;) {
      const auto until = std::chrono::steady_clock::now() + kLooking;
      for (unsigned spins = 0; generation_.load(std::memory_order_acquire) == seen; ++spins) {
        if (spins % 256 == 0 && std::chrono::steady_clock::now() > until) break;
        relax();
      }
      std::shared_ptr<Job> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || generation_.load() != seen; });
        if (quit_) return;
        seen = generation_.load();
        job = job_;  // none when the caller has finished it already
      }
      if (job != nullptr) job->work();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;                         // under mutex_
  std::shared_ptr<Job> job_;                  // under mutex_: the work posted last
  std::atomic<std::uint64_t> generation_{0};  // counts the jobs posted
  std::atomic<bool> busy_{false};             // a job is running
  std::vector<std::thread> threads_;
};

Workers::Workers(unsigned threads) : threads_(threads) {
  assert(threads >= 1);
  if (threads > 1) pool_ = std::make_shared<Pool>(threads - 1);
}

void Workers::runParts(std::size_t parts, void (*call)(void*, std::size_t), void* context) const {
  auto job = std::make_shared<Job>(parts, call, context);
  if (!pool_->run(job)) job->work();
  for (const std::exception_ptr& e : job->errors) {
    if (e) std::rethrow_exception(e);
  }
}

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
