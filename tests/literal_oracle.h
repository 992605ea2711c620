// The literal algorithms of sorted tables, kept in the test suite as an
// oracle. tables/ runs these algorithms with fast paths (a stable sort under
// a total order, lazy batched insertion, hash indexes in the join, single
// passes in filter and exclude); the functions here do exactly what the
// defined algorithms say, step by step, on plain vectors and without any
// shortcut, so that the differential tests can compare the two on random
// tables. Only DataValue (its literal rule and its relations) is shared
// with tables/.
#ifndef TABLOG_TESTS_LITERAL_ORACLE_H_
#define TABLOG_TESTS_LITERAL_ORACLE_H_

#include <optional>
#include <string>
#include <vector>

#include "rows/data_value.h"

namespace tablog::literal {

// One row: field i is the pair (names[i], values[i]).
struct Row {
  std::vector<std::string> names;
  std::vector<DataValue> values;

  int size() const { return static_cast<int>(values.size()); }
  // Position of the first field named `name`, or -1.
  int indexOf(const std::string& name) const;
  void addField(const std::string& name, const std::string& literal);
  // Re-parses field i; positions outside the row are ignored.
  void setLiteralAt(int i, const std::string& literal);
  // The first field named `name` gets a copy of `v`.
  // REQUIRES: the name is present.
  void setValue(const std::string& name, const DataValue& v);
  // REQUIRES: 0 <= i < size().
  void setValueAt(int i, const DataValue& v);
  // The value of the first field named `name`.
  // REQUIRES: the name is present.
  const DataValue& valueByName(const std::string& name) const;
  // Removes field i; nothing if out of range.
  void removeAt(int i);
  // Removes the first field named `name`; nothing if absent.
  void removeField(const std::string& name);

  bool equals(const Row& other) const;
  bool greaterThan(const Row& other) const;
  bool matches(const Row& conditions) const;
};

// A table: a name, a header and the rows in row order. Whether it stands
// for a plain or a sorted table is up to the function that works on it.
struct Table {
  std::string name;
  std::vector<std::string> columns;
  std::vector<Row> rows;
};

// Construction and the plain table operations.
Table makeTable(const std::string& name, const std::string& columnList);
void addColumn(Table& t, const std::string& name, const std::string& literal);
// Header and rows become copies of the source's; the target keeps its name.
void assign(Table& target, const Table& source);
Row newRow(const Table& t);
Row& appendRow(Table& t);
void removeEqualRows(Table& t, const Row& row);
void removeColumn(Table& t, const std::string& name);
void removeColumnAt(Table& t, int position);
// Every header entry `oldName` becomes `newName`; each row renames its
// first field of that name only.
void renameColumn(Table& t, const std::string& oldName, const std::string& newName);
// renameColumn with the header name at `position`; nothing out of range.
void renameColumnAt(Table& t, unsigned position, const std::string& newName);
Table projectByIndices(const Table& t, const std::vector<int>& positions);
Table projectByNames(const Table& t, const std::vector<std::string>& names);
// A row whose names drifted from its header (after renaming a repeated
// name) reads a name it lacks at the header's first position of the name.
Table join(const Table& t, const Table& other, const std::string& name);

// The sorted table.
// The exchange sort with all of its passes and no early stop.
void exchangeSort(std::vector<Row>& rows);
// Removes every row that equals the row right before it.
void removeRepeatedRows(std::vector<Row>& rows);
void normalize(Table& t);
void insertRow(Table& t, Row row);
void insertRowText(Table& t, const std::string& text);
void sortedRemoveColumn(Table& t, const std::string& name);
void sortedRemoveColumnAt(Table& t, int position);
Table sortedProjectByIndices(const Table& t, const std::vector<int>& positions);
Table sortedProjectByNames(const Table& t, const std::vector<std::string>& names);
Table sortedJoin(const Table& t, const Table& other, const std::string& name);

// Filter and set operations.
std::vector<std::string> splitCondition(const std::string& condition);
bool isOpenField(const std::string& field);
Table filter(const Table& t, const std::string& condition);
Table exclude(const Table& t, const std::string& condition);
// Empty when the column counts differ: the answer is then the table itself.
std::optional<Table> unionWith(const Table& t, const Table& other);
std::optional<Table> minus(const Table& t, const Table& other);

// The printed form: "name(c1,c2)" and one line per row.
std::string printed(const Table& t);
// The field names of every row, one line per row: "[a|b]".
std::string fieldNames(const Table& t);

}  // namespace tablog::literal

#endif  // TABLOG_TESTS_LITERAL_ORACLE_H_
