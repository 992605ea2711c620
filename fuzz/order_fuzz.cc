// libFuzzer entry for the row order: the input decodes to a small list of
// rows and a way of putting them in order (whole normalisation, or pending
// rows normalised after a prefix), which tests/order_check.h runs through
// tables/row_order.h and through the literal algorithms of the test suite.
// Any difference in values or in which of two equal rows survived aborts,
// with the case written to standard error.
//
// The input: byte 0 picks the mode (low two bits: whole list, all pending,
// normalised prefix then pending, prefix as given then pending; bit 2: the
// whole list takes the radix sort, as large tables do); byte 1 is
// the prefix length; byte 2 holds two batch sizes, one per half byte (0:
// none). Then rows: a byte whose value modulo 5 is the row's width, followed
// by that many values. A value byte below 0xF0 picks a literal of
// kAlphabet; from 0xF0 up, its low half byte is the length of a literal
// taken as it stands from the bytes after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/order_check.h"

namespace {

using tablog::ordercheck::OrderCase;
using tablog::ordercheck::OrderMode;

// Few values, so that repeats and ties are the rule: the empty literal
// (Null), quoted texts, spellings of one number, decimals and dates that
// read as their leading integer, bare words that read 0, numbers past the
// 32-bit limits, and texts too long to be held in place.
const char* const kAlphabet[] = {
    // Null and quoted texts
    "", "'a'", "'b'", "'B'", "'7'", "'07'", "''", "'a long quoted text'", "'\xff'",
    // one number spelt several ways
    "1", "01", "+1", " 1", "1x", "2", "-1",
    // decimals
    "7", "07", "+7", "7.50", "7.99", "-3.25", "-3", "12.50",
    // dates
    "2024-03-07", "2024-11-01", "2024", "2023-12-31", "2024-03-07T10:00:00",
    // bare words
    "x", "w0012", "NULL", "0", "-0", "abc",
    // past the limits
    "2147483647", "2147483648", "-2147483648", "-2147483649", "a long plain text value"};
constexpr std::size_t kAlphabetSize = sizeof kAlphabet / sizeof kAlphabet[0];
constexpr std::uint8_t kRawLiteral = 0xF0;

// The literal order is cubic in the rows when they arrive one at a time:
// more rows only slow the run down.
constexpr std::size_t kMaxRows = 48;
constexpr std::size_t kMaxInput = 512;

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  // The next byte, 0 past the end.
  std::uint8_t next() { return done() ? 0 : data_[at_++]; }
  std::string literal() {
    std::uint8_t b = next();
    if (b < kRawLiteral) return kAlphabet[b % kAlphabetSize];
    std::string raw;
    for (int n = b & 0x0F; n > 0 && !done(); --n) raw += static_cast<char>(next());
    return raw;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

OrderCase decode(const std::uint8_t* data, std::size_t size) {
  static const OrderMode kModes[] = {OrderMode::kWhole, OrderMode::kOneByOne,
                                     OrderMode::kSettledPrefix, OrderMode::kArbitraryPrefix};
  Reader in(data, size);
  OrderCase c;
  std::uint8_t mode = in.next();
  c.mode = kModes[mode & 3];
  if ((mode & 4) != 0) c.radixFrom = 2;
  c.prefix = in.next();
  std::uint8_t batches = in.next();
  if (batches != 0) c.batches = {static_cast<std::size_t>(batches >> 4), batches & 15u};
  while (!in.done() && c.rows.size() < kMaxRows) {
    std::vector<std::string> row;
    for (int width = in.next() % 5; width > 0; --width) row.push_back(in.literal());
    c.rows.push_back(row);
  }
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return -1;
  std::string report = tablog::ordercheck::checkOrder(decode(data, size));
  if (!report.empty()) {
    std::fputs(report.c_str(), stderr);
    std::abort();
  }
  return 0;
}
