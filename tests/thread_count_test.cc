// The same output for any number of threads. Random scripts over large
// tables, messy (every kind of value, several spellings of one number,
// long texts that repeat, rows too short or too long, repeated rows) or
// tidy (keys of one kind first), run
// in process with 1, 2, 3 and 7 threads, and every output must equal the
// one-thread output byte for byte. The tables cross the sizes from which
// the intake of data lines, the normalising and the writing are cut into
// parts. Also here: the parallel radix sort against the stable sort, the
// projection in parts against one thread's, and the rules of the thread
// pool itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/run.h"
#include "rows/workers.h"
#include "tables/projection.h"
#include "tables/radix_sort.h"
#include "tables/sorted_table.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;
using testing::iterations;

// Values of every kind: numbers spelled several ways (7, 07, +7 and 7x all
// read as 7; an ISO date reads as its year), words, short and long quoted
// texts, the empty quoted text and the empty value.
const std::vector<std::string> kMessy = {"7",
                                         "07",
                                         "+7",
                                         "7x",
                                         "-3",
                                         "2024-01-05",
                                         "2024-12-31",
                                         "10",
                                         "x",
                                         "Zeta",
                                         "'a'",
                                         "'7'",
                                         "''",
                                         "",
                                         "'a long text that repeats'",
                                         "'another long text, with a comma'",
                                         "'b'",
                                         "'Zeta'",
                                         "100",
                                         "'c'"};

// A table of `rows` rows. A messy one mixes every kind in every column;
// a tidy one has quoted keys first (one kind, so the whole table is
// sorted as one run; texts that share their first 8 bytes, now and then),
// then messy values.
std::string RandomTable(Gen& gen, const std::string& name, int width, int rows) {
  const bool tidy = gen.chance(50);
  const std::string prefix = gen.chance(50) ? "k" : "employee number ";
  std::string text = name + "(";
  for (int k = 0; k < width; ++k) text += std::string(k > 0 ? "," : "") + "C" + std::to_string(k);
  text += ")\n";
  for (int r = 0; r < rows; ++r) {
    const int fields = width + (gen.chance(5) ? gen.uniform(-1, 1) : 0);
    for (int k = 0; k < fields; ++k) {
      if (k > 0) text += ',';
      if ((tidy && k == 0) || gen.chance(30)) {
        text += "'" + prefix + std::to_string(gen.uniform(0, rows)) + "'";
      } else {
        text += gen.pick(kMessy);
      }
    }
    text += '\n';
  }
  return text;
}

// Rules that select, take constants and repeat variables over the large
// tables T and V, and join them with the small table U (joins of two large
// tables of so few values would be vast), some with the large table as
// the running result that U's rows join.
const std::vector<std::string> kRules = {
    "J(A,B,C)<-T(A,B),U(B,C)", "S(A)<-T(A,B),B>5",          "K(A)<-U(A,'a'),V(A,B,C)",
    "E(A,B)<-V(A,A,B)",        "W(X,Y)<-T(X,Y),X=7",        "L(Y)<-U(Y,Z),T(Z,Y),Y<'b'",
    "Q(A,B)<-T(A,B),U(A,B)",   "R(A,B)<-V(A,B,'x'),U(B,D)", "M(A,B,C)<-U(B,C),T(A,B)"};

std::string RandomScript(Gen& gen) {
  const std::vector<int> sizes = {0, 40, 3000, 40000, 70000};
  std::string script = RandomTable(gen, "T", 2, gen.pick(sizes));
  script += RandomTable(gen, "U", 2, gen.uniform(0, 40));
  script += RandomTable(gen, "V", 3, gen.pick(sizes));
  for (int r = gen.uniform(1, 3); r > 0; --r) script += gen.pick(kRules) + "\n";
  return script;
}

std::string Output(const std::string& script, unsigned threads) {
  std::ostringstream out;
  runScript(script, out, Workers(threads));
  return out.str();
}

TEST(ThreadCountTest, EveryThreadCountGivesTheOneThreadOutput) {
  Gen gen(20261209);
  for (int i = 0; i < iterations(12); ++i) {
    const std::string script = RandomScript(gen);
    const std::string expected = Output(script, 1);
    for (unsigned threads : {2u, 3u, 7u}) {
      ASSERT_EQ(Output(script, threads), expected) << threads << " threads, script " << i << ":\n"
                                                   << script.substr(0, 2000);
    }
  }
}

TEST(ThreadCountTest, ParallelRadixSortIsTheStableSort) {
  Gen gen(7);
  using Item = std::pair<std::uint64_t, std::uint32_t>;  // key, place in the input
  for (int i = 0; i < iterations(12); ++i) {
    const int size = gen.pick(std::vector<int>{0, 1, 1000, 70000, 200000});
    // Few distinct keys, keys that share their low or high bytes, or any.
    const int shape = gen.uniform(0, 2);
    std::vector<Item> items(static_cast<std::size_t>(size));
    for (std::size_t k = 0; k < items.size(); ++k) {
      const std::uint64_t r = gen.engine()();
      const std::uint64_t key = shape == 0 ? r % 5 : shape == 1 ? (r % 300) << 40 : r * r;
      items[k] = {key, static_cast<std::uint32_t>(k)};
    }
    std::vector<Item> expected = items;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Item& a, const Item& b) { return a.first < b.first; });
    std::vector<Item> buffer;
    radixSort<8>(
        std::span(items), buffer, [](const Item& x) { return x.first; },
        Workers(static_cast<unsigned>(gen.uniform(2, 7))));
    ASSERT_EQ(items, expected) << "size " << size << ", shape " << shape;
  }
}

// A join whose running result is large is probed in parts: rows with no
// partner, one, or several (atom rows that repeat a value), in every part.
TEST(ThreadCountTest, JoinProbedInPartsIsTheOneThreadJoin) {
  std::string script = "T(A,B)\n";
  for (int r = 0; r < 40000; ++r) {
    script += "'a" + std::to_string(r) + "'," + std::to_string(r % 13) + "\n";
  }
  script += "U(B,C)\n";
  for (int b = 0; b < 13; b += 2) {
    for (int c = 0; c <= b % 5; ++c)
      script += std::to_string(b) + ",'c" + std::to_string(c) + "'\n";
  }
  for (const char* rule :
       {"M(A,B,C)<-U(B,C),T(A,B)\n", "S(A,B)<-U(B,C),T(A,B)\n", "N(A,C)<-U(B,C),T(A,B),B>'3'\n"}) {
    const std::string expected = Output(script + rule, 1);
    for (unsigned threads : {2u, 3u}) {
      ASSERT_EQ(Output(script + rule, threads), expected) << threads << " threads, " << rule;
    }
  }
}

// A projection cut into parts stops a part at a row it must leave to the
// calling thread (a long text, names of its own) and finishes it there:
// rows and names as one thread makes them, wherever such rows stand.
TEST(ThreadCountTest, ProjectionInPartsIsTheOneThreadProjection) {
  constexpr int kRows = 40000;
  Gen gen(11);
  for (int oddEvery : {1, 97, 25000, kRows + 1}) {
    auto store = std::make_shared<RowStore>(sizeof(DataCol));
    SortedTable table("T", "A,B,C,D");
    table.setRowStore(store);
    RowList rows;
    for (int r = 0; r < kRows; ++r) {
      const bool odd = r % oddEvery == oddEvery - 1;
      auto row = odd && gen.chance(50)
                     ? DataCol::make(store.get(), SharedNames::make(*table.header()))
                     : table.rowFromText("");
      const std::string text = odd ? "'a text too long to sit in its row'" : "'k'";
      for (int k = 0; k < 4; ++k) row->setLiteralAt(k, k == 1 ? text : std::to_string(r % 50 + k));
      rows.push_back(std::move(row));
    }
    table.setContents(table.header(), std::move(rows));
    const std::size_t live = store->liveSlots();
    for (const std::string condition : {"A,B,C,D", "A,'k',C", "A,B,>3"}) {
      const std::vector<int> positions = {gen.uniform(0, 3), 1, gen.uniform(0, 3)};
      std::string expected;
      for (unsigned threads : {1u, 2u, 3u}) {
        table.setWorkers(Workers(threads));
        std::unique_ptr<DataCol> wanted = table.rowFromText(condition);
        std::unique_ptr<DataTable> projected(projectRows(table, wanted.get(), positions));
        std::ostringstream out;
        out << *projected;
        for (const auto& row : projected->rows()) {
          out << (row->sharedNames() == projected->header());
        }
        if (threads == 1) expected = out.str();
        ASSERT_EQ(out.str(), expected) << threads << " threads, odd row every " << oddEvery;
      }
    }
    EXPECT_EQ(store->liveSlots(), live);  // every projected row went back
  }
}

TEST(WorkersTest, EveryPartRunsOnceAndTheLowestFailureIsThrown) {
  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    for (std::size_t parts : {0u, 1u, 2u, 5u, 40u}) {
      std::vector<std::atomic<int>> runs(parts);
      Workers(threads).run(parts, [&](std::size_t k) { ++runs[k]; });
      for (std::size_t k = 0; k < parts; ++k) EXPECT_EQ(runs[k], 1) << threads << "/" << k;
      if (parts < 5) continue;
      try {
        Workers(threads).run(parts, [](std::size_t k) {
          if (k == 3 || k == 4) throw std::runtime_error(std::to_string(k));
        });
        ADD_FAILURE() << "nothing thrown";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "3");
      }
    }
  }
}

TEST(WorkersTest, TheSettingChoosesTheThreadCount) {
  const unsigned processors = Workers::fromSetting(nullptr);
  EXPECT_GE(processors, 1u);
  const struct {
    const char* setting;
    unsigned threads;
  } cases[] = {{"1", 1},          {"3", 3},           {"64", 64},          {"999999", 1024},
               {"0", processors}, {"-2", processors}, {"two", processors}, {"2x", processors},
               {"", processors},  {" 2", processors}};
  for (const auto& c : cases) EXPECT_EQ(Workers::fromSetting(c.setting), c.threads) << c.setting;
}

}  // namespace
}  // namespace tablog
