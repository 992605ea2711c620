// The tables of ScriptData. A table's rows are made from its data lines
// and put in order at once, as tablog does at the next declaration and at
// the end of the script; the rows it keeps are found again by address,
// which tells the line of each.
#include "lint/script_data.h"

#include <cassert>
#include <unordered_map>

#include "eval/script_syntax.h"
#include "rows/data_value.h"
#include "rows/fields.h"

namespace tablog {

namespace {

// Rows by their values, as DataCol::equals tells them apart.
struct RowHash {
  std::size_t operator()(const DataCol* row) const {
    std::uint64_t h = static_cast<std::uint64_t>(row->size());
    for (int i = 0; i < row->size(); ++i) h = h * 1000003u ^ row->at(i).hash();
    return static_cast<std::size_t>(h);
  }
};
struct RowEq {
  bool operator()(const DataCol* a, const DataCol* b) const { return a->equals(*b); }
};

// The first position at which two rows' values are not equal.
std::size_t firstDifference(const DataCol& a, const DataCol& b) {
  int i = 0;
  while (i < a.size() && i < b.size() && a.at(i).equals(b.at(i))) ++i;
  return static_cast<std::size_t>(i);
}

}  // namespace

ScriptData::Declared::Declared(Line line)
    : declaration(line), table("data", readNameAndColumns(line.text).columns) {}

void ScriptData::declare(int index, Line line) {
  assert(index == static_cast<int>(tables_.size()));
  (void)index;
  tables_.push_back(std::make_unique<Declared>(line));
}

const ScriptData::Line& ScriptData::declaration(int index) const {
  assert(declared(index) != nullptr);
  return declared(index)->declaration;
}

void ScriptData::addLine(int number, std::string_view text) {
  if (!tables_.empty()) tables_.back()->lines.push_back(Line{number, text});
}

void ScriptData::finish() {
  for (const auto& d : tables_) fill(*d);
}

void ScriptData::fill(Declared& d) {
  RowList rows;
  std::unordered_map<const DataCol*, int> lineOf;
  rows.reserve(d.lines.size());
  for (const Line& line : d.lines) {
    rows.push_back(d.table.rowFromText(line.text));
    lineOf.emplace(rows.back().get(), line.number);
  }
  d.table.insertRows(std::move(rows));
  // The rows kept are rows made above: the order moves them, and frees
  // only the repeats that it drops.
  for (const auto& row : d.table.rows()) d.rowLines.push_back(lineOf.at(row.get()));
  findRepeats(d);
}

void ScriptData::findRepeats(Declared& d) {
  const RowList& rows = d.table.rows();
  std::unordered_map<const DataCol*, std::size_t, RowHash, RowEq> first;
  for (std::size_t p = 0; p < rows.size(); ++p) {
    auto [it, isNew] = first.try_emplace(rows[p].get(), p);
    if (isNew) continue;
    const std::size_t q = it->second;
    const DataCol& twin = *rows[q];
    KeptRepeat repeat{d.rowLines[p], d.rowLines[q], 0, 0, {}, {}, false};
    for (std::size_t m = q + 1; m < p && repeat.between == 0; ++m) {
      const DataCol& other = *rows[m];
      if (other.equals(twin) || twin.greaterThan(other) || other.greaterThan(twin)) continue;
      repeat.between = d.rowLines[m];
      repeat.column = firstDifference(twin, other);
      twin.at(static_cast<int>(repeat.column)).appendTo(repeat.theirs);
      other.at(static_cast<int>(repeat.column)).appendTo(repeat.its);
      repeat.kinds = twin.at(static_cast<int>(repeat.column)).kind() !=
                     other.at(static_cast<int>(repeat.column)).kind();
    }
    d.repeats.push_back(repeat);
  }
}

ScriptData::Declared* ScriptData::declared(int index) const {
  if (index < 0 || index >= static_cast<int>(tables_.size())) return nullptr;
  return tables_[static_cast<std::size_t>(index)].get();
}

SortedTable* ScriptData::table(int index) const {
  Declared* d = declared(index);
  return d == nullptr ? nullptr : &d->table;
}

const std::vector<ScriptData::Line>& ScriptData::lines(int index) const {
  const Declared* d = declared(index);
  return d == nullptr ? noLines_ : d->lines;
}

const std::vector<ScriptData::KeptRepeat>& ScriptData::keptRepeats(int index) const {
  const Declared* d = declared(index);
  return d == nullptr ? noRepeats_ : d->repeats;
}

const std::vector<int>& ScriptData::rowLines(int index) const {
  const Declared* d = declared(index);
  return d == nullptr ? noRowLines_ : d->rowLines;
}

template <class Wanted>
int ScriptData::lineWithText(const Declared& d, std::string_view text, Wanted wanted) {
  const auto columns = static_cast<std::size_t>(d.table.columnCount());
  for (const Line& line : d.lines) {
    bool found = false;
    forEachField(line.text, [&](std::size_t k, std::string_view field) {
      found = found || (k < columns && wanted(k) && DataValue::parse(field).text == text);
    });
    if (found) return line.number;
  }
  return 0;
}

int ScriptData::lineWithText(std::string_view text, int index, std::size_t column) const {
  const Declared* d = declared(index);
  if (d == nullptr) return 0;
  return lineWithText(*d, text, [column](std::size_t k) { return k == column; });
}

int ScriptData::lineWithText(std::string_view text) const {
  for (const auto& d : tables_) {
    if (int line = lineWithText(*d, text, [](std::size_t) { return true; }); line > 0) return line;
  }
  return 0;
}

}  // namespace tablog
