// The literal algorithms, written as the defined algorithms read: every
// insertion re-sorts the whole table with the exchange sort, the join is a
// triple nested loop, the filter removes rows from a working copy and then
// projects it. Speed is no concern here; obviousness is.
#include "tests/literal_oracle.h"

#include <cstddef>

namespace tablog::literal {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& s) {
  for (const std::string& entry : list) {
    if (entry == s) return true;
  }
  return false;
}

bool containsPosition(const std::vector<int>& list, int p) {
  for (int entry : list) {
    if (entry == p) return true;
  }
  return false;
}

// Byte-wise order of two texts, bytes taken as unsigned: <0, 0 or >0.
int compareBytes(const std::string& a, const std::string& b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string printedValue(const DataValue& v) {
  std::string out;
  switch (v.kind()) {
    case Quoted:
      out += '\'';
      out += v.text();
      out += '\'';
      break;
    case Plain:
      out += v.text();
      break;
    case Null:
      out += "NULL";
      break;
  }
  return out;
}

}  // namespace

int Row::indexOf(const std::string& name) const {
  for (int i = 0; i < size(); ++i) {
    if (names[i] == name) return i;
  }
  return -1;
}

void Row::addField(const std::string& name, const std::string& literal) {
  names.push_back(name);
  values.push_back(DataValue(literal));
}

void Row::setLiteralAt(int i, const std::string& literal) {
  if (i >= 0 && i < size()) values[i] = DataValue(literal);
}

void Row::setValue(const std::string& name, const DataValue& v) { values[indexOf(name)] = v; }

void Row::setValueAt(int i, const DataValue& v) { values[i] = v; }

const DataValue& Row::valueByName(const std::string& name) const { return values[indexOf(name)]; }

void Row::removeAt(int i) {
  if (i < 0 || i >= size()) return;
  names.erase(names.begin() + i);
  values.erase(values.begin() + i);
}

void Row::removeField(const std::string& name) { removeAt(indexOf(name)); }

bool Row::equals(const Row& other) const {
  if (size() != other.size()) return false;
  for (int i = 0; i < size(); ++i) {
    if (!values[i].equals(other.values[i])) return false;
  }
  return true;
}

bool Row::greaterThan(const Row& other) const {
  for (int i = 0; i < size() && i < other.size(); ++i) {
    if (values[i].greaterThan(other.values[i])) return true;
    if (values[i].equals(other.values[i])) continue;
    return false;
  }
  return false;
}

bool Row::matches(const Row& conditions) const {
  if (size() != conditions.size()) return false;
  for (int i = 0; i < size(); ++i) {
    if (!values[i].matches(conditions.values[i])) return false;
  }
  return true;
}

Table makeTable(const std::string& name, const std::string& columnList) {
  Table t;
  t.name = name;
  std::string current;
  for (char c : columnList) {
    if (c == ',') {
      addColumn(t, current, "");
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) addColumn(t, current, "");
  return t;
}

void addColumn(Table& t, const std::string& name, const std::string& literal) {
  t.columns.push_back(name);
  for (Row& row : t.rows) row.addField(name, literal);
}

void assign(Table& target, const Table& source) {
  if (&target == &source) return;
  target.columns = source.columns;
  target.rows = source.rows;
}

Row newRow(const Table& t) {
  Row row;
  for (const std::string& column : t.columns) row.addField(column, "");
  return row;
}

Row& appendRow(Table& t) {
  t.rows.push_back(newRow(t));
  return t.rows.back();
}

void removeEqualRows(Table& t, const Row& row) {
  const Row key = row;  // `row` may be one of the rows that go
  std::size_t i = 0;
  while (i < t.rows.size()) {
    if (t.rows[i].equals(key)) {
      t.rows.erase(t.rows.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void removeColumn(Table& t, const std::string& name) {
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i] == name) {
      t.columns.erase(t.columns.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  for (Row& row : t.rows) row.removeField(name);
}

void renameColumn(Table& t, const std::string& oldName, const std::string& newName) {
  for (std::string& column : t.columns) {
    if (column == oldName) column = newName;
  }
  for (Row& row : t.rows) {
    int i = row.indexOf(oldName);
    if (i >= 0) row.names[static_cast<std::size_t>(i)] = newName;
  }
}

void renameColumnAt(Table& t, unsigned position, const std::string& newName) {
  if (position < t.columns.size()) {
    const std::string oldName = t.columns[position];  // the entry itself changes
    renameColumn(t, oldName, newName);
  }
}

void removeColumnAt(Table& t, int position) {
  if (position >= 0 && position < static_cast<int>(t.columns.size())) {
    t.columns.erase(t.columns.begin() + position);
  }
  for (Row& row : t.rows) row.removeAt(position);
}

Table projectByIndices(const Table& t, const std::vector<int>& positions) {
  Table result = t;
  for (int p = static_cast<int>(t.columns.size()) - 1; p >= 0; --p) {
    if (!containsPosition(positions, p)) removeColumnAt(result, p);
  }
  return result;
}

namespace {

std::vector<int> positionsOfNames(const Table& t, const std::vector<std::string>& names) {
  std::vector<int> positions;
  for (const std::string& name : names) {
    for (int p = 0; p < static_cast<int>(t.columns.size()); ++p) {
      if (t.columns[p] == name) positions.push_back(p);
    }
  }
  return positions;
}

}  // namespace

Table projectByNames(const Table& t, const std::vector<std::string>& names) {
  return projectByIndices(t, positionsOfNames(t, names));
}

namespace {

// The value the join reads for the column `name` of row `r` of a table
// with the header `columns`: the row's first field of that name. A row
// whose names drifted from a header with repeated names (renaming such a
// name renames every header entry but only each row's first field) may
// lack the name; it reads the field at the header's first position of the
// name instead, if it has one, else a Null value.
DataValue joinField(const Row& r, const std::vector<std::string>& columns,
                    const std::string& name) {
  int i = r.indexOf(name);
  if (i >= 0) return r.values[static_cast<std::size_t>(i)];
  for (std::size_t p = 0; p < columns.size(); ++p) {
    if (columns[p] != name) continue;
    if (static_cast<int>(p) < r.size()) return r.values[p];
    break;
  }
  return DataValue("");
}

}  // namespace

Table join(const Table& t, const Table& otherTable, const std::string& name) {
  const Table other = otherTable;  // the two walks stay apart in a self-join
  Table result = makeTable(name, "");
  std::vector<std::string> common, own, otherOwn;
  for (const std::string& c : t.columns) {
    if (contains(other.columns, c)) {
      common.push_back(c);
    } else {
      own.push_back(c);
    }
    addColumn(result, c, "");
  }
  for (const std::string& c : other.columns) {
    if (contains(common, c)) continue;
    otherOwn.push_back(c);
    addColumn(result, c, "");
  }
  for (const Row& r : t.rows) {
    for (const Row& s : other.rows) {
      for (const std::string& c : common) {
        if (!joinField(r, t.columns, c).equals(joinField(s, other.columns, c))) continue;
        Row& added = appendRow(result);
        for (const std::string& x : own) added.setValue(x, joinField(r, t.columns, x));
        for (const std::string& x : common) added.setValue(x, joinField(r, t.columns, x));
        for (const std::string& x : otherOwn) added.setValue(x, joinField(s, other.columns, x));
      }
    }
  }
  return result;
}

void exchangeSort(std::vector<Row>& rows) {
  const int n = static_cast<int>(rows.size());
  for (int p = 0; p < n; ++p) {
    const int last = p <= 1 ? n - 2 : n - 1 - p;
    for (int k = 0; k <= last; ++k) {
      if (rows[k].greaterThan(rows[k + 1])) std::swap(rows[k], rows[k + 1]);
    }
  }
}

void removeRepeatedRows(std::vector<Row>& rows) {
  std::size_t i = 1;
  while (i < rows.size()) {
    if (rows[i].equals(rows[i - 1])) {
      rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void normalize(Table& t) {
  exchangeSort(t.rows);
  removeRepeatedRows(t.rows);
}

void insertRow(Table& t, Row row) {
  t.rows.push_back(std::move(row));
  normalize(t);
}

void insertRowText(Table& t, const std::string& text) {
  Row row = newRow(t);
  std::string current;
  int k = 0;
  bool inside = false;
  for (char c : text) {
    if (c == '\'') inside = !inside;
    if (c == ',' && !inside) {
      row.setLiteralAt(k, current);  // surplus fields have no place
      ++k;
      current.clear();
    } else {
      current += c;
    }
  }
  row.setLiteralAt(k, current);
  insertRow(t, std::move(row));
}

void sortedRemoveColumn(Table& t, const std::string& name) {
  removeColumn(t, name);
  normalize(t);
}

void sortedRemoveColumnAt(Table& t, int position) {
  removeColumnAt(t, position);
  normalize(t);
}

Table sortedProjectByIndices(const Table& t, const std::vector<int>& positions) {
  Table result = t;
  Table base = projectByIndices(t, positions);
  assign(result, base);
  normalize(result);
  return result;
}

Table sortedProjectByNames(const Table& t, const std::vector<std::string>& names) {
  Table result = t;
  // The base projection calls projectByIndices through the virtual
  // interface, which reaches the sorted override.
  Table base = sortedProjectByIndices(t, positionsOfNames(t, names));
  assign(result, base);
  normalize(result);
  return result;
}

Table sortedJoin(const Table& t, const Table& other, const std::string& name) {
  Table result = makeTable(name, "");
  Table base = join(t, other, name);
  assign(result, base);
  normalize(result);
  return result;
}

std::vector<std::string> splitCondition(const std::string& condition) {
  std::vector<std::string> parts;
  std::string current;
  bool inside = false;
  for (char c : condition) {
    if (c == ',' && !inside) {
      parts.push_back(current);
      current.clear();
      continue;
    }
    current += c;
    if (c == '\'') inside = !inside;
  }
  parts.push_back(current);
  return parts;
}

bool isOpenField(const std::string& field) {
  if (compareBytes(field, "A") >= 0 && compareBytes(field, "Z") <= 0) return true;
  return !field.empty() && (field[0] == '<' || field[0] == '>');
}

namespace {

// Steps 2 to 4 of the filter: the condition row of `t` for `condition`.
Row conditionRowOf(const Table& t, const std::string& condition) {
  Table conditions = makeTable("szuro", "");
  for (const std::string& c : t.columns) addColumn(conditions, c, "");
  insertRowText(conditions, condition);
  return conditions.rows.front();
}

}  // namespace

Table filter(const Table& t, const std::string& condition) {
  std::vector<std::string> parts = splitCondition(condition);
  Table work = t;
  Row conditionRow = conditionRowOf(t, condition);
  for (const Row& r : t.rows) {
    if (!r.matches(conditionRow)) removeEqualRows(work, r);
  }
  std::vector<int> open;
  for (int k = 0; k < static_cast<int>(parts.size()); ++k) {
    if (isOpenField(parts[k])) open.push_back(k);
  }
  return sortedProjectByIndices(work, open);
}

Table exclude(const Table& t, const std::string& condition) {
  Table work = t;
  Row conditionRow = conditionRowOf(t, condition);
  for (const Row& r : t.rows) {
    if (r.matches(conditionRow)) removeEqualRows(work, r);
  }
  return work;
}

std::optional<Table> unionWith(const Table& t, const Table& other) {
  if (other.columns.size() != t.columns.size()) return std::nullopt;
  Table result = t;
  for (const Row& o : other.rows) {
    Row row = newRow(t);
    for (int k = 0; k < o.size(); ++k) row.setValueAt(k, o.values[k]);
    insertRow(result, std::move(row));
  }
  normalize(result);
  return result;
}

std::optional<Table> minus(const Table& t, const Table& other) {
  if (other.columns.size() != t.columns.size()) return std::nullopt;
  Table result = t;
  for (const Row& o : other.rows) removeEqualRows(result, o);
  return result;
}

std::string printed(const Table& t) {
  std::string out = t.name + "(";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) out += ",";
    out += t.columns[i];
  }
  out += ")\n";
  for (const Row& row : t.rows) {
    for (int i = 0; i < row.size(); ++i) {
      if (i > 0) out += ",";
      out += printedValue(row.values[i]);
    }
    out += "\n";
  }
  return out;
}

std::string fieldNames(const Table& t) {
  std::string out;
  for (const Row& row : t.rows) {
    out += "[";
    for (int i = 0; i < row.size(); ++i) {
      if (i > 0) out += "|";
      out += row.names[i];
    }
    out += "]\n";
  }
  return out;
}

}  // namespace tablog::literal
