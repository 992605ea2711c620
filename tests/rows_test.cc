// Tests of the row layer: DataValue (the literal rule, the printed form,
// equality, order and condition matching) and DataCol (field editing by
// name and by position, copying, the row relations and the row text).
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "rows/data_col.h"
#include "rows/data_value.h"

namespace tablog {
namespace {

std::string Print(const DataValue& v) {
  std::string out;
  v.appendTo(out);
  return out;
}

std::string Print(const DataCol& row) {
  std::ostringstream out;
  out << row;
  return out.str();
}

// A row with the fields c0, c1, ... whose values are parsed from `literals`.
DataCol Row(const std::vector<std::string>& literals) {
  DataCol row;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    std::string name = "c";
    name += std::to_string(i);
    row.addField(name, literals[i]);
  }
  return row;
}

std::vector<std::string> FieldNames(const DataCol& row) {
  std::vector<std::string> names;
  for (int i = 0; i < row.size(); ++i) names.push_back(row.nameAt(i));
  return names;
}

// Whether the value of `literal` is after the value of `other`.
bool After(const std::string& literal, const std::string& other) {
  return DataValue(literal).greaterThan(DataValue(other));
}

// Neither value is after the other and they are not equal.
bool Unordered(const std::string& a, const std::string& b) {
  DataValue x(a), y(b);
  return !x.greaterThan(y) && !y.greaterThan(x) && !x.equals(y);
}

bool Matches(const std::string& value, const std::string& condition) {
  return DataValue(value).matches(DataValue(condition));
}

TEST(DataValueTest, LiteralRule) {
  DataValue null("");
  EXPECT_EQ(Null, null.kind());
  EXPECT_EQ("", null.text());
  EXPECT_EQ("NULL", Print(null));
  EXPECT_EQ(Null, DataValue().kind());
  EXPECT_TRUE(DataValue().equals(null));

  DataValue quoted("'abc'");
  EXPECT_EQ(Quoted, quoted.kind());
  EXPECT_EQ("abc", quoted.text());
  EXPECT_EQ("'abc'", Print(quoted));

  // The last character goes whatever it is; a lone quote leaves nothing.
  EXPECT_EQ("ab", DataValue("'abc").text());
  EXPECT_EQ(Quoted, DataValue("'abc").kind());
  for (const char* literal : {"'", "''"}) {
    DataValue empty(literal);
    EXPECT_EQ(Quoted, empty.kind()) << literal;
    EXPECT_EQ("", empty.text()) << literal;
    EXPECT_EQ("''", Print(empty)) << literal;
  }

  // Plain literals are kept as written: blanks, trailing quotes, NULL.
  DataValue blank(" 12");
  EXPECT_EQ(Plain, blank.kind());
  EXPECT_EQ(" 12", blank.text());
  EXPECT_EQ(" 12", Print(blank));
  EXPECT_EQ("abc'", DataValue("abc'").text());
  DataValue word("NULL");
  EXPECT_EQ(Plain, word.kind());
  EXPECT_EQ("NULL", word.text());
  EXPECT_EQ("NULL", Print(word));

  // Commas and quotes inside a quoted text print unescaped.
  EXPECT_EQ("'a,b'", Print(DataValue("'a,b'")));
  EXPECT_EQ("it's", DataValue("'it's'").text());
  EXPECT_EQ("'it's'", Print(DataValue("'it's'")));
}

TEST(DataValueTest, SetLiteralReparsesInPlace) {
  DataValue v("12");
  const DataValue* before = &v;
  v.setLiteral("'x'");
  EXPECT_EQ(before, &v);
  EXPECT_EQ(Quoted, v.kind());
  EXPECT_EQ("x", v.text());
  v.setLiteral("");
  EXPECT_EQ(Null, v.kind());
  EXPECT_EQ("", v.text());

  // The number used for ordering follows the new text.
  v.setLiteral("7");
  EXPECT_TRUE(v.greaterThan(DataValue("5")));
  v.setLiteral("3");
  EXPECT_FALSE(v.greaterThan(DataValue("5")));
  EXPECT_TRUE(DataValue("5").greaterThan(v));

  DataValue copy(v);
  EXPECT_TRUE(copy.equals(v));
  EXPECT_EQ(Plain, copy.kind());
  EXPECT_EQ("3", copy.text());
}

TEST(DataValueTest, LongTextsSurviveCopiesAndReparsing) {
  const std::string longText(40, 'x');
  DataValue quoted("'" + longText + "'");
  EXPECT_EQ(Quoted, quoted.kind());
  EXPECT_EQ(longText, quoted.text());

  DataValue copy(quoted);
  EXPECT_TRUE(copy.equals(quoted));
  copy.setLiteral("short");
  EXPECT_EQ(longText, quoted.text());
  EXPECT_EQ("short", copy.text());
  copy = quoted;
  EXPECT_EQ(longText, copy.text());
  copy.setLiteral(std::string(100, '7'));
  EXPECT_EQ(Plain, copy.kind());
  EXPECT_EQ(std::string(100, '7'), copy.text());
  EXPECT_EQ(std::numeric_limits<std::int32_t>::max(), copy.number());

  // Re-parsing a value from its own text.
  DataValue self(std::string(30, 'a') + "1");
  self.setLiteral(self.text());
  EXPECT_EQ(Plain, self.kind());
  EXPECT_EQ(std::string(30, 'a') + "1", self.text());
  DataValue shrink("'" + std::string(30, 'b') + "'");
  shrink.setLiteral(shrink.text().substr(0, 3));
  EXPECT_EQ(Plain, shrink.kind());
  EXPECT_EQ("bbb", shrink.text());

  // Order and conditions look at the whole text.
  DataValue a("'" + longText + "a'"), b("'" + longText + "b'");
  EXPECT_TRUE(b.greaterThan(a));
  EXPECT_FALSE(a.greaterThan(b));
  EXPECT_FALSE(a.equals(b));
  EXPECT_TRUE(a.matches(DataValue("<" + longText + "b")));
  EXPECT_TRUE(b.matches(DataValue("=" + longText + "b")));
  EXPECT_EQ("'" + longText + "a'", Print(a));
}

TEST(DataValueTest, EqualityNeedsSameTextAndKind) {
  EXPECT_TRUE(DataValue("12").equals(DataValue("12")));
  EXPECT_FALSE(DataValue("12").equals(DataValue("'12'")));
  EXPECT_FALSE(DataValue("NULL").equals(DataValue("")));
  EXPECT_FALSE(DataValue("''").equals(DataValue("")));
  EXPECT_TRUE(DataValue("").equals(DataValue("")));
  EXPECT_FALSE(DataValue("7").equals(DataValue("07")));
  EXPECT_FALSE(DataValue("abc").equals(DataValue("Abc")));
}

TEST(DataValueTest, PlainValuesOrderByTheirNumber) {
  EXPECT_TRUE(After("10", "9"));
  EXPECT_FALSE(After("9", "10"));
  EXPECT_TRUE(After("3", "-5"));
  EXPECT_FALSE(After("-5", "3"));
  // Words read as 0, so they neither order nor equal each other.
  EXPECT_TRUE(Unordered("a1", "b2"));
  EXPECT_TRUE(Unordered("+7", "7"));
  EXPECT_TRUE(Unordered("7", "07"));
  // Leading white space and a sign are read, digits end at the first other
  // character.
  EXPECT_TRUE(After(" 12", "11"));
  EXPECT_TRUE(After("12abc", "11"));
  EXPECT_TRUE(Unordered("12abc", "12"));
  EXPECT_TRUE(After("2", "\t-3"));
  EXPECT_TRUE(After("1", "x"));
  EXPECT_TRUE(After("x", "-1"));
}

TEST(DataValueTest, OutOfRangeNumbersSaturate) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(kMax, readNumber("2147483647"));
  EXPECT_EQ(kMax, readNumber("2147483648"));
  EXPECT_EQ(kMax, readNumber("99999999999999999999999"));
  EXPECT_EQ(kMin, readNumber("-2147483648"));
  EXPECT_EQ(kMin, readNumber("-2147483649"));
  EXPECT_EQ(kMin, readNumber("-99999999999999999999999"));
  EXPECT_EQ(42, readNumber("  +42x"));
  EXPECT_EQ(-42, readNumber("\n-42"));
  EXPECT_EQ(0, readNumber("x42"));
  EXPECT_EQ(0, readNumber(""));
  EXPECT_EQ(0, readNumber("-"));
  EXPECT_EQ(0, readNumber("+-1"));

  EXPECT_TRUE(After("3000000000", "5"));
  EXPECT_TRUE(After("-5", "-3000000000"));
  EXPECT_TRUE(Unordered("3000000000", "2147483647"));
  EXPECT_TRUE(Unordered("-3000000000", "-2147483648"));
}

TEST(DataValueTest, OtherKindsOrderByUnsignedBytes) {
  EXPECT_TRUE(After("'9'", "'10'"));
  EXPECT_FALSE(After("'10'", "'9'"));
  EXPECT_TRUE(After("'b'", "'a'"));
  EXPECT_TRUE(After("'ab'", "'a'"));
  EXPECT_TRUE(After("'a'", "'Z'"));
  EXPECT_TRUE(After("'\xc3\xa9'", "'z'"));
  EXPECT_FALSE(After("'z'", "'\xc3\xa9'"));
  EXPECT_FALSE(After("''", "'a'"));

  EXPECT_FALSE(After("", ""));
  // Values of different kinds are never ordered.
  EXPECT_TRUE(Unordered("5", "'1'"));
  EXPECT_TRUE(Unordered("1", ""));
  EXPECT_TRUE(Unordered("'a'", ""));
  EXPECT_TRUE(Unordered("'5'", "5"));
}

TEST(DataValueTest, ConditionOperatorsCompareTexts) {
  // "<" and ">" compare texts, not numbers.
  EXPECT_FALSE(Matches("9", "<10"));
  EXPECT_FALSE(Matches("100", "<10"));
  EXPECT_TRUE(Matches("1", "<10"));
  EXPECT_TRUE(Matches("099", "<10"));
  EXPECT_FALSE(Matches("10", "<10"));
  EXPECT_TRUE(Matches("b", ">a"));
  EXPECT_FALSE(Matches("a", ">a"));
  EXPECT_TRUE(Matches("\xc3\xa9", ">z"));
  EXPECT_FALSE(Matches("\xc3\xa9", "<z"));

  // "=" asks for the rest of the condition, quotes included.
  EXPECT_TRUE(Matches("'abc'", "=abc"));
  EXPECT_TRUE(Matches("abc", "=abc"));
  EXPECT_FALSE(Matches("'abc'", "='abc'"));
  EXPECT_FALSE(Matches("abc", "='abc'"));
  EXPECT_TRUE(Matches("", "="));
  EXPECT_TRUE(Matches("''", "="));
  EXPECT_FALSE(Matches("x", "="));

  // A Null value behaves as the empty text.
  EXPECT_TRUE(Matches("", "<a"));
  EXPECT_FALSE(Matches("", ">a"));

  // The operators act in quoted conditions too.
  EXPECT_TRUE(Matches("a", "'<b'"));
  EXPECT_FALSE(Matches("b", "'<b'"));
  EXPECT_FALSE(Matches("c", "'<b'"));
  EXPECT_TRUE(Matches("x", "'=x'"));
}

TEST(DataValueTest, ConditionVariablesAndTexts) {
  // An unquoted upper-case initial is a variable: it holds for every value.
  for (const char* value : {"x", "", "'q'", "123", "Name"}) {
    EXPECT_TRUE(Matches(value, "Name")) << value;
    EXPECT_TRUE(Matches(value, "Z")) << value;
    EXPECT_TRUE(Matches(value, "ZIP")) << value;
    EXPECT_TRUE(Matches(value, "A")) << value;
  }
  // Quoted, it is a text to equal.
  EXPECT_TRUE(Matches("Name", "'Name'"));
  EXPECT_TRUE(Matches("'Name'", "'Name'"));
  EXPECT_FALSE(Matches("x", "'Name'"));

  // Anything else asks for its own text; the kinds are not compared.
  EXPECT_TRUE(Matches("alma", "alma"));
  EXPECT_TRUE(Matches("'alma'", "alma"));
  EXPECT_FALSE(Matches("Alma", "alma"));
  EXPECT_TRUE(Matches("12", "12"));
  EXPECT_TRUE(Matches("'12'", "12"));
  EXPECT_FALSE(Matches("012", "12"));
  EXPECT_TRUE(Matches("5", "'5'"));
  // The neighbours of A and Z are not variables.
  EXPECT_TRUE(Matches("@x", "@x"));
  EXPECT_FALSE(Matches("y", "@x"));
  EXPECT_TRUE(Matches("[x", "[x"));
  EXPECT_FALSE(Matches("y", "[x"));

  // An empty condition, Null or quoted, holds for the empty text only.
  for (const char* condition : {"", "'", "''"}) {
    EXPECT_TRUE(Matches("", condition)) << condition;
    EXPECT_TRUE(Matches("''", condition)) << condition;
    EXPECT_FALSE(Matches("x", condition)) << condition;
    EXPECT_FALSE(Matches("NULL", condition)) << condition;
  }
}

TEST(DataColTest, FieldsByNameUseTheFirst) {
  DataCol row;
  EXPECT_EQ(0, row.size());
  row.addField("a", "1");
  row.addField("b", "'2'");
  row.addField("a", "3");
  ASSERT_EQ(3, row.size());
  EXPECT_EQ((std::vector<std::string>{"a", "b", "a"}), FieldNames(row));
  EXPECT_EQ(0, row.indexOf("a"));
  EXPECT_EQ(1, row.indexOf("b"));
  EXPECT_EQ(-1, row.indexOf("A"));
  EXPECT_EQ(-1, row.indexOf(""));
  EXPECT_EQ("1", row.valueByName("a")->text());
  EXPECT_EQ(row.valueAt(0), row.valueByName("a"));
  EXPECT_EQ("1", row.textByName("a"));
  EXPECT_EQ("2", row.textByName("b"));

  DataCol renamed(row);
  renamed.renameField("a", "x");
  EXPECT_EQ((std::vector<std::string>{"x", "b", "a"}), FieldNames(renamed));
  EXPECT_EQ(2, renamed.indexOf("a"));
  EXPECT_EQ("3", renamed.textByName("a"));

  DataCol removed(row);
  removed.removeField("a");
  EXPECT_EQ((std::vector<std::string>{"b", "a"}), FieldNames(removed));
  EXPECT_EQ("'2',3", Print(removed));

  DataCol set(row);
  set.setValue("a", DataValue("'q'"));
  EXPECT_EQ("'q','2',3", Print(set));
}

TEST(DataColTest, OutOfRangePositionsAndAbsentNamesDoNothing) {
  DataCol row = Row({"1", "'x'"});
  const DataValue v("9");
  row.removeAt(-1);
  row.removeAt(2);
  row.removeField("zz");
  row.renameField("zz", "q");
  row.setNameAt(-1, "q");
  row.setNameAt(2, "q");
  row.setLiteralAt(-1, "9");
  row.setLiteralAt(2, "9");
  row.setValueAt(-1, v);
  row.setValueAt(2, v);
  row.setValue("zz", v);
  EXPECT_EQ(2, row.size());
  EXPECT_EQ("1,'x'", Print(row));
  EXPECT_EQ((std::vector<std::string>{"c0", "c1"}), FieldNames(row));

  EXPECT_EQ(nullptr, row.valueAt(-1));
  EXPECT_EQ(nullptr, row.valueAt(2));
  EXPECT_EQ(nullptr, row.valueByName("zz"));
  EXPECT_EQ("", row.textAt(-1));
  EXPECT_EQ("", row.textAt(2));
  EXPECT_EQ("", row.textByName("zz"));

  DataCol empty;
  empty.removeAt(0);
  empty.setLiteralAt(0, "1");
  EXPECT_EQ(0, empty.size());
  EXPECT_EQ(nullptr, empty.valueAt(0));
}

TEST(DataColTest, SettersAndBorrowedValues) {
  DataCol row = Row({"1", "2", "3"});
  DataValue* second = row.valueAt(1);
  ASSERT_NE(nullptr, second);
  row.setLiteralAt(1, "'x'");
  // setLiteralAt changes the value in place.
  EXPECT_EQ(second, row.valueAt(1));
  EXPECT_EQ(Quoted, second->kind());
  EXPECT_EQ("x", second->text());
  EXPECT_EQ("x", row.textAt(1));

  // The row keeps its own copy of a value it is given.
  DataValue given("'q'");
  row.setValueAt(0, given);
  given.setLiteral("changed");
  EXPECT_EQ("q", row.textAt(0));
  EXPECT_EQ(Quoted, row.valueAt(0)->kind());

  row.setValue("c2", DataValue(""));
  EXPECT_EQ("'q','x',NULL", Print(row));
  EXPECT_EQ("", row.textAt(2));

  row.removeAt(0);
  EXPECT_EQ("'x',NULL", Print(row));
  EXPECT_EQ((std::vector<std::string>{"c1", "c2"}), FieldNames(row));
}

TEST(DataColTest, CopiesShareNothing) {
  DataCol source;
  source.addField("a", "1");
  source.addField("b", "'x'");

  DataCol copy(source);
  copy.setLiteralAt(0, "9");
  copy.setNameAt(1, "z");
  copy.addField("c", "3");
  EXPECT_EQ("1,'x'", Print(source));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), FieldNames(source));
  EXPECT_EQ("9,'x',3", Print(copy));
  EXPECT_EQ((std::vector<std::string>{"a", "z", "c"}), FieldNames(copy));

  source.valueAt(1)->setLiteral("'y'");
  source.renameField("a", "w");
  EXPECT_EQ("9,'x',3", Print(copy));
  EXPECT_EQ("a", copy.nameAt(0));

  DataCol assigned;
  assigned = source;
  assigned.setLiteralAt(0, "5");
  assigned.removeAt(1);
  EXPECT_EQ("1,'y'", Print(source));
  EXPECT_EQ("5", Print(assigned));

  // Rows made from one list of names are still renamed one by one.
  auto names = SharedNames::make(Names{"p", "q"});
  DataCol first(names), second(names);
  first.setNameAt(0, "z");
  second.renameField("q", "w");
  EXPECT_EQ((std::vector<std::string>{"z", "q"}), FieldNames(first));
  EXPECT_EQ((std::vector<std::string>{"p", "w"}), FieldNames(second));
  EXPECT_EQ((Names{"p", "q"}), *names);
  EXPECT_EQ("NULL,NULL", Print(first));
}

TEST(DataColTest, PrintedForm) {
  EXPECT_EQ("'abc',12,NULL", Print(Row({"'abc'", "12", ""})));
  EXPECT_EQ("", Print(DataCol()));
  EXPECT_EQ("NULL,NULL,NULL", Print(DataCol(SharedNames::make(Names{"a", "b", "c"}))));
  EXPECT_EQ("'a,b','it's', 1,NULL,''", Print(Row({"'a,b'", "'it's'", " 1", "NULL", "''"})));
}

TEST(DataColTest, EqualityComparesValuesNotNames) {
  DataCol row = Row({"1", "'x'"});
  DataCol other;
  other.addField("p", "1");
  other.addField("q", "'x'");
  EXPECT_TRUE(row.equals(other));
  EXPECT_TRUE(other.equals(row));
  EXPECT_FALSE(row.equals(Row({"1", "x"})));
  EXPECT_FALSE(row.equals(Row({"1"})));
  EXPECT_FALSE(Row({"1"}).equals(row));
  EXPECT_FALSE(row.equals(Row({"1", "'x'", ""})));
  EXPECT_TRUE(DataCol().equals(DataCol()));
  EXPECT_TRUE(Row({"", ""}).equals(Row({"", ""})));
}

TEST(DataColTest, FirstUnequalPositionDecidesOrder) {
  auto after = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return Row(a).greaterThan(Row(b));
  };
  EXPECT_TRUE(after({"1", "'y'"}, {"1", "'x'"}));
  EXPECT_FALSE(after({"1", "'x'"}, {"1", "'y'"}));
  EXPECT_TRUE(after({"2", "'a'"}, {"1", "'z'"}));
  EXPECT_TRUE(after({"10", "1"}, {"9", "5"}));
  // Rows that agree on every common position are not ordered.
  EXPECT_FALSE(after({"1", "'x'"}, {"1", "'x'", "5"}));
  EXPECT_FALSE(after({"1", "'x'", "5"}, {"1", "'x'"}));
  EXPECT_FALSE(after({"1", "'x'"}, {"1", "'x'"}));
  EXPECT_FALSE(after({}, {"1"}));
  // An unordered first difference stops the comparison.
  EXPECT_FALSE(after({"'x'", "2"}, {"3", "1"}));
  EXPECT_FALSE(after({"3", "1"}, {"'x'", "2"}));
  EXPECT_FALSE(after({"b", "1"}, {"a", "0"}));
  EXPECT_FALSE(after({"a", "0"}, {"b", "1"}));
  // Null values are equal, so the next position decides.
  EXPECT_TRUE(after({"", "9"}, {"", "1"}));
  EXPECT_FALSE(after({"", "1"}, {"", "9"}));
}

TEST(DataColTest, MatchesPositionByPosition) {
  DataCol row = Row({"1", "'x'"});
  EXPECT_TRUE(row.matches(Row({"X", "x"})));
  EXPECT_TRUE(row.matches(Row({"1", "=x"})));
  EXPECT_FALSE(row.matches(Row({"X", "'y'"})));
  EXPECT_FALSE(row.matches(Row({"2", "x"})));
  // Sizes must agree.
  EXPECT_FALSE(row.matches(Row({"X"})));
  EXPECT_FALSE(row.matches(Row({"X", "x", "Z"})));
  // A variable never binds: the same letter twice holds for any values.
  EXPECT_TRUE(Row({"1", "2"}).matches(Row({"X", "X"})));
  EXPECT_TRUE(DataCol().matches(DataCol()));
}

}  // namespace
}  // namespace tablog
