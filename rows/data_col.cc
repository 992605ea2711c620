// Field editing, relations and the printed form of a row.
#include "rows/data_col.h"

#include <algorithm>
#include <cassert>

namespace tablog {

DataCol::DataCol() : names_(SharedNames::make()) {}

DataCol::DataCol(SharedNames names) : names_(std::move(names)), values_(names_->size()) {}

Names& DataCol::ownNames() {
  if (names_.use_count() != 1) names_ = SharedNames::make(*names_);
  return *names_;
}

void DataCol::addField(std::string_view name, std::string_view literal) {
  ownNames().emplace_back(name);
  values_.emplace_back(literal, store());
}

int DataCol::indexOf(std::string_view name) const {
  const Names& names = *names_;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

void DataCol::renameField(std::string_view oldName, std::string_view newName) {
  setNameAt(indexOf(oldName), newName);
}

void DataCol::setNameAt(int i, std::string_view name) {
  if (i < 0 || i >= size() || (*names_)[i] == name) return;
  ownNames()[i] = name;
}

void DataCol::setLiteralAt(int i, std::string_view literal) {
  if (i >= 0 && i < size()) values_[i].setLiteral(literal);
}

void DataCol::setValue(std::string_view name, const DataValue& v) { setValueAt(indexOf(name), v); }

void DataCol::setValueAt(int i, const DataValue& v) {
  if (i >= 0 && i < size()) values_[i] = v;
}

void DataCol::removeField(std::string_view name) { removeAt(indexOf(name)); }

void DataCol::removeAt(int i) {
  if (i < 0 || i >= size()) return;
  Names& names = ownNames();
  names.erase(names.begin() + i);
  values_.erase(static_cast<std::size_t>(i));
}

void DataCol::appendField(SharedNames names, const DataValue& v) {
  assert(names->size() == values_.size() + 1);
  names_ = std::move(names);
  values_.push_back(v, store());
}

void DataCol::removeFieldAt(int i, SharedNames names) {
  assert(i >= 0 && i < size() && names->size() + 1 == values_.size());
  names_ = std::move(names);
  values_.erase(static_cast<std::size_t>(i));
}

void DataCol::keepFields(const std::vector<int>& positions, SharedNames names) {
  values_.keep(positions);
  assert(names->size() == values_.size());
  names_ = std::move(names);
}

std::unique_ptr<DataCol> DataCol::project(const std::vector<int>& positions, SharedNames names,
                                          RowStore* store) const {
  auto row = make(store, std::move(names));
  std::size_t j = 0;
  for (int p : positions) {
    if (p >= 0 && p < size() && j < row->values_.size()) row->values_[j++] = values_[p];
  }
  return row;
}

DataValue* DataCol::valueByName(std::string_view name) { return valueAt(indexOf(name)); }

DataValue* DataCol::valueAt(int i) { return i >= 0 && i < size() ? &values_[i] : nullptr; }

std::string DataCol::textByName(std::string_view name) const { return textAt(indexOf(name)); }

std::string DataCol::textAt(int i) const {
  return i >= 0 && i < size() ? std::string(values_[i].text()) : std::string();
}

bool DataCol::equals(const DataCol& other) const {
  if (values_.size() != other.values_.size()) return false;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (!values_[i].equals(other.values_[i])) return false;
  }
  return true;
}

bool DataCol::greaterThan(const DataCol& other) const {
  std::size_t n = std::min(values_.size(), other.values_.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (values_[i].greaterThan(other.values_[i])) return true;
    if (!values_[i].equals(other.values_[i])) return false;
  }
  return false;
}

bool DataCol::matches(const DataCol& conditions) const {
  if (values_.size() != conditions.values_.size()) return false;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (!values_[i].matches(conditions.values_[i])) return false;
  }
  return true;
}

void DataCol::appendTo(std::string& out) const {
  std::size_t at = out.size();
  out.resize(at + printedSize());
  printTo(out.data() + at);
}

std::size_t DataCol::printedSize() const {
  std::size_t size = values_.size() > 0 ? values_.size() - 1 : 0;  // the commas
  for (std::size_t i = 0; i < values_.size(); ++i) size += values_[i].printedSize();
  return size;
}

char* DataCol::printTo(char* out) const {
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (i > 0) *out++ = ',';
    out = values_[i].printTo(out);
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const DataCol& row) {
  std::string text;
  row.appendTo(text);
  return out << text;
}

}  // namespace tablog
