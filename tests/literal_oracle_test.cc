// Fixed cases for the literal oracle itself: the known examples of the
// exchange sort, the row texts, the join and the filter, checked on the
// oracle alone, so that the differential tests compare the product with an
// oracle that is known to say the right thing.
#include "tests/literal_oracle.h"

#include <gtest/gtest.h>

namespace tablog::literal {
namespace {

Table tableOf(const std::string& name, const std::string& columns,
              const std::vector<std::vector<std::string>>& rows) {
  Table t = makeTable(name, columns);
  for (const auto& literals : rows) {
    Row& row = appendRow(t);
    for (std::size_t k = 0; k < literals.size(); ++k) {
      row.setLiteralAt(static_cast<int>(k), literals[k]);
    }
  }
  return t;
}

Table inserted(const std::string& columns, const std::vector<std::string>& texts) {
  Table t = makeTable("T", columns);
  for (const std::string& text : texts) insertRowText(t, text);
  return t;
}

TEST(LiteralOracleTest, ExchangeSortOrdersPlainByNumberAndQuotedByBytes) {
  EXPECT_EQ("T(a)\n9\n10\n", printed(inserted("a", {"10", "9"})));
  EXPECT_EQ("T(a)\n'a'\n'b'\n", printed(inserted("a", {"'b'", "'a'"})));
  EXPECT_EQ("T(a)\n'10'\n'9'\n", printed(inserted("a", {"'9'", "'10'"})));
}

TEST(LiteralOracleTest, IncomparableRowsKeepTheirOrder) {
  EXPECT_EQ("T(a)\nb\na\n", printed(inserted("a", {"b", "a"})));
  EXPECT_EQ("T(a)\nx\n'y'\nx\n", printed(inserted("a", {"x", "'y'", "x"})));
  EXPECT_EQ("T(a)\n7\n07\n+7\n", printed(inserted("a", {"7", "07", "+7"})));
}

TEST(LiteralOracleTest, RepeatedRowIsKeptOnce) {
  EXPECT_EQ("T(a,b)\n1,'x'\n", printed(inserted("a,b", {"1,'x'", "1,'x'"})));
  EXPECT_EQ("T(a)\n5\n'5'\n", printed(inserted("a", {"5", "'5'"})));
}

TEST(LiteralOracleTest, ExchangeSortRunsAllPasses) {
  // The last row needs every pass to reach the front.
  std::vector<Row> rows = tableOf("T", "a", {{"5"}, {"4"}, {"3"}, {"2"}, {"1"}}).rows;
  exchangeSort(rows);
  Table t = makeTable("T", "a");
  t.rows = rows;
  EXPECT_EQ("T(a)\n1\n2\n3\n4\n5\n", printed(t));
}

TEST(LiteralOracleTest, RowTextSplitsOutsideQuotes) {
  EXPECT_EQ("T(a,b,c)\n1,NULL,3\n", printed(inserted("a,b,c", {"1,,3"})));
  EXPECT_EQ("T(a,b,c)\n1,NULL,NULL\n", printed(inserted("a,b,c", {"1"})));
  EXPECT_EQ("T(a,b,c)\nNULL,NULL,NULL\n", printed(inserted("a,b,c", {""})));
  EXPECT_EQ("T(a,b)\n'a,b',x\n", printed(inserted("a,b", {"'a,b',x"})));
  EXPECT_EQ("T(a,b)\n1, 2\n", printed(inserted("a,b", {"1, 2"})));
  EXPECT_EQ("T(a)\n1\n", printed(inserted("a", {"1,2,3"})));
}

TEST(LiteralOracleTest, JoinPairsRowsOnCommonColumns) {
  Table left = tableOf("L", "x,y", {{"1", "2"}, {"3", "4"}});
  Table right = tableOf("R", "y,z", {{"2", "5"}, {"4", "6"}, {"2", "7"}});
  EXPECT_EQ("J(x,y,z)\n1,2,5\n1,2,7\n3,4,6\n", printed(join(left, right, "J")));

  Table one = tableOf("A", "x,y", {{"1", "2"}});
  EXPECT_EQ("J(x,y)\n1,2\n", printed(join(one, tableOf("B", "x,y", {{"1", "3"}}), "J")));
  EXPECT_EQ("J(x,y)\n1,2\n1,2\n", printed(join(one, one, "J")));
  EXPECT_EQ("J(x,y)\n1,2\n", printed(sortedJoin(one, one, "J")));
  EXPECT_EQ("J(x,y,z)\n", printed(join(one, tableOf("C", "z", {{"1"}}), "J")));
}

TEST(LiteralOracleTest, FilterKeepsMatchingRowsAndOpenColumns) {
  Table t =
      tableOf("E", "N,D,S", {{"'ann'", "1", "500"}, {"'bob'", "1", "1500"}, {"'cy'", "2", "2000"}});
  normalize(t);
  EXPECT_EQ("E(N,S)\n'ann',500\n'bob',1500\n", printed(filter(t, "X,1,>1000")));
  EXPECT_EQ("E(N,D,S)\n'cy',2,2000\n", printed(exclude(t, "X,1,>1000")));
  EXPECT_EQ("E()\n\n", printed(filter(t, "'ann',1,500")));
  EXPECT_EQ("E()\n", printed(filter(t, "'zed',1,500")));
}

TEST(LiteralOracleTest, OpenFieldsAreVariablesUpToZAndComparisons) {
  EXPECT_TRUE(isOpenField("Z"));
  EXPECT_TRUE(isOpenField("Ab"));
  EXPECT_TRUE(isOpenField("<b"));
  EXPECT_TRUE(isOpenField(">"));
  EXPECT_FALSE(isOpenField("ZIP"));
  EXPECT_FALSE(isOpenField("ab"));
  EXPECT_FALSE(isOpenField("'<b'"));
  EXPECT_FALSE(isOpenField("=3"));
  EXPECT_FALSE(isOpenField(""));
  EXPECT_EQ((std::vector<std::string>{"'a,b'", "X"}), splitCondition("'a,b',X"));
  EXPECT_EQ((std::vector<std::string>{""}), splitCondition(""));
  EXPECT_EQ((std::vector<std::string>{"a", ""}), splitCondition("a,"));
}

TEST(LiteralOracleTest, UnionAndMinusWorkByPosition) {
  Table a = tableOf("A", "A,B", {{"1", "2"}});
  normalize(a);
  Table x = tableOf("X", "X,Y", {{"1", "2"}, {"0", "'q'"}});
  std::optional<Table> u = unionWith(a, x);
  ASSERT_TRUE(u.has_value());
  EXPECT_EQ("A(A,B)\n0,'q'\n1,2\n", printed(*u));
  EXPECT_EQ("[A|B]\n[A|B]\n", fieldNames(*u));
  std::optional<Table> m = minus(*u, x);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ("A(A,B)\n", printed(*m));
  EXPECT_FALSE(unionWith(a, tableOf("C", "c", {})).has_value());
  EXPECT_FALSE(minus(a, tableOf("C", "c", {})).has_value());
}

TEST(LiteralOracleTest, ProjectionsKeepTableOrder) {
  Table t = tableOf("T", "x,y,z", {{"1", "2", "3"}, {"1", "2", "4"}});
  EXPECT_EQ("T(x,y)\n1,2\n1,2\n", printed(projectByNames(t, {"y", "x"})));
  EXPECT_EQ("T(x,y)\n1,2\n", printed(sortedProjectByNames(t, {"y", "x"})));
  EXPECT_EQ("T()\n\n\n", printed(projectByNames(t, {"w"})));
  EXPECT_EQ("T(x)\n1\n", printed(sortedProjectByIndices(t, {0, 0, 5})));
}

}  // namespace
}  // namespace tablog::literal
