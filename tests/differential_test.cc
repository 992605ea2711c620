// Randomized differential tests of the sorted-table algorithms. tables/
// runs them with fast paths (row_order.cc, data_table.cc, sorted_table.cc);
// tests/literal_oracle.h keeps the literal algorithms. Thousands of small
// random tables, with a small value alphabet so that equal, equal-number
// and incomparable values meet often, go through both, and the printed
// tables and the field names of their rows must agree exactly. The seeds
// are fixed; a failure prints its input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tables/data_table.h"
#include "tables/projection.h"
#include "tables/sorted_table.h"
#include "tests/literal_oracle.h"
#include "tests/random_cases.h"

namespace tablog {
namespace {

using testing::Gen;
using testing::iterations;
using testing::shown;

// Literals: quoted texts (one with a comma inside, one unclosed), plain
// numbers (with equal-number spellings), plain words (all read as 0) and
// the empty literal (Null).
const std::vector<std::string> kLiterals = {
    "'a'", "'b'", "'B'", "''", "'7'", "'07'", "'a,b'", "'",    "1",  "2", "7", "07",
    "+7",  "-3",  "10",  " 7", "0",   "x",    "y",     "NULL", "Ab", "Z", "",
};
const std::vector<std::string> kColumnNames = {"a", "b", "c", "A"};
const std::vector<std::string> kConditionFields = {
    "X",     "Y",  "Z", "ZIP",  "Ab",   "Zz", "ab",  "'a'", "'A'", "'7'", "=x", "=7",
    "=",     "<b", "<", "<7",   "'<b'", ">5", ">",   ">'",  "7",   "07",  "''", "",
    "'a,b'", "a",  "x", "NULL", "[",    "Y1", "'X'", "=''", "<'",  ">a",
};
const std::vector<std::string> kProjectionNames = {"a", "b", "c", "A", "", "zz"};

// How a table of a case is made: rows appended as they come (no order, may
// repeat), then row texts inserted one at a time.
struct TableCase {
  std::string name;
  std::string columnList;
  bool plain = false;  // a DataTable rather than a SortedTable
  std::vector<std::vector<std::string>> appended;
  std::vector<std::string> inserted;
};

std::string inQuotes(const std::string& s) {
  std::string out;
  out += '"';
  out += s;
  out += '"';
  return out;
}

std::string describe(const TableCase& c) {
  std::string out = c.plain ? "DataTable " : "SortedTable ";
  out += inQuotes(c.name);
  out += " columns ";
  out += inQuotes(c.columnList);
  out += '\n';
  for (const auto& row : c.appended) {
    out += "  appendRow:";
    for (const std::string& literal : row) {
      out += ' ';
      out += inQuotes(literal);
    }
    out += '\n';
  }
  for (const std::string& text : c.inserted) {
    out += "  insertRowText: ";
    out += inQuotes(text);
    out += '\n';
  }
  return out;
}

std::string describeList(const std::vector<std::string>& list) {
  std::string out = "{";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += ", ";
    out += inQuotes(list[i]);
  }
  out += '}';
  return out;
}

std::string describeList(const std::vector<int>& list) {
  std::string out = "{";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += ", ";
    out += std::to_string(list[i]);
  }
  out += '}';
  return out;
}

std::vector<std::string> pickAlphabet(Gen& gen) {
  std::vector<std::string> alphabet;
  int size = gen.uniform(2, 6);
  for (int i = 0; i < size; ++i) alphabet.push_back(gen.pick(kLiterals));
  return alphabet;
}

std::string pickColumnList(Gen& gen) {
  if (gen.chance(3)) return "";
  int count = gen.uniform(1, 4);
  std::string list;
  for (int i = 0; i < count; ++i) {
    if (i > 0) list += ",";
    list += gen.chance(5) ? "" : gen.pick(kColumnNames);
  }
  return list;
}

int columnCountOf(const std::string& columnList) {
  return static_cast<int>(literal::makeTable("", columnList).columns.size());
}

std::vector<std::string> pickRow(Gen& gen, const std::vector<std::string>& alphabet, int columns,
                                 const std::vector<std::vector<std::string>>& earlier) {
  if (!earlier.empty() && gen.chance(25)) {
    return earlier[static_cast<std::size_t>(gen.uniform(0, static_cast<int>(earlier.size()) - 1))];
  }
  std::vector<std::string> row;
  for (int k = 0; k < columns; ++k) row.push_back(gen.pick(alphabet));
  return row;
}

std::string joinFields(const std::vector<std::string>& fields) {
  std::string text;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ',';
    text += fields[i];
  }
  return text;
}

// A row text: usually one literal per column, sometimes fewer, more or odd.
std::string pickRowText(Gen& gen, const std::vector<std::string>& alphabet, int columns,
                        std::vector<std::vector<std::string>>& earlier) {
  std::vector<std::string> fields = pickRow(gen, alphabet, columns, earlier);
  earlier.push_back(fields);
  int roll = gen.uniform(0, 99);
  if (roll < 8 && !fields.empty()) {
    fields.pop_back();
  } else if (roll < 16) {
    fields.push_back(gen.pick(alphabet));
  } else if (roll < 20) {
    return gen.pick({"", "'ab", "x,'y", "'", ",", "1,,3"});
  }
  return joinFields(fields);
}

enum class Fill { kAppended, kInserted, kMixed };

TableCase pickTable(Gen& gen, const std::string& name, const std::string& columnList,
                    const std::vector<std::string>& alphabet, Fill fill, bool plain = false,
                    int maxRows = 12) {
  TableCase c;
  c.name = name;
  c.columnList = columnList;
  c.plain = plain;
  int columns = columnCountOf(columnList);
  int rows = gen.uniform(0, maxRows);
  std::vector<std::vector<std::string>> earlier;
  for (int i = 0; i < rows; ++i) {
    bool append = fill == Fill::kAppended || plain ||
                  (fill == Fill::kMixed && (i < rows / 2 || gen.chance(20)) && c.inserted.empty());
    if (append) {
      c.appended.push_back(pickRow(gen, alphabet, columns, earlier));
      earlier.push_back(c.appended.back());
    } else {
      c.inserted.push_back(pickRowText(gen, alphabet, columns, earlier));
    }
  }
  return c;
}

Fill pickFill(Gen& gen) {
  int roll = gen.uniform(0, 9);
  return roll < 5 ? Fill::kInserted : roll < 8 ? Fill::kMixed : Fill::kAppended;
}

std::unique_ptr<DataTable> buildProduct(const TableCase& c) {
  std::unique_ptr<DataTable> t;
  if (c.plain) {
    t = std::make_unique<DataTable>(c.name, c.columnList);
  } else {
    t = std::make_unique<SortedTable>(c.name, c.columnList);
  }
  for (const auto& literals : c.appended) {
    DataCol* row = t->appendRow();
    for (std::size_t k = 0; k < literals.size(); ++k) {
      row->setLiteralAt(static_cast<int>(k), literals[k]);
    }
  }
  for (const std::string& text : c.inserted) {
    SortedTable::insertRowText(text, static_cast<SortedTable*>(t.get()));
  }
  return t;
}

SortedTable& sorted(const std::unique_ptr<DataTable>& t) { return static_cast<SortedTable&>(*t); }

literal::Table buildOracle(const TableCase& c) {
  literal::Table t = literal::makeTable(c.name, c.columnList);
  for (const auto& literals : c.appended) {
    literal::Row& row = literal::appendRow(t);
    for (std::size_t k = 0; k < literals.size(); ++k) {
      row.setLiteralAt(static_cast<int>(k), literals[k]);
    }
  }
  for (const std::string& text : c.inserted) literal::insertRowText(t, text);
  return t;
}

::testing::AssertionResult same(DataTable& product, const literal::Table& oracle,
                                const std::string& input) {
  std::string got = shown(product);
  std::string want = shown(oracle);
  if (got == want) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "input:\n"
                                       << input << "product:\n"
                                       << got << "literal:\n"
                                       << want;
}

::testing::AssertionResult isPlain(DataTable* t) {
  if (dynamic_cast<SortedTable*>(t) == nullptr) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "result is a SortedTable";
}

std::string pickCondition(Gen& gen, const std::vector<std::string>& alphabet, int columns) {
  int roll = gen.uniform(0, 99);
  int fields = columns;
  if (roll < 5) return "";
  if (roll < 15) {
    fields = columns - 1;
  } else if (roll < 25) {
    fields = columns + 1;
  } else if (roll < 30) {
    fields = gen.uniform(0, 5);
  }
  std::vector<std::string> parts;
  for (int k = 0; k < fields; ++k) {
    parts.push_back(gen.chance(30) ? gen.pick(alphabet) : gen.pick(kConditionFields));
  }
  if (parts.empty()) return "";
  return joinFields(parts);
}

std::vector<int> pickPositions(Gen& gen) {
  std::vector<int> positions;
  int count = gen.uniform(0, 4);
  for (int i = 0; i < count; ++i) positions.push_back(gen.uniform(-1, 5));
  return positions;
}

std::vector<std::string> pickNames(Gen& gen) {
  std::vector<std::string> names;
  int count = gen.uniform(0, 3);
  for (int i = 0; i < count; ++i) names.push_back(gen.pick(kProjectionNames));
  return names;
}

std::string columnsOfCount(Gen& gen, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(gen.pick(kColumnNames));
  return joinFields(names);
}

// A column list for the second table of a pair: often the same names in
// another order (several common columns), else a fresh list.
std::string pickPartnerColumns(Gen& gen, const std::string& columnList) {
  if (!gen.chance(35)) return pickColumnList(gen);
  std::vector<std::string> names = literal::makeTable("", columnList).columns;
  std::shuffle(names.begin(), names.end(),
               std::mt19937(static_cast<std::uint32_t>(gen.uniform(0, 1 << 20))));
  if (!names.empty() && gen.chance(30)) names.pop_back();
  if (gen.chance(30)) names.push_back(gen.pick(kColumnNames));
  return joinFields(names);
}

TEST(DifferentialTest, InsertRowTextOneByOne) {
  Gen gen(1001);
  for (int i = 0; i < iterations(24000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    TableCase c = pickTable(gen, "T", pickColumnList(gen), alphabet, Fill::kInserted);
    // Look at the table after some of the insertions, too: the product
    // applies insertions in batches when the rows are next looked at.
    SortedTable product(c.name, c.columnList);
    literal::Table oracle = literal::makeTable(c.name, c.columnList);
    TableCase sofar = c;
    sofar.inserted.clear();
    for (const std::string& text : c.inserted) {
      SortedTable::insertRowText(text, &product);
      literal::insertRowText(oracle, text);
      sofar.inserted.push_back(text);
      if (gen.chance(30)) {
        ASSERT_TRUE(same(product, oracle, describe(sofar))) << "case " << i;
      }
    }
    ASSERT_TRUE(same(product, oracle, describe(c))) << "case " << i;
  }
}

TEST(DifferentialTest, InsertRowTextIntoUnsortedRows) {
  Gen gen(1002);
  for (int i = 0; i < iterations(24000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    TableCase c = pickTable(gen, "T", pickColumnList(gen), alphabet, Fill::kMixed);
    std::unique_ptr<DataTable> product = buildProduct(c);
    ASSERT_TRUE(same(*product, buildOracle(c), describe(c))) << "case " << i;
  }
}

// Larger tables, looked at rarely, so that many insertions are pending at
// once and are put in place together.
TEST(DifferentialTest, InsertRowTextInLargeBatches) {
  Gen gen(1010);
  for (int i = 0; i < iterations(3000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    std::string columns = columnsOfCount(gen, gen.uniform(1, 4));
    TableCase c = pickTable(gen, "T", columns, alphabet, pickFill(gen), false, 60);
    SortedTable product(c.name, c.columnList);
    literal::Table oracle = literal::makeTable(c.name, c.columnList);
    TableCase sofar = c;
    sofar.inserted.clear();
    for (const auto& literals : c.appended) {
      DataCol* row = product.appendRow();
      literal::Row& copy = literal::appendRow(oracle);
      for (std::size_t k = 0; k < literals.size(); ++k) {
        row->setLiteralAt(static_cast<int>(k), literals[k]);
        copy.setLiteralAt(static_cast<int>(k), literals[k]);
      }
    }
    for (const std::string& text : c.inserted) {
      SortedTable::insertRowText(text, &product);
      literal::insertRowText(oracle, text);
      sofar.inserted.push_back(text);
      if (gen.chance(8)) {
        ASSERT_TRUE(same(product, oracle, describe(sofar))) << "case " << i;
      }
    }
    ASSERT_TRUE(same(product, oracle, describe(c))) << "case " << i;
  }
}

TEST(DifferentialTest, NormalizeOfArbitraryRowOrder) {
  Gen gen(1003);
  for (int i = 0; i < iterations(30000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    bool plain = gen.chance(50);
    int maxRows = gen.chance(10) ? 40 : 12;
    TableCase c =
        pickTable(gen, "T", pickColumnList(gen), alphabet, Fill::kAppended, plain, maxRows);
    std::unique_ptr<DataTable> product = buildProduct(c);
    literal::Table oracle = buildOracle(c);
    ASSERT_TRUE(same(*product, oracle, describe(c))) << "case " << i << " before normalize";
    if (plain) {
      SortedTable::normalize(*product);
    } else {
      sorted(product).normalize();
    }
    literal::normalize(oracle);
    ASSERT_TRUE(same(*product, oracle, describe(c) + "normalize\n")) << "case " << i;
  }
}

TEST(DifferentialTest, JoinAndSortedJoin) {
  Gen gen(1004);
  for (int i = 0; i < iterations(16000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    std::string columns = pickColumnList(gen);
    TableCase a = pickTable(gen, "A", columns, alphabet, pickFill(gen));
    TableCase b = pickTable(gen, "B", pickPartnerColumns(gen, columns), alphabet, pickFill(gen),
                            gen.chance(30));
    std::string input = describe(a) + describe(b);
    std::unique_ptr<DataTable> pa = buildProduct(a);
    std::unique_ptr<DataTable> pb = buildProduct(b);
    literal::Table oa = buildOracle(a);
    literal::Table ob = buildOracle(b);

    std::unique_ptr<DataTable> plainJoin(pa->join(*pb, "temp"));
    ASSERT_TRUE(same(*plainJoin, literal::join(oa, ob, "temp"), input + "A.DataTable::join(B)\n"))
        << "case " << i;
    std::unique_ptr<DataTable> sortedJoin(sorted(pa).join(*pb, "temp"));
    ASSERT_TRUE(isPlain(sortedJoin.get()));
    ASSERT_TRUE(
        same(*sortedJoin, literal::sortedJoin(oa, ob, "temp"), input + "A.SortedTable::join(B)\n"))
        << "case " << i;
    // The inputs are unchanged.
    ASSERT_TRUE(same(*pa, oa, input + "A after the joins\n")) << "case " << i;
    ASSERT_TRUE(same(*pb, ob, input + "B after the joins\n")) << "case " << i;
  }
}

// Joins large enough to be normalised while they are built give what the
// plain join normalised once gives: few keys, values of every kind.
TEST(DifferentialTest, LargeSortedJoinSettlesAsItGoes) {
  const std::vector<std::string> keys = {"1", "01", "'1'", "x", ""};
  Gen gen(4242);
  for (int round = 0; round < 4; ++round) {
    SortedTable a("A", "k,v"), b("B", "k,w");
    for (int i = 0; i < 700; ++i) {
      SortedTable::insertRowText(gen.pick(keys) + "," + gen.pick(kLiterals), &a);
      SortedTable::insertRowText(gen.pick(keys) + "," + gen.pick(kLiterals), &b);
    }
    std::unique_ptr<DataTable> streamed(a.join(b, "J"));
    std::unique_ptr<DataTable> whole(a.DataTable::join(b, "J"));
    ASSERT_GT(whole->rowCount(), std::size_t{1} << 16) << "round " << round;
    SortedTable::normalize(*whole);
    std::ostringstream got, want;
    got << *streamed;
    want << *whole;
    ASSERT_EQ(got.str(), want.str()) << "round " << round;
  }
}

TEST(DifferentialTest, JoinWithItself) {
  Gen gen(1005);
  for (int i = 0; i < iterations(12000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    TableCase a = pickTable(gen, "A", pickColumnList(gen), alphabet, pickFill(gen));
    std::string input = describe(a);
    std::unique_ptr<DataTable> pa = buildProduct(a);
    literal::Table oa = buildOracle(a);
    std::unique_ptr<DataTable> plainJoin(pa->join(*pa, "temp"));
    ASSERT_TRUE(same(*plainJoin, literal::join(oa, oa, "temp"), input + "A.DataTable::join(A)\n"))
        << "case " << i;
    std::unique_ptr<DataTable> sortedJoin(sorted(pa).join(*pa, "temp"));
    ASSERT_TRUE(
        same(*sortedJoin, literal::sortedJoin(oa, oa, "temp"), input + "A.SortedTable::join(A)\n"))
        << "case " << i;
  }
}

TEST(DifferentialTest, FilterAndExclude) {
  Gen gen(1006);
  for (int i = 0; i < iterations(30000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    TableCase a = pickTable(gen, "A", pickColumnList(gen), alphabet, pickFill(gen));
    std::string condition = pickCondition(gen, alphabet, columnCountOf(a.columnList));
    std::string input = describe(a) + "condition " + inQuotes(condition) + "\n";
    std::unique_ptr<DataTable> pa = buildProduct(a);
    literal::Table oa = buildOracle(a);

    DataTable* filtered = pa->filter(condition);  // through the virtual interface
    ASSERT_NE(filtered, pa.get());
    std::unique_ptr<DataTable> owned(filtered);
    ASSERT_TRUE(isPlain(filtered));
    ASSERT_TRUE(same(*filtered, literal::filter(oa, condition), input + "filter\n"))
        << "case " << i;
    std::unique_ptr<SortedTable> excluded(sorted(pa).exclude(condition));
    ASSERT_TRUE(same(*excluded, literal::exclude(oa, condition), input + "exclude\n"))
        << "case " << i;
    ASSERT_TRUE(same(*pa, oa, input + "A after filter and exclude\n")) << "case " << i;
  }
}

// An atom filters a copy of its table whose columns it renamed first;
// filterRenamed folds the renames into the filter. Repeated and colliding
// names are frequent here, so rows whose names drift from the header
// (renaming a name the header holds twice) are covered.
TEST(DifferentialTest, FilterRenamedMatchesRenamingACopy) {
  Gen gen(1012);
  const std::vector<std::string> newNames = {"a", "b", "X", "Y", ">1", "<b", "@"};
  for (int i = 0; i < iterations(20000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    TableCase a = pickTable(gen, "A", pickColumnList(gen), alphabet, pickFill(gen));
    std::vector<std::pair<unsigned, std::string>> renames;
    int count = gen.uniform(0, 4);
    for (int k = 0; k < count; ++k) {
      renames.emplace_back(static_cast<unsigned>(gen.uniform(0, 4)), gen.pick(newNames));
    }
    std::string condition = pickCondition(gen, alphabet, columnCountOf(a.columnList));
    std::string input = describe(a) + "renames";
    for (const auto& [position, name] : renames) {
      input += ' ';
      input += std::to_string(position);
      input += "->";
      input += inQuotes(name);
    }
    input += ", condition ";
    input += inQuotes(condition);
    input += '\n';
    std::unique_ptr<DataTable> pa = buildProduct(a);
    literal::Table oa = buildOracle(a);

    std::unique_ptr<DataTable> got(sorted(pa).filterRenamed(renames, condition));
    for (const auto& [position, name] : renames) literal::renameColumnAt(oa, position, name);
    ASSERT_TRUE(same(*got, literal::filter(oa, condition), input)) << "case " << i;
  }
}

TEST(DifferentialTest, UnionWithAndMinus) {
  Gen gen(1007);
  for (int i = 0; i < iterations(24000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    std::string columns = pickColumnList(gen);
    TableCase a = pickTable(gen, "A", columns, alphabet, pickFill(gen));
    bool self = gen.chance(10);
    // Mostly the same number of columns, under other names or the same.
    std::string otherColumns = columnsOfCount(gen, columnCountOf(columns));
    if (gen.chance(20)) otherColumns = pickPartnerColumns(gen, columns);
    TableCase b = pickTable(gen, "B", otherColumns, alphabet, pickFill(gen), gen.chance(40));
    std::string input = describe(a) + (self ? "with itself\n" : describe(b));
    std::unique_ptr<DataTable> pa = buildProduct(a);
    std::unique_ptr<DataTable> pb = self ? nullptr : buildProduct(b);
    literal::Table oa = buildOracle(a);
    literal::Table ob = self ? oa : buildOracle(b);
    DataTable& other = self ? *pa : *pb;

    SortedTable* united = sorted(pa).unionWith(other);
    std::optional<literal::Table> ou = literal::unionWith(oa, ob);
    std::unique_ptr<SortedTable> ownedUnion(united == pa.get() ? nullptr : united);
    ASSERT_EQ(!ou.has_value(), united == pa.get()) << input << "unionWith";
    ASSERT_TRUE(same(*united, ou.has_value() ? *ou : oa, input + "unionWith\n")) << "case " << i;

    SortedTable* reduced = sorted(pa).minus(other);
    std::optional<literal::Table> om = literal::minus(oa, ob);
    std::unique_ptr<SortedTable> ownedMinus(reduced == pa.get() ? nullptr : reduced);
    ASSERT_EQ(!om.has_value(), reduced == pa.get()) << input << "minus";
    ASSERT_TRUE(same(*reduced, om.has_value() ? *om : oa, input + "minus\n")) << "case " << i;

    ASSERT_TRUE(same(*pa, oa, input + "A after unionWith and minus\n")) << "case " << i;
    ASSERT_TRUE(same(other, ob, input + "B after unionWith and minus\n")) << "case " << i;
  }
}

// The union that moves the other table's rows gives what assigning the
// copying union gives, and leaves the other table without rows.
TEST(DifferentialTest, UniteTakingMatchesUnionWith) {
  Gen gen(1011);
  for (int i = 0; i < iterations(16000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    std::string columns = pickColumnList(gen);
    TableCase a = pickTable(gen, "A", columns, alphabet, pickFill(gen));
    std::string otherColumns = columnsOfCount(gen, columnCountOf(columns));
    if (gen.chance(20)) otherColumns = pickPartnerColumns(gen, columns);
    TableCase b = pickTable(gen, "B", otherColumns, alphabet, pickFill(gen), gen.chance(40));
    std::string input = describe(a) + describe(b) + "uniteTaking\n";
    std::unique_ptr<DataTable> pa = buildProduct(a);
    std::unique_ptr<DataTable> pb = buildProduct(b);
    literal::Table oa = buildOracle(a);
    std::optional<literal::Table> ou = literal::unionWith(oa, buildOracle(b));

    sorted(pa).uniteTaking(*pb);
    ASSERT_TRUE(same(*pa, ou.has_value() ? *ou : oa, input)) << "case " << i;
    if (ou.has_value()) {
      ASSERT_TRUE(pb->isEmpty()) << input;
    }
  }
}

TEST(DifferentialTest, Projections) {
  Gen gen(1008);
  for (int i = 0; i < iterations(24000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    bool plain = gen.chance(30);
    TableCase a = pickTable(gen, "A", pickColumnList(gen), alphabet, pickFill(gen), plain);
    std::vector<int> positions = pickPositions(gen);
    std::vector<std::string> names = pickNames(gen);
    std::string input = describe(a);
    std::unique_ptr<DataTable> pa = buildProduct(a);
    literal::Table oa = buildOracle(a);

    std::unique_ptr<DataTable> byIndices(pa->projectByIndices(positions));
    ASSERT_TRUE(isPlain(byIndices.get()));
    std::unique_ptr<DataTable> byNames(pa->projectByNames(names));
    ASSERT_TRUE(isPlain(byNames.get()));
    std::string indicesInput = input + "projectByIndices " + describeList(positions) + "\n";
    std::string namesInput = input + "projectByNames " + describeList(names) + "\n";
    if (plain) {
      ASSERT_TRUE(same(*byIndices, literal::projectByIndices(oa, positions), indicesInput))
          << "case " << i;
      ASSERT_TRUE(same(*byNames, literal::projectByNames(oa, names), namesInput)) << "case " << i;
    } else {
      ASSERT_TRUE(same(*byIndices, literal::sortedProjectByIndices(oa, positions), indicesInput))
          << "case " << i;
      ASSERT_TRUE(same(*byNames, literal::sortedProjectByNames(oa, names), namesInput))
          << "case " << i;
    }
    ASSERT_TRUE(same(*pa, oa, input + "A after the projections\n")) << "case " << i;
    // The projection made in place gives the plain projection's rows.
    DataTable inPlace(*pa);
    keepColumnsNamed(inPlace, names);
    ASSERT_TRUE(same(inPlace, literal::projectByNames(oa, names), namesInput + "in place\n"))
        << "case " << i;

    // Column removal on the table itself; a sorted table normalises.
    int position = gen.uniform(-1, 4);
    std::string name = gen.pick(kProjectionNames);
    pa->removeColumnAt(position);
    pa->removeColumn(name);
    if (plain) {
      literal::removeColumnAt(oa, position);
      literal::removeColumn(oa, name);
    } else {
      literal::sortedRemoveColumnAt(oa, position);
      literal::sortedRemoveColumn(oa, name);
    }
    ASSERT_TRUE(same(*pa, oa,
                     input + "removeColumnAt " + std::to_string(position) + ", removeColumn " +
                         inQuotes(name) + "\n"))
        << "case " << i;
  }
}

// The operations in the combination a rule uses them: two atoms filtered,
// joined, projected on the head's columns and merged into the head.
TEST(DifferentialTest, RuleLikePipeline) {
  Gen gen(1009);
  for (int i = 0; i < iterations(8000); ++i) {
    std::vector<std::string> alphabet = pickAlphabet(gen);
    std::string columns = pickColumnList(gen);
    TableCase a = pickTable(gen, "A", columns, alphabet, pickFill(gen));
    TableCase b = pickTable(gen, "B", pickPartnerColumns(gen, columns), alphabet, pickFill(gen));
    std::vector<std::string> headNames = pickNames(gen);
    TableCase head = pickTable(gen, "H", joinFields(headNames), alphabet, Fill::kInserted);
    std::string input = describe(a) + describe(b) + describe(head);
    std::unique_ptr<DataTable> pa = buildProduct(a);
    std::unique_ptr<DataTable> pb = buildProduct(b);
    std::unique_ptr<DataTable> ph = buildProduct(head);
    literal::Table oa = buildOracle(a);
    literal::Table ob = buildOracle(b);
    literal::Table oh = buildOracle(head);
    for (int round = 0; round < 3; ++round) {
      // Variables keep every column open; the conditions select rows.
      std::string ca = pickCondition(gen, {"X", "Y", "Z", "<b", ">5", ">"}, pa->columnCount());
      std::string cb = pickCondition(gen, {"X", "Y", "Z", "<7", ">'", "Ab"}, pb->columnCount());
      std::string step = input + "round " + std::to_string(round) + ": conditions " + inQuotes(ca) +
                         ", " + inQuotes(cb) + "\n";
      std::unique_ptr<DataTable> fa(pa->filter(ca));
      std::unique_ptr<DataTable> fb(pb->filter(cb));
      literal::Table ofa = literal::filter(oa, ca);
      literal::Table ofb = literal::filter(ob, cb);
      // The running result is a SortedTable holding the filtered rows.
      SortedTable running("temp", "");
      running = *fa;
      std::unique_ptr<DataTable> joined(running.join(*fb, "temp"));
      literal::Table orunning = literal::makeTable("temp", "");
      literal::assign(orunning, ofa);
      literal::Table ojoined = literal::sortedJoin(orunning, ofb, "temp");
      ASSERT_TRUE(same(*joined, ojoined, step + "join\n")) << "case " << i;
      SortedTable body("temp", "");
      body = *joined;
      std::unique_ptr<DataTable> projected(body.projectByNames(ph->columnNames()));
      literal::Table obody = literal::makeTable("temp", "");
      literal::assign(obody, ojoined);
      literal::Table oprojected = literal::sortedProjectByNames(obody, oh.columns);
      ASSERT_TRUE(same(*projected, oprojected, step + "projectByNames\n")) << "case " << i;
      SortedTable* merged = sorted(ph).unionWith(*projected);
      std::optional<literal::Table> omerged = literal::unionWith(oh, oprojected);
      if (merged != ph.get()) {
        ph.reset(merged);
        ASSERT_TRUE(omerged.has_value()) << step;
        oh = *omerged;
      } else {
        ASSERT_FALSE(omerged.has_value()) << step;
      }
      ASSERT_TRUE(same(*ph, oh, step + "unionWith\n")) << "case " << i;
    }
  }
}

}  // namespace
}  // namespace tablog
