// The order check: builds the same rows for tables/row_order.h and for the
// literal algorithms, runs both the way the case says, and compares every
// row, values and names, after each step.
#include "tests/order_check.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "tables/row_order.h"

namespace tablog::ordercheck {

namespace {

// A text in double quotes, bytes outside printable ASCII as \xNN.
std::string quoted(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : text) {
    auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 || byte >= 0x7f || ch == '"' || ch == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

std::string shownValue(const DataValue& v) {
  static const char kKinds[] = {'Q', 'P', 'N'};
  return kKinds[v.kind()] + quoted(v.text());
}

const char* modeName(OrderMode mode) {
  switch (mode) {
    case OrderMode::kWhole:
      return "normalizeRows on the whole list";
    case OrderMode::kOneByOne:
      return "every row pending";
    case OrderMode::kSettledPrefix:
      return "normalised prefix, then pending rows";
    case OrderMode::kArbitraryPrefix:
      return "prefix as given, then pending rows";
  }
  return "?";
}

literal::Row literalRow(const std::vector<std::string>& literals, std::size_t index) {
  literal::Row row;
  std::string name = std::string("r") + std::to_string(index);
  for (const std::string& text : literals) row.addField(name, text);
  return row;
}

std::unique_ptr<DataCol> productRow(const literal::Row& row) {
  auto out = std::make_unique<DataCol>();
  for (int i = 0; i < row.size(); ++i) {
    out->addField(row.names[static_cast<std::size_t>(i)], "");
    out->setValueAt(i, row.values[static_cast<std::size_t>(i)]);
  }
  return out;
}

void literalNormalize(std::vector<literal::Row>& rows) {
  literal::exchangeSort(rows);
  literal::removeRepeatedRows(rows);
}

std::string shownRows(const RowList& rows) {
  std::string out;
  for (const auto& row : rows) out += std::string("  ") + shownRow(*row) + "\n";
  return out;
}

std::string shownRows(const std::vector<literal::Row>& rows) {
  std::string out;
  for (const auto& row : rows) out += std::string("  ") + shownRow(row) + "\n";
  return out;
}

// "" when the lists agree, else the report.
std::string compare(const OrderCase& c, const std::string& step, const RowList& product,
                    const std::vector<literal::Row>& oracle) {
  std::string got = shownRows(product);
  std::string want = shownRows(oracle);
  if (got == want) return "";
  return c.describe() + "differs " + step + "\nrow_order gives:\n" + got +
         "the literal algorithm gives:\n" + want;
}

}  // namespace

std::string OrderCase::describe() const {
  std::string out = "mode: ";
  out += modeName(mode);
  if (mode == OrderMode::kSettledPrefix || mode == OrderMode::kArbitraryPrefix) {
    out += std::string(", prefix ") + std::to_string(prefix);
  }
  if (mode == OrderMode::kWhole && radixFrom < kRadixSortFrom) {
    out += std::string(", radix sort from ") + std::to_string(radixFrom) + " rows";
  }
  if (mode != OrderMode::kWhole) {
    out += ", batches {";
    for (std::size_t i = 0; i < batches.size(); ++i) {
      out += std::string(i > 0 ? ", " : "") + std::to_string(batches[i]);
    }
    out += "}";
  }
  out += std::string("\nrows (") + std::to_string(rows.size()) + "):\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out += std::string("  r") + std::to_string(i) + ": {";
    for (std::size_t k = 0; k < rows[i].size(); ++k) {
      out += std::string(k > 0 ? ", " : "") + quoted(rows[i][k]);
    }
    out += "}\n";
  }
  return out;
}

std::string shownRow(const DataCol& row) {
  std::string names, values;
  for (int i = 0; i < row.size(); ++i) {
    names += std::string(i > 0 ? "|" : "") + row.nameAt(i);
    values += std::string(" ") + shownValue(row.at(i));
  }
  return "[" + names + "]" + values;
}

std::string shownRow(const literal::Row& row) {
  std::string names, values;
  for (int i = 0; i < row.size(); ++i) {
    names += std::string(i > 0 ? "|" : "") + row.names[static_cast<std::size_t>(i)];
    values += std::string(" ") + shownValue(row.values[static_cast<std::size_t>(i)]);
  }
  return "[" + names + "]" + values;
}

std::string checkOrder(const OrderCase& c) {
  const std::size_t n = c.rows.size();
  bool withPrefix = c.mode == OrderMode::kSettledPrefix || c.mode == OrderMode::kArbitraryPrefix;
  const std::size_t prefix = withPrefix ? std::min(c.prefix, n) : 0;

  std::vector<literal::Row> oracle;
  for (std::size_t i = 0; i < prefix; ++i) oracle.push_back(literalRow(c.rows[i], i));
  if (c.mode == OrderMode::kSettledPrefix) literalNormalize(oracle);
  RowList product;
  for (const literal::Row& row : oracle) product.push_back(productRow(row));

  if (c.mode == OrderMode::kWhole) {
    for (std::size_t i = 0; i < n; ++i) {
      oracle.push_back(literalRow(c.rows[i], i));
      product.push_back(productRow(oracle.back()));
    }
    normalizeRows(product, c.radixFrom);
    literalNormalize(oracle);
    std::string report = compare(c, "after normalizeRows", product, oracle);
    if (!report.empty()) return report;
    normalizeRows(product);
    literalNormalize(oracle);
    return compare(c, "after a second normalizeRows", product, oracle);
  }

  std::size_t next = prefix;
  for (std::size_t batch = 0; next < n; ++batch) {
    std::size_t size = n - next;
    if (batch < c.batches.size()) {
      if (c.batches[batch] == 0) continue;
      size = std::min(size, c.batches[batch]);
    }
    for (std::size_t i = next; i < next + size; ++i) {
      // The literal insertion: append, then the whole exchange sort.
      oracle.push_back(literalRow(c.rows[i], i));
      literalNormalize(oracle);
      product.push_back(productRow(literalRow(c.rows[i], i)));
    }
    normalizeRows(product);
    std::string report = compare(c,
                                 std::string("after normalising rows r") + std::to_string(next) +
                                     " to r" + std::to_string(next + size - 1),
                                 product, oracle);
    if (!report.empty()) return report;
    next += size;
  }
  return "";
}

}  // namespace tablog::ordercheck
