// SharedNames: a list of column names that many rows share. A table of a
// million rows normally holds one list. The count of holders is a plain
// integer, so copying a row costs no atomic update and a row holds one
// pointer instead of two: lists are copied and dropped on the run's own
// thread only, and work spread over threads moves the lists it is handed
// (see TableLoader::makeRows).
#ifndef TABLOG_ROWS_SHARED_NAMES_H_
#define TABLOG_ROWS_SHARED_NAMES_H_

#include <cassert>
#include <string>
#include <utility>
#include <vector>

namespace tablog {

using Names = std::vector<std::string>;

class SharedNames {
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

 private:
  struct Block {
    long holders;
    Names names;
  };
  Block* block_ = nullptr;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_SHARED_NAMES_H_
