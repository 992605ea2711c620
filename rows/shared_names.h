// SharedNames: a list of column names that many rows share. A table of a
// million rows normally holds one list. The count of holders is a plain
// integer, so copying a row costs no atomic update and a row holds one
// pointer instead of two: holders are made and dropped on the run's own
// thread only, and rows made on several threads at once take theirs from
// a Batch counted beforehand.
#ifndef TABLOG_ROWS_SHARED_NAMES_H_
#define TABLOG_ROWS_SHARED_NAMES_H_

#include <cassert>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tablog {

using Names = std::vector<std::string>;

class SharedNames {
  struct Block;  // the holders and the list, defined below

 public:
  // No list.
  SharedNames() = default;
  // A new list holding `names`, with this one holder.
  static SharedNames make(Names names = {}) {
    SharedNames shared;
    shared.block_ = new Block{1, std::move(names)};
    return shared;
  }
  SharedNames(const SharedNames& other) : block_(other.block_) {
    if (block_ != nullptr) ++block_->holders;
  }
  SharedNames(SharedNames&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SharedNames& operator=(SharedNames other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~SharedNames() {
    if (block_ != nullptr && --block_->holders == 0) delete block_;
  }

  // REQUIRES: a list. A holder changes it only while it is the only one.
  Names& operator*() const {
    assert(block_ != nullptr);
    return block_->names;
  }
  Names* operator->() const {
    assert(block_ != nullptr);
    return &block_->names;
  }
  explicit operator bool() const { return block_ != nullptr; }
  long use_count() const { return block_ == nullptr ? 0 : block_->holders; }
  // The same list (not merely equal names).
  bool operator==(const SharedNames& other) const { return block_ == other.block_; }

  // Holders of one list, counted at once when the batch is made; take()
  // hands one out without touching the count, so that threads may each
  // take from a batch of their own. The holders not taken are given back
  // when the batch goes. REQUIRES: only the thread that made a batch makes
  // or destroys holders of its list while batches of it are taken from.
  class Batch {
   public:
    Batch(const SharedNames& list, std::size_t count)
        : block_(list.block_), left_(static_cast<long>(count)) {
      assert(block_ != nullptr);
      block_->holders += left_;
    }
    Batch(Batch&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)), left_(std::exchange(other.left_, 0)) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() {
      if (block_ != nullptr && (block_->holders -= left_) == 0) delete block_;
    }
    // REQUIRES: fewer taken than counted.
    SharedNames take() {
      assert(left_ > 0);
      --left_;
      SharedNames one;
      one.block_ = block_;
      return one;
    }

   private:
    Block* block_;
    long left_;  // holders counted and not taken
  };

 private:
  struct Block {
    long holders;
    Names names;
  };
  Block* block_ = nullptr;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_SHARED_NAMES_H_
