// Loading master data from CSV into a company database, and writing it out
// again in the same form.
//
// Import: the header names the columns (any order, case-insensitive; the
// key columns must be there, a column left out is not written: a new row
// takes its default, an existing row keeps its value). Each row is inserted,
// or updates the row with its key. The file is one transaction: any bad row
// (wrong field count, unknown column, a value of the wrong type, more than
// 4 decimals, a date that does not exist, a reference to a missing row, a
// key given twice) refuses the whole file, nothing written, and the error
// lists every bad row as "line N, column C: what is wrong". The input is
// read through a fixed buffer, one row at a time.
//
// Export: a header with every column of the kind, then every row in key
// order; importing it into an empty company gives back the same rows.
#ifndef PLEXAVO_MASTERDATA_IMPORT_H_
#define PLEXAVO_MASTERDATA_IMPORT_H_

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>

#include "base/result.h"
#include "data/target.h"
#include "masterdata/kinds.h"

namespace masterdata {

// Told the number of rows done so far, now and then (every few thousand).
using Progress = std::function<void(int64_t rows)>;

// Answers the number of rows loaded.
base::Result<int64_t> Import(const data::Target& target, const Kind& kind, std::istream& in,
                             const Progress& progress = {});

// Answers the number of rows written.
base::Result<int64_t> Export(const data::Target& target, const Kind& kind, std::ostream& out,
                             const Progress& progress = {});

}  // namespace masterdata

#endif  // PLEXAVO_MASTERDATA_IMPORT_H_
