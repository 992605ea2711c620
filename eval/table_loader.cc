// The rows of waiting data lines, made a part per worker.
#include "eval/table_loader.h"

#include <algorithm>

namespace tablog {

void TableLoader::makeRows() {
  constexpr std::size_t kLeastPart = 1024;  // lines: fewer are not worth a thread
  const std::size_t n = ends_.size();
  if (n == 0) return;
  const std::size_t parts = workers_.partsFor(n, kLeastPart);
  while (stores_.size() < parts) stores_.push_back(std::make_unique<RowStore>(sizeof(DataCol)));
  if (pools_.size() < parts) pools_.resize(parts);
  // Every row holds the header's list; the holders are counted here, on
  // this thread, and a part takes one for a row once the row is made. Until
  // then the row holds a copy of the list that only its part holds, so that
  // a row given up on a failure counts down that copy only.
  std::vector<SharedNames> partNames;
  std::vector<SharedNames::Batch> names;
  names.reserve(parts);
  for (std::size_t k = 0; k < parts; ++k) {
    partNames.push_back(SharedNames::make(*table_->header()));
    names.emplace_back(table_->header(), n * (k + 1) / parts - n * k / parts);
  }
  const std::size_t base = rows_.size();
  rows_.resize(base + n);
  const std::string_view lines = lines_;
  try {
    workers_.run(parts, [&](std::size_t k) {
      for (std::size_t i = n * k / parts, end = n * (k + 1) / parts; i < end; ++i) {
        const std::size_t from = i == 0 ? 0 : ends_[i - 1];
        std::unique_ptr<DataCol> row = SortedTable::rowOfText(
            lines.substr(from, ends_[i] - from), partNames[k], stores_[k].get(), &pools_[k]);
        row->shareNames(names[k].take());
        rows_[base + i] = std::move(row);
      }
    });
  } catch (...) {
    std::erase(rows_, nullptr);  // the lines without rows are lost, as the run is
    lines_.clear();
    ends_.clear();
    throw;
  }
  lines_.clear();
  ends_.clear();
}

}  // namespace tablog
