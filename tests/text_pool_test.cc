// Tests of the pooling of long texts at intake: rows read with the pool
// print exactly as rows read without it, repeated long texts end up in one
// block, and a column of texts that do not repeat stops being pooled
// without changing a value.
#include "rows/text_pool.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tables/sorted_table.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;

std::string printed(const DataTable& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// Literals of every shape a field can take: long and short, quoted and
// plain, a quote left open, empty.
std::string pickLiteral(Gen& gen, int i, int uniquePercent) {
  static const std::vector<std::string> kShapes = {
      "'a department of the firm'", "a plain text of some length", "'short'", "7",
      "'a department of the firm",  "'a department of the firm!",  "",        "'"};
  if (gen.chance(uniquePercent)) return "'unique text number " + std::to_string(i) + "'";
  return gen.pick(kShapes);
}

TEST(TextPoolTest, PooledRowsPrintAsPlainRowsAndShareRepeatedTexts) {
  Gen gen(4242);
  SortedTable pooled("T", "A,B,C"), plain("T", "A,B,C");
  TextPool pool;
  RowList pooledRows, plainRows;
  for (int i = 0; i < 20000; ++i) {
    // A: no repeats, so the pool gives it up at once; B: mostly repeats;
    // C: too few repeats, so the pool gives it up after a while.
    std::string line = "'name of employee number " + std::to_string(i) + "',";
    line += pickLiteral(gen, i, 10) + "," + pickLiteral(gen, i, 60);
    pooledRows.push_back(pooled.rowFromText(line, &pool));
    plainRows.push_back(plain.rowFromText(line));
  }
  pooled.insertRows(std::move(pooledRows));
  plain.insertRows(std::move(plainRows));
  ASSERT_EQ(printed(pooled), printed(plain));
  // Equal long texts of column B lie in one block.
  const char* shared = nullptr;
  int found = 0;
  for (DataCol* row = pooled.firstRow(); row != nullptr; row = pooled.nextRow()) {
    const DataValue& v = row->at(1);
    if (v.kind() != Quoted || v.text() != "a department of the firm") continue;
    if (shared == nullptr) shared = v.text().data();
    EXPECT_EQ(v.text().data(), shared);
    ++found;
  }
  EXPECT_GT(found, 1000);
}

}  // namespace
}  // namespace tablog
