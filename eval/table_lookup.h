// TableLookup: which table a name finds in a script, for the evaluator and
// for tablog-lint alike. Declarations are all read before any rule runs,
// so a name finds the first declared table of that name, else the first
// table that a rule head made of that name. Names match whole and byte for
// byte.
#ifndef TABLOG_EVAL_TABLE_LOOKUP_H_
#define TABLOG_EVAL_TABLE_LOOKUP_H_

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tablog {

template <class Table>
class TableLookup {
 public:
  // Notes a table of `name`; an earlier one of the same name and origin
  // keeps the name.
  void addDeclared(std::string_view name, Table table) { note(declared_, name, table); }
  void addMade(std::string_view name, Table table) { note(made_, name, table); }

  // The table `name` finds, else `none`.
  Table find(std::string_view name, Table none) const {
    for (const Map* byName : {&declared_, &made_}) {
      auto it = byName->find(name);
      if (it != byName->end()) return it->second;
    }
    return none;
  }

 private:
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>()(name);
    }
  };
  using Map = std::unordered_map<std::string, Table, NameHash, std::equal_to<>>;

  // A key is made from the view only when the name is new.
  static void note(Map& byName, std::string_view name, Table table) {
    if (byName.find(name) == byName.end()) byName.emplace(std::string(name), table);
  }

  Map declared_;  // the first declared table of each name
  Map made_;      // the first table a rule head made of each name
};

}  // namespace tablog

#endif  // TABLOG_EVAL_TABLE_LOOKUP_H_
