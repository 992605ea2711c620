// ValueList: the values of one row, in field order. Up to kInline values
// live inside the list itself, so the usual row of a few columns takes one
// allocation (its DataCol) instead of two.
#ifndef TABLOG_ROWS_VALUE_LIST_H_
#define TABLOG_ROWS_VALUE_LIST_H_

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "rows/data_value.h"

namespace tablog {

class ValueList {
 public:
  ValueList() = default;
  // `n` Null values.
  explicit ValueList(std::size_t n) {
    reserve(n);
    for (std::size_t i = 0; i < n; ++i) new (data() + i) DataValue();
    size_ = static_cast<std::uint32_t>(n);
  }
  // If a value's text cannot be allocated, the values copied so far and the
  // block are freed before std::bad_alloc goes on.
  ValueList(const ValueList& other) {
    try {
      reserve(other.size_);
      for (; size_ < other.size_; ++size_) new (data() + size_) DataValue(other[size_]);
    } catch (...) {
      clear();
      if (onHeap()) ::operator delete(heap_);
      throw;
    }
  }
  ValueList& operator=(const ValueList& other) {
    if (this != &other) {
      ValueList copy(other);
      swap(copy);
    }
    return *this;
  }
  ~ValueList() {
    clear();
    if (onHeap()) ::operator delete(heap_);
  }

  std::size_t size() const { return size_; }
  // REQUIRES: i < size().
  DataValue& operator[](std::size_t i) {
    assert(i < size_);
    return data()[i];
  }
  const DataValue& operator[](std::size_t i) const {
    assert(i < size_);
    return data()[i];
  }

  void push_back(const DataValue& v) {
    DataValue copy(v);  // `v` may be one of ours
    reserve(size_ + 1);
    new (data() + size_) DataValue(std::move(copy));
    ++size_;
  }
  void emplace_back(std::string_view literal) {
    reserve(size_ + 1);
    new (data() + size_) DataValue(literal);
    ++size_;
  }
  // Keeps the values at `positions` (increasing; those past the end are
  // skipped), in that order; the others are destroyed. Values that fit in
  // place again leave their heap block.
  void keep(const std::vector<int>& positions) {
    std::size_t j = 0;
    for (int p : positions) {
      if (p < 0 || static_cast<std::size_t>(p) >= size_) continue;
      if (j != static_cast<std::size_t>(p)) data()[j] = std::move(data()[p]);
      ++j;
    }
    for (std::size_t i = j; i < size_; ++i) data()[i].~DataValue();
    size_ = static_cast<std::uint32_t>(j);
    if (onHeap() && size_ <= kInline) {
      DataValue* block = heap_;  // the inline values overwrite the pointer
      capacity_ = kInline;
      for (std::size_t i = 0; i < size_; ++i) {
        new (data() + i) DataValue(std::move(block[i]));
        block[i].~DataValue();
      }
      ::operator delete(block);
    }
  }
  // Removes value i; later values move down. REQUIRES: i < size().
  void erase(std::size_t i) {
    assert(i < size_);
    for (; i + 1 < size_; ++i) data()[i] = std::move(data()[i + 1]);
    data()[--size_].~DataValue();
  }

 private:
  static constexpr std::uint32_t kInline = 3;

  bool onHeap() const { return capacity_ > kInline; }
  DataValue* data() { return onHeap() ? heap_ : reinterpret_cast<DataValue*>(inline_); }
  const DataValue* data() const {
    return onHeap() ? heap_ : reinterpret_cast<const DataValue*>(inline_);
  }
  void clear() {
    for (std::size_t i = 0; i < size_; ++i) data()[i].~DataValue();
    size_ = 0;
  }
  // A few values past the inline ones fit exactly: rows of four to six
  // columns are common and stay that wide. Wider rows double.
  void reserve(std::size_t n) {
    if (n <= capacity_) return;
    std::size_t capacity =
        n <= 2 * kInline ? n : std::max<std::size_t>(n, 2 * static_cast<std::size_t>(capacity_));
    auto* fresh = static_cast<DataValue*>(::operator new(capacity * sizeof(DataValue)));
    for (std::size_t i = 0; i < size_; ++i) {
      new (fresh + i) DataValue(std::move(data()[i]));
      data()[i].~DataValue();
    }
    if (onHeap()) ::operator delete(heap_);
    heap_ = fresh;
    capacity_ = static_cast<std::uint32_t>(capacity);
  }
  void swap(ValueList& other) {
    // Both lists are moved value by value through a third one, since inline
    // values cannot simply trade pointers.
    ValueList tmp;
    tmp.takeFrom(*this);
    takeFrom(other);
    other.takeFrom(tmp);
  }
  // Makes this (empty, inline) list hold `other`'s values; `other` ends
  // empty and inline.
  void takeFrom(ValueList& other) {
    clear();
    if (onHeap()) ::operator delete(heap_);
    capacity_ = kInline;
    if (other.onHeap()) {
      heap_ = other.heap_;
      capacity_ = other.capacity_;
      size_ = other.size_;
    } else {
      for (std::size_t i = 0; i < other.size_; ++i) {
        new (data() + i) DataValue(std::move(other.data()[i]));
        other.data()[i].~DataValue();
      }
      size_ = other.size_;
    }
    other.size_ = 0;
    other.capacity_ = kInline;
  }

  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
  union {
    DataValue* heap_;
    alignas(DataValue) unsigned char inline_[kInline * sizeof(DataValue)];
  };
};

}  // namespace tablog

#endif  // TABLOG_ROWS_VALUE_LIST_H_
