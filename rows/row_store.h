// RowStore: the memory of rows, carved out of large blocks. A run makes and
// frees millions of rows of one size; a block holds thousands of them with
// no bookkeeping per row, rows made together lie together, and making or
// freeing a row touches only its block.
//
// A slot goes back to its own block, which it finds from its address
// (blocks are aligned to their size), so rows need no store to be freed and
// may move between tables freely. Freed slots are handed out again before
// new ones, and a block whose last row goes is freed. A store that goes
// away leaves the blocks that still hold rows to be freed with their last
// row; the others go with it.
#ifndef TABLOG_ROWS_ROW_STORE_H_
#define TABLOG_ROWS_ROW_STORE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tablog {

class RowStore {
 public:
  // A store of slots of `slotSize` bytes (rounded up to a multiple of 8).
  // REQUIRES: slotSize <= 4096.
  explicit RowStore(std::size_t slotSize);
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;
  ~RowStore();

  // Room for one object of the slot size, aligned to 8. Throws
  // std::bad_alloc when no block can be had.
  void* allocate();
  // Gives the slot `p` back to its block. REQUIRES: `p` came from allocate
  // of a store, which may be gone since, and was not released yet.
  static void release(void* p);
  // Takes over every block of `other`, with the slots handed out from it,
  // as if they had come from this store; `other` is left without blocks.
  // Rows made on several threads, each in a store of its own, so become
  // one table's. REQUIRES: the same slot size. Throws std::bad_alloc
  // before any change when the list of blocks cannot grow.
  void adopt(RowStore& other);
  // The store a slot came from, or nullptr when that store is gone.
  // REQUIRES: `p` lies in a slot handed out by allocate.
  static RowStore* ownerOf(const void* p);

  std::size_t slotSize() const { return slotSize_; }

  std::size_t blockCount() const { return blocks_.size(); }
  // The number of its slots handed out and not released.
  std::size_t liveSlots() const;

  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

 private:
  struct Block;

  Block* newBlock();
  // Takes `b` off the list of blocks with room.
  void unlink(Block* b);
  // Forgets and frees the empty block `b`.
  void drop(Block* b);
  static Block* blockOf(const void* p);

  std::size_t slotSize_;
  std::size_t slotsPerBlock_;
  Block* current_ = nullptr;    // the block slots come from
  Block* withRoom_ = nullptr;   // blocks that got slots back, linked
  std::vector<Block*> blocks_;  // every block made
};

}  // namespace tablog

#endif  // TABLOG_ROWS_ROW_STORE_H_
