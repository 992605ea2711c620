// Construction, copying, the row cursor, column and row editing, the
// projections of plain tables, and their printed form. The join is in
// tables/join.cc.
//
// Rows normally share the header's list of names. Every operation that
// changes names gives each distinct old list one new list, so a table of
// many rows keeps as few lists as it had before. The one exception is the
// join made in place, which grows a list that only its table and rows hold.
#include "tables/data_table.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>

#include "rows/fields.h"
#include "tables/names_editor.h"
#include "tables/projection.h"
#include "tables/row_order.h"

namespace tablog {

namespace {

int firstIndex(const Names& names, std::string_view name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

}  // namespace

DataTable::DataTable(std::string name, std::string_view columnList)
    : name_(std::move(name)), columns_(SharedNames::make()) {
  // Every comma ends a name; an empty last name is none.
  forEachField(columnList, Quotes::kIgnored,
               [this, &columnList](std::size_t, std::string_view name, std::size_t offset) {
                 if (!name.empty() || offset + name.size() < columnList.size()) {
                   columns_->emplace_back(name);
                 }
               });
}

DataTable::DataTable(const DataTable& source)
    : name_(source.name_),
      columns_(source.columns_),
      store_(source.store_),
      workers_(source.workers_) {
  const RowList& from = source.rows();
  rows_.reserve(from.size());
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i + kPrefetchDistance < from.size()) prefetchRow(from[i + kPrefetchDistance].get());
    rows_.push_back(DataCol::make(store_.get(), *from[i]));
  }
}

DataTable& DataTable::operator=(const DataTable& source) {
  if (&source == this) return *this;
  const RowList& from = source.rows();
  RowList copy;
  copy.reserve(from.size());
  RowStore* store = store_ != nullptr ? store_.get() : source.store_.get();
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i + kPrefetchDistance < from.size()) prefetchRow(from[i + kPrefetchDistance].get());
    copy.push_back(DataCol::make(store, *from[i]));
  }
  columns_ = source.columns_;
  rows_ = std::move(copy);
  cursor_ = 0;
  return *this;
}

DataTable::~DataTable() {
  // Rows sorted by content lie scattered in memory; freeing them in
  // address order is several times faster for large tables.
  if (rows_.size() >= 4096) freeInAddressOrder(rows_);
}

void DataTable::assignTaking(DataTable& source) {
  if (&source == this) return;
  RowList& from = source.rows();
  columns_ = source.columns_;
  rows_ = std::move(from);
  from.clear();
  cursor_ = 0;
}

Names& DataTable::ownHeader() {
  if (columns_.use_count() != 1) columns_ = SharedNames::make(*columns_);
  return *columns_;
}

std::size_t DataTable::rowCount() const { return rows().size(); }

bool DataTable::rowsNamedAsColumns() const {
  return std::all_of(rows().begin(), rows().end(), [this](const auto& row) {
    return row->sharedNames() == columns_ || *row->sharedNames() == *columns_;
  });
}

DataCol* DataTable::firstRow() {
  cursor_ = 0;
  RowList& all = rows();
  return all.empty() ? nullptr : all[0].get();
}

DataCol* DataTable::nextRow() {
  RowList& all = rows();
  if (cursor_ < all.size()) ++cursor_;
  return cursor_ < all.size() ? all[cursor_].get() : nullptr;
}

bool DataTable::atEnd() const { return cursor_ >= rows().size(); }

void DataTable::addColumn(std::string_view name, std::string_view literal) {
  RowList& all = rows();
  ownHeader().emplace_back(name);
  NamesEditor editor;
  DataValue value(literal);
  for (auto& row : all) {
    const SharedNames& names =
        row->sharedNames() == columns_
            ? columns_
            : editor.edited(row->sharedNames(), columns_, [&](Names& n) { n.emplace_back(name); });
    row->appendField(names, value);
  }
}

void DataTable::removeColumn(const std::string& name) {
  RowList& all = rows();
  int h = firstIndex(*columns_, name);
  SharedNames oldHeader = columns_;
  if (h >= 0) ownHeader().erase(columns_->begin() + h);
  NamesEditor editor;
  for (auto& row : all) {
    int i = row->indexOf(name);
    if (i < 0) continue;
    const SharedNames& names = row->sharedNames() == oldHeader && i == h
                                   ? columns_
                                   : editor.edited(row->sharedNames(), columns_,
                                                   [&](Names& n) { n.erase(n.begin() + i); });
    row->removeFieldAt(i, names);
  }
}

void DataTable::removeColumnAt(int position) {
  RowList& all = rows();
  if (position < 0) return;
  SharedNames oldHeader = columns_;
  bool inHeader = position < columnCount();
  if (inHeader) ownHeader().erase(columns_->begin() + position);
  NamesEditor editor;
  for (auto& row : all) {
    if (position >= row->size()) continue;
    const SharedNames& names = row->sharedNames() == oldHeader && inHeader
                                   ? columns_
                                   : editor.edited(row->sharedNames(), columns_, [&](Names& n) {
                                       n.erase(n.begin() + position);
                                     });
    row->removeFieldAt(position, names);
  }
}

void DataTable::renameColumn(std::string oldName, std::string newName) {
  // Taken by value: the caller may pass an entry of the header itself.
  RowList& all = rows();
  if (oldName == newName) return;
  if (firstIndex(*columns_, oldName) >= 0) {
    for (std::string& entry : ownHeader()) {
      if (entry == oldName) entry = newName;
    }
  }
  NamesEditor editor;
  for (auto& row : all) {
    int i = row->indexOf(oldName);
    if (i >= 0) {
      row->shareNames(
          editor.edited(row->sharedNames(), columns_, [&](Names& n) { n[i] = newName; }));
    }
  }
}

void DataTable::renameColumnAt(unsigned position, const std::string& newName) {
  if (position < columns_->size()) renameColumn((*columns_)[position], newName);
}

DataCol* DataTable::appendRow() {
  RowList& all = rows();
  all.push_back(DataCol::make(store_.get(), columns_));
  return all.back().get();
}

void DataTable::removeEqualRows(const DataCol* row) {
  if (row == nullptr) return;
  // `row` may be this table's own: copied before it is removed itself.
  DataCol key(*row);
  RowList& all = rows();
  std::erase_if(all, [&](const std::unique_ptr<DataCol>& r) { return r->equals(key); });
  cursor_ = 0;
}

DataTable* DataTable::projectByNames(const std::vector<std::string>& names) {
  return projectByIndices(positionsOfNames(columns_, names));
}

DataTable* DataTable::projectByIndices(const std::vector<int>& positions) {
  return projectRows(*this, nullptr, positions);
}

void DataTable::relabel(DataTable& table, SharedNames columns, SharedNames names) {
  assert(columns->size() == table.header()->size() && names->size() == columns->size());
  for (auto& row : table.rows()) row->shareNames(names);
  table.columns_ = std::move(columns);
}

void DataTable::setContents(SharedNames header, RowList rows) {
  columns_ = std::move(header);
  rows_ = std::move(rows);
  cursor_ = 0;
}

DataTable* DataTable::filter(const std::string&) { return this; }

namespace {

// The printed rows of a part of a table, each ended by a line feed, in a
// block that grows as it fills.
class PrintedRows {
 public:
  // Prints rows[begin, end) in place of what the block held.
  void print(const RowList& rows, std::size_t begin, std::size_t end) {
    used_ = 0;
    for (std::size_t i = begin; i < end; ++i) {
      if (i + kPrefetchDistance < end) prefetchRow(rows[i + kPrefetchDistance].get());
      const DataCol& row = *rows[i];
      char* at = room(row.printedSize() + 1);
      at = row.printTo(at);
      *at = '\n';
      used_ = static_cast<std::size_t>(at + 1 - block_.get());
    }
  }
  void writeTo(std::ostream& out) const {
    out.write(block_.get(), static_cast<std::streamsize>(used_));
  }

 private:
  char* room(std::size_t size) {
    if (used_ + size > capacity_) {
      const std::size_t capacity = std::max(2 * capacity_, used_ + size);
      std::unique_ptr<char[]> grown(new char[capacity]);
      if (used_ > 0) std::memcpy(grown.get(), block_.get(), used_);
      block_ = std::move(grown);
      capacity_ = capacity;
    }
    return block_.get() + used_;
  }
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// Prints `rows` straight into a block of memory, which goes out whenever
// the next row would not fit, after what `buffer` holds.
void writeRows(std::ostream& out, std::string& buffer, const RowList& all) {
  constexpr std::size_t kChunk = 1 << 16;
  std::unique_ptr<char[]> block(new char[kChunk]);
  std::size_t used = 0;
  auto flush = [&] {
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    buffer.clear();
    out.write(block.get(), static_cast<std::streamsize>(used));
    used = 0;
  };
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + kPrefetchDistance < all.size()) prefetchRow(all[i + kPrefetchDistance].get());
    const DataCol* row = all[i].get();
    std::size_t size = row->printedSize() + 1;
    if (used + size > kChunk) flush();
    if (size > kChunk) {
      row->appendTo(buffer);
      buffer += '\n';
      continue;
    }
    char* end = row->printTo(block.get() + used);
    *end = '\n';
    used += size;
  }
  flush();
}

// writeRows with the rows printed by `workers`: a round gives each part
// kPartRows rows, and the parts go out in order when the round has ended.
void writeRows(std::ostream& out, std::string& buffer, const RowList& all, const Workers& workers) {
  constexpr std::size_t kPartRows = 1 << 14;
  const std::size_t parts = workers.partsFor(all.size(), kPartRows);
  if (parts == 1) return writeRows(out, buffer, all);
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  buffer.clear();
  std::vector<PrintedRows> printed(parts);
  for (std::size_t begin = 0; begin < all.size(); begin += parts * kPartRows) {
    workers.run(parts, [&](std::size_t k) {
      const std::size_t from = std::min(all.size(), begin + k * kPartRows);
      printed[k].print(all, from, std::min(all.size(), from + kPartRows));
    });
    for (const PrintedRows& p : printed) p.writeTo(out);
  }
}

}  // namespace

void DataTable::writeTo(std::ostream& out, std::string& buffer) const {
  buffer += name_;
  buffer += '(';
  for (std::size_t i = 0; i < columns_->size(); ++i) {
    if (i > 0) buffer += ',';
    buffer += (*columns_)[i];
  }
  buffer += ")\n";
  writeRows(out, buffer, rows(), workers_);
}

std::ostream& operator<<(std::ostream& out, const DataTable& table) {
  std::string buffer;
  table.writeTo(out, buffer);
  return out;
}

}  // namespace tablog
