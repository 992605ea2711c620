// tablog-lint's checks of the values that data lines give the declared
// tables, read in the tables as tablog orders them (lint/script_data.h):
// the repeated rows that the order keeps, and the columns whose plain
// values all read as one number, which the order cannot sort by.
#ifndef TABLOG_LINT_DATA_CHECKS_H_
#define TABLOG_LINT_DATA_CHECKS_H_

#include <vector>

#include "lint/lint.h"
#include "lint/script_data.h"
#include "lint/table_catalog.h"

namespace tablog {

// Warns at each data line whose row repeats an earlier one and stays.
void checkKeptRepeats(const ScriptData& data, const TableCatalog& tables,
                      std::vector<Finding>& findings);

// Warns once for each column of a declared table whose values are all
// plain texts, not all alike, that read as one number.
void checkUnsortedColumns(const ScriptData& data, const TableCatalog& tables,
                          std::vector<Finding>& findings);

}  // namespace tablog

#endif  // TABLOG_LINT_DATA_CHECKS_H_
