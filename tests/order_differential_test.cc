// Differential tests of the row order on the values that defeat a plain
// sort: columns mixing quoted, plain and empty values, several spellings of
// one number (1, 01, +1, " 1", 1x), decimals and dates (which read as their
// leading integer), bare words (which all read 0), numbers past the 32-bit
// limits, and rows of different widths. Value alphabets are small, so that
// repeats and ties are frequent. Each case runs through tables/ and through
// the literal algorithms of tests/literal_oracle.h; values and field names
// (and so which of two equal rows survived) must agree. Seeds are fixed and
// a failure prints its input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "rows/data_value.h"
#include "tables/data_table.h"
#include "tables/sorted_table.h"
#include "tests/literal_oracle.h"
#include "tests/order_check.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;
using testing::iterations;

using ordercheck::OrderCase;
using ordercheck::OrderMode;
using Literals = std::vector<std::string>;

// Families of literals; a case draws its alphabet from one to three.
const std::vector<Literals> kFamilies = {
    {"'a'", "'b'", "'B'", "'7'", "'07'", "''", "'a,b'", "'a long quoted text'"},
    {"1", "01", "+1", " 1", "1x", "001", "2"},
    {"7", "07", "+7", "-3", "0", "10", "-03"},
    {"7.50", "7.99", "7", "-3.25", "-3", "12.50", "12.5"},
    {"2024-03-07", "2024-11-01", "2024", "2023-12-31", "2024-03-07T10:00:00"},
    {"x", "w0012", "NULL", "abc", "0", "Z"},
    {"2147483647", "2147483648", "99999999999", "-2147483648", "-2147483649"},
    // numbers and texts whose sort keys differ in each byte
    {"255", "256", "65535", "65536", "16777217", "-256", "-65537", "300"},
    {"'zaaaaaaa'", "'azaaaaaa'", "'aazaaaaa'", "'aaazaaaa'", "'aaaazaaa'", "'aaaaazaa'",
     "'aaaaaaza'", "'aaaaaaaz'", "'aaaaaaaa'", "'aaaaaaa'"},
    // texts that agree in their first 8 or 16 bytes
    {"'aaaaaaaazb'", "'aaaaaaaaaz'", "'aaaaaaaaa'", "'aaaaaaaaaaaaaaaaz'", "'aaaaaaaaaaaaaaaazz'",
     "'aaaaaaaaaaaaaaaa'", "'aaaaaaaab'", "'aaaaaaaa'", "'aaaaaaaabzzzzzzzzz'",
     "'aaaaaaaacaaaaaaaaa'"},
    {""},
};
const Literals kColumnNames = {"a", "b", "c", "d", "e"};

// One to six literals from one to three families, sometimes with Null.
Literals pickAlphabet(Gen& gen) {
  Literals pool;
  for (int families = gen.uniform(1, 3); families > 0; --families) {
    const Literals& family = gen.pick(kFamilies);
    pool.insert(pool.end(), family.begin(), family.end());
  }
  Literals alphabet;
  for (int size = gen.uniform(1, 6); size > 0; --size) alphabet.push_back(gen.pick(pool));
  if (gen.chance(30)) alphabet.push_back("");
  return alphabet;
}

// An alphabet per column position: one shared by all, or each its own.
std::vector<Literals> pickAlphabets(Gen& gen, int positions) {
  std::vector<Literals> alphabets;
  bool shared = gen.chance(60);
  for (int k = 0; k < positions; ++k) {
    alphabets.push_back(shared && k > 0 ? alphabets[0] : pickAlphabet(gen));
  }
  return alphabets;
}

// Mostly small; now and then up to 60 rows.
int pickCount(Gen& gen) {
  int roll = gen.uniform(0, 99);
  return roll < 70 ? gen.uniform(0, 12) : roll < 90 ? gen.uniform(13, 30) : gen.uniform(31, 60);
}

Literals pickLiterals(Gen& gen, const std::vector<Literals>& alphabets, int width) {
  Literals row;
  for (int k = 0; k < width; ++k) row.push_back(gen.pick(alphabets[static_cast<std::size_t>(k)]));
  return row;
}

// Rows for a list, of one width or ragged (0 to 5 values), often repeating
// an earlier row whole, cut short or extended by one value.
std::vector<Literals> pickRows(Gen& gen) {
  constexpr int kMaxWidth = 5;
  std::vector<Literals> alphabets = pickAlphabets(gen, kMaxWidth + 1);
  int width = gen.chance(5) ? 0 : gen.uniform(1, 4);
  bool ragged = gen.chance(40);
  std::vector<Literals> rows;
  for (int i = pickCount(gen); i > 0; --i) {
    if (!rows.empty() && gen.chance(25)) {
      Literals row = gen.pick(rows);
      if (ragged && gen.chance(30)) {
        if (!row.empty() && gen.chance(50)) {
          row.pop_back();
        } else if (static_cast<int>(row.size()) < kMaxWidth) {
          row.push_back(gen.pick(alphabets[row.size()]));
        }
      }
      rows.push_back(row);
      continue;
    }
    int w = ragged && gen.chance(35) ? gen.uniform(0, kMaxWidth) : width;
    rows.push_back(pickLiterals(gen, alphabets, w));
  }
  return rows;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string listed(const Literals& literals) {
  std::string out = "{";
  for (std::size_t i = 0; i < literals.size(); ++i)
    out += std::string(i > 0 ? ", " : "") + quoted(literals[i]);
  return out + "}";
}

std::string joined(const Literals& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) out += std::string(i > 0 ? "," : "") + fields[i];
  return out;
}

// A table's header and rows, each row as ordercheck::shownRow writes it.
std::string shown(DataTable& t) {
  std::string out = t.tableName() + "(" + joined(t.columnNames()) + ")\n";
  for (DataCol* row = t.firstRow(); row != nullptr; row = t.nextRow()) {
    out += ordercheck::shownRow(*row) + "\n";
  }
  return out;
}

std::string shown(const literal::Table& t) {
  std::string out = t.name + "(" + joined(t.columns) + ")\n";
  for (const literal::Row& row : t.rows) out += ordercheck::shownRow(row) + "\n";
  return out;
}

// A table built twice, by tables/ and by the literal algorithms, with the
// steps that built it for failure reports.
struct Twin {
  std::unique_ptr<DataTable> product;
  literal::Table oracle;
  std::string log;
};

::testing::AssertionResult same(DataTable& product, const literal::Table& oracle,
                                const std::string& input) {
  std::string got = shown(product);
  std::string want = shown(oracle);
  if (got == want) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "input:\n"
                                       << input << "tables/ gives:\n"
                                       << got << "the literal algorithm gives:\n"
                                       << want;
}

::testing::AssertionResult same(Twin& t, const std::string& step) {
  return same(*t.product, t.oracle, t.log + step);
}

// Builds a table named `name`: a few rows appended as they come (no order),
// then, for a sorted table, rows inserted one at a time, as row texts or as
// rows whose fields are named "r<i>" when `tagged` (so that the survivor of
// two equal rows shows). The table is read at random points in between,
// normalising the insertions pending at that time.
::testing::AssertionResult buildTwin(Gen& gen, Twin& twin, const std::string& name,
                                     const Literals& columns, bool plain, bool tagged,
                                     const std::vector<Literals>& alphabets, int maxRows) {
  std::string columnList = joined(columns);
  if (plain) {
    twin.product = std::make_unique<DataTable>(name, columnList);
  } else {
    twin.product = std::make_unique<SortedTable>(name, columnList);
  }
  twin.oracle = literal::makeTable(name, columnList);
  twin.log += (plain ? "DataTable " : "SortedTable ") + name + "(" + columnList + ")\n";
  int width = static_cast<int>(columns.size());
  int rows = std::min(maxRows, pickCount(gen));
  int appended = plain ? rows : gen.chance(30) ? gen.uniform(0, rows) : 0;
  for (int i = 0; i < rows; ++i) {
    std::string tag = std::string("r") + std::to_string(i);
    Literals literals = pickLiterals(gen, alphabets, width);
    if (i < appended || (!tagged && gen.chance(50))) {
      bool text = i >= appended;
      if (text) {
        // Row texts sometimes fall short of the columns or go past them.
        int roll = gen.uniform(0, 9);
        if (roll == 0 && !literals.empty()) literals.pop_back();
        if (roll == 1) literals.push_back(gen.pick(alphabets[0]));
        SortedTable::insertRowText(joined(literals), static_cast<SortedTable*>(twin.product.get()));
        literal::insertRowText(twin.oracle, joined(literals));
        twin.log += std::string("  insertRowText ") + quoted(joined(literals)) + "\n";
      } else {
        DataCol* row = twin.product->appendRow();
        literal::Row& copy = literal::appendRow(twin.oracle);
        for (int k = 0; k < width; ++k) {
          row->setLiteralAt(k, literals[static_cast<std::size_t>(k)]);
          copy.setLiteralAt(k, literals[static_cast<std::size_t>(k)]);
          if (tagged) {
            row->setNameAt(k, tag);
            copy.names[static_cast<std::size_t>(k)] = tag;
          }
        }
        twin.log +=
            std::string("  appendRow ") + listed(literals) + (tagged ? " as " + tag : "") + "\n";
      }
    } else {
      auto& sorted = static_cast<SortedTable&>(*twin.product);
      DataCol* row = sorted.newRow();
      literal::Row copy = literal::newRow(twin.oracle);
      for (int k = 0; k < width; ++k) {
        row->setLiteralAt(k, literals[static_cast<std::size_t>(k)]);
        copy.setLiteralAt(k, literals[static_cast<std::size_t>(k)]);
        if (tagged) {
          row->setNameAt(k, tag);
          copy.names[static_cast<std::size_t>(k)] = tag;
        }
      }
      sorted.insertRow(row);
      literal::insertRow(twin.oracle, copy);
      twin.log +=
          std::string("  insertRow ") + listed(literals) + (tagged ? " as " + tag : "") + "\n";
    }
    if (i >= appended && gen.chance(10)) {
      ::testing::AssertionResult result = same(twin, "read after this step\n");
      if (!result) return result;
    }
  }
  return same(twin, "read after the last step\n");
}

Literals pickColumns(Gen& gen) {
  Literals names = kColumnNames;
  std::shuffle(names.begin(), names.end(), gen.engine());
  names.resize(static_cast<std::size_t>(gen.uniform(1, 4)));
  return names;
}

// Columns for a join partner: some of `columns` (in another order) and
// some of the others.
Literals pickPartner(Gen& gen, const Literals& columns) {
  Literals names;
  for (const std::string& name : kColumnNames) {
    bool common = std::find(columns.begin(), columns.end(), name) != columns.end();
    if (gen.chance(common ? 60 : 25)) names.push_back(name);
  }
  if (names.empty()) names.push_back(gen.pick(columns));
  std::shuffle(names.begin(), names.end(), gen.engine());
  return names;
}

// Other names, same count: a union partner.
Literals renamed(Gen& gen, const Literals& columns) {
  Literals names;
  for (std::size_t k = 0; k < columns.size(); ++k) names.push_back(gen.pick(kColumnNames));
  return names;
}

// normalizeRows on whole lists that `make` draws, half of them through the
// radix sort, as large tables take it.
template <class Make>
void checkWholeLists(std::uint32_t seed, Make make) {
  Gen gen(seed);
  for (int i = 0; i < iterations(20000); ++i) {
    OrderCase c;
    c.mode = OrderMode::kWhole;
    c.rows = make(gen);
    if (gen.chance(50)) c.radixFrom = 2;
    std::string report = ordercheck::checkOrder(c);
    ASSERT_TRUE(report.empty()) << "case " << i << "\n" << report;
  }
}

TEST(OrderDifferentialTest, NormalizeRowsMatchesTheLiteralSort) { checkWholeLists(9001, pickRows); }

// `rows` laid out a run per first value, the runs in an order where no
// first value is greater than the next (rows without one are a run too).
std::vector<Literals> inFirstValueOrder(Gen& gen, std::vector<Literals> rows) {
  std::vector<std::optional<std::string>> firsts;  // nullopt: no first value
  for (const Literals& row : rows) {
    std::optional<std::string> first;
    if (!row.empty()) first = row[0];
    if (std::find(firsts.begin(), firsts.end(), first) == firsts.end()) firsts.push_back(first);
  }
  std::shuffle(firsts.begin(), firsts.end(), gen.engine());
  // Exchange neighbours until none is greater than the next.
  auto greater = [](const auto& a, const auto& b) {
    return a && b && DataValue(*a).greaterThan(DataValue(*b));
  };
  for (bool moved = true; moved;) {
    moved = false;
    for (std::size_t i = 1; i < firsts.size(); ++i) {
      if (greater(firsts[i - 1], firsts[i])) {
        std::swap(firsts[i - 1], firsts[i]);
        moved = true;
      }
    }
  }
  std::vector<Literals> laidOut;
  for (const auto& first : firsts) {
    for (const Literals& row : rows) {
      if (row.empty() ? !first : first && row[0] == *first) laidOut.push_back(row);
    }
  }
  return laidOut;
}

// Lists already in order by their first values are normalised a run at a
// time; one pair out of order anywhere sends the whole list to the sort.
TEST(OrderDifferentialTest, NormalizeRowsMatchesTheLiteralSortInFirstValueOrder) {
  checkWholeLists(9003, [](Gen& gen) {
    std::vector<Literals> rows = inFirstValueOrder(gen, pickRows(gen));
    if (rows.size() > 1 && gen.chance(30)) {
      int last = static_cast<int>(rows.size()) - 1;
      std::swap(rows[static_cast<std::size_t>(gen.uniform(0, last))],
                rows[static_cast<std::size_t>(gen.uniform(0, last))]);
    }
    return rows;
  });
}

// Pending rows put in place together give insertion one row at a time:
// all rows pending, or pending after a normalised prefix or after a prefix
// in any order, normalised in one batch or in several with reads between.
TEST(OrderDifferentialTest, SettlePendingMatchesInsertionOneByOne) {
  Gen gen(9002);
  const std::vector<OrderMode> modes = {OrderMode::kOneByOne, OrderMode::kSettledPrefix,
                                        OrderMode::kArbitraryPrefix};
  for (int i = 0; i < iterations(20000); ++i) {
    OrderCase c;
    c.mode = gen.pick(modes);
    c.rows = pickRows(gen);
    int n = static_cast<int>(c.rows.size());
    c.prefix = static_cast<std::size_t>(gen.uniform(0, n));
    if (gen.chance(50)) {
      for (int batches = gen.uniform(1, 4); batches > 0; --batches) {
        c.batches.push_back(static_cast<std::size_t>(gen.uniform(0, n / 2 + 1)));
      }
    }
    std::string report = ordercheck::checkOrder(c);
    ASSERT_TRUE(report.empty()) << "case " << i << "\n" << report;
  }
}

// The same values through SortedTable: insertions normalised on read, then
// normalize, the projections, the union (copying and taking), the join and
// the removal of a column, each against its literal algorithm.
TEST(OrderDifferentialTest, SortedTableOperationsMatchTheLiteralOnes) {
  Gen gen(9003);
  for (int i = 0; i < iterations(6000); ++i) {
    std::vector<Literals> alphabets = pickAlphabets(gen, static_cast<int>(kColumnNames.size()));
    Literals columns = pickColumns(gen);
    bool tagged = gen.chance(60);
    Twin a;
    ASSERT_TRUE(buildTwin(gen, a, "A", columns, false, tagged, alphabets, 40)) << "case " << i;
    if (gen.chance(30)) {
      SortedTable::normalize(*a.product);
      literal::normalize(a.oracle);
      a.log += "normalize\n";
      ASSERT_TRUE(same(a, "")) << "case " << i;
    }
    auto& sa = static_cast<SortedTable&>(*a.product);

    std::vector<int> positions;
    for (int k = gen.uniform(0, 3); k > 0; --k) positions.push_back(gen.uniform(-1, 4));
    std::unique_ptr<DataTable> byIndices(sa.projectByIndices(positions));
    ASSERT_TRUE(same(*byIndices, literal::sortedProjectByIndices(a.oracle, positions),
                     a.log + "projectByIndices\n"))
        << "case " << i;
    Literals names;
    for (int k = gen.uniform(0, 3); k > 0; --k) names.push_back(gen.pick(kColumnNames));
    std::unique_ptr<DataTable> byNames(sa.projectByNames(names));
    ASSERT_TRUE(same(*byNames, literal::sortedProjectByNames(a.oracle, names),
                     a.log + "projectByNames " + listed(names) + "\n"))
        << "case " << i;

    Twin b;
    b.log = a.log;
    Literals unionColumns = gen.chance(85) ? renamed(gen, columns) : pickColumns(gen);
    ASSERT_TRUE(buildTwin(gen, b, "B", unionColumns, gen.chance(30), gen.chance(50), alphabets, 30))
        << "case " << i;
    SortedTable* united = sa.unionWith(*b.product);
    std::unique_ptr<SortedTable> ownedUnion(united == &sa ? nullptr : united);
    std::optional<literal::Table> ou = literal::unionWith(a.oracle, b.oracle);
    ASSERT_TRUE(same(*united, ou ? *ou : a.oracle, b.log + "A.unionWith(B)\n")) << "case " << i;

    if (!tagged) {
      Twin j;
      j.log = a.log;
      ASSERT_TRUE(
          buildTwin(gen, j, "J", pickPartner(gen, columns), gen.chance(30), false, alphabets, 15))
          << "case " << i;
      std::unique_ptr<DataTable> product(sa.join(*j.product, "temp"));
      ASSERT_TRUE(
          same(*product, literal::sortedJoin(a.oracle, j.oracle, "temp"), j.log + "A.join(J)\n"))
          << "case " << i;
    }

    int position = gen.uniform(-1, 3);
    sa.removeColumnAt(position);
    literal::sortedRemoveColumnAt(a.oracle, position);
    a.log += std::string("removeColumnAt ") + std::to_string(position) + "\n";
    ASSERT_TRUE(same(a, "")) << "case " << i;

    Twin t;
    t.log = a.log;
    ASSERT_TRUE(buildTwin(gen, t, "T", renamed(gen, a.oracle.columns), gen.chance(30),
                          gen.chance(50), alphabets, 30))
        << "case " << i;
    std::optional<literal::Table> ot = literal::unionWith(a.oracle, t.oracle);
    sa.uniteTaking(*t.product);
    ASSERT_TRUE(same(sa, ot ? *ot : a.oracle, t.log + "A.uniteTaking(T)\n")) << "case " << i;
  }
}

}  // namespace
}  // namespace tablog
