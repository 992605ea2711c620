// DataCol: one row of a table, an ordered list of fields, each a column
// name with a value. Rows compare by position only: names never take part
// in equality, order or condition matching.
//
// The names are held in an immutable list that rows share until one of
// them changes it (copy on write), so a table of a million rows keeps one
// list of names, not a million. Values are held in a ValueList, in field
// order: up to three inside the row, more in a block of their own. The
// rows of tables are made in the slots of a RowStore (see make), where a
// row of three values takes 56 bytes and no allocation of its own.
#ifndef TABLOG_ROWS_DATA_COL_H_
#define TABLOG_ROWS_DATA_COL_H_

#include <cassert>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "rows/data_value.h"
#include "rows/row_store.h"
#include "rows/shared_names.h"
#include "rows/value_list.h"

namespace tablog {

class DataCol {
 public:
  DataCol();
  // A row with one Null field per entry of `names`, sharing that list.
  explicit DataCol(SharedNames names);
  DataCol(const DataCol& other) = default;
  DataCol& operator=(const DataCol& other) = default;
  virtual ~DataCol() = default;

  // A new row made as DataCol(args...) would be, in a slot of `store` when
  // there is one, else on the heap. Either way it is freed by delete.
  template <class... Args>
  static std::unique_ptr<DataCol> make(RowStore* store, Args&&... args) {
    if (store == nullptr) return std::make_unique<DataCol>(std::forward<Args>(args)...);
    void* slot = store->allocate();
    DataCol* row;
    try {
      row = new (slot) DataCol(InStore{store}, std::forward<Args>(args)...);
    } catch (...) {
      RowStore::release(slot);
      throw;
    }
    row->values_.setMark(true);
    return std::unique_ptr<DataCol>(row);
  }
  // A row in a store's slot goes back to its block.
  static void operator delete(DataCol* row, std::destroying_delete_t) {
    bool inStore = row->values_.marked();
    row->~DataCol();
    if (inStore) {
      RowStore::release(row);
    } else {
      ::operator delete(row);
    }
  }
  static void operator delete(void* row) { ::operator delete(row); }

  // Appends a field named `name` whose value is parsed from `literal`.
  // No check for an existing field of that name.
  void addField(std::string_view name, std::string_view literal);
  // Position of the first field named `name`, or -1.
  int indexOf(std::string_view name) const;
  // Renames the first field named `oldName`; nothing if there is none.
  void renameField(std::string_view oldName, std::string_view newName);
  // Renames field i; nothing if i is out of range.
  void setNameAt(int i, std::string_view name);
  // Re-parses the value of field i in place; nothing if i is out of range.
  void setLiteralAt(int i, std::string_view literal);
  // Gives the first field named `name` a copy of `v`; nothing if absent.
  void setValue(std::string_view name, const DataValue& v);
  // Gives field i a copy of `v`; nothing if i is out of range.
  void setValueAt(int i, const DataValue& v);
  // Removes the first field named `name`; nothing if absent.
  void removeField(std::string_view name);
  // Removes field i, later fields move down; nothing if out of range.
  void removeAt(int i);

  int size() const { return static_cast<int>(values_.size()); }

  // The value of the first field named `name`, or nullptr if absent.
  // The pointer is borrowed: it stays valid until this row gains or loses
  // a field or is destroyed.
  DataValue* valueByName(std::string_view name);
  // The value of field i, or nullptr if out of range. Borrowed, as above.
  DataValue* valueAt(int i);
  // REQUIRES: 0 <= i < size().
  const DataValue& at(int i) const {
    assert(i >= 0 && i < size());
    return values_[static_cast<std::size_t>(i)];
  }
  // A copy of the text of the named field ("" if absent).
  std::string textByName(std::string_view name) const;
  // A copy of the text of field i ("" if out of range).
  std::string textAt(int i) const;
  const std::string& nameAt(int i) const { return (*names_)[i]; }

  // Same number of fields and pairwise equal values.
  bool equals(const DataCol& other) const;
  // True when this row comes after `other`: the first position whose values
  // are not equal decides, and only if they are ordered.
  bool greaterThan(const DataCol& other) const;
  // Same number of fields, and every value matches the condition value at
  // its position.
  bool matches(const DataCol& conditions) const;

  // Table-wide edits: change the fields and take `names`, the list this
  // row's names become, in one step.
  // REQUIRES: `names` has size() + 1 entries.
  void appendField(SharedNames names, const DataValue& v);
  // REQUIRES: 0 <= i < size(); `names` has size() - 1 entries.
  void removeFieldAt(int i, SharedNames names);
  // A new row of the fields at `positions` (increasing; positions out of
  // range are skipped) named by `names`, which has one entry per kept field.
  // The row is made in `store` when there is one.
  std::unique_ptr<DataCol> project(const std::vector<int>& positions, SharedNames names,
                                   RowStore* store = nullptr) const;
  // What project gives, made of this row: the kept values move.
  // REQUIRES: `names` has one entry per kept field.
  void keepFields(const std::vector<int>& positions, SharedNames names);

  // The shared list of names. Tables use these to give many rows one new
  // list instead of each row its own copy.
  const SharedNames& sharedNames() const { return names_; }
  // REQUIRES: `names` has exactly size() entries.
  void shareNames(SharedNames names) {
    assert(names->size() == values_.size());
    names_ = std::move(names);
  }

  // Appends the printed form: the values joined by commas.
  void appendTo(std::string& out) const;
  std::size_t printedSize() const;
  // Writes the printed form at `out`; returns the end of what it wrote.
  // REQUIRES: printedSize() bytes of room.
  char* printTo(char* out) const;

 private:
  // The constructors that make uses: a block the values need comes from
  // the store too.
  struct InStore {
    RowStore* store;
  };
  DataCol(InStore in, SharedNames names)
      : names_(std::move(names)), values_(names_->size(), in.store) {}
  DataCol(InStore in, const DataCol& other)
      : names_(other.names_), values_(other.values_, in.store) {}

  // A private copy of the names, made before the first change.
  Names& ownNames();
  // The store of this row's slot, which its value block comes from too;
  // nullptr for a row on the heap or whose store is gone.
  RowStore* store() const { return values_.marked() ? RowStore::ownerOf(this) : nullptr; }

  SharedNames names_;
  ValueList values_;
};

// Asks the processor to fetch `row` ahead of its use. Walks over many rows
// that lie scattered in memory call it a few rows ahead.
inline void prefetchRow(const DataCol* row) {
  __builtin_prefetch(row);
  __builtin_prefetch(reinterpret_cast<const char*>(row) + 64);  // a row spans two lines
}
constexpr std::size_t kPrefetchDistance = 8;

// Writes the printed form of `row`: 'abc',12,NULL and nothing more.
std::ostream& operator<<(std::ostream& out, const DataCol& row);

}  // namespace tablog

#endif  // TABLOG_ROWS_DATA_COL_H_
