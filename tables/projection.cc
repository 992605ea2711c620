// Projection with selection (tables/projection.h).
#include "tables/projection.h"

#include <memory>
#include <utility>

#include "tables/name_index.h"
#include "tables/names_editor.h"

namespace tablog {

namespace {

// The names of projected rows: the projected header for rows named as the
// table's header, else one new list per distinct list of names.
class ProjectedNames {
 public:
  ProjectedNames(SharedNames header, SharedNames projected, const std::vector<int>& kept)
      : header_(std::move(header)), projected_(std::move(projected)), kept_(kept) {}
  const SharedNames& of(const DataCol& row) {
    if (row.sharedNames() == header_) return projected_;
    return editor_.edited(row.sharedNames(), projected_, [this](Names& n) {
      Names out;
      for (int p : kept_) {
        if (p < static_cast<int>(n.size())) out.push_back(n[p]);
      }
      n = std::move(out);
    });
  }

 private:
  SharedNames header_, projected_;
  const std::vector<int>& kept_;
  NamesEditor editor_;
};

SharedNames keptHeader(const DataTable& table, const std::vector<int>& kept) {
  SharedNames header = SharedNames::make();
  for (int p : kept) header->push_back((*table.header())[static_cast<std::size_t>(p)]);
  return header;
}

}  // namespace

std::vector<int> positionsOfNames(const SharedNames& header,
                                  const std::vector<std::string>& names) {
  // Each position links to the next position of the same name.
  const NameIndex index(header);
  const int columns = static_cast<int>(header->size());
  std::vector<int> next(header->size(), -1), last(header->size(), -1);
  for (int p = 0; p < columns; ++p) {
    int first = index.firstOf(p);
    if (first != p) next[static_cast<std::size_t>(last[static_cast<std::size_t>(first)])] = p;
    last[static_cast<std::size_t>(first)] = p;
  }
  std::vector<int> positions;
  for (const std::string& name : names) {
    for (int p = index.find(name); p >= 0; p = next[static_cast<std::size_t>(p)]) {
      positions.push_back(p);
    }
  }
  return positions;
}

std::vector<int> keptPositions(const DataTable& table, const std::vector<int>& positions) {
  // What a copy keeps after removing, from the last position down, every
  // column whose position is not listed.
  const int columns = table.columnCount();
  std::vector<bool> keep(static_cast<std::size_t>(columns), false);
  for (int p : positions) {
    if (p >= 0 && p < columns) keep[static_cast<std::size_t>(p)] = true;
  }
  std::vector<int> kept;
  for (int p = 0; p < columns; ++p) {
    if (keep[static_cast<std::size_t>(p)]) kept.push_back(p);
  }
  return kept;
}

DataTable* projectRows(const DataTable& table, const DataCol* wanted,
                       const std::vector<int>& positions) {
  const std::vector<int> kept = keptPositions(table, positions);
  auto result = std::make_unique<DataTable>(table.tableName(), "");
  result->setRowStore(table.rowStore());
  SharedNames header = keptHeader(table, kept);
  ProjectedNames names(table.header(), header, kept);
  const RowList& all = table.rows();
  RowList rows;
  if (wanted == nullptr) rows.reserve(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + kPrefetchDistance < all.size()) prefetchRow(all[i + kPrefetchDistance].get());
    const DataCol& row = *all[i];
    if (wanted != nullptr && !row.matches(*wanted)) continue;
    rows.push_back(row.project(kept, names.of(row), table.rowStore().get()));
  }
  result->setContents(std::move(header), std::move(rows));
  return result.release();
}

void keepColumnsNamed(DataTable& table, const std::vector<std::string>& names) {
  const std::vector<int> kept = keptPositions(table, positionsOfNames(table.header(), names));
  SharedNames header = keptHeader(table, kept);
  {
    ProjectedNames rowNames(table.header(), header, kept);
    for (auto& row : table.rows()) row->keepFields(kept, rowNames.of(*row));
  }
  table.setContents(std::move(header), std::move(table.rows()));
}

}  // namespace tablog
