// What the randomized differential tests share: a seeded generator of
// small choices, the number of cases a build runs (builds with the address
// or thread sanitizer run a tenth, other unoptimised builds a third), and one text
// for a table and its literal twin that tells every difference.
#ifndef TABLOG_TESTS_RANDOM_CASES_H_
#define TABLOG_TESTS_RANDOM_CASES_H_

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tables/data_table.h"
#include "tests/literal_oracle.h"

namespace tablog::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TABLOG_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TABLOG_TESTS_SANITIZED 1
#endif
#endif

#if defined(TABLOG_TESTS_SANITIZED)
constexpr int kCaseDivisor = 10;
#elif !defined(NDEBUG)
constexpr int kCaseDivisor = 3;
#else
constexpr int kCaseDivisor = 1;
#endif

// The number of cases to run where a release build runs `release`.
constexpr int iterations(int release) { return release / kCaseDivisor; }

class Gen {
 public:
  explicit Gen(std::uint32_t seed) : rng_(seed) {}
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return uniform(0, 99) < percent; }
  // REQUIRES: `from` is not empty.
  template <class T>
  const T& pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(uniform(0, static_cast<int>(from.size()) - 1))];
  }
  // Also takes a braced list of texts. REQUIRES: `from` is not empty.
  const std::string& pick(const std::vector<std::string>& from) { return pick<std::string>(from); }
  std::mt19937& engine() { return rng_; }

 private:
  std::mt19937 rng_;
};

// The printed table followed by the field names of its rows. Walks `t`.
inline std::string shown(DataTable& t) {
  std::ostringstream out;
  out << t << "--\n";
  for (DataCol* row = t.firstRow(); !t.atEnd(); row = t.nextRow()) {
    out << "[";
    for (int i = 0; i < row->size(); ++i) out << (i > 0 ? "|" : "") << row->nameAt(i);
    out << "]\n";
  }
  return out.str();
}

inline std::string shown(const literal::Table& t) {
  return literal::printed(t) + "--\n" + literal::fieldNames(t);
}

}  // namespace tablog::testing

#endif  // TABLOG_TESTS_RANDOM_CASES_H_
