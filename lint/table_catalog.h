// TableCatalog: the tables a script has for tablog-lint, by name, as
// tablog finds them. Declarations come first (tablog reads every line
// before it runs a rule), then the tables that rule heads make, in script
// order. A name finds the first declared table of that name, else the
// first table a rule made of that name.
#ifndef TABLOG_LINT_TABLE_CATALOG_H_
#define TABLOG_LINT_TABLE_CATALOG_H_

#include <cassert>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
    (declared ? declared_ : made_).try_emplace(name, index);
    tables_.push_back(Table{std::move(name), std::move(columns), line, declared});
    return index;
  }

  // The index of the table that `name` finds; -1 when there is none.
  int find(std::string_view name) const {
    std::string key(name);
    auto it = declared_.find(key);
    if (it != declared_.end()) return it->second;
    it = made_.find(key);
    return it != made_.end() ? it->second : -1;
  }

  // REQUIRES: 0 <= index < the number of tables added.
  const Table& at(int index) const {
    assert(index >= 0 && index < size());
    return tables_[static_cast<std::size_t>(index)];
  }
  int size() const { return static_cast<int>(tables_.size()); }

 private:
  std::vector<Table> tables_;
  std::unordered_map<std::string, int> declared_, made_;
};

}  // namespace tablog

#endif  // TABLOG_LINT_TABLE_CATALOG_H_
