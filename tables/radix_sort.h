// radixSort: the program's one radix sort, under the normalising of row
// lists (entries by their 8-byte keys, eight bits at a time, in
// tables/row_order.cc) and the freeing of large row lists in address order
// (eleven bits at a time, freeInAddressOrder in tables/row_order.h). It
// sorts stably by a 64-bit key, a digit at a time from the lowest. Keys
// already in order cost one look and no buffer. Otherwise one pass finds
// the bits in which keys differ, one more counts the values of every digit
// in which they do, and each such digit takes one pass that moves the items
// between the caller's storage and one buffer; a digit that every key
// shares takes no pass at all (the high bits of rows' addresses, the upper
// four bytes of a number's key, a first letter that texts share).
#ifndef TABLOG_TABLES_RADIX_SORT_H_
#define TABLOG_TABLES_RADIX_SORT_H_

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "rows/workers.h"

namespace tablog {

namespace radix_sort_internal {

// The digits of a 64-bit key at kDigitBits bits each, the last one
// shorter when kDigitBits does not divide 64.
template <int kDigitBits>
struct Digits {
  static constexpr int kCount = (64 + kDigitBits - 1) / kDigitBits;
  static constexpr std::size_t kValues = std::size_t{1} << kDigitBits;
  // Per digit, per value of it, a count and then a place.
  using Counts = std::array<std::array<std::uint32_t, kValues>, kCount>;

  static std::size_t of(std::uint64_t key, int d) {
    return static_cast<std::size_t>(key >> (d * kDigitBits)) & (kValues - 1);
  }
};

template <class T, class KeyOf>
bool keysInOrder(std::span<T> items, KeyOf& keyOf) {
  for (std::size_t i = 1; i < items.size(); ++i) {
    if (keyOf(items[i]) < keyOf(items[i - 1])) return false;
  }
  return true;
}

// The bits in which some key differs from the first.
template <class T, class KeyOf>
std::uint64_t differingBits(std::span<T> items, KeyOf& keyOf) {
  const std::uint64_t first = keyOf(items[0]);
  std::uint64_t differ = 0;
  for (const T& x : items) differ |= keyOf(x) ^ first;
  return differ;
}

// Counts, per digit in which keys differ, how many keys have each value
// of it.
template <int kDigitBits, class T, class KeyOf>
void countDigits(std::span<T> items, KeyOf& keyOf, std::uint64_t differ,
                 typename Digits<kDigitBits>::Counts& counts) {
  using D = Digits<kDigitBits>;
  std::array<bool, D::kCount> varies;
  for (int d = 0; d < D::kCount; ++d) varies[d] = D::of(differ, d) != 0;
  for (const T& x : items) {
    const std::uint64_t key = keyOf(x);
    for (int d = 0; d < D::kCount; ++d) {
      if (varies[d]) ++counts[d][D::of(key, d)];
    }
  }
}

// The passes of the sort, between `items` and `buffer`; true when the
// sorted items end in the buffer.
// REQUIRES: room for items.size() items at `buffer`, outside `items`.
template <int kDigitBits, class T, class KeyOf>
bool sortByDigits(std::span<T> items, T* buffer, KeyOf& keyOf) {
  static_assert(kDigitBits >= 1 && kDigitBits <= 12);
  using D = Digits<kDigitBits>;
  const std::size_t n = items.size();
  assert(n < std::numeric_limits<std::uint32_t>::max());
  assert(buffer + n <= items.data() || items.data() + n <= buffer);
  if (n == 0) return false;
  const std::uint64_t differ = differingBits(items, keyOf);
  typename D::Counts counts{};
  countDigits<kDigitBits>(items, keyOf, differ, counts);
  T* from = items.data();
  T* to = buffer;
  for (int d = 0; d < D::kCount; ++d) {
    std::array<std::uint32_t, D::kValues>& place = counts[d];
    if (D::of(differ, d) == 0) continue;  // every key shares it
    std::uint32_t sum = 0;
    for (std::uint32_t& c : place) sum += std::exchange(c, sum);
    for (std::size_t i = 0; i < n; ++i) to[place[D::of(keyOf(from[i]), d)]++] = std::move(from[i]);
    std::swap(from, to);
  }
  return from == buffer;
}

}  // namespace radix_sort_internal

// Sorts `items` stably by keyOf(item), a std::uint64_t, kDigitBits bits at
// a time: the sorted items end in `items`. `buffer`, a vector of T, is
// grown to items.size() when it is shorter, and what it holds afterwards
// is left over from the moves. If growing it throws, `items` is as it was.
// REQUIRES: 1 <= kDigitBits <= 12 (the counts lie on the stack),
// items.size() < 2^32, and `items` does not lie in `buffer`.
template <int kDigitBits, class T, class Buffer, class KeyOf>
void radixSort(std::span<T> items, Buffer& buffer, KeyOf keyOf) {
  if (radix_sort_internal::keysInOrder(items, keyOf)) return;
  if (buffer.size() < items.size()) buffer.resize(items.size());
  if (radix_sort_internal::sortByDigits<kDigitBits>(items, buffer.data(), keyOf)) {
    std::move(buffer.begin(), buffer.begin() + items.size(), items.begin());
  }
}

// The same for a whole vector, but a sort that ends in the buffer
// exchanges the two vectors' storage instead of moving the items back: the
// buffer is made exactly as long as `items`.
template <int kDigitBits, class T, class KeyOf>
void radixSort(std::vector<T>& items, std::vector<T>& buffer, KeyOf keyOf) {
  if (radix_sort_internal::keysInOrder(std::span(items), keyOf)) return;
  buffer.resize(items.size());
  if (radix_sort_internal::sortByDigits<kDigitBits>(std::span(items), buffer.data(), keyOf)) {
    items.swap(buffer);
  }
}

// radixSort spread over `workers`. Each pass cuts the items as they stand
// into parts; every part counts its digits, and then moves its items to
// the places that the parts before it leave free, so the sort stays stable
// and its result is the one-thread result.
template <int kDigitBits, class T, class Buffer, class KeyOf>
void radixSort(std::span<T> items, Buffer& buffer, KeyOf keyOf, const Workers& workers) {
  using D = radix_sort_internal::Digits<kDigitBits>;
  constexpr std::size_t kLeastPart = std::size_t{1} << 15;
  const std::size_t n = items.size(), parts = workers.partsFor(n, kLeastPart);
  if (parts == 1) return radixSort<kDigitBits>(items, buffer, keyOf);
  if (radix_sort_internal::keysInOrder(items, keyOf)) return;
  if (buffer.size() < n) buffer.resize(n);
  auto part = [&](T* at, std::size_t k) {
    return std::span<T>(at + n * k / parts, at + n * (k + 1) / parts);
  };
  const std::uint64_t first = keyOf(items[0]);
  std::vector<std::uint64_t> differs(parts);
  workers.run(parts, [&](std::size_t k) {
    for (const T& x : part(items.data(), k)) differs[k] |= keyOf(x) ^ first;
  });
  std::uint64_t differ = 0;
  for (std::uint64_t d : differs) differ |= d;
  std::vector<std::array<std::uint32_t, D::kValues>> place(parts);
  T* from = items.data();
  T* to = buffer.data();
  for (int d = 0; d < D::kCount; ++d) {
    if (D::of(differ, d) == 0) continue;  // every key shares it
    workers.run(parts, [&](std::size_t k) {
      place[k].fill(0);
      for (const T& x : part(from, k)) ++place[k][D::of(keyOf(x), d)];
    });
    std::uint32_t sum = 0;
    for (std::size_t v = 0; v < D::kValues; ++v) {
      for (std::size_t k = 0; k < parts; ++k) sum += std::exchange(place[k][v], sum);
    }
    workers.run(parts, [&](std::size_t k) {
      for (T& x : part(from, k)) to[place[k][D::of(keyOf(x), d)]++] = std::move(x);
    });
    std::swap(from, to);
  }
  if (from != items.data()) {
    workers.run(parts, [&](std::size_t k) {
      std::span<T> moved = part(from, k);
      std::move(moved.begin(), moved.end(), items.begin() + (moved.data() - from));
    });
  }
}

}  // namespace tablog

#endif  // TABLOG_TABLES_RADIX_SORT_H_
