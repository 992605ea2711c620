// Randomized differential test of the join made in place (joinInPlace of
// eval/running_result.h), the way rules grow their running result: a
// sorted table is joined with a chain of small tables, one after another,
// keeping one name index, and after each step its printed form and its
// rows' field names must be those of the literal join (tests/
// literal_oracle.h) normalised; the join normalises its result itself, group
// by group where it can. The tables share several columns, hold
// values of mixed kinds from a small alphabet, and now and then repeat a
// column name, when the join must refuse and change nothing. Asked to
// keep some columns only, a join whose rows each found one partner must
// give the literal join's projection on them. The chains grow the header
// past the size at which the index starts hashing.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "eval/running_result.h"
#include "tables/name_index.h"
#include "tables/sorted_table.h"
#include "tests/literal_oracle.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;
using testing::shown;

const std::vector<std::string> kValues = {"1", "7", "07", "x", "'a'", "'7'", "''", ""};

// A column list of 1 to 3 names: mostly names the chain has used (common
// columns), else new ones; rarely one name twice.
std::string pickColumns(Gen& gen, int& fresh) {
  std::string list;
  int count = gen.uniform(1, 3);
  std::vector<std::string> names;
  for (int k = 0; k < count; ++k) {
    std::string name = "c";
    if (gen.chance(3) && !names.empty()) {
      name = names.back();
    } else if (fresh > 0 && gen.chance(55)) {
      name.append(std::to_string(gen.uniform(0, fresh - 1)));
    } else {
      name.append(std::to_string(fresh++));
    }
    bool repeated = false;
    for (const std::string& n : names) repeated = repeated || n == name;
    if (repeated && !gen.chance(50)) continue;
    names.push_back(name);
    if (!list.empty()) list += ',';
    list += name;
  }
  return list;
}

std::vector<std::string> pickRowTexts(Gen& gen, int rows, int columns) {
  std::vector<std::string> texts;
  for (int r = 0; r < rows; ++r) {
    std::string text;
    for (int k = 0; k < columns; ++k) {
      if (k > 0) text += ',';
      text += gen.pick(kValues);
    }
    texts.push_back(text);
  }
  return texts;
}

TEST(JoinInPlaceTest, ChainMatchesTheLiteralJoin) {
  Gen gen(77);
  int joins = 0, kept = 0;
  for (int i = 0; i < 3000; ++i) {
    int fresh = 0;
    std::string columns = pickColumns(gen, fresh);
    SortedTable running("temp", columns);
    literal::Table expected = literal::makeTable("temp", columns);
    std::string input = "temp(" + columns + ")\n";
    for (const std::string& text : pickRowTexts(gen, gen.uniform(1, 4), running.columnCount())) {
      SortedTable::insertRowText(text, &running);
      literal::insertRowText(expected, text);
      input += text + "\n";
    }
    NameIndex index;
    int steps = gen.uniform(1, 10);
    for (int step = 0; step < steps && expected.rows.size() <= 30; ++step) {
      std::string otherColumns = pickColumns(gen, fresh);
      SortedTable other("B", otherColumns);
      literal::Table otherExpected = literal::makeTable("B", otherColumns);
      input += "join B(" + otherColumns + ")\n";
      for (const std::string& text : pickRowTexts(gen, gen.uniform(0, 4), other.columnCount())) {
        SortedTable::insertRowText(text, &other);
        literal::insertRowText(otherExpected, text);
        input += text + "\n";
      }
      // Now and then the join is asked to keep only some columns, which it
      // does when every row finds one partner.
      std::vector<std::string> keep;
      for (const auto& names : {running.columnNames(), other.columnNames()}) {
        for (const std::string& name : names) {
          if (gen.chance(60)) keep.push_back(name);
        }
      }
      const bool keeping = gen.chance(70);
      if (keeping) {
        input += "keeping";
        for (const std::string& name : keep) input += " " + name;
        input += "\n";
      }
      InPlaceJoin outcome = joinInPlace(running, index, other, keeping ? &keep : nullptr);
      if (outcome != InPlaceJoin::kRefused) {
        literal::Table joined = literal::sortedJoin(expected, otherExpected, "temp");
        if (keeping && outcome == InPlaceJoin::kEachRowOnce) {
          // As in a rule, a projected result is joined no further.
          literal::assign(expected, literal::projectByNames(joined, keep));
          ++kept;
          steps = 0;
        } else {
          literal::assign(expected, joined);
        }
        ++joins;
      }
      ASSERT_EQ(shown(expected), shown(running)) << "case " << i << ":\n" << input;
      ASSERT_EQ(shown(otherExpected), shown(other)) << "case " << i << ":\n" << input;
    }
  }
  EXPECT_GT(joins, 10000);
  EXPECT_GT(kept, 100);
}

// Another holder of the header (a copy of the table) would see it grow:
// the join refuses and changes nothing.
TEST(JoinInPlaceTest, RefusesAJoinThatMultipliesItsRows) {
  SortedTable running("temp", "a,b"), other("B", "a,c");
  for (int i = 0; i < 300; ++i) {
    SortedTable::insertRowText("1," + std::to_string(i), &running);
    SortedTable::insertRowText("1," + std::to_string(i), &other);
  }
  std::string before = shown(running);
  NameIndex index;
  EXPECT_EQ(joinInPlace(running, index, other), InPlaceJoin::kRefused);
  EXPECT_EQ(before, shown(running));
}

TEST(JoinInPlaceTest, RefusesWhileTheHeaderIsShared) {
  SortedTable running("temp", "a");
  SortedTable::insertRowText("1", &running);
  SortedTable other("B", "a,b");
  SortedTable::insertRowText("1,2", &other);
  NameIndex index;
  {
    SortedTable copy(running);
    EXPECT_EQ(joinInPlace(running, index, other), InPlaceJoin::kRefused);
    EXPECT_EQ("temp(a)\n1\n--\n[a]\n", shown(running));
  }
  EXPECT_EQ(joinInPlace(running, index, other), InPlaceJoin::kEachRowOnce);
  EXPECT_EQ("temp(a,b)\n1,2\n--\n[a|b]\n", shown(running));
}

}  // namespace
}  // namespace tablog
