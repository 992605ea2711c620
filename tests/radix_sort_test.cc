// The radix sort against std::stable_sort: keys of several shapes (shared
// high, low or middle digits, few distinct keys, in order already), digit
// widths from 1 to 12 bits, lists of 0 to a few thousand items, sorted as a
// range of a longer list and as a whole list of move-only items.
#include "tables/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <span>
#include <vector>

namespace tablog {
namespace {

struct Item {
  std::uint64_t key;
  std::uint32_t id;  // the place before sorting, which ties keep
  bool operator==(const Item&) const = default;
};

// Keys of shape `shape`, each from 64 random bits.
std::uint64_t keyOf(int shape, std::uint64_t r) {
  switch (shape) {
    case 0:
      return r;  // every digit differs
    case 1:
      return r & 0xFFFF;  // shared high digits
    case 2:
      return r << 40;  // shared low digits
    case 3:
      return (r & 0xFF00FF) | 0xABCD000000000000u;  // a shared middle byte
    default:
      return r % 5;  // few keys: stability
  }
}

bool byKey(const Item& a, const Item& b) { return a.key < b.key; }

template <int kBits>
void checkWidth(std::mt19937_64& rng) {
  std::vector<Item> buffer;
  for (std::size_t n : {0, 1, 2, 3, 17, 255, 256, 1000, 4097}) {
    for (int shape = 0; shape < 6; ++shape) {
      std::vector<Item> list(n + 4);  // two items either side stay put
      for (std::uint32_t i = 0; i < list.size(); ++i) list[i] = {keyOf(shape % 5, rng()), i};
      if (shape == 5) std::sort(list.begin() + 2, list.end() - 2, byKey);  // in order already
      const std::vector<Item> before = list;
      std::vector<Item> expected = list;
      std::stable_sort(expected.begin() + 2, expected.end() - 2, byKey);
      radixSort<kBits>(std::span(list).subspan(2, n), buffer, [](const Item& x) { return x.key; });
      ASSERT_EQ(expected, list) << kBits << " bits, " << n << " items, shape " << shape;
      // A whole list of move-only items, its buffer too short at first.
      std::vector<std::unique_ptr<Item>> owned, spare(n / 2);
      for (std::size_t i = 2; i < n + 2; ++i) owned.push_back(std::make_unique<Item>(before[i]));
      radixSort<kBits>(owned, spare, [](const std::unique_ptr<Item>& x) { return x->key; });
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(expected[i + 2], *owned[i]) << kBits << " bits, " << n << " owned items";
      }
    }
  }
}

TEST(RadixSortTest, MatchesAStableSort) {
  std::mt19937_64 rng(11);
  checkWidth<1>(rng);
  checkWidth<3>(rng);
  checkWidth<8>(rng);
  checkWidth<11>(rng);
  checkWidth<12>(rng);
}

}  // namespace
}  // namespace tablog
