// The name index against a plain search: random lists of names with
// repeats, indexed whole or grown in batches far past the size at which
// the index starts hashing, must give every name's first position.
#include "tables/name_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tablog {
namespace {

int firstPosition(const Names& names, const std::string& name) {
  for (std::size_t p = 0; p < names.size(); ++p) {
    if (names[p] == name) return static_cast<int>(p);
  }
  return -1;
}

// Every name of the list and a few absent ones, and whether a name repeats.
void expectIndexed(const NameIndex& index, const Names& names, const std::string& trace) {
  bool repeats = false;
  for (std::size_t p = 0; p < names.size(); ++p) {
    int first = firstPosition(names, names[p]);
    ASSERT_EQ(first, index.find(names[p])) << trace << " name " << names[p];
    ASSERT_EQ(first, index.firstOf(static_cast<int>(p))) << trace << " position " << p;
    repeats = repeats || first != static_cast<int>(p);
  }
  for (const std::string absent : {"", "absent", "n-1"}) {
    ASSERT_EQ(firstPosition(names, absent), index.find(absent)) << trace << " name " << absent;
  }
  ASSERT_EQ(!repeats, index.unique()) << trace;
}

TEST(NameIndexTest, MatchesAPlainSearchWhileTheListGrows) {
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    int distinct = std::uniform_int_distribution<int>(1, 400)(rng);
    int size = std::uniform_int_distribution<int>(0, 300)(rng);
    SharedNames names = SharedNames::make();
    NameIndex index(names);
    const std::string trace = std::string("case ").append(std::to_string(i));
    while (static_cast<int>(names->size()) < size) {
      int batch = std::uniform_int_distribution<int>(1, 40)(rng);
      for (int k = 0; k < batch; ++k) {
        int n = std::uniform_int_distribution<int>(0, distinct)(rng);
        names->push_back(std::string("n").append(std::to_string(n)));
      }
      EXPECT_FALSE(index.indexes(names));
      index.catchUp();
      ASSERT_TRUE(index.indexes(names));
      expectIndexed(index, *names, trace);
    }
    expectIndexed(NameIndex(names), *names, trace + " whole");
  }
}

}  // namespace
}  // namespace tablog
