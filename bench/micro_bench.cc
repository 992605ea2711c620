// Microbenchmarks of the table operations that script loading and rule
// evaluation spend their time in: normalising a shuffled table, inserting
// rows from text, joining and filtering. Rows look like those of the
// end-to-end workloads (bench/gen.py): Emp(Name,Dept,Salary) with quoted
// unique names, 1,000 quoted departments and plain six-digit salaries.
// Last, the body of a rule of many atoms over small tables.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "eval/evaluate_graph.h"
#include "tables/data_table.h"
#include "tables/sorted_table.h"

namespace tablog {
namespace {

constexpr int kDepts = 1000;

// The literals of `n` Emp rows in shuffled order, with 5% repeats.
std::vector<std::vector<std::string>> empLiterals(int n) {
  std::mt19937 rng(42);
  std::vector<std::vector<std::string>> rows;
  char buf[32];
  for (int i = 0; i < n; ++i) {
    std::vector<std::string> row;
    std::snprintf(buf, sizeof buf, "'n%07d'", i);
    row.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "'d%04d'", static_cast<int>(rng() % kDepts));
    row.emplace_back(buf);
    row.push_back(std::to_string(100000 + rng() % 900000));
    rows.push_back(std::move(row));
  }
  for (int i = 0; i < n / 20; ++i) rows.push_back(rows[rng() % n]);
  std::shuffle(rows.begin(), rows.end(), rng);
  return rows;
}

// Rows of unquoted words, which all read as 0 and so do not order.
std::vector<std::vector<std::string>> wordLiterals(int n) {
  std::mt19937 rng(7);
  std::vector<std::vector<std::string>> rows;
  char word[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(word, sizeof word, "w%04d", static_cast<int>(rng() % 5000));
    rows.push_back({word, std::to_string(rng() % 1000)});
  }
  return rows;
}

std::unique_ptr<DataTable> plainTable(const std::vector<std::vector<std::string>>& rows,
                                      std::string_view columns) {
  auto table = std::make_unique<DataTable>("T", columns);
  for (const auto& literals : rows) {
    DataCol* row = table->appendRow();
    for (int i = 0; i < static_cast<int>(literals.size()); ++i) row->setLiteralAt(i, literals[i]);
  }
  return table;
}

std::unique_ptr<SortedTable> sortedTable(std::string name, std::string_view columns,
                                         const std::vector<std::vector<std::string>>& rows) {
  auto table = std::make_unique<SortedTable>(std::move(name), columns);
  for (const auto& literals : rows) {
    std::string text;
    for (const auto& l : literals) {
      if (!text.empty()) text += ',';
      text += l;
    }
    SortedTable::insertRowText(text, table.get());
  }
  table->firstRow();  // puts pending rows in place
  return table;
}

std::unique_ptr<SortedTable> bossTable() {
  std::vector<std::vector<std::string>> rows;
  char dept[16], head[16];
  for (int d = 0; d < kDepts; ++d) {
    std::snprintf(dept, sizeof dept, "'d%04d'", d);
    std::snprintf(head, sizeof head, "'h%04d'", (d * 7919) % kDepts);
    rows.push_back({dept, head});
  }
  return sortedTable("Boss", "Dept,Head", rows);
}

void normalizeBench(benchmark::State& state, const std::vector<std::vector<std::string>>& rows,
                    std::string_view columns) {
  std::unique_ptr<DataTable> source = plainTable(rows, columns);
  for (auto _ : state) {
    state.PauseTiming();
    DataTable table(*source);
    state.ResumeTiming();
    SortedTable::normalize(table);
    benchmark::DoNotOptimize(table.rowCount());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}

void BM_Normalize(benchmark::State& state) {
  normalizeBench(state, empLiterals(static_cast<int>(state.range(0))), "Name,Dept,Salary");
}
BENCHMARK(BM_Normalize)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

// Rows without a clean order, the case the fast path does not cover.
void BM_NormalizeUnordered(benchmark::State& state) {
  normalizeBench(state, wordLiterals(static_cast<int>(state.range(0))), "Word,Num");
}
BENCHMARK(BM_NormalizeUnordered)
    ->RangeMultiplier(10)
    ->Range(1000, 10000)
    ->Unit(benchmark::kMillisecond);

// Row texts inserted one by one, then every row read.
void BM_InsertRowText(benchmark::State& state) {
  const auto rows = empLiterals(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto table = sortedTable("Emp", "Name,Dept,Salary", rows);
    std::size_t fields = 0;
    for (DataCol* row = table->firstRow(); row != nullptr; row = table->nextRow()) {
      fields += row->textAt(2).size();
    }
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}
BENCHMARK(BM_InsertRowText)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// Emp joined with Boss on Dept: one result row per Emp row.
void BM_Join(benchmark::State& state) {
  auto emp = sortedTable("Emp", "Name,Dept,Salary", empLiterals(static_cast<int>(state.range(0))));
  auto boss = bossTable();
  for (auto _ : state) {
    std::unique_ptr<DataTable> joined(emp->join(*boss, "temp"));
    benchmark::DoNotOptimize(joined->rowCount());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(emp->rowCount()));
}
BENCHMARK(BM_Join)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

// The filters of a rule body: a comparison (about half the rows pass) and
// a constant (one department in a thousand).
void filterBench(benchmark::State& state, const std::string& condition) {
  auto emp = sortedTable("Emp", "Name,Dept,Salary", empLiterals(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    std::unique_ptr<DataTable> kept(emp->filter(condition));
    benchmark::DoNotOptimize(kept->rowCount());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(emp->rowCount()));
}

void BM_FilterCompare(benchmark::State& state) { filterBench(state, "N,D,>500000"); }
BENCHMARK(BM_FilterCompare)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

void BM_FilterConstant(benchmark::State& state) { filterBench(state, "N,'d0042',S"); }
BENCHMARK(BM_FilterConstant)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// A rule body of k atoms T0(X0,X1),T1(X1,X2),... over k tables of three
// rows each (or k times the one table T): the running result grows by a
// column per atom, so the joins meet rows up to k columns wide.
void ruleBench(benchmark::State& state, bool oneTable) {
  const int k = static_cast<int>(state.range(0));
  EvaluateGraph graph;
  std::string body;
  for (int i = 0; i < k; ++i) {
    std::string table = "T";
    if (!oneTable) table.append(std::to_string(i));
    if (!oneTable || i == 0) {
      feedLine(table + "(a,b)", graph);
      for (const char* row : {"1,1", "2,2", "3,3"}) feedLine(row, graph);
    }
    if (i > 0) body.push_back(',');
    body.append(table).append("(X").append(std::to_string(i));
    body.append(",X").append(std::to_string(i + 1)).push_back(')');
  }
  for (auto _ : state) {
    std::unique_ptr<SortedTable> result = graph.evaluateBody(body);
    benchmark::DoNotOptimize(result->rowCount());
  }
  state.SetComplexityN(k);
}

void BM_RuleOfManyAtoms(benchmark::State& state) { ruleBench(state, false); }
BENCHMARK(BM_RuleOfManyAtoms)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_RuleOfManyAtomsOneTable(benchmark::State& state) { ruleBench(state, true); }
BENCHMARK(BM_RuleOfManyAtomsOneTable)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tablog
