// Tests of the sorted table: row order and repeat removal after every
// change, loading rows from text, the normalising overrides, the join
// wrapper, and the filter and set operations (splitCondition, filter,
// exclude, unionWith, minus), including the class of every result.
#include "tables/sorted_table.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "rows/data_col.h"
#include "tables/data_table.h"

namespace tablog {
namespace {

using Strings = std::vector<std::string>;

std::string Dump(const DataTable& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// A sorted table loaded from row texts, one insertRowText per line.
std::unique_ptr<SortedTable> Sorted(const std::string& name, const std::string& columns,
                                    const Strings& lines) {
  auto table = std::make_unique<SortedTable>(name, columns);
  for (const std::string& line : lines) SortedTable::insertRowText(line, table.get());
  return table;
}

// Appends a row with DataTable's appendRow, which does not normalise.
void AddRawRow(DataTable& table, const Strings& literals) {
  DataCol* row = table.appendRow();
  for (std::size_t i = 0; i < literals.size(); ++i) {
    row->setLiteralAt(static_cast<int>(i), literals[i]);
  }
}

Strings FieldNames(const DataCol* row) {
  Strings names;
  for (int i = 0; i < row->size(); ++i) names.push_back(row->nameAt(i));
  return names;
}

bool IsSorted(DataTable* table) { return dynamic_cast<SortedTable*>(table) != nullptr; }

// The row order written out step by step: n passes of neighbour exchanges
// (passes 0 and 1 up to the last pair, pass p >= 2 one pair shorter each
// time), then every row equal to its predecessor dropped.
void ReferenceNormalize(std::vector<DataCol>& rows) {
  const std::size_t n = rows.size();
  for (std::size_t pass = 0; n >= 2 && pass < n; ++pass) {
    const std::size_t last = pass <= 1 ? n - 2 : n - 1 - pass;
    for (std::size_t k = 0; k <= last; ++k) {
      if (rows[k].greaterThan(rows[k + 1])) std::swap(rows[k], rows[k + 1]);
    }
  }
  std::vector<DataCol> kept;
  for (DataCol& row : rows) {
    if (kept.empty() || !row.equals(kept.back())) kept.push_back(row);
  }
  rows = kept;
}

std::string ReferenceDump(const std::string& header, const std::vector<DataCol>& rows) {
  std::ostringstream out;
  out << header << "\n";
  for (const DataCol& row : rows) out << row << "\n";
  return out.str();
}

// Small deterministic generator for the mixed-kind tables below.
class Lcg {
 public:
  explicit Lcg(unsigned seed) : state_(seed * 2654435761u + 1) {}
  unsigned Next(unsigned bound) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 16) % bound;
  }

 private:
  unsigned state_;
};

TEST(SortedTableTest, InsertRowTextSplitsAtCommasOutsideQuotes) {
  auto table = std::make_unique<SortedTable>("T", "a,b,c");
  EXPECT_EQ(table.get(), SortedTable::insertRowText("1,,3", table.get()));
  EXPECT_EQ("T(a,b,c)\n1,NULL,3\n", Dump(*table));
  DataCol* row = table->firstRow();
  EXPECT_EQ((Strings{"a", "b", "c"}), FieldNames(row));
  EXPECT_EQ(Plain, row->valueAt(0)->kind());
  EXPECT_EQ(Null, row->valueAt(1)->kind());

  EXPECT_EQ("T(a,b,c)\n1,NULL,NULL\n", Dump(*Sorted("T", "a,b,c", {"1"})));
  EXPECT_EQ("T(a,b,c)\nNULL,NULL,NULL\n", Dump(*Sorted("T", "a,b,c", {""})));

  auto quoted = Sorted("T", "a,b", {"'a,b',x"});
  EXPECT_EQ("T(a,b)\n'a,b',x\n", Dump(*quoted));
  EXPECT_EQ(Quoted, quoted->firstRow()->valueAt(0)->kind());
  EXPECT_EQ("a,b", quoted->firstRow()->textAt(0));

  // A quote anywhere switches the state; the field is still Plain.
  auto inner = Sorted("T", "a,b", {"a'b,c',d"});
  EXPECT_EQ("a'b,c'", inner->firstRow()->textAt(0));
  EXPECT_EQ(Plain, inner->firstRow()->valueAt(0)->kind());
  EXPECT_EQ("d", inner->firstRow()->textAt(1));

  // Nothing is trimmed.
  auto blank = Sorted("T", "a,b", {"1, 2"});
  EXPECT_EQ(" 2", blank->firstRow()->textAt(1));
  EXPECT_EQ("T(a,b)\n1, 2\n", Dump(*blank));

  // Fields beyond the last column are ignored.
  EXPECT_EQ("T(a,b)\n1,2\n", Dump(*Sorted("T", "a,b", {"1,2,3"})));
  auto noColumns = Sorted("E", "", {"x,y"});
  EXPECT_EQ("E()\n\n", Dump(*noColumns));
  SortedTable::insertRowText("", noColumns.get());
  EXPECT_EQ("E()\n\n", Dump(*noColumns));
}

TEST(SortedTableTest, PlainSortsByNumberOtherKindsByBytes) {
  EXPECT_EQ("T(a)\n9\n10\n", Dump(*Sorted("T", "a", {"10", "9"})));
  EXPECT_EQ("T(a)\n-5\n3\n9\n10\n", Dump(*Sorted("T", "a", {"3", "-5", "10", "9"})));
  EXPECT_EQ("T(a)\n'a'\n'b'\n", Dump(*Sorted("T", "a", {"'b'", "'a'"})));
  EXPECT_EQ("T(a)\n'10'\n'9'\n", Dump(*Sorted("T", "a", {"'9'", "'10'"})));
  EXPECT_EQ("T(a)\n'a'\n'ab'\n", Dump(*Sorted("T", "a", {"'ab'", "'a'"})));
  EXPECT_EQ("T(a)\n'Z'\n'z'\n'\xc3\xa9'\n", Dump(*Sorted("T", "a", {"'\xc3\xa9'", "'z'", "'Z'"})));
  // Numbers beyond 32 bits saturate instead of wrapping.
  EXPECT_EQ("T(a)\n-3000000000\n7\n3000000000\n",
            Dump(*Sorted("T", "a", {"3000000000", "-3000000000", "7"})));
  // A blank before the digits is skipped when reading the number.
  EXPECT_EQ("T(a,b)\n1, 2\n1,3\n1,10\n", Dump(*Sorted("T", "a,b", {"1,10", "1, 2", "1,3"})));
  // Later positions decide between rows equal so far.
  EXPECT_EQ("T(a,b)\n1,'x'\n1,'y'\n2,'a'\n",
            Dump(*Sorted("T", "a,b", {"2,'a'", "1,'y'", "1,'x'"})));
}

TEST(SortedTableTest, RepeatedRowsAreRemoved) {
  auto table = Sorted("T", "a,b", {"1,'x'", "2,'y'", "1,'x'"});
  EXPECT_EQ("T(a,b)\n1,'x'\n2,'y'\n", Dump(*table));
  EXPECT_EQ(2u, table->rowCount());
  EXPECT_EQ("T(a)\nNULL\n", Dump(*Sorted("T", "a", {"", ""})));
  // Different kinds are different rows.
  EXPECT_EQ("T(a)\n5\n'5'\n", Dump(*Sorted("T", "a", {"5", "'5'"})));
  EXPECT_EQ("T(a)\n'5'\n5\n", Dump(*Sorted("T", "a", {"'5'", "5", "5"})));
}

TEST(SortedTableTest, RowsThatDoNotCompareKeepTheirPlaces) {
  // Words read as 0 and do not order among themselves.
  EXPECT_EQ("T(a)\nb\na\n", Dump(*Sorted("T", "a", {"b", "a"})));
  EXPECT_EQ("T(a,b)\nb,1\na,0\n", Dump(*Sorted("T", "a,b", {"b,1", "a,0"})));
  // Equal rows that are never neighbours both stay.
  EXPECT_EQ("T(a)\nx\n'y'\nx\n", Dump(*Sorted("T", "a", {"x", "'y'", "x"})));
  EXPECT_EQ("T(a)\n1\n'a'\n1\n", Dump(*Sorted("T", "a", {"1", "'a'", "1"})));
  EXPECT_EQ("T(a)\n01\n1\n01\n", Dump(*Sorted("T", "a", {"01", "1", "01"})));
  // Ordered neighbours still exchange around unordered ones.
  EXPECT_EQ("T(a)\n1\n01\n2\n", Dump(*Sorted("T", "a", {"2", "1", "01"})));
  EXPECT_EQ("T(a)\n5\n'a'\n3\n", Dump(*Sorted("T", "a", {"5", "'a'", "3"})));

  // Looking at the table between insertions gives the same rows.
  const Strings lines = {"3", "'a'", "1", "2", "0"};
  const Strings expected = {"T(a)\n3\n", "T(a)\n3\n'a'\n", "T(a)\n3\n'a'\n1\n",
                            "T(a)\n3\n'a'\n1\n2\n", "T(a)\n3\n'a'\n0\n1\n2\n"};
  SortedTable watched("T", "a");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SortedTable::insertRowText(lines[i], &watched);
    EXPECT_EQ(expected[i], Dump(watched)) << "after " << lines[i];
  }
  EXPECT_EQ(expected.back(), Dump(*Sorted("T", "a", lines)));
}

TEST(SortedTableTest, MixedKindsFollowTheExchangeOrder) {
  // Values of every kind, numbers that tie and words that read as 0.
  const Strings values = {"1", "01", "2", "-1", "a", "b", "'a'", "'b'", "'1'", ""};
  for (unsigned seed = 0; seed < 300; ++seed) {
    Lcg random(seed);
    const bool watch = seed % 3 == 0;
    SortedTable table("T", "p,q");
    std::vector<DataCol> reference;
    const unsigned count = 1 + random.Next(12);
    for (unsigned i = 0; i < count; ++i) {
      const std::string line = values[random.Next(10)] + "," + values[random.Next(10)];
      SortedTable::insertRowText(line, &table);
      DataCol row;
      row.addField("p", line.substr(0, line.find(',')));
      row.addField("q", line.substr(line.find(',') + 1));
      reference.push_back(row);
      ReferenceNormalize(reference);
      if (watch) {
        ASSERT_EQ(ReferenceDump("T(p,q)", reference), Dump(table)) << "seed " << seed;
      }
    }
    ASSERT_EQ(ReferenceDump("T(p,q)", reference), Dump(table)) << "seed " << seed;

    // Projection and column removal normalise the same way.
    std::vector<DataCol> second = reference;
    for (DataCol& row : second) row.removeAt(0);
    ReferenceNormalize(second);
    std::unique_ptr<DataTable> projected(table.projectByIndices({1}));
    ASSERT_EQ(ReferenceDump("T(q)", second), Dump(*projected)) << "seed " << seed;
    table.removeColumnAt(0);
    ASSERT_EQ(ReferenceDump("T(q)", second), Dump(table)) << "seed " << seed;
  }
}

TEST(SortedTableTest, JoinOfMixedKindsFollowsTheExchangeOrder) {
  const Strings values = {"1", "01", "2", "a", "b", "'a'", "'1'", ""};
  auto rowsOf = [](DataTable& table) {
    std::vector<DataCol> rows;
    for (DataCol* row = table.firstRow(); !table.atEnd(); row = table.nextRow()) {
      rows.push_back(*row);
    }
    return rows;
  };
  for (unsigned seed = 0; seed < 200; ++seed) {
    Lcg random(seed);
    SortedTable left("L", "p,q"), right("R", "p,q,z"), narrow("N", "p,q");
    for (unsigned i = 0, n = random.Next(7); i < n; ++i) {
      SortedTable::insertRowText(values[random.Next(8)] + "," + values[random.Next(8)], &left);
    }
    for (unsigned i = 0, n = random.Next(7); i < n; ++i) {
      std::string pq = values[random.Next(8)] + "," + values[random.Next(8)];
      SortedTable::insertRowText(pq + "," + values[random.Next(8)], &right);
      SortedTable::insertRowText(pq, &narrow);
    }
    // One row per pair of rows and common column on which they agree.
    std::vector<DataCol> wide, slim;
    for (const DataCol& r : rowsOf(left)) {
      for (const DataCol& s : rowsOf(right)) {
        for (int c = 0; c < 2; ++c) {
          if (!r.at(c).equals(s.at(c))) continue;
          DataCol row(r);
          row.addField("z", "");
          row.setValueAt(2, s.at(2));
          wide.push_back(row);
        }
      }
      for (const DataCol& s : rowsOf(narrow)) {
        for (int c = 0; c < 2; ++c) {
          if (r.at(c).equals(s.at(c))) slim.push_back(r);
        }
      }
    }
    ReferenceNormalize(wide);
    ReferenceNormalize(slim);
    std::unique_ptr<DataTable> joined(left.join(right, "J"));
    ASSERT_EQ(ReferenceDump("J(p,q,z)", wide), Dump(*joined)) << "seed " << seed;
    std::unique_ptr<DataTable> joinedNarrow(left.join(narrow, "J"));
    ASSERT_EQ(ReferenceDump("J(p,q)", slim), Dump(*joinedNarrow)) << "seed " << seed;
  }
}

TEST(SortedTableTest, NewRowAndInsertRow) {
  SortedTable table("T", "a,b");
  DataCol* row = table.newRow();
  EXPECT_EQ((Strings{"a", "b"}), FieldNames(row));
  std::ostringstream text;
  text << *row;
  EXPECT_EQ("NULL,NULL", text.str());
  EXPECT_TRUE(table.isEmpty());

  row->setLiteralAt(0, "2");
  table.insertRow(row);
  DataCol* second = table.newRow();
  second->setLiteralAt(0, "1");
  second->setLiteralAt(1, "'b'");
  table.insertRow(second);
  EXPECT_EQ("T(a,b)\n1,'b'\n2,NULL\n", Dump(table));
}

TEST(SortedTableTest, CopyAndAssignmentKeepRowsAsTheyStand) {
  SortedTable table("T", "x");
  AddRawRow(table, {"2"});
  AddRawRow(table, {"1"});
  AddRawRow(table, {"2"});
  SortedTable copy(table);
  EXPECT_EQ("T(x)\n2\n1\n2\n", Dump(copy));
  copy.normalize();
  EXPECT_EQ("T(x)\n1\n2\n", Dump(copy));
  EXPECT_EQ("T(x)\n2\n1\n2\n", Dump(table));

  DataTable plain("P", "q,r");
  AddRawRow(plain, {"3", "a"});
  AddRawRow(plain, {"1", "b"});
  AddRawRow(plain, {"3", "a"});
  auto target = Sorted("S", "s", {"9"});
  *target = plain;
  EXPECT_EQ("S(q,r)\n3,a\n1,b\n3,a\n", Dump(*target));
  EXPECT_EQ("S", target->tableName());

  // normalize works on plain tables as well.
  SortedTable::normalize(plain);
  EXPECT_EQ("P(q,r)\n1,b\n3,a\n", Dump(plain));
}

TEST(SortedTableTest, RemovingColumnsNormalises) {
  auto table = Sorted("T", "a,b", {"1,'x'", "2,'x'", "3,'w'"});
  table->removeColumn("a");
  EXPECT_EQ("T(b)\n'w'\n'x'\n", Dump(*table));

  auto base = Sorted("T", "a,b", {"1,'x'", "2,'x'", "3,'w'"});
  DataTable& virtualBase = *base;
  virtualBase.removeColumnAt(0);
  EXPECT_EQ("T(b)\n'w'\n'x'\n", Dump(*base));

  // Rows without fields are all equal: one remains.
  virtualBase.removeColumn("b");
  EXPECT_EQ("T()\n\n", Dump(*base));

  // Out-of-range positions change nothing.
  auto same = Sorted("T", "a", {"2", "1"});
  same->removeColumnAt(-1);
  same->removeColumnAt(1);
  same->removeColumn("nope");
  EXPECT_EQ("T(a)\n1\n2\n", Dump(*same));
}

TEST(SortedTableTest, ProjectionsReturnNormalisedPlainTables) {
  auto table = Sorted("T", "n,k", {"2,'a'", "1,'b'", "1,'a'"});
  const std::string before = "T(n,k)\n1,'a'\n1,'b'\n2,'a'\n";
  ASSERT_EQ(before, Dump(*table));

  std::unique_ptr<DataTable> byName(table->projectByNames({"k"}));
  EXPECT_EQ("T(k)\n'a'\n'b'\n", Dump(*byName));
  EXPECT_FALSE(IsSorted(byName.get()));

  DataTable& base = *table;
  std::unique_ptr<DataTable> byIndex(base.projectByIndices({1}));
  EXPECT_EQ("T(k)\n'a'\n'b'\n", Dump(*byIndex));
  EXPECT_FALSE(IsSorted(byIndex.get()));
  std::unique_ptr<DataTable> viaBase(base.projectByNames({"k"}));
  EXPECT_EQ("T(k)\n'a'\n'b'\n", Dump(*viaBase));

  // The table's column order, whatever the order of the names.
  std::unique_ptr<DataTable> both(table->projectByNames({"k", "n"}));
  EXPECT_EQ(before, Dump(*both));
  EXPECT_EQ(before, Dump(*table));

  // From now on the result behaves as a plain table.
  DataTable* result = both.get();
  EXPECT_EQ(result, result->filter("X,'a'"));
  result->removeColumn("n");
  EXPECT_EQ("T(k)\n'a'\n'b'\n'a'\n", Dump(*result));
}

TEST(SortedTableTest, JoinIsNormalisedAndNamedByItsArgument) {
  auto left = Sorted("L", "x,y", {"3,4", "1,2"});
  auto right = Sorted("R", "y,z", {"2,7", "4,6", "2,5"});
  std::unique_ptr<DataTable> joined(left->join(*right, "temp"));
  EXPECT_EQ("temp(x,y,z)\n1,2,5\n1,2,7\n3,4,6\n", Dump(*joined));
  EXPECT_FALSE(IsSorted(joined.get()));

  // Agreement on two common columns gives a single row here.
  auto same = Sorted("S", "x,y", {"1,2"});
  std::unique_ptr<DataTable> once(same->join(*Sorted("R", "x,y", {"1,2"}), "temp"));
  EXPECT_EQ("temp(x,y)\n1,2\n", Dump(*once));

  auto self = Sorted("T", "x,y", {"1,2", "1,3"});
  std::unique_ptr<DataTable> selfJoin(self->join(*self, "S"));
  EXPECT_EQ("S(x,y)\n1,2\n1,3\n", Dump(*selfJoin));

  std::unique_ptr<DataTable> none(left->join(*Sorted("N", "q", {"1"}), "temp"));
  EXPECT_EQ("temp(x,y,q)\n", Dump(*none));

  // Rows that do not compare keep the order the join gives them.
  auto words = Sorted("W", "k,v", {"b,1", "a,1"});
  std::unique_ptr<DataTable> kept(words->join(*Sorted("V", "v,w", {"1,z"}), "J"));
  EXPECT_EQ("J(k,v,w)\nb,1,z\na,1,z\n", Dump(*kept));
}

TEST(SortedTableFilterTest, SplitCondition) {
  SortedTable table("T", "a");
  EXPECT_EQ(Strings{""}, table.splitCondition(""));
  EXPECT_EQ((Strings{"a", "b"}), table.splitCondition("a,b"));
  EXPECT_EQ((Strings{"a", ""}), table.splitCondition("a,"));
  EXPECT_EQ((Strings{"", "", ""}), table.splitCondition(",,"));
  EXPECT_EQ((Strings{"'a,b'", "X"}), table.splitCondition("'a,b',X"));
  EXPECT_EQ((Strings{"'x'',y'"}), table.splitCondition("'x'',y'"));
  EXPECT_EQ((Strings{" a ", " b"}), table.splitCondition(" a , b"));
  EXPECT_EQ((Strings{"1", "2", "3", "4"}), table.splitCondition("1,2,3,4"));
}

TEST(SortedTableFilterTest, VariablesEverywhereKeepEverything) {
  auto table = Sorted("T", "a,b", {"2,'y'", "1,'x'"});
  AddRawRow(*table, {"1", "'x'"});
  AddRawRow(*table, {"0", "'z'"});
  const std::string before = "T(a,b)\n1,'x'\n2,'y'\n1,'x'\n0,'z'\n";
  ASSERT_EQ(before, Dump(*table));

  std::unique_ptr<DataTable> result(table->filter("A,B"));
  EXPECT_EQ("T(a,b)\n0,'z'\n1,'x'\n2,'y'\n", Dump(*result));
  EXPECT_FALSE(IsSorted(result.get()));
  EXPECT_NE(table.get(), result.get());
  EXPECT_EQ(before, Dump(*table));
}

TEST(SortedTableFilterTest, ConstantsCloseTheirColumns) {
  auto table = Sorted("T", "N,V", {"'n1','a'", "'n2',a", "'n3','b'"});
  std::unique_ptr<DataTable> quoted(table->filter("X,'a'"));
  EXPECT_EQ("T(N)\n'n1'\n'n2'\n", Dump(*quoted));
  EXPECT_EQ(Strings{"N"}, FieldNames(quoted->firstRow()));
  std::unique_ptr<DataTable> plain(table->filter("X,a"));
  EXPECT_EQ("T(N)\n'n1'\n'n2'\n", Dump(*plain));

  auto emp = Sorted("T", "N,D,S", {"'ann',1,500", "'bob',1,1500", "'cy',2,2000"});
  std::unique_ptr<DataTable> rich(emp->filter("X,1,>1000"));
  EXPECT_EQ("T(N,S)\n'ann',500\n'bob',1500\n", Dump(*rich));

  // "=" closes its column; the text 3 matches plain and quoted values.
  auto eq = Sorted("T", "a,b", {"3,x", "4,y", "'3',z"});
  std::unique_ptr<DataTable> three(eq->filter("=3,B"));
  EXPECT_EQ("T(b)\nx\nz\n", Dump(*three));

  // A bare number asks for its text exactly.
  auto five = Sorted("T", "a,b", {"5,p", "'5',q", "05,r"});
  std::unique_ptr<DataTable> fives(five->filter("5,X"));
  EXPECT_EQ("T(b)\np\nq\n", Dump(*fives));
}

TEST(SortedTableFilterTest, ComparisonsKeepTheirColumns) {
  auto table = Sorted("T", "k,v", {"1,6", "2,7", "3,10", "4,05"});
  std::unique_ptr<DataTable> above(table->filter("A,>5"));
  EXPECT_EQ("T(k,v)\n1,6\n2,7\n", Dump(*above));
  std::unique_ptr<DataTable> below(table->filter("A,<5"));
  EXPECT_EQ("T(k,v)\n3,10\n4,05\n", Dump(*below));

  // A quoted comparison still compares, but closes its column.
  auto letters = Sorted("T", "a,b", {"'a',1", "'b',2", "'c',3"});
  std::unique_ptr<DataTable> quoted(letters->filter("'<b',Y"));
  EXPECT_EQ("T(b)\n1\n", Dump(*quoted));
  std::unique_ptr<DataTable> bare(letters->filter("<b,Y"));
  EXPECT_EQ("T(a,b)\n'a',1\n", Dump(*bare));
}

TEST(SortedTableFilterTest, OpenColumnsFollowTheRawField) {
  auto table = Sorted("T", "c1,c2,c3,c4,c5", {"1,2,3,ab,5", "1,2,3,ac,5", "6,7,8,ab,9"});
  std::unique_ptr<DataTable> result(table->filter("Z,ZIP,Ab,ab,Y9"));
  EXPECT_EQ("T(c1,c3,c5)\n1,3,5\n6,8,9\n", Dump(*result));

  std::unique_ptr<DataTable> edges(table->filter("A,@,[,a,X"));
  EXPECT_EQ("T(c1,c5)\n", Dump(*edges));
  auto signs = Sorted("T", "a,b,c", {"@,[,q"});
  std::unique_ptr<DataTable> literal(signs->filter("@,[,Q"));
  EXPECT_EQ("T(c)\nq\n", Dump(*literal));

  // Without an open field: one row without fields if any row matched.
  auto pair = Sorted("T", "a,b", {"3,x", "4,y"});
  std::unique_ptr<DataTable> matched(pair->filter("3,x"));
  EXPECT_EQ("T()\n\n", Dump(*matched));
  std::unique_ptr<DataTable> matchedTwice(pair->filter("ZZ,ZIP"));
  EXPECT_EQ("T()\n\n", Dump(*matchedTwice));
  std::unique_ptr<DataTable> missed(pair->filter("9,x"));
  EXPECT_EQ("T()\n", Dump(*missed));
}

TEST(SortedTableFilterTest, QuotedCommasAndEmptyFields) {
  auto table = Sorted("T", "a,b", {"'a,b',1", "'a',2", "b,3"});
  std::unique_ptr<DataTable> comma(table->filter("'a,b',X"));
  EXPECT_EQ("T(b)\n1\n", Dump(*comma));

  // Empty or missing fields ask for the empty text and close the column.
  auto empties = Sorted("T", "a,b", {"1,", "2,''", "3,x", "4,NULL"});
  std::unique_ptr<DataTable> empty(empties->filter("X,"));
  EXPECT_EQ("T(a)\n1\n2\n", Dump(*empty));
  std::unique_ptr<DataTable> missing(empties->filter("X"));
  EXPECT_EQ("T(a)\n1\n2\n", Dump(*missing));

  // A variable does not bind: X,X holds for any two values.
  std::unique_ptr<DataTable> unbound(empties->filter("X,X"));
  EXPECT_EQ(4u, unbound->rowCount());
}

TEST(SortedTableFilterTest, EdgeTables) {
  SortedTable empty("T", "a,b");
  std::unique_ptr<DataTable> none(empty.filter("X,1"));
  EXPECT_EQ("T(a)\n", Dump(*none));

  // Condition fields beyond the last column are ignored.
  auto table = Sorted("T", "a,b", {"1,2", "3,4"});
  std::unique_ptr<DataTable> surplus(table->filter("X,2,Z,Q"));
  EXPECT_EQ("T(a)\n1\n", Dump(*surplus));
  std::unique_ptr<DataTable> surplusConstant(table->filter("X,Y,3"));
  EXPECT_EQ("T(a,b)\n1,2\n3,4\n", Dump(*surplusConstant));

  auto noColumns = Sorted("E", "", {""});
  std::unique_ptr<DataTable> all(noColumns->filter("X"));
  EXPECT_EQ("E()\n\n", Dump(*all));
  SortedTable bare("E", "");
  std::unique_ptr<DataTable> nothing(bare.filter("X,1"));
  EXPECT_EQ("E()\n", Dump(*nothing));
}

TEST(SortedTableFilterTest, FilterDispatchesOnTheDynamicClass) {
  auto table = Sorted("T", "a,b", {"1,x", "2,y"});
  DataTable* base = table.get();
  std::unique_ptr<DataTable> filtered(base->filter("A,y"));
  EXPECT_NE(base, filtered.get());
  EXPECT_EQ("T(a)\n2\n", Dump(*filtered));

  // A filter result is a plain table: filtering it again returns it.
  EXPECT_EQ(filtered.get(), filtered->filter("9"));
  EXPECT_EQ("T(a)\n2\n", Dump(*filtered));
}

TEST(SortedTableFilterTest, FilterRenamedOnRowsNarrowerThanTheHeader) {
  // Header (A,A) renamed to (B,B) renames only each row's first field;
  // removing A then shrinks the rows but not the header.
  SortedTable table("T", "A,A");
  AddRawRow(table, {"1", "2"});
  AddRawRow(table, {"3", "4"});
  table.renameColumn("A", "B");
  table.DataTable::removeColumn("A");
  ASSERT_EQ(table.columnCount(), 2);
  SortedTable copy(table);
  copy.renameColumnAt(0, "X");
  std::unique_ptr<DataTable> expected(copy.filter("X,Y"));
  std::unique_ptr<DataTable> got(table.filterRenamed({{0, "X"}}, "X,Y"));
  EXPECT_EQ(Dump(*got), Dump(*expected));
}

TEST(SortedTableSetTest, ExcludeKeepsTheOtherRowsInOrder) {
  auto table = Sorted("T", "a,b", {"1,x", "2,y", "3,x"});
  std::unique_ptr<SortedTable> rest(table->exclude("A,x"));
  EXPECT_EQ("T(a,b)\n2,y\n", Dump(*rest));
  EXPECT_TRUE(IsSorted(rest.get()));
  EXPECT_NE(table.get(), rest.get());

  std::unique_ptr<SortedTable> all(table->exclude("9,Q"));
  EXPECT_EQ("T(a,b)\n1,x\n2,y\n3,x\n", Dump(*all));
  std::unique_ptr<SortedTable> none(table->exclude("A,B"));
  EXPECT_EQ("T(a,b)\n", Dump(*none));
  EXPECT_EQ("T(a,b)\n1,x\n2,y\n3,x\n", Dump(*table));

  // The result is a copy: changing it leaves the table alone.
  all->firstRow()->setLiteralAt(0, "7");
  EXPECT_EQ("T(a,b)\n1,x\n2,y\n3,x\n", Dump(*table));

  // No normalisation: the rows stay in this table's order.
  SortedTable raw("R", "a");
  for (const char* v : {"3", "1", "2", "1"}) AddRawRow(raw, {v});
  std::unique_ptr<SortedTable> unsorted(raw.exclude("2"));
  EXPECT_EQ("R(a)\n3\n1\n1\n", Dump(*unsorted));
}

TEST(SortedTableSetTest, UnionWith) {
  auto table = Sorted("T", "A,B", {"1,'x'", "2,'y'"});
  DataTable other("O", "X,Y");
  AddRawRow(other, {"2", "'y'"});
  AddRawRow(other, {"0", "'z'"});
  AddRawRow(other, {"1", "x"});
  std::unique_ptr<SortedTable> both(table->unionWith(other));
  EXPECT_NE(table.get(), both.get());
  EXPECT_TRUE(IsSorted(both.get()));
  EXPECT_EQ("T(A,B)\n0,'z'\n1,'x'\n1,x\n2,'y'\n", Dump(*both));
  for (DataCol* row = both->firstRow(); !both->atEnd(); row = both->nextRow()) {
    EXPECT_EQ((Strings{"A", "B"}), FieldNames(row));
  }
  EXPECT_EQ("T(A,B)\n1,'x'\n2,'y'\n", Dump(*table));
  EXPECT_EQ("O(X,Y)\n2,'y'\n0,'z'\n1,x\n", Dump(other));

  // The other table may be a projection result.
  auto wide = Sorted("W", "p,q,r", {"3,'w',9"});
  std::unique_ptr<DataTable> projected(wide->projectByNames({"p", "q"}));
  std::unique_ptr<SortedTable> withProjection(table->unionWith(*projected));
  EXPECT_EQ("T(A,B)\n1,'x'\n2,'y'\n3,'w'\n", Dump(*withProjection));

  // Different column counts: the table itself, unchanged.
  EXPECT_EQ(table.get(), table->unionWith(*wide));
  EXPECT_EQ("T(A,B)\n1,'x'\n2,'y'\n", Dump(*table));

  // The result is normalised even when nothing is added.
  SortedTable raw("R", "a");
  AddRawRow(raw, {"2"});
  AddRawRow(raw, {"1"});
  AddRawRow(raw, {"2"});
  DataTable nothing("N", "b");
  std::unique_ptr<SortedTable> normalised(raw.unionWith(nothing));
  EXPECT_EQ("R(a)\n1\n2\n", Dump(*normalised));
}

TEST(SortedTableSetTest, Minus) {
  SortedTable table("T", "a,b");
  AddRawRow(table, {"3", "'c'"});
  AddRawRow(table, {"1", "'a'"});
  AddRawRow(table, {"2", "'b'"});
  AddRawRow(table, {"1", "'a'"});
  auto other = Sorted("U", "x,y", {"1,'a'", "9,'z'", "2,b"});
  std::unique_ptr<SortedTable> rest(table.minus(*other));
  EXPECT_NE(&table, rest.get());
  EXPECT_TRUE(IsSorted(rest.get()));
  EXPECT_EQ("T(a,b)\n3,'c'\n2,'b'\n", Dump(*rest));
  EXPECT_EQ("T(a,b)\n3,'c'\n1,'a'\n2,'b'\n1,'a'\n", Dump(table));
  EXPECT_EQ("U(x,y)\n1,'a'\n2,b\n9,'z'\n", Dump(*other));

  auto narrow = Sorted("N", "a", {"3"});
  EXPECT_EQ(&table, table.minus(*narrow));
  EXPECT_EQ("T(a,b)\n3,'c'\n1,'a'\n2,'b'\n1,'a'\n", Dump(table));
}

}  // namespace
}  // namespace tablog
