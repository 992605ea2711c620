// TableCatalog: the tables a script has for tablog-lint, in script order,
// each found by name as tablog finds it (eval/table_lookup.h).
#ifndef TABLOG_LINT_TABLE_CATALOG_H_
#define TABLOG_LINT_TABLE_CATALOG_H_

#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "eval/table_lookup.h"

namespace tablog {

class TableCatalog {
 public:
  struct Table {
    std::string name;
    std::vector<std::string> columns;
    int line;       // of the declaration, or of the rule whose head made it
    bool declared;  // else made by a rule's head
  };

  // Adds a table and returns its index; tables are never removed.
  int add(std::string name, std::vector<std::string> columns, int line, bool declared) {
    int index = static_cast<int>(tables_.size());
    if (declared) {
      lookup_.addDeclared(name, index);
    } else {
      lookup_.addMade(name, index);
    }
    tables_.push_back(Table{std::move(name), std::move(columns), line, declared});
    return index;
  }

  // The index of the table that `name` finds; -1 when there is none.
  int find(std::string_view name) const { return lookup_.find(name, -1); }

  // REQUIRES: 0 <= index < the number of tables added.
  const Table& at(int index) const {
    assert(index >= 0 && index < size());
    return tables_[static_cast<std::size_t>(index)];
  }
  int size() const { return static_cast<int>(tables_.size()); }

 private:
  std::vector<Table> tables_;
  TableLookup<int> lookup_;
};

}  // namespace tablog

#endif  // TABLOG_LINT_TABLE_CATALOG_H_
