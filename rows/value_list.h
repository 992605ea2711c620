// ValueList: the values of one row, in field order. Up to kInline values
// live inside the list itself, so the usual row of a few columns takes one
// allocation (its DataCol) instead of two. A wider row keeps its values in
// one block that records its capacity and where it came from: a slot of the
// row's store when the values fit one (a row of four values and the row
// itself then take two slots of the same size, which rows of any width
// reuse), else the heap. The list is 40 bytes: a word of size and place,
// and room for three 12-byte values (or, once they have left, the block's
// address).
#ifndef TABLOG_ROWS_VALUE_LIST_H_
#define TABLOG_ROWS_VALUE_LIST_H_

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "rows/data_value.h"
#include "rows/row_store.h"

namespace tablog {

class ValueList {
 public:
  ValueList() = default;
  // `n` Null values; a block they need comes from `store` when they fit a
  // slot.
  explicit ValueList(std::size_t n, RowStore* store = nullptr) {
    reserve(n, store);
    for (std::size_t i = 0; i < n; ++i) new (data() + i) DataValue();
    setSize(n);
  }
  ValueList(const ValueList& other) : ValueList(other, nullptr) {}
  // A copy whose block comes from `store` when the values fit a slot. If a
  // value cannot be copied, the values copied so far and the block are
  // freed before std::bad_alloc goes on.
  ValueList(const ValueList& other, RowStore* store) {
    try {
      reserve(other.size(), store);
      for (std::size_t i = 0; i < other.size(); ++i) {
        new (data() + i) DataValue(other[i]);
        setSize(i + 1);
      }
    } catch (...) {
      clear();
      freeBlock();
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
    freeBlock();
  }

  std::size_t size() const { return word_ & kSizeMask; }
  // A bit of the list's owner, which only setMark changes: a copy starts
  // without it, and values that come and go leave it.
  bool marked() const { return (word_ & kMark) != 0; }
  void setMark(bool mark) { word_ = mark ? word_ | kMark : word_ & ~kMark; }
  // REQUIRES: i < size().
  DataValue& operator[](std::size_t i) {
    assert(i < size());
    return data()[i];
  }
  const DataValue& operator[](std::size_t i) const {
    assert(i < size());
    return data()[i];
  }

  // A block the values need comes from `store` when they fit a slot.
  void push_back(const DataValue& v, RowStore* store = nullptr) {
    DataValue copy(v);  // `v` may be one of ours
    reserve(size() + 1, store);
    new (data() + size()) DataValue(std::move(copy));
    setSize(size() + 1);
  }
  void emplace_back(std::string_view literal, RowStore* store = nullptr) {
    reserve(size() + 1, store);
    new (data() + size()) DataValue(literal);
    setSize(size() + 1);
  }
  // Keeps the values at `positions` (increasing; those past the end are
  // skipped), in that order; the others are destroyed. Values that fit in
  // place again leave their heap block.
  void keep(const std::vector<int>& positions) {
    std::size_t j = 0;
    for (int p : positions) {
      if (p < 0 || static_cast<std::size_t>(p) >= size()) continue;
      if (j != static_cast<std::size_t>(p)) data()[j] = std::move(data()[p]);
      ++j;
    }
    for (std::size_t i = j; i < size(); ++i) data()[i].~DataValue();
    setSize(j);
    if (onHeap() && j <= kInline) moveInline();
  }
  // Removes value i; later values move down. REQUIRES: i < size().
  void erase(std::size_t i) {
    assert(i < size());
    for (; i + 1 < size(); ++i) data()[i] = std::move(data()[i + 1]);
    data()[size() - 1].~DataValue();
    setSize(size() - 1);
  }

 private:
  static constexpr std::size_t kInline = 3;
  static constexpr std::uint32_t kOnHeap = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kMark = std::uint32_t{1} << 30;
  static constexpr std::uint32_t kSizeMask = kMark - 1;
  // A block: its capacity, whether it is a store's slot, then the values.
  struct BlockHeader {
    std::uint32_t capacity;
    std::uint32_t inStore;
  };
  static constexpr std::size_t kBlockHeader = sizeof(BlockHeader);
  static_assert(kBlockHeader % alignof(DataValue) == 0);

  bool onHeap() const { return (word_ & kOnHeap) != 0; }
  void setSize(std::size_t n) {
    assert(n <= kSizeMask);
    word_ = (word_ & ~kSizeMask) | static_cast<std::uint32_t>(n);
  }
  unsigned char* block() const {
    unsigned char* b;
    std::memcpy(&b, room_, sizeof b);
    return b;
  }
  BlockHeader header() const {
    BlockHeader h;
    std::memcpy(&h, block(), sizeof h);
    return h;
  }
  std::size_t capacity() const { return onHeap() ? header().capacity : kInline; }
  DataValue* data() {
    return reinterpret_cast<DataValue*>(onHeap() ? block() + kBlockHeader : room_);
  }
  const DataValue* data() const {
    return reinterpret_cast<const DataValue*>(onHeap() ? block() + kBlockHeader : room_);
  }
  void clear() {
    for (std::size_t i = 0; i < size(); ++i) data()[i].~DataValue();
    setSize(0);
  }
  void freeBlock() {
    if (onHeap()) release(block());
    word_ &= ~kOnHeap;
  }
  static void release(unsigned char* b) {
    BlockHeader h;
    std::memcpy(&h, b, sizeof h);
    if (h.inStore != 0) {
      RowStore::release(b);
    } else {
      ::operator delete(b);
    }
  }
  // A few values past the inline ones fit exactly: rows of four to six
  // columns are common and stay that wide. Wider rows double.
  void reserve(std::size_t n, RowStore* store = nullptr) {
    std::size_t have = capacity();
    if (n <= have) return;
    std::size_t capacity = n <= 2 * kInline ? n : std::max(n, 2 * have);
    BlockHeader h{0, 0};
    unsigned char* fresh;
    if (store != nullptr && kBlockHeader + capacity * sizeof(DataValue) <= store->slotSize()) {
      capacity = (store->slotSize() - kBlockHeader) / sizeof(DataValue);
      fresh = static_cast<unsigned char*>(store->allocate());
      h.inStore = 1;
    } else {
      fresh =
          static_cast<unsigned char*>(::operator new(kBlockHeader + capacity * sizeof(DataValue)));
    }
    h.capacity = static_cast<std::uint32_t>(capacity);
    std::memcpy(fresh, &h, sizeof h);
    auto* values = reinterpret_cast<DataValue*>(fresh + kBlockHeader);
    for (std::size_t i = 0; i < size(); ++i) {
      new (values + i) DataValue(std::move(data()[i]));
      data()[i].~DataValue();
    }
    freeBlock();
    std::memcpy(room_, &fresh, sizeof fresh);
    word_ |= kOnHeap;
  }
  // Brings the values (at most kInline) back from the heap block.
  void moveInline() {
    unsigned char* b = block();  // the inline values overwrite its address
    auto* from = reinterpret_cast<DataValue*>(b + kBlockHeader);
    word_ &= ~kOnHeap;
    for (std::size_t i = 0; i < size(); ++i) {
      new (data() + i) DataValue(std::move(from[i]));
      from[i].~DataValue();
    }
    release(b);
  }
  void swap(ValueList& other) {
    // Both lists are moved value by value through a third one, since inline
    // values cannot simply trade pointers.
    ValueList tmp;
    tmp.takeFrom(*this);
    takeFrom(other);
    other.takeFrom(tmp);
  }
  // Makes this list hold `other`'s values; `other` ends empty and inline.
  // Each keeps its mark.
  void takeFrom(ValueList& other) {
    clear();
    freeBlock();
    std::uint32_t taken = other.word_ & ~kMark;
    if (other.onHeap()) {
      std::memcpy(room_, other.room_, sizeof(unsigned char*));
    } else {
      for (std::size_t i = 0; i < other.size(); ++i) {
        new (room_ + i * sizeof(DataValue)) DataValue(std::move(other.data()[i]));
        other.data()[i].~DataValue();
      }
    }
    word_ = (word_ & kMark) | taken;
    other.word_ &= kMark;
  }

  // The size; kOnHeap when the values are in a block; kMark.
  std::uint32_t word_ = 0;
  alignas(DataValue) unsigned char room_[kInline * sizeof(DataValue)];
};

static_assert(sizeof(DataValue) == 12 && sizeof(ValueList) == 40,
              "a row of three values is 56 bytes");

}  // namespace tablog

#endif  // TABLOG_ROWS_VALUE_LIST_H_
