// Tests of the blocks rows live in: slots handed out over many blocks and
// back, rows that outlive their store or move to tables of another store
// (or none), and value blocks of wide rows taken from the row's store. The
// sanitizer build poisons free slots, so a row read after its slot went
// back fails there.
#include "rows/row_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "rows/data_col.h"
#include "tables/sorted_table.h"

namespace tablog {
namespace {

std::shared_ptr<RowStore> makeStore() { return std::make_shared<RowStore>(sizeof(DataCol)); }

std::string printed(const DataTable& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// A table of `n` rows '<prefix><i>',<i mod 7>, made in `store`.
std::unique_ptr<SortedTable> numbered(std::shared_ptr<RowStore> store, int n,
                                      const std::string& prefix = "k") {
  auto table = std::make_unique<SortedTable>("T", "K,V");
  table->setRowStore(std::move(store));
  RowList rows;
  for (int i = 0; i < n; ++i) {
    std::string line = "'" + prefix;
    line += std::to_string(i);
    line += "',";
    line += std::to_string(i % 7);
    rows.push_back(table->rowFromText(line));
  }
  table->insertRows(std::move(rows));
  return table;
}

TEST(RowStoreTest, SlotsAreDistinctAcrossBlocksAndEmptyBlocksGo) {
  RowStore store(sizeof(DataCol));
  const std::size_t perBlock = RowStore::kBlockSize / sizeof(DataCol);
  std::vector<void*> slots;
  std::set<void*> seen;
  for (std::size_t i = 0; i < 3 * perBlock; ++i) {
    void* p = store.allocate();
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
    ASSERT_TRUE(seen.insert(p).second);
    EXPECT_EQ(RowStore::ownerOf(p), &store);
    slots.push_back(p);
  }
  std::size_t blocks = store.blockCount();
  EXPECT_GE(blocks, 3u);
  // Every other slot back, then as many again: no new block.
  for (std::size_t i = 0; i < slots.size(); i += 2) RowStore::release(slots[i]);
  for (std::size_t i = 0; i < slots.size(); i += 2) slots[i] = store.allocate();
  EXPECT_EQ(store.blockCount(), blocks);
  // Emptied, every block but the one slots come from goes.
  for (void* p : slots) RowStore::release(p);
  EXPECT_EQ(store.blockCount(), 1u);
  void* again = store.allocate();
  EXPECT_EQ(RowStore::ownerOf(again), &store);
  RowStore::release(again);
}

// A large table frees its rows sorted by address, in as many passes as
// the digits its rows' addresses differ in: rows of one block take an even
// number, rows of blocks megabytes apart an odd one. Either way every row
// goes once, and with the last row of a block the block.
// Blocks a store adopts serve its later rows and go when their rows go.
TEST(RowStoreTest, AdoptedBlocksAreTheStoresOwn) {
  auto store = makeStore(), other = makeStore();
  auto mine = numbered(store, 30000), theirs = numbered(other, 30000, "j");
  auto empty = makeStore();
  store->adopt(*empty);  // an empty store gives nothing
  const std::size_t blocks = store->blockCount() + other->blockCount();
  store->adopt(*other);
  EXPECT_EQ(other->blockCount(), 0u);
  EXPECT_EQ(store->blockCount(), blocks);
  EXPECT_EQ(store->liveSlots(), 60000u);
  EXPECT_EQ(RowStore::ownerOf(theirs->rows()[0].get()), store.get());
  theirs.reset();
  EXPECT_EQ(store->liveSlots(), 30000u);
  EXPECT_LT(store->blockCount(), blocks);
  auto more = numbered(store, 30000, "m");
  EXPECT_EQ(printed(*mine).size(), printed(*more).size());
  more.reset();
  mine.reset();
  EXPECT_EQ(store->liveSlots(), 0u);
  EXPECT_LE(store->blockCount(), 1u);
}

TEST(RowStoreTest, FreeingALargeTableGivesBackEveryBlock) {
  for (int n : {5000, 200000}) {
    auto store = makeStore();
    std::unique_ptr<SortedTable> table = numbered(store, n);
    EXPECT_EQ(table->rowCount(), static_cast<std::size_t>(n));  // sorted: 'k0', 'k1', 'k10', ...
    EXPECT_EQ(store->liveSlots(), static_cast<std::size_t>(n));
    table.reset();
    EXPECT_EQ(store->liveSlots(), 0u) << n << " rows";
    EXPECT_EQ(store->blockCount(), 1u) << n << " rows";
  }
}

TEST(RowStoreTest, RowsOutliveTheirStoreAndMoveBetweenTables) {
  auto store = makeStore();
  std::unique_ptr<SortedTable> source = numbered(store, 5000);
  const std::string expected = printed(*source);
  // A copy made in no store, and a table that takes the rows over.
  DataTable copy(*source);
  copy.setRowStore(nullptr);
  DataTable taker("T", "");
  taker.assignTaking(*source);
  source.reset();
  store.reset();  // gone, while its rows live on in both tables
  copy = taker;   // rows read from blocks without a store, copied to the heap
  EXPECT_EQ(printed(taker), expected);
  EXPECT_EQ(printed(copy), expected);
}

TEST(RowStoreTest, LongTextsAreSharedAndOutliveTheTableTheyCameFrom) {
  auto store = makeStore();
  const std::string prefix = "a key long enough to leave its value ";
  std::unique_ptr<SortedTable> source = numbered(store, 2000, prefix);
  std::unique_ptr<DataTable> projected(source->projectByNames({"K"}));
  DataTable copy(*source);
  // A value changed in the copy leaves the texts it shared alone.
  copy.firstRow()->setLiteralAt(0, "'changed'");
  const std::string first = "'" + prefix + "0'";
  const std::string head = "T(K,V)\n" + first + ",0\n";
  EXPECT_EQ(printed(*source).substr(0, head.size()), head);
  source.reset();
  store.reset();
  std::ostringstream kept;
  kept << *projected->firstRow();
  EXPECT_EQ(kept.str(), first);
  std::ostringstream changed;
  changed << *copy.firstRow();
  EXPECT_EQ(changed.str(), "'changed',0");
  EXPECT_EQ(copy.rowCount(), 2000u);
}

TEST(RowStoreTest, WideRowsKeepTheirValuesThroughGrowthAndShrinking) {
  auto store = makeStore();
  std::unique_ptr<SortedTable> table = numbered(store, 300);
  // Columns 3 to 8: the values move to a slot of the store at four, to the
  // heap past that, and back as the columns go again.
  std::vector<std::string> added;
  for (int c = 0; c < 6; ++c) {
    const char digit = static_cast<char>('0' + c);
    added.push_back(std::string{'C', digit});
    table->addColumn(added.back(), std::string{'\'', 'w', digit, '\''});
  }
  DataCol* row = table->firstRow();
  ASSERT_EQ(row->size(), 8);
  EXPECT_EQ(row->textAt(0), "k0");
  EXPECT_EQ(row->textAt(7), "w5");
  DataTable projected(*table);
  for (int c = 5; c >= 0; --c) {
    table->removeColumn(added[static_cast<std::size_t>(c)]);
    std::ostringstream first;
    first << *table->firstRow();
    EXPECT_EQ(first.str().substr(0, 5), "'k0',");
  }
  EXPECT_EQ(table->firstRow()->size(), 2);
  store.reset();
  std::unique_ptr<DataTable> kept(projected.projectByNames({"K", "C3"}));
  std::ostringstream last;
  last << *kept->firstRow();
  EXPECT_EQ(last.str(), "'k0','w3'");
}

}  // namespace
}  // namespace tablog
