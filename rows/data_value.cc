// Parsing, ordering, condition matching and printing of single values.
#include "rows/data_value.h"

#include <limits>

namespace tablog {

std::int32_t readNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate towards the sign so that INT32_MIN is reachable.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10 + (negative ? -(text[i] - '0') : (text[i] - '0'));
    if (n > kMax) return static_cast<std::int32_t>(kMax);
    if (n < kMin) return static_cast<std::int32_t>(kMin);
  }
  return static_cast<std::int32_t>(n);
}

void DataValue::assign(std::string_view text, ValueKind kind) {
  // Build the new bytes first: `text` may lie in this value.
  unsigned char fresh[sizeof bytes_];
  if (text.size() <= kInline) {
    if (!text.empty()) std::memcpy(fresh, text.data(), text.size());
    fresh[kSizeByte] = static_cast<unsigned char>(text.size());
  } else {
    const bool isLong = text.size() >= TextBlock::kLong;
    const std::size_t extra = isLong ? sizeof(std::size_t) : 0;
    auto* b = static_cast<TextBlock*>(::operator new(sizeof(TextBlock) + extra + text.size()));
    b->size = isLong ? TextBlock::kLong : static_cast<std::uint32_t>(text.size());
    b->holders = 1;
    if (isLong) {
      std::size_t size = text.size();
      std::memcpy(b + 1, &size, sizeof size);
    }
    std::memcpy(reinterpret_cast<char*>(b + 1) + extra, text.data(), text.size());
    std::memcpy(fresh, &b, sizeof b);
    fresh[kSizeByte] = kOnHeap;
  }
  fresh[kKindByte] = kind;
  release();
  std::memcpy(bytes_, fresh, sizeof bytes_);
}

bool DataValue::greaterThan(const DataValue& other) const {
  if (kind() != other.kind()) return false;
  if (kind() == Plain) return number() > other.number();
  return text().compare(other.text()) > 0;  // char_traits compares unsigned bytes
}

bool DataValue::matches(const DataValue& condition) const {
  std::string_view t = condition.text();
  // A variable matches anything: this value's text, which may be held
  // apart, is not read for it.
  if (!t.empty() && t[0] >= 'A' && t[0] <= 'Z' && condition.kind() == Plain) return true;
  std::string_view mine = text();
  if (t.empty()) return mine.empty();
  std::string_view operand = t.substr(1);
  switch (t[0]) {
    case '=':
      return mine == operand;
    case '<':
      return mine.compare(operand) < 0;
    case '>':
      return mine.compare(operand) > 0;
    default:
      return mine == t;
  }
}

void DataValue::appendTo(std::string& out) const {
  std::size_t at = out.size();
  out.resize(at + printedSize());
  printTo(out.data() + at);
}

}  // namespace tablog
