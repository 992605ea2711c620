// Projection with selection (tables/projection.h).
#include "tables/projection.h"

#include <algorithm>
#include <iterator>
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

namespace {

// The rows of all[begin, end) that match `wanted`, projected, appended to
// `out`, with names from `names` and slots from `store`.
void projectRange(const RowList& all, std::size_t begin, std::size_t end, const DataCol* wanted,
                  const std::vector<int>& kept, ProjectedNames& names, RowStore* store,
                  RowList& out) {
  for (std::size_t i = begin; i < end; ++i) {
    if (i + kPrefetchDistance < end) prefetchRow(all[i + kPrefetchDistance].get());
    const DataCol& row = *all[i];
    if (wanted != nullptr && !row.matches(*wanted)) continue;
    out.push_back(row.project(kept, names.of(row), store));
  }
}

// The rows of a large table are projected a part per thread, each part's
// rows made in a store of its own, which the table's store adopts at the
// end. A part writes only what is its own. A row is made under a copy of
// the header's list that only its part holds, and takes a holder of the
// header from a batch counted beforehand once nothing can fail, so that a
// row given up on a failure counts down its part's list only. A part stops
// at the first row that another thread could touch too (one named
// otherwise than by the header, whose names are made anew, or one whose
// kept values have texts held apart, whose copies count in a shared
// block). The rest of such a part is projected afterwards on this thread,
// so the rows come out in table order whatever stopped.
RowList projectInParts(const DataTable& table, const DataCol* wanted, const std::vector<int>& kept,
                       ProjectedNames& names, const SharedNames& header, std::size_t parts) {
  const RowList& all = table.rows();
  const std::size_t n = all.size();
  std::vector<RowList> made(parts);
  std::vector<std::size_t> stopped(parts);
  std::vector<std::unique_ptr<RowStore>> stores;
  std::vector<SharedNames> partNames;
  std::vector<SharedNames::Batch> holders;
  for (std::size_t k = 0; k < parts; ++k) {
    stores.push_back(std::make_unique<RowStore>(table.rowStore()->slotSize()));
    partNames.push_back(SharedNames::make(*header));
    holders.emplace_back(header, n * (k + 1) / parts - n * k / parts);
  }
  table.workers().run(parts, [&](std::size_t k) {
    const std::size_t end = n * (k + 1) / parts;
    std::size_t i = n * k / parts;
    made[k].reserve(end - i);
    for (; i < end; ++i) {
      if (i + kPrefetchDistance < end) prefetchRow(all[i + kPrefetchDistance].get());
      const DataCol& row = *all[i];
      if (wanted != nullptr && !row.matches(*wanted)) continue;
      if (row.sharedNames() != table.header()) break;
      if (std::any_of(kept.begin(), kept.end(),
                      [&row](int p) { return p < row.size() && row.at(p).heldApart(); })) {
        break;
      }
      std::unique_ptr<DataCol> copy = row.project(kept, partNames[k], stores[k].get());
      copy->shareNames(holders[k].take());
      made[k].push_back(std::move(copy));
    }
    stopped[k] = i;
  });
  RowList rows;
  std::size_t total = 0;
  for (const RowList& part : made) total += part.size();
  rows.reserve(total);
  for (std::size_t k = 0; k < parts; ++k) {
    projectRange(all, stopped[k], n * (k + 1) / parts, wanted, kept, names, table.rowStore().get(),
                 made[k]);
    std::move(made[k].begin(), made[k].end(), std::back_inserter(rows));
    table.rowStore()->adopt(*stores[k]);
  }
  return rows;
}

}  // namespace

DataTable* projectRows(const DataTable& table, const DataCol* wanted,
                       const std::vector<int>& positions) {
  const std::vector<int> kept = keptPositions(table, positions);
  auto result = std::make_unique<DataTable>(table.tableName(), "");
  result->shareStoreAndWorkers(table);
  SharedNames header = keptHeader(table, kept);
  ProjectedNames names(table.header(), header, kept);
  const RowList& all = table.rows();
  const std::size_t parts = table.workers().partsFor(all.size(), Workers::kLeastRows);
  RowList rows;
  if (parts > 1 && table.rowStore() != nullptr) {
    rows = projectInParts(table, wanted, kept, names, header, parts);
  } else {
    if (wanted == nullptr) rows.reserve(all.size());
    projectRange(all, 0, all.size(), wanted, kept, names, table.rowStore().get(), rows);
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
