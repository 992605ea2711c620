// Blocks of row slots: a header at the block's start, then the slots. A
// slot is either handed out, on the block's list of freed slots (linked
// through its first word), or past `used`, never handed out yet.
#include "rows/row_store.h"

#include <sys/mman.h>

#include <cassert>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define TABLOG_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TABLOG_ASAN 1
#endif
#endif
#ifdef TABLOG_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
// A slot that is not handed out may not be read or written; the leak
// checker looks for pointers in the blocks as it does in the heap.
#define TABLOG_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TABLOG_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#define TABLOG_ROOT(p, n) __lsan_register_root_region(p, n)
#define TABLOG_UNROOT(p, n) __lsan_unregister_root_region(p, n)
#else
#define TABLOG_POISON(p, n) ((void)(p), (void)(n))
#define TABLOG_UNPOISON(p, n) ((void)(p), (void)(n))
#define TABLOG_ROOT(p, n) ((void)(p), (void)(n))
#define TABLOG_UNROOT(p, n) ((void)(p), (void)(n))
#endif

namespace tablog {

namespace {

// Blocks come straight from the system, aligned to their size: a map of
// twice the size, less the parts before and after the aligned block. A
// block's pages are made resident in one call as it is mapped: a block is
// filled soon after it is made, and one call costs far less than a page
// fault per page (a kernel without the call leaves them to fault in). A
// freed block goes back to the system whole. Each block is a mapping of
// its own, and the system allows some tens of thousands of them (65,530 by
// default): at 1 MiB a block, that is 64 GiB of rows. Should the system
// refuse to unmap (it may need a mapping of its own for that), the pages
// still go back.
void* mapBlock(std::size_t size) {
  void* map = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(map);
  std::uintptr_t aligned = (start + size - 1) & ~(size - 1);
  if (aligned > start) munmap(map, aligned - start);
  if (std::uintptr_t end = aligned + size; end < start + 2 * size) {
    munmap(reinterpret_cast<void*>(end), start + 2 * size - end);
  }
  TABLOG_ROOT(reinterpret_cast<void*>(aligned), size);
  madvise(reinterpret_cast<void*>(aligned), size, MADV_POPULATE_WRITE);
  return reinterpret_cast<void*>(aligned);
}

void unmapBlock(void* block, std::size_t size) {
  TABLOG_UNROOT(block, size);
  TABLOG_UNPOISON(block, size);
  if (munmap(block, size) != 0) madvise(block, size, MADV_DONTNEED);
}

}  // namespace

struct RowStore::Block {
  RowStore* owner;  // nullptr once the store is gone
  // The owner's list of blocks with freed slots, when the block is on it.
  Block* prevWithRoom;
  Block* nextWithRoom;
  void* freed;  // the list of freed slots
  std::size_t slotSize;
  std::uint32_t live;      // slots handed out and not released
  std::uint32_t used;      // slots ever handed out from the bump
  std::uint32_t capacity;  // slots in the block
  std::uint32_t position;  // in the owner's list of blocks
  enum State : std::uint8_t { kCurrent, kWithRoom, kFull } state;

  unsigned char* slot(std::size_t i) {
    return reinterpret_cast<unsigned char*>(this) + kHeader + i * slotSize;
  }
  static constexpr std::size_t kHeader = 64;
};

RowStore::RowStore(std::size_t slotSize) : slotSize_((slotSize + 7) / 8 * 8) {
  assert(slotSize_ >= sizeof(void*) && slotSize_ <= 4096);
  static_assert(sizeof(Block) <= Block::kHeader);
  slotsPerBlock_ = (kBlockSize - Block::kHeader) / slotSize_;
}

RowStore::~RowStore() {
  for (Block* b : blocks_) {
    if (b->live == 0) {
      unmapBlock(b, kBlockSize);
    } else {
      b->owner = nullptr;
    }
  }
}

RowStore::Block* RowStore::newBlock() {
  // Room in the list before the block, so that the block cannot leak.
  if (blocks_.size() == blocks_.capacity()) blocks_.reserve(2 * blocks_.size() + 16);
  void* memory = mapBlock(kBlockSize);
  if (memory == nullptr) throw std::bad_alloc();
  Block* b = new (memory) Block{this,
                                nullptr,
                                nullptr,
                                nullptr,
                                slotSize_,
                                0,
                                0,
                                static_cast<std::uint32_t>(slotsPerBlock_),
                                static_cast<std::uint32_t>(blocks_.size()),
                                Block::kCurrent};
  TABLOG_POISON(b->slot(0), slotsPerBlock_ * slotSize_);
  blocks_.push_back(b);
  return b;
}

void* RowStore::allocate() {
  for (;;) {
    if (current_ != nullptr) {
      Block* b = current_;
      void* p = nullptr;
      if (b->freed != nullptr) {
        p = b->freed;
        TABLOG_UNPOISON(p, slotSize_);
        b->freed = *static_cast<void**>(p);
      } else if (b->used < b->capacity) {
        p = b->slot(b->used++);
        TABLOG_UNPOISON(p, slotSize_);
      }
      if (p != nullptr) {
        ++b->live;
        return p;
      }
      b->state = Block::kFull;  // on the list again when a slot comes back
      current_ = nullptr;       // a failing newBlock leaves no full block as current
    }
    if (withRoom_ != nullptr) {
      current_ = withRoom_;
      unlink(current_);
      current_->state = Block::kCurrent;
    } else {
      current_ = newBlock();
    }
  }
}

void RowStore::unlink(Block* b) {
  (b->prevWithRoom != nullptr ? b->prevWithRoom->nextWithRoom : withRoom_) = b->nextWithRoom;
  if (b->nextWithRoom != nullptr) b->nextWithRoom->prevWithRoom = b->prevWithRoom;
  b->prevWithRoom = b->nextWithRoom = nullptr;
}

void RowStore::drop(Block* b) {
  if (b->state == Block::kWithRoom) unlink(b);
  Block* last = blocks_.back();
  blocks_[b->position] = last;
  last->position = b->position;
  blocks_.pop_back();
  unmapBlock(b, kBlockSize);
}

void RowStore::adopt(RowStore& other) {
  assert(other.slotSize_ == slotSize_ && &other != this);
  blocks_.reserve(blocks_.size() + other.blocks_.size());
  for (Block* b : other.blocks_) {
    if (b->live == 0) {  // only a current block is ever empty
      unmapBlock(b, kBlockSize);
      continue;
    }
    b->owner = this;
    b->position = static_cast<std::uint32_t>(blocks_.size());
    blocks_.push_back(b);
    b->prevWithRoom = b->nextWithRoom = nullptr;
    if (b->state == Block::kFull) continue;
    b->state = Block::kWithRoom;
    b->nextWithRoom = withRoom_;
    if (withRoom_ != nullptr) withRoom_->prevWithRoom = b;
    withRoom_ = b;
  }
  other.blocks_.clear();
  other.current_ = other.withRoom_ = nullptr;
}

std::size_t RowStore::liveSlots() const {
  std::size_t live = 0;
  for (const Block* b : blocks_) live += b->live;
  return live;
}

RowStore::Block* RowStore::blockOf(const void* p) {
  return reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(p) & ~(kBlockSize - 1));
}

RowStore* RowStore::ownerOf(const void* p) { return blockOf(p)->owner; }

void RowStore::release(void* p) {
  Block* b = blockOf(p);
  assert(b->live > 0);
  *static_cast<void**>(p) = b->freed;
  b->freed = p;
  TABLOG_POISON(p, b->slotSize);
  --b->live;
  RowStore* owner = b->owner;
  if (owner == nullptr) {
    if (b->live == 0) unmapBlock(b, kBlockSize);
  } else if (b->live == 0 && b->state != Block::kCurrent) {
    // An empty block goes back to the system at once: the rows of a
    // working table that has gone leave no memory behind.
    owner->drop(b);
  } else if (b->state == Block::kFull) {
    b->state = Block::kWithRoom;
    b->nextWithRoom = owner->withRoom_;
    if (owner->withRoom_ != nullptr) owner->withRoom_->prevWithRoom = b;
    owner->withRoom_ = b;
  }
}

}  // namespace tablog
