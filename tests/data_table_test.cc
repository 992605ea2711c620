// Tests of the plain table: construction from a column list, copying and
// assignment, the row cursor, column and row editing, the projections, the
// join, the filter hook and the printed form.
#include "tables/data_table.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "rows/data_col.h"
#include "tables/sorted_table.h"

namespace tablog {
namespace {

using Strings = std::vector<std::string>;

std::string Dump(const DataTable& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// Appends a row whose fields are set from `literals`, in column order.
void AddRow(DataTable& table, const Strings& literals) {
  DataCol* row = table.appendRow();
  for (std::size_t i = 0; i < literals.size(); ++i) {
    row->setLiteralAt(static_cast<int>(i), literals[i]);
  }
}

// A plain table holding `rows` in the given order.
std::unique_ptr<DataTable> Table(const std::string& name, const std::string& columns,
                                 const std::vector<Strings>& rows) {
  auto table = std::make_unique<DataTable>(name, columns);
  for (const Strings& row : rows) AddRow(*table, row);
  return table;
}

Strings FieldNames(const DataCol* row) {
  Strings names;
  for (int i = 0; i < row->size(); ++i) names.push_back(row->nameAt(i));
  return names;
}

// The first field's text of every row, walked with the cursor.
Strings FirstTexts(DataTable& table) {
  Strings texts;
  for (DataCol* row = table.firstRow(); !table.atEnd(); row = table.nextRow()) {
    texts.push_back(row->textAt(0));
  }
  return texts;
}

bool IsSorted(DataTable* table) { return dynamic_cast<SortedTable*>(table) != nullptr; }

TEST(DataTableTest, ColumnListSplitting) {
  EXPECT_EQ((Strings{"id", "name", "city"}), DataTable("T", "id,name,city").columnNames());
  EXPECT_EQ(Strings{}, DataTable("T", "").columnNames());
  EXPECT_EQ(Strings{"id"}, DataTable("T", "id,").columnNames());
  EXPECT_EQ((Strings{"", "id"}), DataTable("T", ",id").columnNames());
  EXPECT_EQ((Strings{"id", "", "city"}), DataTable("T", "id,,city").columnNames());
  EXPECT_EQ((Strings{"id", " name"}), DataTable("T", "id, name").columnNames());
  EXPECT_EQ((Strings{"", ""}), DataTable("T", ",,").columnNames());
  EXPECT_EQ((Strings{"a", "a", "'b'", "c(d)"}), DataTable("T", "a,a,'b',c(d)").columnNames());

  DataTable table("Emp", "x,y");
  EXPECT_EQ("Emp", table.tableName());
  EXPECT_EQ(2, table.columnCount());
  EXPECT_EQ(0u, table.rowCount());
  EXPECT_TRUE(table.isEmpty());
}

TEST(DataTableTest, CursorVisitsEveryRowOnce) {
  DataTable empty("T", "x");
  EXPECT_EQ(nullptr, empty.firstRow());
  EXPECT_TRUE(empty.atEnd());
  EXPECT_EQ(nullptr, empty.nextRow());
  EXPECT_TRUE(empty.atEnd());

  DataTable one("T", "x");
  DataCol* only = one.appendRow();
  EXPECT_EQ(only, one.firstRow());
  EXPECT_FALSE(one.atEnd());
  EXPECT_EQ(nullptr, one.nextRow());
  EXPECT_TRUE(one.atEnd());
  EXPECT_EQ(nullptr, one.nextRow());
  EXPECT_TRUE(one.atEnd());
  EXPECT_EQ(only, one.firstRow());
  EXPECT_FALSE(one.atEnd());

  auto three = Table("T", "x", {{"1"}, {"2"}, {"3"}});
  EXPECT_EQ((Strings{"1", "2", "3"}), FirstTexts(*three));
  EXPECT_EQ((Strings{"1", "2", "3"}), FirstTexts(*three));
  // isEmpty leaves the cursor on the first row.
  EXPECT_FALSE(three->isEmpty());
  DataCol* second = three->nextRow();
  ASSERT_NE(nullptr, second);
  EXPECT_EQ("2", second->textAt(0));

  // Emptiness is about rows only.
  DataTable noColumns("T", "");
  EXPECT_TRUE(noColumns.isEmpty());
  noColumns.appendRow();
  EXPECT_FALSE(noColumns.isEmpty());
}

TEST(DataTableTest, CopyIsDeep) {
  auto source = Table("T", "x,y", {{"1", "'a'"}, {"2", ""}});
  const std::string before = "T(x,y)\n1,'a'\n2,NULL\n";
  ASSERT_EQ(before, Dump(*source));

  DataTable copy(*source);
  EXPECT_EQ(before, Dump(copy));
  EXPECT_NE(source->firstRow(), copy.firstRow());

  copy.firstRow()->setLiteralAt(0, "9");
  copy.addColumn("z", "");
  copy.renameColumn("x", "w");
  AddRow(copy, {"3", "'c'", "4"});
  EXPECT_EQ(before, Dump(*source));
  EXPECT_EQ((Strings{"x", "y"}), FieldNames(source->firstRow()));
  EXPECT_EQ("T(w,y,z)\n9,'a',NULL\n2,NULL,NULL\n3,'c',4\n", Dump(copy));
  EXPECT_EQ((Strings{"w", "y", "z"}), FieldNames(copy.firstRow()));

  // Changing the source afterwards leaves the copy alone.
  source->removeColumn("y");
  source->firstRow()->setLiteralAt(0, "5");
  EXPECT_EQ("T(x)\n5\n2\n", Dump(*source));
  EXPECT_EQ("T(w,y,z)\n9,'a',NULL\n2,NULL,NULL\n3,'c',4\n", Dump(copy));

  // Renaming a field of one row does not rename the header.
  source->firstRow()->setNameAt(0, "q");
  EXPECT_EQ(Strings{"x"}, source->columnNames());
  EXPECT_EQ(Strings{"x"}, FieldNames(source->nextRow()));
}

TEST(DataTableTest, AssignmentKeepsTheTargetName) {
  auto target = Table("A", "p", {{"7"}});
  auto source = Table("B", "x,y", {{"1", "2"}, {"3", "4"}});
  *target = *source;
  EXPECT_EQ("A", target->tableName());
  EXPECT_EQ("A(x,y)\n1,2\n3,4\n", Dump(*target));

  target->firstRow()->setLiteralAt(0, "9");
  target->addColumn("z", "");
  EXPECT_EQ("B(x,y)\n1,2\n3,4\n", Dump(*source));

  DataTable& alias = *target;
  *target = alias;
  EXPECT_EQ("A(x,y,z)\n9,2,NULL\n3,4,NULL\n", Dump(*target));
}

TEST(DataTableTest, AddColumnGivesEveryRowItsOwnField) {
  auto table = Table("T", "x", {{"1"}, {"2"}});
  table->addColumn("z", "");
  EXPECT_EQ("T(x,z)\n1,NULL\n2,NULL\n", Dump(*table));
  EXPECT_EQ((Strings{"x", "z"}), FieldNames(table->firstRow()));
  EXPECT_EQ((Strings{"x", "z"}), FieldNames(table->nextRow()));

  table->addColumn("k", "'v'");
  DataCol* first = table->firstRow();
  EXPECT_EQ(Quoted, first->valueAt(2)->kind());
  first->setLiteralAt(2, "'w'");
  EXPECT_EQ("T(x,z,k)\n1,NULL,'w'\n2,NULL,'v'\n", Dump(*table));

  // A repeated name is appended like any other.
  table->addColumn("x", "5");
  EXPECT_EQ((Strings{"x", "z", "k", "x"}), table->columnNames());
  EXPECT_EQ("T(x,z,k,x)\n1,NULL,'w',5\n2,NULL,'v',5\n", Dump(*table));

  DataTable empty("E", "a");
  empty.addColumn("b", "1");
  EXPECT_EQ("E(a,b)\n", Dump(empty));
}

TEST(DataTableTest, RemoveColumn) {
  auto table = Table("T", "x,y,x", {{"1", "2", "3"}, {"4", "5", "6"}});
  table->removeColumn("x");
  EXPECT_EQ("T(y,x)\n2,3\n5,6\n", Dump(*table));
  EXPECT_EQ((Strings{"y", "x"}), FieldNames(table->firstRow()));

  table->removeColumn("nope");
  table->removeColumnAt(-1);
  table->removeColumnAt(2);
  EXPECT_EQ("T(y,x)\n2,3\n5,6\n", Dump(*table));

  table->removeColumnAt(0);
  EXPECT_EQ("T(x)\n3\n6\n", Dump(*table));
  EXPECT_EQ(Strings{"x"}, FieldNames(table->firstRow()));

  // A plain table keeps rows that become equal.
  auto same = Table("S", "a,b", {{"1", "2"}, {"3", "2"}});
  same->removeColumnAt(0);
  EXPECT_EQ("S(b)\n2\n2\n", Dump(*same));
}

TEST(DataTableTest, RenameColumnWorksByName) {
  auto table = Table("T", "x,y", {{"1", "2"}});
  table->renameColumnAt(0, "y");
  table->renameColumnAt(1, "x");
  EXPECT_EQ((Strings{"x", "x"}), table->columnNames());
  EXPECT_EQ((Strings{"x", "y"}), FieldNames(table->firstRow()));
  EXPECT_EQ("T(x,x)\n1,2\n", Dump(*table));

  table->renameColumnAt(2, "q");
  table->renameColumnAt(1000, "q");
  table->renameColumnAt(static_cast<unsigned>(-1), "q");
  table->renameColumn("nope", "q");
  EXPECT_EQ((Strings{"x", "x"}), table->columnNames());
  EXPECT_EQ((Strings{"x", "y"}), FieldNames(table->firstRow()));

  // Every header entry of the name, only the first field of each row.
  auto repeated = Table("R", "C,C", {{"1", "2"}, {"3", "4"}});
  repeated->renameColumn("C", "D");
  EXPECT_EQ((Strings{"D", "D"}), repeated->columnNames());
  EXPECT_EQ((Strings{"D", "C"}), FieldNames(repeated->firstRow()));
  EXPECT_EQ((Strings{"D", "C"}), FieldNames(repeated->nextRow()));
  EXPECT_EQ("R(D,D)\n1,2\n3,4\n", Dump(*repeated));

  // Removing the name then takes the header's first entry and each row's
  // first field of that name.
  repeated->removeColumn("D");
  EXPECT_EQ((Strings{"D"}), repeated->columnNames());
  EXPECT_EQ((Strings{"C"}), FieldNames(repeated->firstRow()));
  EXPECT_EQ("R(D)\n2\n4\n", Dump(*repeated));

  // By position on a table without rows: the name found there is renamed
  // everywhere, although the header entry holding it changes first.
  DataTable empty("E", "C,C,x");
  empty.renameColumnAt(0, "D");
  EXPECT_EQ((Strings{"D", "D", "x"}), empty.columnNames());
}

TEST(DataTableTest, AppendRowAndRemoveEqualRows) {
  DataTable table("T", "x,y");
  DataCol* row = table.appendRow();
  EXPECT_EQ((Strings{"x", "y"}), FieldNames(row));
  EXPECT_EQ(Null, row->valueAt(0)->kind());
  EXPECT_EQ(Null, row->valueAt(1)->kind());
  EXPECT_EQ("T(x,y)\nNULL,NULL\n", Dump(table));

  auto numbers = Table("N", "x", {{"1"}, {"2"}, {"1"}, {"1"}, {"3"}, {"'1'"}, {"01"}});
  // Names are not compared.
  DataCol key;
  key.addField("other", "1");
  numbers->removeEqualRows(&key);
  EXPECT_EQ("N(x)\n2\n3\n'1'\n01\n", Dump(*numbers));

  // A row of the table itself goes too.
  numbers->removeEqualRows(numbers->firstRow());
  EXPECT_EQ("N(x)\n3\n'1'\n01\n", Dump(*numbers));

  DataCol wider;
  wider.addField("x", "3");
  wider.addField("y", "");
  numbers->removeEqualRows(&wider);
  EXPECT_EQ("N(x)\n3\n'1'\n01\n", Dump(*numbers));
}

TEST(DataTableTest, ProjectionKeepsColumnOrderAndEveryRow) {
  auto table = Table("T", "x,y,z", {{"1", "2", "3"}, {"1", "2", "4"}, {"1", "2", "3"}});
  const std::string before = Dump(*table);

  std::unique_ptr<DataTable> byNames(table->projectByNames({"y", "x"}));
  EXPECT_EQ("T(x,y)\n1,2\n1,2\n1,2\n", Dump(*byNames));
  EXPECT_EQ((Strings{"x", "y"}), FieldNames(byNames->firstRow()));
  EXPECT_FALSE(IsSorted(byNames.get()));

  std::unique_ptr<DataTable> none(table->projectByNames({"nope"}));
  EXPECT_EQ("T()\n\n\n\n", Dump(*none));
  EXPECT_EQ(3u, none->rowCount());

  std::unique_ptr<DataTable> outside(table->projectByIndices({5}));
  EXPECT_EQ("T()\n\n\n\n", Dump(*outside));
  std::unique_ptr<DataTable> twice(table->projectByIndices({0, 0}));
  EXPECT_EQ("T(x)\n1\n1\n1\n", Dump(*twice));
  std::unique_ptr<DataTable> unordered(table->projectByIndices({2, -1, 0, 3}));
  EXPECT_EQ("T(x,z)\n1,3\n1,4\n1,3\n", Dump(*unordered));
  EXPECT_EQ((Strings{"x", "z"}), FieldNames(unordered->firstRow()));
  EXPECT_EQ(before, Dump(*table));

  // A name the header holds twice gives both columns.
  auto repeated = Table("R", "a,b,a", {{"1", "2", "3"}});
  std::unique_ptr<DataTable> both(repeated->projectByNames({"a"}));
  EXPECT_EQ("R(a,a)\n1,3\n", Dump(*both));

  // The result is independent of its source.
  byNames->firstRow()->setLiteralAt(0, "9");
  EXPECT_EQ(before, Dump(*table));
}

TEST(DataTableTest, JoinFollowsRowOrderOfBothTables) {
  auto left = Table("L", "x,y", {{"1", "2"}, {"3", "4"}});
  auto right = Table("R", "y,z", {{"2", "5"}, {"4", "6"}, {"2", "7"}});
  std::unique_ptr<DataTable> joined(left->join(*right, "J"));
  EXPECT_EQ("J(x,y,z)\n1,2,5\n1,2,7\n3,4,6\n", Dump(*joined));
  EXPECT_EQ((Strings{"x", "y", "z"}), FieldNames(joined->firstRow()));
  EXPECT_FALSE(IsSorted(joined.get()));

  // Not sorted: this table's rows lead, the other's follow within each.
  auto leftBack = Table("L", "x,y", {{"3", "4"}, {"1", "2"}});
  auto rightBack = Table("R", "y,z", {{"2", "7"}, {"4", "6"}, {"2", "5"}});
  std::unique_ptr<DataTable> back(leftBack->join(*rightBack, "J"));
  EXPECT_EQ("J(x,y,z)\n3,4,6\n1,2,7\n1,2,5\n", Dump(*back));

  // The inputs are unchanged.
  EXPECT_EQ("L(x,y)\n3,4\n1,2\n", Dump(*leftBack));
  EXPECT_EQ("R(y,z)\n2,7\n4,6\n2,5\n", Dump(*rightBack));

  // Result columns: this table's, then the other's that this one lacks.
  auto wide = Table("W", "b,q,a", {{"1", "p", "2"}});
  auto narrow = Table("N", "a,r,b", {{"2", "s", "9"}});
  std::unique_ptr<DataTable> mixed(wide->join(*narrow, "M"));
  EXPECT_EQ("M(b,q,a,r)\n1,p,2,s\n", Dump(*mixed));
}

TEST(DataTableTest, JoinGivesOneRowPerAgreeingCommonColumn) {
  auto left = Table("L", "x,y", {{"1", "2"}});
  std::unique_ptr<DataTable> one(left->join(*Table("R", "x,y", {{"1", "3"}}), "J"));
  EXPECT_EQ("J(x,y)\n1,2\n", Dump(*one));
  std::unique_ptr<DataTable> two(left->join(*Table("R", "x,y", {{"1", "2"}}), "J"));
  EXPECT_EQ("J(x,y)\n1,2\n1,2\n", Dump(*two));

  // Pairs come in the other table's row order, not grouped by column; the
  // common columns carry this table's values.
  auto ab = Table("L", "a,b", {{"1", "2"}});
  auto abz = Table("R", "a,b,z", {{"7", "2", "p"}, {"1", "9", "q"}, {"7", "9", "r"}});
  std::unique_ptr<DataTable> pairs(ab->join(*abz, "J"));
  EXPECT_EQ("J(a,b,z)\n1,2,p\n1,2,q\n", Dump(*pairs));

  auto both = Table("R", "a,b,z", {{"1", "9", "p"}, {"1", "2", "q"}, {"7", "2", "r"}});
  std::unique_ptr<DataTable> counted(ab->join(*both, "J"));
  EXPECT_EQ("J(a,b,z)\n1,2,p\n1,2,q\n1,2,q\n1,2,r\n", Dump(*counted));
}

TEST(DataTableTest, JoinWithoutCommonColumnsHasNoRows) {
  auto left = Table("L", "x", {{"1"}, {"2"}});
  auto right = Table("R", "y", {{"1"}, {"2"}});
  std::unique_ptr<DataTable> joined(left->join(*right, "J"));
  EXPECT_EQ("J(x,y)\n", Dump(*joined));

  DataTable empty("E", "");
  std::unique_ptr<DataTable> withEmpty(left->join(empty, "J"));
  EXPECT_EQ("J(x)\n", Dump(*withEmpty));
}

TEST(DataTableTest, JoinValuesAgreeByTextAndKind) {
  auto left = Table("L", "k,v", {{"1", "a"}, {"'1'", "b"}, {"", "c"}, {"01", "d"}});
  auto right = Table("R", "k,w", {{"'1'", "p"}, {"", "q"}, {"1", "r"}, {"NULL", "s"}});
  std::unique_ptr<DataTable> joined(left->join(*right, "J"));
  EXPECT_EQ("J(k,v,w)\n1,a,r\n'1',b,p\nNULL,c,q\n", Dump(*joined));
}

TEST(DataTableTest, JoinWithItself) {
  auto table = Table("T", "x,y", {{"1", "2"}, {"1", "3"}});
  std::unique_ptr<DataTable> joined(table->join(*table, "S"));
  EXPECT_EQ("S(x,y)\n1,2\n1,2\n1,2\n1,3\n1,3\n1,3\n", Dump(*joined));
  EXPECT_EQ("T(x,y)\n1,2\n1,3\n", Dump(*table));
}

TEST(DataTableTest, JoinWithRepeatedColumnNames) {
  // Each result field is set by name, so only the first field of a
  // repeated name receives a value.
  auto twice = Table("T", "C,C", {{"1", "2"}});
  std::unique_ptr<DataTable> left(twice->join(*Table("U", "C", {{"1"}, {"2"}}), "J"));
  EXPECT_EQ("J(C,C)\n1,NULL\n1,NULL\n", Dump(*left));

  auto key = Table("X", "k", {{"1"}});
  std::unique_ptr<DataTable> right(key->join(*Table("Y", "k,D,D", {{"1", "2", "3"}}), "J"));
  EXPECT_EQ("J(k,D,D)\n1,2,NULL\n", Dump(*right));
}

TEST(DataTableTest, JoinAfterRenamingARepeatedName) {
  auto table = Table("T", "C,C", {{"1", "2"}});
  table->renameColumn("C", "D");

  // The header no longer names C, whatever the rows call their fields.
  std::unique_ptr<DataTable> byOldName(table->join(*Table("V", "C", {{"1"}, {"2"}}), "J"));
  EXPECT_EQ("J(D,D,C)\n", Dump(*byOldName));

  std::unique_ptr<DataTable> byNewName(table->join(*Table("W", "D", {{"2"}, {"1"}}), "J"));
  EXPECT_EQ("J(D,D)\n1,NULL\n1,NULL\n", Dump(*byNewName));

  // The projection keeps the second field, which the row still calls C:
  // the join finds D at the header's position of D.
  std::unique_ptr<DataTable> projected(table->projectByIndices({1}));
  EXPECT_EQ("T(D)\n2\n", Dump(*projected));
  EXPECT_EQ(Strings{"C"}, FieldNames(projected->firstRow()));
  auto other = Table("V", "D,Z", {{"1", "z1"}, {"2", "z2"}});
  std::unique_ptr<DataTable> found(projected->join(*other, "J"));
  EXPECT_EQ("J(D,Z)\n2,z2\n", Dump(*found));

  // Where the row has no field there either, the value is Null.
  auto three = Table("T", "A,C,C", {{"a", "1", "2"}});
  three->renameColumn("C", "D");
  std::unique_ptr<DataTable> narrowed(three->projectByIndices({0, 2}));
  EXPECT_EQ((Strings{"A", "C"}), FieldNames(narrowed->firstRow()));
  narrowed->removeColumn("C");
  EXPECT_EQ("T(A,D)\na\n", Dump(*narrowed));
  auto candidates = Table("V", "D,Z", {{"2", "z2"}, {"a", "z3"}, {"", "z4"}, {"1", "z5"}});
  std::unique_ptr<DataTable> nulls(narrowed->join(*candidates, "J"));
  EXPECT_EQ("J(A,D,Z)\na,NULL,z4\n", Dump(*nulls));

  // Positions beyond such a short row are left alone.
  narrowed->removeColumnAt(1);
  EXPECT_EQ("T(A)\na\n", Dump(*narrowed));
}

TEST(DataTableTest, FilterReturnsTheTableItself) {
  auto table = Table("T", "x,y", {{"1", "2"}, {"1", "2"}});
  DataTable& base = *table;
  EXPECT_EQ(table.get(), base.filter("3,X"));
  EXPECT_EQ(table.get(), base.filter(""));
  EXPECT_EQ("T(x,y)\n1,2\n1,2\n", Dump(*table));
}

TEST(DataTableTest, PrintedForm) {
  EXPECT_EQ("R(x,y)\n1,'ab'\n2,NULL\n", Dump(*Table("R", "x,y", {{"1", "'ab'"}, {"2", ""}})));
  EXPECT_EQ("T()\n", Dump(DataTable("T", "")));
  EXPECT_EQ("T(a,b)\n", Dump(DataTable("T", "a,b")));
  EXPECT_EQ("(a)\n", Dump(DataTable("", "a")));
  EXPECT_EQ("R(x,,y)\n", Dump(DataTable("R", "x,,y")));
  EXPECT_EQ("R(x)\n'a,b'\n'a,b'\n(c)\n", Dump(*Table("R", "x", {{"'a,b'"}, {"'a,b'"}, {"(c)"}})));
  EXPECT_EQ("R( x)\n 1\n", Dump(*Table("R", " x", {{" 1"}})));
}

}  // namespace
}  // namespace tablog
